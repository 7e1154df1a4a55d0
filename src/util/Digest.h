#pragma once
// SHA-256 digests in the three renderings the protocol uses, and Base64.
// Stateless; any thread. Message signatures are sha256Base64 of the signed
// bytes; identifiers, fingerprints and the configuration file's signature
// line are sha256Hex.

#include <cstddef>
#include <string>

namespace ZEBInternal {

// The 32 digest bytes.
std::string sha256Raw(const void* data, size_t length);
std::string sha256Raw(const std::string& bytes);
// Base64 of the 32 digest bytes: 44 characters ending in "=". A null data
// pointer counts as empty input, whatever the length says.
std::string sha256Base64(const void* data, size_t length);
std::string sha256Base64(const std::string& bytes);
// 64 upper-case hexadecimal characters, high nibble first.
std::string sha256Hex(const std::string& bytes);
// As sha256Hex over the wide characters' storage: 4 bytes per character in
// machine (little-endian) byte order.
std::string sha256HexWide(const std::wstring& text);

// Standard alphabet, "=" padding, no line breaks; empty input gives "".
// A null data pointer counts as empty input.
std::string base64Encode(const void* data, size_t length);
std::string base64Encode(const std::string& bytes);

}  // namespace ZEBInternal
