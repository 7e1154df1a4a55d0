#pragma once
// The values of one configuration file and their text form. A plain record
// with no lock: ConfigFile owns one and guards it; parsing fills a separate
// record first, so a rejected file changes nothing.

#include <cstdint>
#include <string>

#include "config/ConfigLists.h"

namespace ZEBInternal {

struct ConfigValues {
    bool backoffActive = false;  // derived, never written
    std::string nameSuffix;      // stamp of the file last loaded or saved
    std::string signature;       // "SIGNATURE:"
    std::string configVersion = "0";       // "CONFIGVERSION:"
    std::string callHomeURL;               // "CALLHOMEURL:"
    std::string clientID;                  // "CLIENTID:"
    uint32_t nameSizeThreshold = 128;      // "NAMESIZETHRESHOLD:"
    uint32_t valueSizeThreshold = 256;     // "VALUESIZETHRESHOLD:"
    uint32_t customTextThreshold = 4096;   // "CUSTOMTEXTTHRESHOLD:"
    uint32_t exceptionTracking = 8192;     // "ETFLAG:"
    uint32_t exceptionTextThreshold = 4096;  // "EXCEPTIONTEXTTHRESHOLD:"
    uint32_t featureListLimit = 3000;      // "FEATLISTLIMIT:"
    uint32_t fileSizeThreshold = 1024;     // "FILESIZETHRESHOLD:", KiB
    bool featureTracking = true;           // "FTFLAG:"
    uint32_t messageTimeThreshold = 1;     // "MESSAGETIMETHRESHOLD:", seconds
    uint32_t autoSyncTimeThreshold = 20;   // "AUTOSYNCTIMETHRESHOLD:", minutes
    uint32_t manualSyncTimeThreshold = 5;  // "MANUALSYNCTIMETHRESHOLD:", minutes
    uint32_t backoffUntil = 0;             // "BACKOFF:", seconds since the epoch
    bool disabled = false;                 // "DISABLED:"
    bool optedOut = false;                 // "OPTOUT:"
    FeatureList featureWhitelist;          // "FTWHITELIST:"
    FeatureList featureList;               // "FTLIST:"
};

// One line per key in the fixed order, each ended by a line feed; numbers
// in unsigned decimal, flags "1"/"0", lists in the pair-list form. The
// three texts are written as they are: callers keep line feeds out of them.
std::string serializeConfigBody(const ConfigValues& values);

// Upper-case hex SHA-256 of the salt "518204937" + body + the same salt.
std::string computeConfigSignature(const std::string& body);

// Reads a number the way stream extraction does (leading white space, an
// optional sign, digits, trailing text ignored). Accepts -2^31 to 2^32-1, so
// every value the file writer can produce reads back: a negative value is
// kept in two's complement, exactly as a signed 32-bit read stored it. False,
// out untouched, when no number can be read or it does not fit.
bool parseConfigNumber(const std::string& text, uint32_t& out);

// Parses a whole file text into out: lines split at line feeds (empty ones
// dropped); for "SIGNATURE:" and each key the first line starting with it.
// Fails, leaving out untouched, when a key is missing or a number does not
// convert. nowSeconds decides backoffActive (a back-off in the future);
// nameSuffix is left empty.
bool parseConfigText(const std::string& text, uint32_t nowSeconds, ConfigValues& out);

}  // namespace ZEBInternal
