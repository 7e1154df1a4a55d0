#pragma once
// Text and number conversions shared by every subsystem. Stateless free
// functions: no locks, callable from any thread (expandEnvironment reads the
// environment and so must not race a host thread that calls setenv).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ZEBInternal {

// Unsigned decimal text.
std::string toDecimal(uint32_t value);
std::string toDecimal(uint64_t value);

// Reads a signed 32-bit number the way stream extraction does: leading white
// space skipped, an optional sign, at least one digit, trailing characters
// ignored. False, with `out` untouched, when no number can be read or it does
// not fit in 32 bits.
bool parseInt(const std::string& text, int32_t& out);
// The same reading for values written as unsigned 32-bit decimals: accepts
// -2^31 to 2^32-1; a negative value is kept in two's complement, as a signed
// read would store it.
bool parseUInt32Lenient(const std::string& text, uint32_t& out);

// ASCII letters only, per byte; every other byte (UTF-8 sequences
// included) is kept. Never by the locale: a host that calls setlocale must
// not change a fingerprint or a file name.
std::string toUpper(const std::string& text);
std::string toLower(const std::string& text);
inline char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
inline char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
// The C locale's classes, whatever locale the host has set.
inline bool isAsciiSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }
inline bool isAsciiHexDigit(char c) {
    return isAsciiDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Removes spaces, tabs, carriage returns and line feeds at both ends.
std::string trim(const std::string& text);
// True when the text holds a space, tab, carriage return or line feed.
bool hasWhitespace(const std::string& text);

// Byte-wise and case-sensitive.
bool startsWith(const std::string& text, const std::string& prefix);
bool equals(const std::string& a, const std::string& b);

// Splits at any of the delimiter characters, trims each piece and drops the
// pieces left empty.
std::vector<std::string> split(const std::string& text, const std::string& delimiters);
std::string join(const std::vector<std::string>& pieces, const std::string& separator);

// Replaces "$NAME" and "${NAME}" (NAME of A-Z, 0-9 and "_") by the value of
// the environment variable NAME; an unset variable gives empty text. A dollar
// sign not followed by such a name is kept as it stands.
std::string expandEnvironment(const std::string& text);

// Exactly 13 characters of "0123456789ABCDEFGHIJKLMNOPQRSTUV", most
// significant first, 5 bits each; equal-length texts sort like the numbers.
std::string toBase32(uint64_t value);

// Hexadecimal digit pairs (either case) to bytes. Needs at least 2
// characters, stops before the first pair holding a non-hexadecimal
// character, and ignores a final odd character.
std::string hexDecode(const std::string& text);
// Two upper-case hexadecimal characters per byte, high nibble first.
std::string hexEncode(const void* data, size_t length);
std::string hexEncode(const std::string& bytes);

// Number of UTF-8 characters: bytes that are not continuation bytes
// (binary 10xxxxxx).
size_t utf8Length(const std::string& text);
// The first n characters of text, a character being a byte that is not a
// continuation byte together with the continuation bytes that follow it;
// continuation bytes before the first such byte stay with it. The cut always
// falls before a non-continuation byte, so a character is never split and no
// byte beyond the input is ever looked at, whatever the input holds.
// n == 0 gives the empty string; a shorter text stays whole.
std::string truncateUtf8(const std::string& text, size_t n);
// The same cut applied to `text` itself; a text of at most n bytes is left
// as it is without being read.
void truncateUtf8InPlace(std::string& text, size_t n);

// A backslash before every backslash and before every character of
// `specials`; nothing else changes.
std::string escapeSpecials(const std::string& text, const char* specials);
// escapeSpecials, then every line feed becomes backslash and "n" and every
// carriage return is dropped, so the result never spans lines.
std::string escape(const std::string& text, const char* specials);

// The current wall-clock time as microseconds since the epoch in toBase32:
// the stamp that ends every data-file name, so that names sort in time.
std::string timeStamp32();

}  // namespace ZEBInternal
