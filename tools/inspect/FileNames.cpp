#include "FileNames.h"

#include <ctime>

namespace ZEBInspect {

namespace {

constexpr const char* kDigitLetters = "qhwnpcodkv";
constexpr const char* kBase32 = "0123456789ABCDEFGHIJKLMNOPQRSTUV";
constexpr size_t kStampLength = 13;

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool startsWith(const std::string& text, const std::string& head) {
    return text.compare(0, head.size(), head) == 0;
}

bool isStamp(const std::string& s) {
    if (s.size() != kStampLength) return false;
    for (char c : s)
        if (std::string(kBase32).find(c) == std::string::npos) return false;
    return true;
}

bool isLetters(const std::string& s) {
    return s.size() == 10 && s.find_first_not_of(kDigitLetters) == std::string::npos;
}

// "<letters>_<app>_<stamp>" into its parts.
bool splitTail(const std::string& rest, FileName& out) {
    const size_t lastUnderscore = rest.rfind('_');
    if (lastUnderscore == std::string::npos || rest.size() < 12 || rest[10] != '_' ||
        lastUnderscore <= 10) {
        out.why = "name does not end in _<application>_<stamp>";
        return false;
    }
    out.letters = rest.substr(0, 10);
    out.app = rest.substr(11, lastUnderscore - 11);
    out.stamp = rest.substr(lastUnderscore + 1);
    if (!isLetters(out.letters)) {
        out.why = "no product letters in the name";
        return false;
    }
    if (!isStamp(out.stamp)) {
        out.why = "no time stamp in the name";
        return false;
    }
    out.productID = decodeProductLetters(out.letters);
    return !out.app.empty();
}

FileName foreign(const std::string& why) {
    FileName f;
    f.why = why;
    return f;
}

}  // namespace

std::string decodeProductLetters(const std::string& letters) {
    std::string digits;
    for (char c : letters) {
        const char* at = c == '\0' ? nullptr : std::char_traits<char>::find(kDigitLetters, 10, c);
        if (at == nullptr) return "";
        digits += static_cast<char>('0' + (at - kDigitLetters));
    }
    return digits;
}

std::string stampTime(const std::string& stamp) {
    if (!isStamp(stamp)) return "?";
    uint64_t micros = 0;
    for (char c : stamp) micros = micros * 32 + std::string(kBase32).find(c);
    const time_t seconds = static_cast<time_t>(micros / 1000000);
    struct tm utc {};
    if (gmtime_r(&seconds, &utc) == nullptr) return "?";
    char text[64];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    if (n == 0) return "?";
    std::string out(text, n);
    std::string fraction = std::to_string(micros % 1000000);
    out += "." + std::string(6 - fraction.size(), '0') + fraction + "Z";
    return out;
}

FileName classifyFileName(const std::string& name) {
    FileName out;
    if (startsWith(name, "zebconfigV5_")) {
        std::string rest = name.substr(12);
        if (endsWith(rest, ".cfgtmp")) {
            out.kind = FileKind::kConfigTemporary;
            rest.resize(rest.size() - 7);
        } else if (endsWith(rest, ".cfg")) {
            out.kind = FileKind::kConfig;
            rest.resize(rest.size() - 4);
        } else {
            return foreign("configuration-like name without .cfg");
        }
        if (!splitTail(rest, out)) return foreign(out.why);
        return out;
    }
    if (startsWith(name, "zeblogV5_")) {
        std::string rest = name.substr(9);
        if (endsWith(rest, ".logtmp")) {
            out.kind = FileKind::kActiveLog;
            rest.resize(rest.size() - 7);
        } else if (endsWith(rest, ".log")) {
            out.kind = FileKind::kClosedLog;
            rest.resize(rest.size() - 4);
        } else {
            return foreign("log-like name without .log or .logtmp");
        }
        // "<client>_<letters>_<app>_<stamp>": the client ID may hold "_"
        // itself, so the letters are found as the first "_" followed by ten
        // product letters and another "_".
        for (size_t at = rest.find('_'); at != std::string::npos; at = rest.find('_', at + 1)) {
            if (at + 11 < rest.size() && rest[at + 11] == '_' &&
                isLetters(rest.substr(at + 1, 10))) {
                out.clientID = rest.substr(0, at);
                if (!splitTail(rest.substr(at + 1), out)) return foreign(out.why);
                return out;
            }
        }
        return foreign("no product letters in the name");
    }
    if (startsWith(name, "zebv5test_") && endsWith(name, ".txt")) {
        out.kind = FileKind::kProbe;
        return out;
    }
    return foreign("not a libzeb file");
}

}  // namespace ZEBInspect
