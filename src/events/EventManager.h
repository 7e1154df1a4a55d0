#pragma once
// The queue of event records between the producers (host threads through the
// tracking calls, the session manager, the time-warp detector) and the log
// writer, its only consumer. Unbounded: a tracking call never waits for the
// disk.

#include <cstdint>
#include <deque>
#include <memory>

#include "events/ZEBEventInfo.h"
#include "threading/ZEBMutex.h"

namespace ZEBInternal {

class EventManager {
public:
    EventManager();
    // Deletes the records still queued, oldest first.
    ~EventManager();
    EventManager(const EventManager&) = delete;
    EventManager& operator=(const EventManager&) = delete;

    // Takes ownership; a null record is ignored.
    void push(std::unique_ptr<ZEBEventInfo> record);
    // The oldest record, or null when the queue is empty.
    std::unique_ptr<ZEBEventInfo> pop();
    int32_t count() const;

private:
    std::unique_ptr<ZEBMutex> lock_;  // "EventManager API lock"
    std::deque<ZEBEventInfo*> queue_;  // owned; oldest at the front
};

}  // namespace ZEBInternal
