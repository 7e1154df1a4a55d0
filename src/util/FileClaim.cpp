#include "util/FileClaim.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "util/FileDescriptor.h"

namespace ZEBInternal {

namespace {

int flockRetrying(int fd, int operation) {
    int rc;
    do {
        rc = ::flock(fd, operation);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

bool sameFile(int fd, const std::string& path) {
    struct stat held {};
    struct stat named {};
    return ::fstat(fd, &held) == 0 && held.st_nlink > 0 && ::stat(path.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

}  // namespace

FileClaim::~FileClaim() {
    release();
}

FileClaim::FileClaim(FileClaim&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

FileClaim& FileClaim::operator=(FileClaim&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

FileClaim FileClaim::take(const std::string& path) {
    // O_NONBLOCK: a FIFO planted under the name must not block the open.
    FileClaim claim(openRetrying(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!claim.valid()) return claim;
    struct stat st {};
    if (::fstat(claim.fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        claim.release();
        return claim;
    }
    // A file system without locks (some network and user-space ones) gives
    // a claim that holds nothing: the names and ages alone then protect the
    // files, as they would without claims, rather than nothing ever being
    // sent.
    if (flockRetrying(claim.fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        claim.release();
        return claim;
    }
    if (!sameFile(claim.fd_, path)) claim.release();
    return claim;
}

bool FileClaim::isUnclaimed(const std::string& path) {
    return take(path).valid();
}

bool FileClaim::isAt(const std::string& path) const {
    return valid() && sameFile(fd_, path);
}

uint64_t FileClaim::size() const {
    struct stat st {};
    if (!valid() || ::fstat(fd_, &st) != 0 || st.st_size < 0) return 0;
    return static_cast<uint64_t>(st.st_size);
}

void FileClaim::release() {
    if (fd_ < 0) return;
    // Explicitly, before the close: a forked child holding a copy of the
    // descriptor would otherwise keep the claim for as long as it lives.
    flockRetrying(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

}  // namespace ZEBInternal
