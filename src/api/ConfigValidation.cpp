#include "api/ConfigValidation.h"


#include "util/Files.h"
#include "util/SecureWipe.h"
#include "util/ServerUrl.h"
#include "util/Strings.h"

namespace ZEBInternal {

namespace {

constexpr size_t kProductIDLength = 10;
constexpr size_t kAppNameMaxChars = 16;
constexpr size_t kAesKeyHexLength = 32;
// A URL without a port is accepted here; the transport later picks 80 or
// 443 by protocol, so this value never reaches the wire.
constexpr uint16_t kValidationDefaultPort = 999;

bool isTenDigits(const std::string& s) {
    if (s.size() != kProductIDLength) return false;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

int32_t checkAppName(const std::string& appName) {
    if (appName.empty()) return -111;
    if (utf8Length(appName) > kAppNameMaxChars) return -114;
    // The name becomes part of every data-file name, so a "/" would point
    // every save and append at a directory that does not exist.
    if (hasWhitespace(appName) || appName.find('/') != std::string::npos) return -113;
    return 0;
}

int32_t checkProtocolAndKey(int32_t protocol, const std::string& aesKeyHex) {
    if (protocol < 1 || protocol > 3) return -144;
    if (protocol == 3) return aesKeyHex.empty() ? 0 : -145;
    if (aesKeyHex.size() != kAesKeyHexLength) return -146;
    // The text decodes to the 16 key bytes exactly when every character is
    // a hexadecimal digit; checking the characters makes no copy of the key.
    for (char c : aesKeyHex) {
        if (!isAsciiHexDigit(c)) return -147;
    }
    return 0;
}

}  // namespace

ConfigInput::~ConfigInput() {
    secureWipe(aesKeyHex);
}

int32_t validateConfigInput(const ConfigInput& input, std::string& dataDirectory) {
    if (!isTenDigits(input.productID)) return -130;
    if (int32_t rc = checkAppName(input.appName)) return rc;
    if (input.configFilePath.empty()) return -120;
    if (int32_t rc = checkProtocolAndKey(input.protocol, input.aesKeyHex)) return rc;
    ServerUrl url;
    if (!parseServerUrl(input.serverURL, kValidationDefaultPort, url)) return -140;

    const std::string resolved = realPath(input.configFilePath);
    if (resolved.empty()) return -120;
    if (!isDirectory(resolved)) return -121;
    if (!isWritableDirectory(resolved)) return -122;
    dataDirectory = resolved;
    return 0;
}

}  // namespace ZEBInternal
