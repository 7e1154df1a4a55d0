#pragma once
// A configuration on a temporary data directory, registered under a client
// ID, for the event-log tests.

#include <memory>
#include <string>
#include <vector>

#include "config/Configuration.h"
#include "config/RuntimeSettings.h"
#include "support/LogLines.h"
#include "support/TempDir.h"
#include "util/Files.h"
#include "util/Strings.h"

namespace ZEBInternal {
namespace eventstest {

inline std::unique_ptr<Configuration> makeConfiguration(const std::string& dir,
                                                        const RuntimeSettings* settings,
                                                        const std::string& clientID = "CID",
                                                        const std::string& appName = "App",
                                                        bool multiSession = false) {
    ConfigArguments args;
    args.configFilePath = dir;
    args.dataDirectory = dir;
    args.serverURL = "127.0.0.1:1";
    args.protocol = 1;
    args.aesKeyHex = "00112233445566778899AABBCCDDEEFF";
    args.productID = "0123456789";
    args.appName = appName;
    args.multiSessionEnabled = multiSession;
    args.instanceID = "INSTANCE0000000000000000000000001";
    auto configuration = std::make_unique<Configuration>(nullptr, settings, args);
    if (!clientID.empty()) configuration->file().setClientID(clientID);
    return configuration;
}

inline std::vector<std::string> linesOf(const std::string& path) {
    std::vector<std::string> lines;
    std::string text = readFile(path);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Field `index` of a log line ("$"-separated, honouring backslash escapes).
inline std::string field(const std::string& line, size_t index) {
    const std::vector<std::string> fields = zebtest::eventFields(line);
    return index < fields.size() ? fields[index] : std::string("<none>");
}

}  // namespace eventstest
}  // namespace ZEBInternal
