#include "Socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace ZEBCallHome {

Socket::~Socket() {
    reset();
}

void Socket::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

WaitResult waitFor(int fd, short events, Deadline deadline, const std::atomic<bool>& stop) {
    for (;;) {
        if (stop.load()) return WaitResult::kStopped;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return WaitResult::kTimeout;
        pollfd p{fd, events, 0};
        // Short slices: the stop flag is only seen between polls.
        const int rc = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, kStopSliceMs)));
        if (rc < 0) {
            if (errno == EINTR) continue;
            return WaitResult::kError;
        }
        if (rc > 0) return WaitResult::kReady;
    }
}

bool listenLoopback(uint16_t port, Socket& out, uint16_t& boundPort, std::string& error) {
    Socket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!s.valid()) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int one = 1;
    ::setsockopt(s.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(s.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        error = "bind 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        return false;
    }
    if (::listen(s.get(), 64) != 0) {
        error = std::string("listen: ") + std::strerror(errno);
        return false;
    }
    socklen_t len = sizeof addr;
    if (::getsockname(s.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        error = std::string("getsockname: ") + std::strerror(errno);
        return false;
    }
    boundPort = ntohs(addr.sin_port);
    out.reset(s.release());
    return true;
}

long recvNow(int fd, char* buf, size_t n) {
    for (;;) {
        const ssize_t rc = ::recv(fd, buf, n, 0);
        if (rc >= 0) return static_cast<long>(rc);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return -2;
        return -1;
    }
}

long sendNow(int fd, const char* buf, size_t n) {
    for (;;) {
        // MSG_NOSIGNAL: a client that went away must not end the server
        // with SIGPIPE.
        const ssize_t rc = ::send(fd, buf, n, MSG_NOSIGNAL);
        if (rc >= 0) return static_cast<long>(rc);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return -2;
        return -1;
    }
}

long PlainStream::read(char* buf, size_t n, Deadline deadline) {
    timedOut_ = false;
    if (!pending_.empty()) {
        const size_t k = std::min(n, pending_.size());
        std::memcpy(buf, pending_.data(), k);
        pending_.erase(0, k);
        return static_cast<long>(k);
    }
    for (;;) {
        const long rc = recvNow(fd_, buf, n);
        if (rc != -2) return rc;
        const WaitResult w = waitFor(fd_, POLLIN, deadline, stop_);
        if (w == WaitResult::kTimeout) timedOut_ = true;
        if (w != WaitResult::kReady) return -1;
    }
}

bool PlainStream::writeAll(const std::string& bytes, Deadline deadline) {
    size_t done = 0;
    while (done < bytes.size()) {
        const long rc = sendNow(fd_, bytes.data() + done, bytes.size() - done);
        if (rc == -1) return false;
        if (rc > 0) {
            done += static_cast<size_t>(rc);
            continue;
        }
        if (waitFor(fd_, POLLOUT, deadline, stop_) != WaitResult::kReady) return false;
    }
    return true;
}

}  // namespace ZEBCallHome
