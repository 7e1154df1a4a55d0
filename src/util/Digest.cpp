#include "util/Digest.h"

#include <mbedtls/sha256.h>

#include <cstdint>

#include "util/Strings.h"
#include "util/ZEBException.h"

namespace ZEBInternal {

namespace {

const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

std::string sha256Raw(const void* data, size_t length) {
    static const unsigned char kNothing = 0;
    const auto* input = data != nullptr ? static_cast<const unsigned char*>(data) : &kNothing;
    if (data == nullptr) length = 0;
    unsigned char digest[32];
    const int rc = mbedtls_sha256_ret(input, length, digest, 0);
    // The software SHA-256 cannot fail; only a hardware replacement could.
    // An empty or wrong signature must never go out silently, so throw.
    if (rc != 0)
        throw ZEBException("DigestException", "sha256 failed: mbedtls error " + std::to_string(rc));
    return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

std::string sha256Raw(const std::string& bytes) {
    return sha256Raw(bytes.data(), bytes.size());
}

std::string sha256Base64(const void* data, size_t length) {
    return base64Encode(sha256Raw(data, length));
}

std::string sha256Base64(const std::string& bytes) {
    return base64Encode(sha256Raw(bytes));
}

std::string sha256Hex(const std::string& bytes) {
    return hexEncode(sha256Raw(bytes));
}

std::string sha256HexWide(const std::wstring& text) {
    static_assert(sizeof(wchar_t) == 4, "wide characters are hashed as 4-byte units");
    return hexEncode(sha256Raw(text.data(), text.size() * sizeof(wchar_t)));
}

std::string base64Encode(const void* data, size_t length) {
    std::string out;
    if (data == nullptr || length == 0) return out;
    const auto* p = static_cast<const unsigned char*>(data);
    out.reserve((length + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        const uint32_t group = (uint32_t{p[i]} << 16) | (uint32_t{p[i + 1]} << 8) | p[i + 2];
        out += kBase64Alphabet[(group >> 18) & 63u];
        out += kBase64Alphabet[(group >> 12) & 63u];
        out += kBase64Alphabet[(group >> 6) & 63u];
        out += kBase64Alphabet[group & 63u];
    }
    const size_t rest = length - i;
    if (rest > 0) {
        uint32_t group = uint32_t{p[i]} << 16;
        if (rest == 2) group |= uint32_t{p[i + 1]} << 8;
        out += kBase64Alphabet[(group >> 18) & 63u];
        out += kBase64Alphabet[(group >> 12) & 63u];
        out += rest == 2 ? kBase64Alphabet[(group >> 6) & 63u] : '=';
        out += '=';
    }
    return out;
}

std::string base64Encode(const std::string& bytes) {
    return base64Encode(bytes.data(), bytes.size());
}

}  // namespace ZEBInternal
