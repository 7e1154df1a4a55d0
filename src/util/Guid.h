#pragma once
// Random identifiers: 16 bytes from the kernel's random device rendered as
// 32 upper-case hexadecimal characters. Stateless; any thread.

#include <string>

namespace ZEBInternal {

// The text returned when no random device can be read. Callers that need a
// real identifier compare against it.
extern const char* const kGuidFallback;  // "XXXXXXXX-XXXX-XXXX-XXXXXXXX-XXXXXXXX"

// Reads "/dev/urandom", or "/dev/random" when that cannot be opened.
std::string makeGuid();
// Same, with the two devices named by the caller (tests point both at
// missing paths to reach the fall-back). A device that yields fewer than 16
// bytes leaves the rest zero; one that yields none, or none that opens,
// gives kGuidFallback.
std::string makeGuid(const std::string& primaryDevice, const std::string& secondaryDevice);

}  // namespace ZEBInternal
