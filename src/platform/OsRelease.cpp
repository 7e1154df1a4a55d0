#include "platform/OsRelease.h"

#include "platform/ProbeEnvironment.h"
#include "platform/ProbeFiles.h"
#include "util/Strings.h"

namespace ZEBInternal {

namespace {

constexpr size_t kOsReleaseLimit = 64u * 1024u;

bool isNameChar(char c, bool first) {
    return c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
           (!first && isAsciiDigit(c));
}

// One shell word from text[i]; stops at unquoted white space or the end of
// the line (a quoted value may span lines).
std::string readWord(const std::string& text, size_t& i) {
    std::string value;
    while (i < text.size() && text[i] != '\n' && text[i] != ' ' && text[i] != '\t') {
        const char c = text[i++];
        if (c == '\'') {
            while (i < text.size() && text[i] != '\'') value += text[i++];
            ++i;
        } else if (c == '"') {
            while (i < text.size() && text[i] != '"') {
                const char q = text[i++];
                if (q == '\\' && i < text.size() &&
                    std::string("$`\"\\\n").find(text[i]) != std::string::npos) {
                    if (text[i] != '\n') value += text[i];
                    ++i;
                } else {
                    value += q;
                }
            }
            ++i;
        } else if (c == '\\' && i < text.size()) {
            if (text[i] != '\n') value += text[i];
            ++i;
        } else {
            value += c;
        }
    }
    return value;
}

std::string valueOr(const std::map<std::string, std::string>& vars, const char* name,
                    bool& set) {
    const auto found = vars.find(name);
    set = found != vars.end();
    return set ? found->second : std::string();
}

}  // namespace

std::map<std::string, std::string> parseOsRelease(const std::string& text) {
    std::map<std::string, std::string> vars;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        size_t end = i;
        while (end < text.size() && isNameChar(text[end], end == i)) ++end;
        if (end > i && end < text.size() && text[end] == '=') {
            const std::string name = text.substr(i, end - i);
            i = end + 1;
            vars[name] = readWord(text, i);
        }
        while (i < text.size() && text[i] != '\n') ++i;
        ++i;
    }
    return vars;
}

std::string lsbReleaseText(const ProbeEnvironment& env) {
    std::string text;
    if (!readProbeWhole(env.path("/etc/os-release"), text, kOsReleaseLimit) &&
        !readProbeWhole(env.path("/usr/lib/os-release"), text, kOsReleaseLimit)) {
        return std::string();
    }
    const auto vars = parseOsRelease(text);
    bool set = false;
    std::string id = valueOr(vars, "ID", set);
    if (!id.empty()) id[0] = asciiUpper(id[0]);
    const std::string name = valueOr(vars, "NAME", set);
    if (set && toLower(id) == toLower(name)) id = name;
    std::string out;
    const auto line = [&](const char* label, const std::string& value) {
        out += std::string(label) + ":\t" + (value.empty() ? "n/a" : value) + "\n";
    };
    line("Distributor ID", id);
    line("Description", valueOr(vars, "PRETTY_NAME", set));
    line("Release", valueOr(vars, "VERSION_ID", set));
    line("Codename", valueOr(vars, "VERSION_CODENAME", set));
    return out;
}

}  // namespace ZEBInternal
