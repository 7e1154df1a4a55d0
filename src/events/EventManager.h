#pragma once
// The queue of event records between the producers (host threads through the
// tracking calls, the session manager, the time-warp detector) and the log
// writer, its only consumer. Unbounded: a tracking call never waits for the
// disk.
//
// Pushing takes no lock: the records form a chain through their own link
// field, and a push is one compare-and-swap on the newest record, so host
// threads tracking at once never queue behind a mutex. Consumers (pop,
// popAll, count) take the "EventManager API lock" and turn the chain around
// into oldest-first order. Every record whose push returned before a
// consumer's call is seen by that call, in the order of the pushes, so each
// thread's records keep their order and a record pushed after another one
// it depends on (a session start, say) is never written before it.
//
// closeToHosts() is the stop of the tracking calls: from then on
// pushFromHost refuses, while the library's own records (the session ends of
// the stop) are still taken.

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

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

    // Takes ownership; a null record is ignored. Any thread; never blocks.
    void push(std::unique_ptr<ZEBEventInfo> record);
    // A push the stop shuts out (tracking calls, the time-warp detector):
    // true when queued; false, and the record destroyed, once closeToHosts()
    // has run. A null record is ignored (true).
    bool pushFromHost(std::unique_ptr<ZEBEventInfo> record);
    // Every later pushFromHost refuses; a push that returned true before is
    // in the queue. For good: there is no reopening.
    void closeToHosts();

    // The oldest record, or null when the queue is empty.
    std::unique_ptr<ZEBEventInfo> pop();
    // Moves every queued record to the end of `out`, oldest first.
    void popAll(std::vector<std::unique_ptr<ZEBEventInfo>>& out);
    int32_t count() const;

private:
    // Marks the chain's head once the tracking calls are shut out. Records
    // are at least pointer-aligned, so the bit is free.
    static constexpr uintptr_t kClosedToHosts = 1;

    static ZEBEventInfo* recordOf(uintptr_t head) {
        return reinterpret_cast<ZEBEventInfo*>(head & ~kClosedToHosts);
    }
    bool link(ZEBEventInfo* record, bool fromHost);
    // Moves the pushed chain to the end of the oldest-first list.
    // REQUIRE: lock_ held.
    void collect();
    // Appends a newest-first chain to that list. REQUIRE: lock_ held.
    void appendChain(ZEBEventInfo* chain);

    // The newest pushed record (| kClosedToHosts); each record links to the
    // one pushed before it. Alone on its cache line: the producers' only
    // shared word.
    alignas(64) std::atomic<uintptr_t> pushed_{0};
    std::unique_ptr<ZEBMutex> lock_;  // "EventManager API lock"; consumers only
    // Guarded by lock_: records already taken from the chain, oldest first,
    // linked through the same field, and their number.
    alignas(64) ZEBEventInfo* oldest_ = nullptr;
    ZEBEventInfo* newest_ = nullptr;
    int32_t taken_ = 0;
};

}  // namespace ZEBInternal
