#pragma once
// The accept loop: takes connections on the listening socket and serves
// each on its own thread, at most maxConnections at a time (further clients
// wait in the listen backlog). Threads, not a single loop, so that a hang
// or slow fault on one connection never holds up the next request.
//
// Owned and run by main() on the main thread; run() returns after the wake
// descriptor turns readable (a signal arrived) and every connection thread
// has been joined. Connection threads see the stop through the context's
// stop flag within one poll slice.

#include <atomic>
#include <list>
#include <memory>
#include <thread>

#include "ServerContext.h"
#include "Socket.h"

namespace ZEBCallHome {

class CallHomeServer {
public:
    CallHomeServer(ServerContext& context, Socket& listener, int wakeFd, unsigned maxConnections)
        : ctx_(context), listener_(listener), wakeFd_(wakeFd), maxConnections_(maxConnections) {}
    ~CallHomeServer();
    CallHomeServer(const CallHomeServer&) = delete;
    CallHomeServer& operator=(const CallHomeServer&) = delete;

    void run();

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void reap(bool all);

    ServerContext& ctx_;  // owned by main()
    Socket& listener_;    // owned by main()
    const int wakeFd_;    // owned by main()
    const unsigned maxConnections_;
    std::list<Worker> workers_;  // main thread only
};

}  // namespace ZEBCallHome
