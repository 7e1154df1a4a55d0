#pragma once
// Keeps the reach-out messages that arrive with server responses and shows
// them through the host's handler on its own thread ("ReachOutManager",
// every 60 s). Created with the SDK, started by zebStartSDK, stopped by
// zebStopSDK and joined by the SDK's destructor.
//
// This first version owns the handler and runs its thread; the message
// queue and the display loop arrive with the online work.

#include <memory>

#include "api/ZEBSDKReachOutHandler.h"
#include "threading/ZEBMutex.h"
#include "threading/ZEBRunnable.h"
#include "threading/ZEBThread.h"

namespace ZEBInternal {

class ZEBStopMonitor;

class ZEBReachOutManager : public ZEBRunnable {
public:
    // stopMonitor is borrowed: the SDK owns this manager.
    explicit ZEBReachOutManager(ZEBStopMonitor* stopMonitor);
    ~ZEBReachOutManager() override;
    ZEBReachOutManager(const ZEBReachOutManager&) = delete;
    ZEBReachOutManager& operator=(const ZEBReachOutManager&) = delete;

    void run() override;

    // REQUIRES: the thread has not been started (the SDK refuses otherwise).
    void setHandler(std::unique_ptr<ZEBSDKReachOutHandler> handler);
    bool hasHandler();
    // Whether a sync may ask the server for a message now.
    bool isReady();

    void start();
    // Stops the thread and tells the installed handler, once, to close.
    void stop();
    void join();

private:
    ZEBStopMonitor* stopMonitor_;
    std::unique_ptr<ZEBMutex> apiLock_;  // "ReachOutManager API lock"
    std::unique_ptr<ZEBSDKReachOutHandler> handler_;  // guarded by apiLock_
    bool stopping_ = false;                           // guarded by apiLock_
    std::unique_ptr<ZEBThread> thread_;
};

}  // namespace ZEBInternal
