#include "messages/ZEBPingMessage.h"

namespace ZEBInternal {

ZEBPing::ZEBPing(const SDKContext* context, std::string fingerprintLines)
    : ZEBMessageBase(context, requestUrl(context), "ping"),
      fingerprintLines(std::move(fingerprintLines)) {}

bool ZEBPing::buildRequest() {
    requestText = buildRequestInfo(messageType, true);
    requestText += fingerprintLines;
    // The signature must start a line of its own.
    if (!requestText.empty() && requestText.back() != '\n') requestText += '\n';
    return true;
}

bool ZEBPing::parseResponse() {
    std::string value;
    if (!findValue("STATUS:", value) || value != "OK") return false;
    applyConfig();  // a ping answer need not carry a configuration section
    return true;
}

}  // namespace ZEBInternal
