#pragma once
// Owns one POSIX file descriptor and closes it when it goes out of scope,
// so every return path of the file helpers releases what it opened. One
// owner, one thread; not copyable or movable, like every descriptor holder.

#include <sys/types.h>

#include <cstddef>

namespace ZEBInternal {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&&) = delete;
    FileDescriptor& operator=(FileDescriptor&&) = delete;

    bool valid() const { return fd_ >= 0; }
    int get() const { return fd_; }
    // Closes now and reports whether the close succeeded: on some file
    // systems a failed write only shows up at close.
    bool close();

private:
    int fd_;
};

// open(2) retried while a signal interrupts it. Returns the descriptor or -1.
int openRetrying(const char* path, int flags, mode_t mode = 0);
// Reads until n bytes, end of file or an error; returns the count read.
size_t readFully(int fd, void* buf, size_t n);
// Writes all n bytes across short writes and signals. False on any error,
// including a write that makes no progress (a full disk).
bool writeFully(int fd, const void* buf, size_t n);

}  // namespace ZEBInternal
