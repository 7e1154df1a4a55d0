#pragma once
// Random identifiers: 16 bytes from the kernel's secure random source
// rendered as 32 upper-case hexadecimal characters. Stateless; any thread.

#include <string>

namespace ZEBInternal {

// 16 bytes of secureRandomBytes. getrandom(2) needs no descriptor, so a
// host that has run out of them still gets a fresh ID. Should no secure
// source answer at all, the bytes are a digest of the process, the clocks
// and a per-process counter: never secret, but still never one value shared
// by two instances.
std::string makeGuid();

}  // namespace ZEBInternal
