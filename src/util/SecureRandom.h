#pragma once
// Cryptographically secure random bytes from the operating system. Used for
// per-message key material and identifiers. Thread-safe: every call asks the
// kernel on its own, so there is no shared generator state to guard, and the
// C library's rand() sequence, which belongs to the host, is never touched.

#include <cstddef>

namespace ZEBInternal {

// Fills out[0..n) with random bytes. Blocks only while the kernel's pool is
// not yet initialised (early boot). False when no secure source answers;
// `out` is then unspecified and must not be used.
bool secureRandomBytes(void* out, size_t n);

}  // namespace ZEBInternal
