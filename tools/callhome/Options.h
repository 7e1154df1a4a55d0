#pragma once
// The command line of zeb-callhome. Parsed once by main().

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ZEBCallHome {

struct Options {
    uint16_t port = 0;
    std::string portFile;
    std::string scriptPath;
    std::string outDir;
    std::string aesKeyHex;  // 32 hexadecimal characters, as the client's
    std::string certFile;
    std::string keyFile;
    std::vector<std::string> faults;  // "[TYPE=]NAME[:ARG]", in order given
    std::string proxyAuth;            // "USER:PASSWORD"; empty: not required
    bool allowUnsigned = false;
    bool dev = false;  // newreg and sync answers carry kDevSettings
    unsigned idleTimeoutMs = 10000;
    unsigned holdMaxMs = 120000;  // longest hang / no-close hold
    size_t maxBody = 16u << 20;
    size_t maxText = 256u << 20;  // longest inflated upload
    unsigned maxConnections = 16;
    bool help = false;
};

// False with a message for unknown options, missing or malformed values,
// and a certificate given without its key (or the other way round).
bool parseOptions(int argc, char** argv, Options& out, std::string& error);
const char* usageText();

}  // namespace ZEBCallHome
