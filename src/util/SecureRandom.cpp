#include "util/SecureRandom.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "util/FileDescriptor.h"

namespace ZEBInternal {

namespace {

// getrandom(2) may return fewer bytes than asked for large requests or when
// a signal arrives; loop until the whole buffer is filled.
// Returns false with errno set when the call itself is unavailable.
bool fromGetrandom(uint8_t* p, size_t n) {
    while (n > 0) {
        const ssize_t got = getrandom(p, n, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

// Kept for sandboxes whose system-call filter refuses getrandom(2).
bool fromDevice(uint8_t* p, size_t n) {
    FileDescriptor fd(openRetrying("/dev/urandom", O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return false;
    return readFully(fd.get(), p, n) == n;
}

}  // namespace

bool secureRandomBytes(void* out, size_t n) {
    if (n == 0) return true;
    if (out == nullptr) return false;
    auto* p = static_cast<uint8_t*>(out);
    if (fromGetrandom(p, n)) return true;
    if (errno != ENOSYS && errno != EPERM) return false;
    return fromDevice(p, n);
}

}  // namespace ZEBInternal
