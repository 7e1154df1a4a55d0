#include "config/ConfigValues.h"

#include <cctype>

#include "util/Digest.h"
#include "util/Strings.h"

namespace ZEBInternal {

namespace {

const char kSalt[] = "518204937";

std::string flag(bool value) { return value ? "1" : "0"; }

// The keys in file order. The numeric ones (including the three flags) are
// converted in this order too.
enum KeyIndex {
    kSignature,
    kConfigVersion,
    kCallHomeURL,
    kClientID,
    kNameSize,
    kValueSize,
    kCustomText,
    kETFlag,
    kExceptionText,
    kFeatListLimit,
    kFileSize,
    kFTFlag,
    kMessageTime,
    kAutoSyncTime,
    kManualSyncTime,
    kBackoff,
    kDisabled,
    kOptOut,
    kWhitelist,
    kList,
    kKeyCount
};

const char* const kKeys[kKeyCount] = {
    "SIGNATURE:",           "CONFIGVERSION:",         "CALLHOMEURL:",
    "CLIENTID:",            "NAMESIZETHRESHOLD:",     "VALUESIZETHRESHOLD:",
    "CUSTOMTEXTTHRESHOLD:", "ETFLAG:",                "EXCEPTIONTEXTTHRESHOLD:",
    "FEATLISTLIMIT:",       "FILESIZETHRESHOLD:",     "FTFLAG:",
    "MESSAGETIMETHRESHOLD:", "AUTOSYNCTIMETHRESHOLD:", "MANUALSYNCTIMETHRESHOLD:",
    "BACKOFF:",             "DISABLED:",              "OPTOUT:",
    "FTWHITELIST:",         "FTLIST:"};

}  // namespace

std::string serializeConfigBody(const ConfigValues& v) {
    std::string body;
    body.reserve(512);
    auto line = [&body](KeyIndex key, const std::string& value) {
        body += kKeys[key];
        body += value;
        body += '\n';
    };
    line(kConfigVersion, v.configVersion);
    line(kCallHomeURL, v.callHomeURL);
    line(kClientID, v.clientID);
    line(kNameSize, toDecimal(v.nameSizeThreshold));
    line(kValueSize, toDecimal(v.valueSizeThreshold));
    line(kCustomText, toDecimal(v.customTextThreshold));
    line(kETFlag, toDecimal(v.exceptionTracking));
    line(kExceptionText, toDecimal(v.exceptionTextThreshold));
    line(kFeatListLimit, toDecimal(v.featureListLimit));
    line(kFileSize, toDecimal(v.fileSizeThreshold));
    line(kFTFlag, flag(v.featureTracking));
    line(kMessageTime, toDecimal(v.messageTimeThreshold));
    line(kAutoSyncTime, toDecimal(v.autoSyncTimeThreshold));
    line(kManualSyncTime, toDecimal(v.manualSyncTimeThreshold));
    line(kBackoff, toDecimal(v.backoffUntil));
    line(kDisabled, flag(v.disabled));
    line(kOptOut, flag(v.optedOut));
    line(kWhitelist, serializeFeatureList(v.featureWhitelist));
    line(kList, serializeFeatureList(v.featureList));
    return body;
}

std::string computeConfigSignature(const std::string& body) {
    return sha256Hex(kSalt + body + kSalt);
}

bool parseConfigNumber(const std::string& text, uint32_t& out) {
    // The writer emits unsigned decimal, so values up to 2^32-1 must read
    // back; a plain signed read would refuse them and with them the whole
    // file.
    return parseUInt32Lenient(text, out);
}

bool parseConfigText(const std::string& text, uint32_t nowSeconds, ConfigValues& out) {
    // For each key the first line that begins with it. Lines are looked at
    // in place (no copy of the text), so a huge file costs one pass.
    bool found[kKeyCount] = {};
    std::string values[kKeyCount];
    size_t foundCount = 0;
    size_t start = 0;
    while (start < text.size() && foundCount < kKeyCount) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const size_t length = end - start;
        for (int k = 0; k < kKeyCount; ++k) {
            if (found[k]) continue;
            const size_t keyLength = std::char_traits<char>::length(kKeys[k]);
            if (length >= keyLength && text.compare(start, keyLength, kKeys[k]) == 0) {
                found[k] = true;
                values[k] = text.substr(start + keyLength, length - keyLength);
                ++foundCount;
            }
        }
        start = end + 1;
    }
    if (foundCount != kKeyCount) return false;

    uint32_t numbers[kKeyCount] = {};
    for (int k = kNameSize; k <= kOptOut; ++k) {
        if (!parseConfigNumber(values[k], numbers[k])) return false;
    }

    ConfigValues v;
    v.signature = values[kSignature];
    v.configVersion = values[kConfigVersion];
    v.callHomeURL = values[kCallHomeURL];
    v.clientID = values[kClientID];
    v.nameSizeThreshold = numbers[kNameSize];
    v.valueSizeThreshold = numbers[kValueSize];
    v.customTextThreshold = numbers[kCustomText];
    v.exceptionTracking = numbers[kETFlag];
    v.exceptionTextThreshold = numbers[kExceptionText];
    v.featureListLimit = numbers[kFeatListLimit];
    v.fileSizeThreshold = numbers[kFileSize];
    v.featureTracking = numbers[kFTFlag] != 0;
    v.messageTimeThreshold = numbers[kMessageTime];
    v.autoSyncTimeThreshold = numbers[kAutoSyncTime];
    v.manualSyncTimeThreshold = numbers[kManualSyncTime];
    v.backoffUntil = numbers[kBackoff];
    v.disabled = numbers[kDisabled] != 0;
    v.optedOut = numbers[kOptOut] != 0;
    v.backoffActive = v.backoffUntil != 0 && v.backoffUntil > nowSeconds;
    parseFeatureList(values[kWhitelist], v.featureWhitelist);
    parseFeatureList(values[kList], v.featureList);
    out = std::move(v);
    return true;
}

}  // namespace ZEBInternal
