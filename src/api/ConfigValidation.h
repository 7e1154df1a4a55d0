#pragma once
// Checks the arguments of zebCreateConfig in the order the result codes are
// documented, before any configuration object is built.

#include <cstdint>
#include <string>

namespace ZEBInternal {

struct ConfigInput {
    ~ConfigInput();  // wipes the key text

    std::string configFilePath;
    std::string productID;
    std::string appName;
    std::string serverURL;
    int32_t protocol = 0;
    std::string aesKeyHex;
};

// Returns 0 and the resolved absolute data directory, or the first failing
// check's code (-130, -111, -114, -113, -120, -144 to -147, -140, -121,
// -122). Touches the file system only for the data-directory checks, which
// come last: a test file is created and removed there.
int32_t validateConfigInput(const ConfigInput& input, std::string& dataDirectory);

}  // namespace ZEBInternal
