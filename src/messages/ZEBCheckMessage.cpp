#include "messages/ZEBCheckMessage.h"

#include "util/SectionLines.h"
#include "util/Strings.h"

namespace ZEBInternal {

ZEBCheckMessage::ZEBCheckMessage(const SDKContext* context, int32_t requestedType)
    : ZEBMessageBase(context, requestUrl(context), "msgcheck"), requestedType(requestedType) {}

int32_t ZEBCheckMessage::getMessageCount() const {
    return messageCount;
}

int32_t ZEBCheckMessage::getMessageType() const {
    return reachOutType;
}

std::string ZEBCheckMessage::getMessageText() const {
    return messageText;
}

bool ZEBCheckMessage::buildRequest() {
    requestText = buildRequestInfo(messageType, true);
    requestText += "****REQUESTDATA\n";
    appendSectionLine(requestText, "MSGTYPE:", toDecimal(static_cast<uint32_t>(requestedType)));
    return true;
}

bool ZEBCheckMessage::parseResponse() {
    if (responseLines.empty()) return false;
    std::string value;
    int32_t count = 0;
    if (!findValue("COUNT:", value) || !parseInt(value, count)) return false;
    messageCount = count;
    if (count != 0) {
        // A count without its message is not half a success: the host gets
        // nothing rather than a type without text.
        int32_t type = 0;
        if (!findValue("TYPE:", value) || !parseInt(value, type)) {
            messageCount = 0;
            return false;
        }
        reachOutType = type;
        if (!findValue("MESSAGE:", value)) {
            messageCount = 0;
            return false;
        }
        messageText = value;
    }
    applyConfig();  // the section is optional
    return true;
}

}  // namespace ZEBInternal
