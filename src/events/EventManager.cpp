#include "events/EventManager.h"

#include "threading/ZEBScopedLock.h"

namespace ZEBInternal {

EventManager::EventManager() : lock_(createMutex(true, "EventManager API lock")) {}

EventManager::~EventManager() {
    for (ZEBEventInfo* record : queue_) delete record;
}

void EventManager::push(std::unique_ptr<ZEBEventInfo> record) {
    if (!record) return;
    ZEBScopedLock guard(lock_.get());
    queue_.push_back(record.get());
    // The queue owns it only once the push cannot throw any more.
    record.release();
}

std::unique_ptr<ZEBEventInfo> EventManager::pop() {
    ZEBScopedLock guard(lock_.get());
    if (queue_.empty()) return nullptr;
    std::unique_ptr<ZEBEventInfo> record(queue_.front());
    queue_.pop_front();
    return record;
}

int32_t EventManager::count() const {
    ZEBScopedLock guard(lock_.get());
    return static_cast<int32_t>(queue_.size());
}

}  // namespace ZEBInternal
