#include "workers/ZEBReachOutManager.h"

#include "core/ZEBStopMonitor.h"
#include "threading/ZEBScopedLock.h"
#include "util/TimeValue.h"

namespace ZEBInternal {

namespace {
constexpr uint64_t kStatusPollMicros = 1000000;  // the host is asked once a second
constexpr uint64_t kNapSliceMicros = 20000;      // how soon a stop ends a poll wait
const TimeValue kNapSlice{0, static_cast<uint32_t>(kNapSliceMicros)};
const TimeValue kCloseSettle{0, 50000};  // before and after close()
// A host whose show() never returns must not hold zebStopSDK for ever:
// close() then goes out anyway, which may be what ends that show.
constexpr uint64_t kShowWaitLimitMicros = 10000000;
}  // namespace

ZEBReachOutManager::ZEBReachOutManager(ZEBStopMonitor* stopMonitor)
    : stopMonitor_(stopMonitor),
      apiLock_(createMutex(true, "ReachOutManager API lock")),
      thread_(createThread(this, "ReachOutManager", TimeValue{60, 0}, 0)) {}

ZEBReachOutManager::~ZEBReachOutManager() {
    try {
        stopping_ = true;
        thread_->stop();
        thread_->join();
    } catch (...) {
        // A destructor must not throw; the thread is gone or broken either way.
    }
}

void ZEBReachOutManager::run() {
    Entry entry;
    ZEBSDKReachOutHandler* handler = nullptr;
    {
        ZEBScopedLock guard(apiLock_.get());
        if (queue_.empty()) return;
        entry = queue_.front();
        handler = handler_.get();
        if (handler != nullptr) displayDone_ = false;
    }
    if (handler != nullptr) {
        try {
            display(entry, *handler);
        } catch (...) {
            // The host's callback failed: this message is dropped, and the
            // next one gets its own chance.
        }
        displayDone_ = true;
    }
    // Without a handler a message is dropped unseen, one per pass.
    ZEBScopedLock guard(apiLock_.get());
    if (!queue_.empty()) queue_.pop_front();
}

void ZEBReachOutManager::display(const Entry& entry, ZEBSDKReachOutHandler& handler) {
    if (stopMonitor_->shouldStop(false)) {
        displayDone_ = true;
        return;
    }
    handler.show(entry.width, entry.height, entry.position, entry.content);
    displayDone_ = true;
    // The next message must not cover this one: wait for the host's word.
    while (!stopping_ && handler.status() == 0) nap(kStatusPollMicros);
}

void ZEBReachOutManager::nap(uint64_t micros) const {
    for (uint64_t slept = 0; slept < micros && !stopping_; slept += kNapSliceMicros) {
        timeutil::sleepFor(kNapSlice);
    }
}

void ZEBReachOutManager::setHandler(std::unique_ptr<ZEBSDKReachOutHandler> handler) {
    ZEBScopedLock guard(apiLock_.get());
    handler_ = std::move(handler);
}

bool ZEBReachOutManager::hasHandler() {
    ZEBScopedLock guard(apiLock_.get());
    return handler_ != nullptr;
}

bool ZEBReachOutManager::isMessageDone() {
    ZEBSDKReachOutHandler* handler = nullptr;
    {
        ZEBScopedLock guard(apiLock_.get());
        handler = handler_.get();
    }
    // The handler cannot change once the workers run; the host is asked
    // without our lock held.
    return handler != nullptr && handler->status() != 0;
}

bool ZEBReachOutManager::isQueueEmpty() {
    ZEBScopedLock guard(apiLock_.get());
    return queue_.empty();
}

bool ZEBReachOutManager::isReady() {
    {
        ZEBScopedLock guard(apiLock_.get());
        if (!queue_.empty() || handler_ == nullptr) return false;
    }
    return !stopMonitor_->shouldStop(false);
}

void ZEBReachOutManager::addMessage(const std::string& width, const std::string& height,
                                    int32_t position, const std::string& content) {
    {
        ZEBScopedLock guard(apiLock_.get());
        queue_.push_back(Entry{width, height, position, content});
    }
    // Kept even when it arrives during a pass (a message on screen), so the
    // next message follows as soon as the host is done with this one.
    thread_->requestRun();
}

void ZEBReachOutManager::start() {
    thread_->start();
}

void ZEBReachOutManager::stop() {
    stopping_ = true;
    ZEBSDKReachOutHandler* handler = nullptr;
    {
        ZEBScopedLock guard(apiLock_.get());
        handler = handler_.get();
    }
    thread_->stop();
    if (handler == nullptr) return;
    // close() must not overtake a show() still in progress on our thread.
    for (uint64_t waited = 0; !displayDone_ && waited < kShowWaitLimitMicros;
         waited += kNapSliceMicros) {
        timeutil::sleepFor(kNapSlice);
    }
    timeutil::sleepFor(kCloseSettle);
    try {
        handler->close();
    } catch (...) {
        // The host's close failing must not keep the other workers running.
    }
    timeutil::sleepFor(kCloseSettle);
}

void ZEBReachOutManager::join() {
    thread_->join();
}

}  // namespace ZEBInternal
