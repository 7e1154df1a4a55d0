#pragma once
// Shared pieces of the configuration tests: a data directory with the
// runtime settings, and helpers that place configuration files in it.

#include <sys/time.h>

#include <cstdint>
#include <string>

#include "config/ConfigFile.h"
#include "config/ConfigFileNames.h"
#include "config/ConfigValues.h"
#include "config/RuntimeSettings.h"
#include "support/TempDir.h"
#include "util/Files.h"
#include "util/Strings.h"

namespace zebtest {

constexpr const char* kProductID = "0123456789";
constexpr const char* kAppName = "App";

inline uint64_t nowMicros() {
    struct timeval tv {};
    gettimeofday(&tv, nullptr);
    return static_cast<uint64_t>(tv.tv_sec) * 1000000u + static_cast<uint64_t>(tv.tv_usec);
}

inline std::string prefix() { return ZEBInternal::configFilePrefix(kProductID, kAppName); }

// A stamp offsetSeconds away from now.
inline std::string stampAt(int64_t offsetSeconds) {
    return ZEBInternal::toBase32(static_cast<uint64_t>(
        static_cast<int64_t>(nowMicros()) + offsetSeconds * 1000000));
}

// The file text the library writes for these values.
inline std::string signedText(const ZEBInternal::ConfigValues& values) {
    const std::string body = ZEBInternal::serializeConfigBody(values);
    return "SIGNATURE:" + ZEBInternal::computeConfigSignature(body) + "\n" + body;
}

inline ZEBInternal::ConfigValues registered(const std::string& clientID) {
    ZEBInternal::ConfigValues v;
    v.clientID = clientID;
    return v;
}

struct ConfigDir {
    TempDir dir;
    ZEBInternal::RuntimeSettings settings;

    std::string put(const std::string& stamp, const std::string& text) const {
        const std::string name = prefix() + stamp + ".cfg";
        ZEBInternal::writeFile(dir.file(name), text, false);
        return name;
    }
    std::string putSigned(const std::string& stamp, const ZEBInternal::ConfigValues& v) const {
        return put(stamp, signedText(v));
    }
    bool has(const std::string& name) const { return ZEBInternal::isRegularFile(dir.file(name)); }
    size_t candidateCount() const {
        size_t n = 0;
        for (const auto& name : ZEBInternal::listDirectory(dir.path())) {
            if (ZEBInternal::isConfigCandidate(name, prefix())) ++n;
        }
        return n;
    }
};

}  // namespace zebtest
