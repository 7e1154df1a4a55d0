#include "util/SecureWipe.h"

#include <mbedtls/platform_util.h>

namespace ZEBInternal {

void secureWipe(void* data, size_t size) {
    if (data != nullptr && size > 0) mbedtls_platform_zeroize(data, size);
}

void secureWipe(std::string& s) {
    // Growing to the capacity never reallocates, and makes every byte of
    // the buffer part of the value, so it may be written through data().
    s.resize(s.capacity());
    secureWipe(&s[0], s.size());
    s.clear();
}

}  // namespace ZEBInternal
