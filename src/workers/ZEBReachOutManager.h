#pragma once
// Keeps the reach-out messages that arrive with server answers and shows
// them, one at a time, through the host's handler on its own thread
// ("ReachOutManager", every 60 s and whenever a message arrives). After a
// show it waits, polling the handler's status() once a second, until the
// host reports the message done; only then may the next one be shown.
//
// Created with the SDK (thread not started), given the handler before
// zebStartSDK, started by it, stopped by zebStopSDK (which closes the
// handler once, on the stopping thread) and joined by the SDK's destructor.
//
// Locks: apiLock_ guards the queue and the handler pointer. No host callback
// runs with it held, so a host callback may call back into the library.

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "core/ZEBReachOutQueue.h"
#include "core/ZEBSDKReachOutHandler.h"
#include "threading/ZEBMutex.h"
#include "threading/ZEBRunnable.h"
#include "threading/ZEBThread.h"

namespace ZEBInternal {

class ZEBStopMonitor;

class ZEBReachOutManager : public ZEBRunnable, public ZEBReachOutQueue {
public:
    // stopMonitor is borrowed: the SDK owns this manager. The thread is made
    // here and started by start().
    explicit ZEBReachOutManager(ZEBStopMonitor* stopMonitor);
    ~ZEBReachOutManager() override;
    ZEBReachOutManager(const ZEBReachOutManager&) = delete;
    ZEBReachOutManager& operator=(const ZEBReachOutManager&) = delete;

    // Shows the front message (if there is a handler) and waits until the
    // host reports it done or the manager stops; the message is removed
    // either way.
    void run() override;

    // REQUIRES: the thread has not been started (the SDK refuses otherwise),
    // so the thread never sees the handler change.
    void setHandler(std::unique_ptr<ZEBSDKReachOutHandler> handler);
    bool hasHandler() override;
    bool isMessageDone() override;
    bool isQueueEmpty();
    bool isReady() override;
    void addMessage(const std::string& width, const std::string& height, int32_t position,
                    const std::string& content) override;

    void start();
    // Stops the thread and ends a status wait; with a handler, waits for a
    // show in progress to return (at most ten seconds) and calls close()
    // once. Runs on the thread that stops the SDK.
    void stop();
    void join();

private:
    struct Entry {
        std::string width;
        std::string height;
        int32_t position = 0;
        std::string content;
    };

    void display(const Entry& entry, ZEBSDKReachOutHandler& handler);
    // Sleeps up to `micros`, returning early once stopping_ is set.
    void nap(uint64_t micros) const;

    ZEBStopMonitor* const stopMonitor_;               // borrowed, the SDK
    std::unique_ptr<ZEBMutex> apiLock_;               // "ReachOutManager API lock"
    std::unique_ptr<ZEBSDKReachOutHandler> handler_;  // guarded by apiLock_
    std::deque<Entry> queue_;                         // guarded by apiLock_
    // False only while a show() is in progress; written by the display
    // thread without the lock and read by stop().
    std::atomic<bool> displayDone_{true};
    std::atomic<bool> stopping_{false};  // set once, never cleared
    std::unique_ptr<ZEBThread> thread_;
};

}  // namespace ZEBInternal
