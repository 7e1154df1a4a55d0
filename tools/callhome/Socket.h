#pragma once
// Sockets and byte streams of the call-home server.
//
// Socket owns one descriptor. Stream is the byte pipe of one connection,
// plain (PlainStream, here) or TLS (TlsStream, TlsServer.h); both work on a
// non-blocking descriptor and wait with poll(2) in short slices so that a
// server stop ends every wait within kStopSliceMs. A Stream belongs to the
// one connection thread that created it.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace ZEBCallHome {

using Clock = std::chrono::steady_clock;
using Deadline = Clock::time_point;

constexpr int kStopSliceMs = 50;

inline Deadline deadlineIn(unsigned ms) {
    return Clock::now() + std::chrono::milliseconds(ms);
}

class Socket {
public:
    explicit Socket(int fd = -1) : fd_(fd) {}
    ~Socket();
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    Socket(Socket&&) = delete;
    Socket& operator=(Socket&&) = delete;

    bool valid() const { return fd_ >= 0; }
    int get() const { return fd_; }
    // Closes the held descriptor, if any, and takes fd.
    void reset(int fd = -1);
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

enum class WaitResult { kReady, kTimeout, kStopped, kError };

// Waits until fd is ready for events (POLLIN or POLLOUT), the deadline
// passes or stop becomes true. A hang-up counts as ready: the next read or
// write then reports it.
WaitResult waitFor(int fd, short events, Deadline deadline, const std::atomic<bool>& stop);

// A listening TCP socket on 127.0.0.1 (never any other address). port 0
// lets the system choose. False with a message on failure.
bool listenLoopback(uint16_t port, Socket& out, uint16_t& boundPort, std::string& error);

class Stream {
public:
    virtual ~Stream() = default;

    // Reads up to n bytes. > 0: bytes read; 0: the peer closed its side;
    // -1: error, deadline passed or stop.
    virtual long read(char* buf, size_t n, Deadline deadline) = 0;
    // Writes all bytes; false on error, deadline or stop.
    virtual bool writeAll(const std::string& bytes, Deadline deadline) = 0;
    // Ends the byte stream politely (TLS sends its close notification).
    virtual void finish(Deadline) {}
    // True when the last read failed because the deadline passed.
    bool timedOut() const { return timedOut_; }

protected:
    bool timedOut_ = false;
};

// Plain TCP over a borrowed descriptor (the Socket outlives the stream).
// `pending` holds bytes already taken from the socket that belong to this
// stream; they are read first.
class PlainStream : public Stream {
public:
    PlainStream(int fd, std::string pending, const std::atomic<bool>& stop)
        : fd_(fd), pending_(std::move(pending)), stop_(stop) {}

    long read(char* buf, size_t n, Deadline deadline) override;
    bool writeAll(const std::string& bytes, Deadline deadline) override;

private:
    int fd_;
    std::string pending_;
    const std::atomic<bool>& stop_;
};

// Raw non-blocking send and receive on a descriptor, without waiting.
// recvNow: > 0 bytes, 0 closed, -1 error, -2 would block.
long recvNow(int fd, char* buf, size_t n);
// sendNow: > 0 bytes, -1 error, -2 would block.
long sendNow(int fd, const char* buf, size_t n);

}  // namespace ZEBCallHome
