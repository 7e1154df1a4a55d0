#include "CallHomeServer.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ConnectionHandler.h"

namespace ZEBCallHome {

CallHomeServer::~CallHomeServer() {
    ctx_.stop = true;
    reap(true);
}

void CallHomeServer::reap(bool all) {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (all || it->done->load()) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void CallHomeServer::run() {
    for (;;) {
        reap(false);
        const bool full = workers_.size() >= maxConnections_;
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {listener_.get(), POLLIN, 0}};
        // When full, only the wake descriptor is watched; the short time-out
        // lets finished workers be reaped.
        const int rc = ::poll(fds, full ? 1 : 2, full ? kStopSliceMs : 1000);
        if (rc < 0 && errno != EINTR) {
            std::fprintf(stderr, "zeb-callhome: poll failed: %s\n", std::strerror(errno));
            break;
        }
        if (rc <= 0) continue;
        if (fds[0].revents != 0) break;
        if (full || fds[1].revents == 0) continue;
        const int fd = ::accept4(listener_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            // A client that gave up before accept, or a momentary shortage
            // of descriptors: neither ends the server.
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED)
                std::fprintf(stderr, "zeb-callhome: accept failed: %s\n", std::strerror(errno));
            continue;
        }
        Worker worker;
        worker.done = std::make_shared<std::atomic<bool>>(false);
        auto done = worker.done;
        ServerContext& ctx = ctx_;
        try {
            worker.thread = std::thread([&ctx, fd, done] {
                ConnectionHandler handler(ctx, fd);
                handler.run();
                *done = true;
            });
        } catch (const std::system_error& e) {
            Socket refused(fd);
            std::fprintf(stderr, "zeb-callhome: no thread for a connection: %s\n", e.what());
            continue;
        }
        workers_.push_back(std::move(worker));
    }
    ctx_.stop = true;
    reap(true);
}

}  // namespace ZEBCallHome
