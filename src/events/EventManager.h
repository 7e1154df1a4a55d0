#pragma once
// The queue of event records between the host's tracking calls and the log
// writer. Created with the SDK; the event records and the queue itself
// arrive with the offline pipeline, which fills this class in.

namespace ZEBInternal {

class EventManager {
public:
    EventManager() = default;
    EventManager(const EventManager&) = delete;
    EventManager& operator=(const EventManager&) = delete;
};

}  // namespace ZEBInternal
