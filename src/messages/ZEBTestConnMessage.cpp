#include "messages/ZEBTestConnMessage.h"

namespace ZEBInternal {

ZEBTestConnection::ZEBTestConnection(const SDKContext* context)
    : ZEBMessageBase(context, requestUrl(context), "testconn") {}

bool ZEBTestConnection::isProductValid() const {
    return productValid;
}

bool ZEBTestConnection::isUrlMatching() const {
    return urlMatches;
}

bool ZEBTestConnection::buildRequest() {
    requestText = buildRequestInfo(messageType, false);
    return true;
}

bool ZEBTestConnection::parseResponse() {
    std::string value;
    if (!findValue("STATUS:", value)) return false;
    if (value == "OK") {
        productValid = true;
        urlMatches = true;
    } else if (value == "INVALIDPROD") {
        productValid = false;
        urlMatches = false;
    } else if (value == "URLMISMATCH") {
        productValid = true;
        urlMatches = false;
    } else {
        return false;
    }
    applyConfig();  // the section is optional; the verdict stands either way
    return true;
}

}  // namespace ZEBInternal
