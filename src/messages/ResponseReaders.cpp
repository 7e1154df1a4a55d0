#include "messages/ResponseReaders.h"

#include "config/ConfigFile.h"
#include "util/Strings.h"

namespace ZEBInternal {

namespace {

constexpr const char* kSectionMark = "****";
constexpr const char* kConfigSection = "****CONFIG";
constexpr const char* kReachOutSection = "****REACHOUT";

// Index of the first line after the first one starting with header, or
// lines.size() + 1 when there is no such header.
size_t sectionStart(const std::vector<std::string>& lines, const char* header) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (startsWith(lines[i], header)) return i + 1;
    }
    return lines.size() + 1;
}

// "400x300": the texts either side of the first "x", neither empty.
bool parseDimensions(const std::string& value, std::string& width, std::string& height) {
    const size_t x = value.find('x');
    if (x == std::string::npos || x == 0 || x + 1 >= value.size()) return false;
    width = value.substr(0, x);
    height = value.substr(x + 1);
    return true;
}

}  // namespace

std::vector<std::string> splitResponseLines(const std::string& text) {
    return split(text, "\n");
}

bool findResponseValue(const std::vector<std::string>& lines, const std::string& key,
                       std::string& value) {
    if (key.empty()) return false;
    for (const std::string& line : lines) {
        if (startsWith(line, key)) {
            value = line.substr(key.size());
            return true;
        }
    }
    return false;
}

bool splitField(const std::string& line, std::string& key, std::string& value) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) return false;
    key = line.substr(0, colon + 1);
    value = line.substr(colon + 1);
    return true;
}

bool applyConfigSection(const std::vector<std::string>& lines, ConfigFile& file) {
    const size_t start = sectionStart(lines, kConfigSection);
    if (start > lines.size()) return false;
    std::string key;
    std::string value;
    for (size_t i = start; i < lines.size() && !startsWith(lines[i], kSectionMark); ++i) {
        // A key this client does not know is skipped: the server may speak
        // to newer clients in the same section.
        if (splitField(lines[i], key, value)) file.applyServerSetting(key, value);
    }
    return true;
}

bool parseReachOut(const std::vector<std::string>& lines, ReachOutMessage& out) {
    const size_t start = sectionStart(lines, kReachOutSection);
    if (start > lines.size()) return false;
    ReachOutMessage message;
    bool haveDimensions = false;
    bool havePosition = false;
    bool haveContent = false;
    std::string key;
    std::string value;
    for (size_t i = start; i < lines.size() && !startsWith(lines[i], kSectionMark); ++i) {
        // Anything unexpected ends the reading: a half-understood message
        // is not shown to the host's users.
        if (!splitField(lines[i], key, value)) return false;
        if (key == "DIMENSIONS:") {
            if (!parseDimensions(value, message.width, message.height)) return false;
            haveDimensions = true;
        } else if (key == "SCREENPOSITION:") {
            if (!parseInt(value, message.position)) return false;
            havePosition = true;
        } else if (key == "MESSAGECONTENT:") {
            message.content = value;
            haveContent = true;
        } else {
            return false;
        }
    }
    if (!haveDimensions || !havePosition || !haveContent) return false;
    out = std::move(message);
    return true;
}

}  // namespace ZEBInternal
