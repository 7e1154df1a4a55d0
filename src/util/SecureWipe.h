#pragma once
// Wiping of secrets before their memory is released: the AES key and its
// text, message keys, the proxy password and the Basic credentials made
// from it. Released heap memory is handed to the next allocation unchanged
// and may end up in a core file, so every object that holds a secret wipes
// it when it lets go of it, and short-lived copies are wiped on every path
// with ScopedWipe. The wipe uses mbedtls_platform_zeroize, which the
// compiler cannot drop as a dead store. Stateless; thread-safe.

#include <cstddef>
#include <string>

namespace ZEBInternal {

void secureWipe(void* data, size_t size);
// Zeroes the whole buffer, including any bytes a shorter value left beyond
// the current size, then empties the string. Its capacity stays, so a
// later value of the same size lands in the same (wiped) buffer.
void secureWipe(std::string& s);

// Wipes the string it watches when the scope ends, also when an exception
// leaves it. active false makes it a no-op, for data that is secret only
// sometimes (a request that carries proxy credentials).
class ScopedWipe {
public:
    explicit ScopedWipe(std::string& s, bool active = true) : s_(s), active_(active) {}
    ~ScopedWipe() {
        if (active_) secureWipe(s_);
    }
    ScopedWipe(const ScopedWipe&) = delete;
    ScopedWipe& operator=(const ScopedWipe&) = delete;

private:
    std::string& s_;  // borrowed: outlives the guard
    const bool active_;
};

}  // namespace ZEBInternal
