#include "messages/ZEBNewRegistration.h"

#include "config/Configuration.h"
#include "core/SDKContext.h"
#include "data/ReportSections.h"

namespace ZEBInternal {

ZEBNewRegistration::ZEBNewRegistration(const SDKContext* context, bool sendReachOut, bool optOut)
    : ZEBMessageBase(context, requestUrl(context), "newreg"),
      sendReachOut(sendReachOut),
      optOut(optOut) {}

bool ZEBNewRegistration::buildRequest() {
    if (context->appData == nullptr) return false;
    requestText = buildRequestInfo(messageType, false);
    requestText += reportSections(*context->appData, sendReachOut, optOut);
    return true;
}

bool ZEBNewRegistration::parseResponse() {
    std::string clientID;
    if (!findValue("CLIENTID:", clientID)) return false;
    ConfigFile& file = configuration->file();
    // The ID names every log file: an empty one, or one that could reach
    // outside the data directory, is an unusable answer and nothing of it
    // is kept.
    if (!file.setClientID(clientID)) return false;
    applyConfigSection(file);
    file.save();
    queueReachOut();
    return true;
}

}  // namespace ZEBInternal
