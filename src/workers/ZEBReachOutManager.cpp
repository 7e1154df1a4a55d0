#include "workers/ZEBReachOutManager.h"

#include "api/ZEBStopMonitor.h"
#include "threading/ZEBScopedLock.h"

namespace ZEBInternal {

ZEBReachOutManager::ZEBReachOutManager(ZEBStopMonitor* stopMonitor)
    : stopMonitor_(stopMonitor),
      apiLock_(createMutex(true, "ReachOutManager API lock")),
      thread_(createThread(this, "ReachOutManager", TimeValue{60, 0}, 0)) {}

ZEBReachOutManager::~ZEBReachOutManager() {
    try {
        {
            ZEBScopedLock guard(apiLock_.get());
            stopping_ = true;
        }
        thread_->stop();
        thread_->join();
    } catch (...) {
        // A destructor must not throw; the thread is gone or broken either way.
    }
}

void ZEBReachOutManager::run() {}

void ZEBReachOutManager::setHandler(std::unique_ptr<ZEBSDKReachOutHandler> handler) {
    ZEBScopedLock guard(apiLock_.get());
    handler_ = std::move(handler);
}

bool ZEBReachOutManager::hasHandler() {
    ZEBScopedLock guard(apiLock_.get());
    return handler_ != nullptr;
}

bool ZEBReachOutManager::isReady() {
    ZEBScopedLock guard(apiLock_.get());
    return handler_ != nullptr && !stopMonitor_->shouldStop(false);
}

void ZEBReachOutManager::start() { thread_->start(); }

void ZEBReachOutManager::stop() {
    ZEBSDKReachOutHandler* handler = nullptr;
    {
        ZEBScopedLock guard(apiLock_.get());
        stopping_ = true;
        handler = handler_.get();
    }
    thread_->stop();
    // The host's callback runs without our lock held, so it may call back
    // into the library. The handler cannot change once the thread started.
    if (handler != nullptr) {
        try {
            handler->close();
        } catch (...) {
            // The host's close failing must not keep the other workers running.
        }
    }
}

void ZEBReachOutManager::join() { thread_->join(); }

}  // namespace ZEBInternal
