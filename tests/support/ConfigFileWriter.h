#pragma once
// Writes a signed configuration file the way a registered client leaves one
// behind, computed here from first principles (the key order, the salted
// SHA-256 in upper-case hexadecimal), so that tests that reach the library
// only through its C interface can start it as a registered client.

#include <mbedtls/sha256.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace zebtest {

struct ConfigFileValues {
    // Key (with its colon) to value, written in the file's fixed key order.
    std::map<std::string, std::string> values = {
        {"CONFIGVERSION:", "1"},          {"CALLHOMEURL:", ""},
        {"CLIENTID:", "CLIENT0001"},       {"NAMESIZETHRESHOLD:", "128"},
        {"VALUESIZETHRESHOLD:", "256"},    {"CUSTOMTEXTTHRESHOLD:", "4096"},
        {"ETFLAG:", "8192"},               {"EXCEPTIONTEXTTHRESHOLD:", "4096"},
        {"FEATLISTLIMIT:", "3000"},        {"FILESIZETHRESHOLD:", "1024"},
        {"FTFLAG:", "1"},                  {"MESSAGETIMETHRESHOLD:", "1"},
        {"AUTOSYNCTIMETHRESHOLD:", "20"},  {"MANUALSYNCTIMETHRESHOLD:", "5"},
        {"BACKOFF:", "0"},                 {"DISABLED:", "0"},
        {"OPTOUT:", "0"},                  {"FTWHITELIST:", ""},
        {"FTLIST:", ""},
    };

    std::string body() const {
        static const char* const kOrder[] = {
            "CONFIGVERSION:",       "CALLHOMEURL:",           "CLIENTID:",
            "NAMESIZETHRESHOLD:",   "VALUESIZETHRESHOLD:",    "CUSTOMTEXTTHRESHOLD:",
            "ETFLAG:",              "EXCEPTIONTEXTTHRESHOLD:", "FEATLISTLIMIT:",
            "FILESIZETHRESHOLD:",   "FTFLAG:",                "MESSAGETIMETHRESHOLD:",
            "AUTOSYNCTIMETHRESHOLD:", "MANUALSYNCTIMETHRESHOLD:", "BACKOFF:",
            "DISABLED:",            "OPTOUT:",                "FTWHITELIST:",
            "FTLIST:"};
        std::string text;
        for (const char* key : kOrder) text += std::string(key) + values.at(key) + "\n";
        return text;
    }
};

inline std::string upperHexSha256(const std::string& data) {
    unsigned char digest[32];
    mbedtls_sha256_ret(reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest,
                       0);
    std::string hex;
    char pair[3];
    for (unsigned char byte : digest) {
        std::snprintf(pair, sizeof pair, "%02X", byte);
        hex += pair;
    }
    return hex;
}

// "SIGNATURE:" + SHA-256(salt + body + salt) + body.
inline std::string signedConfigText(const ConfigFileValues& values) {
    const std::string salt = "518204937";
    const std::string body = values.body();
    return "SIGNATURE:" + upperHexSha256(salt + body + salt) + "\n" + body;
}

// productLetters: the product ID through the digit table ("qhwnpcodkv" for
// 0123456789). stamp: 13 base-32 digits. Returns the file name.
inline std::string writeConfigFile(const std::string& dir, const std::string& productLetters,
                                   const std::string& appName, const std::string& stamp,
                                   const ConfigFileValues& values) {
    const std::string name =
        "zebconfigV5_" + productLetters + "_" + appName + "_" + stamp + ".cfg";
    std::ofstream out(dir + "/" + name, std::ios::binary);
    out << signedConfigText(values);
    return name;
}

}  // namespace zebtest
