#include "util/Strings.h"

#include <cstdlib>
#include <cstring>

#include <sys/time.h>

namespace ZEBInternal {

namespace {

const char kHexDigits[] = "0123456789ABCDEF";
const char kBase32Digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUV";

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isEnvNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool isContinuation(unsigned char c) {
    return (c & 0xC0u) == 0x80u;
}

// Value of one hexadecimal digit, or -1.
int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string unsignedText(uint64_t value) {
    char buf[24];
    size_t pos = sizeof buf;
    do {
        buf[--pos] = static_cast<char>('0' + value % 10u);
        value /= 10u;
    } while (value != 0);
    return std::string(buf + pos, sizeof buf - pos);
}

}  // namespace

std::string toDecimal(uint32_t value) {
    return unsignedText(value);
}
std::string toDecimal(uint64_t value) {
    return unsignedText(value);
}

namespace {

// Stream-extraction reading of a decimal: white space (the C locale's set, which
// includes vertical tab and form feed) skipped, an optional sign, at least
// one digit, trailing text ignored. The magnitude may reach negativeLimit
// or positiveLimit; reading stops as soon as it cannot fit, so a long digit
// run never overflows the accumulator.
bool readDecimal(const std::string& text, uint64_t negativeLimit, uint64_t positiveLimit,
                 bool& negative, uint64_t& magnitude) {
    size_t i = 0;
    while (i < text.size() && isAsciiSpace(text[i])) ++i;
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size() || !isAsciiDigit(text[i])) return false;
    const uint64_t limit = negative ? negativeLimit : positiveLimit;
    magnitude = 0;
    for (; i < text.size() && isAsciiDigit(text[i]); ++i) {
        magnitude = magnitude * 10 + static_cast<uint64_t>(text[i] - '0');
        if (magnitude > limit) return false;
    }
    return true;
}

}  // namespace

bool parseInt(const std::string& text, int32_t& out) {
    bool negative = false;
    uint64_t magnitude = 0;
    if (!readDecimal(text, 2147483648ULL, 2147483647ULL, negative, magnitude)) return false;
    out = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude))
                   : static_cast<int32_t>(magnitude);
    return true;
}

bool parseUInt32Lenient(const std::string& text, uint32_t& out) {
    bool negative = false;
    uint64_t magnitude = 0;
    if (!readDecimal(text, 2147483648ULL, 4294967295ULL, negative, magnitude)) return false;
    out = static_cast<uint32_t>(negative ? (0u - magnitude) : magnitude);
    return true;
}

std::string toUpper(const std::string& text) {
    std::string r(text);
    for (char& c : r) c = asciiUpper(c);
    return r;
}

std::string toLower(const std::string& text) {
    std::string r(text);
    for (char& c : r) c = asciiLower(c);
    return r;
}

std::string trim(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && isBlank(text[begin])) ++begin;
    while (end > begin && isBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

bool hasWhitespace(const std::string& text) {
    for (char c : text)
        if (isBlank(c)) return true;
    return false;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool equals(const std::string& a, const std::string& b) {
    return a == b;
}

std::vector<std::string> split(const std::string& text, const std::string& delimiters) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of(delimiters, start);
        if (end == std::string::npos) end = text.size();
        std::string piece = trim(text.substr(start, end - start));
        if (!piece.empty()) pieces.push_back(std::move(piece));
        start = end + 1;
    }
    return pieces;
}

std::string join(const std::vector<std::string>& pieces, const std::string& separator) {
    std::string r;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i != 0) r += separator;
        r += pieces[i];
    }
    return r;
}

std::string expandEnvironment(const std::string& text) {
    if (text.find('$') == std::string::npos) return text;
    std::string r;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '$') {
            r += text[i++];
            continue;
        }
        const bool braced = i + 1 < text.size() && text[i + 1] == '{';
        size_t nameStart = i + (braced ? 2 : 1);
        size_t nameEnd = nameStart;
        while (nameEnd < text.size() && isEnvNameChar(text[nameEnd])) ++nameEnd;
        const bool closed = !braced || (nameEnd < text.size() && text[nameEnd] == '}');
        if (nameEnd == nameStart || !closed) {
            // Not a variable reference: the dollar sign is ordinary text.
            r += text[i++];
            continue;
        }
        const char* value = std::getenv(text.substr(nameStart, nameEnd - nameStart).c_str());
        if (value != nullptr) r += value;
        i = nameEnd + (braced ? 1 : 0);
    }
    return r;
}

std::string toBase32(uint64_t value) {
    std::string r(13, '0');
    for (int i = 12; i >= 0; --i) {
        r[static_cast<size_t>(i)] = kBase32Digits[value & 31u];
        value >>= 5;
    }
    return r;
}

std::string hexDecode(const std::string& text) {
    std::string bytes;
    if (text.size() < 2) return bytes;
    bytes.reserve(text.size() / 2);
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        const int hi = hexValue(text[i]);
        const int lo = hexValue(text[i + 1]);
        if (hi < 0 || lo < 0) break;
        bytes += static_cast<char>((hi << 4) | lo);
    }
    return bytes;
}

std::string hexEncode(const void* data, size_t length) {
    std::string r;
    if (data == nullptr) return r;
    const auto* p = static_cast<const unsigned char*>(data);
    r.reserve(length * 2);
    for (size_t i = 0; i < length; ++i) {
        r += kHexDigits[p[i] >> 4];
        r += kHexDigits[p[i] & 0x0Fu];
    }
    return r;
}

std::string hexEncode(const std::string& bytes) {
    return hexEncode(bytes.data(), bytes.size());
}

size_t utf8Length(const std::string& text) {
    size_t n = 0;
    for (char c : text)
        if (!isContinuation(static_cast<unsigned char>(c))) ++n;
    return n;
}

void truncateUtf8InPlace(std::string& text, size_t n) {
    // No more bytes than the limit: no more characters either.
    if (text.size() <= n) return;
    text = truncateUtf8(text, n);
}

std::string truncateUtf8(const std::string& text, size_t n) {
    if (n == 0) return std::string();
    size_t characters = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (isContinuation(static_cast<unsigned char>(text[i]))) continue;
        // text[i] starts character number characters + 1: cut before it
        // once n characters are complete.
        if (characters == n) return text.substr(0, i);
        ++characters;
    }
    return text;
}

std::string escapeSpecials(const std::string& text, const char* specials) {
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\\' || (c != '\0' && std::strchr(specials, c) != nullptr)) out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

std::string escape(const std::string& text, const char* specials) {
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        if (c == '\\' || (c != '\0' && std::strchr(specials, c) != nullptr)) out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

std::string timeStamp32() {
    struct timeval tv {};
    gettimeofday(&tv, nullptr);
    const uint64_t micros = static_cast<uint64_t>(tv.tv_sec) * 1000000u +
                            static_cast<uint64_t>(tv.tv_usec);
    return toBase32(micros);
}

}  // namespace ZEBInternal
