#include "util/FileDescriptor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace ZEBInternal {

FileDescriptor::~FileDescriptor() {
    close();
}

bool FileDescriptor::close() {
    if (fd_ < 0) return true;
    // Never retry close on EINTR: Linux has already released the descriptor,
    // and a retry could close one that another thread just opened.
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0 || errno == EINTR;
}

int openRetrying(const char* path, int flags, mode_t mode) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

size_t readFully(int fd, void* buf, size_t n) {
    auto* p = static_cast<char*>(buf);
    size_t done = 0;
    while (done < n) {
        const ssize_t got = ::read(fd, p + done, n - done);
        if (got < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
}

bool writeFully(int fd, const void* buf, size_t n) {
    const auto* p = static_cast<const char*>(buf);
    while (n > 0) {
        const ssize_t put = ::write(fd, p, n);
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (put == 0) return false;
        p += put;
        n -= static_cast<size_t>(put);
    }
    return true;
}

}  // namespace ZEBInternal
