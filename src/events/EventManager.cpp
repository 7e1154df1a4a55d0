#include "events/EventManager.h"

#include <algorithm>

#include "threading/ZEBScopedLock.h"

namespace ZEBInternal {

EventManager::EventManager() : lock_(createMutex(true, "EventManager API lock")) {}

EventManager::~EventManager() {
    collect();
    while (oldest_ != nullptr) {
        ZEBEventInfo* next = oldest_->queueLink_;
        delete oldest_;
        oldest_ = next;
    }
}

void EventManager::push(std::unique_ptr<ZEBEventInfo> record) {
    if (record) link(record.release(), false);
}

bool EventManager::pushFromHost(std::unique_ptr<ZEBEventInfo> record) {
    if (!record) return true;
    if (!link(record.get(), true)) return false;
    record.release();
    return true;
}

bool EventManager::link(ZEBEventInfo* record, bool fromHost) {
    uintptr_t head = pushed_.load(std::memory_order_relaxed);
    do {
        if (fromHost && (head & kClosedToHosts) != 0) return false;
        record->queueLink_ = recordOf(head);
        // Release: the consumer that takes the chain sees the record whole.
        // The head's own value is all the swap depends on, so a record freed
        // and made again at the same address cannot mislink the chain.
    } while (!pushed_.compare_exchange_weak(
        head, reinterpret_cast<uintptr_t>(record) | (head & kClosedToHosts),
        std::memory_order_release, std::memory_order_relaxed));
    return true;
}

void EventManager::closeToHosts() {
    pushed_.fetch_or(kClosedToHosts, std::memory_order_acq_rel);
}

void EventManager::collect() {
    // Takes the whole chain and leaves the closed mark in place.
    appendChain(recordOf(pushed_.fetch_and(kClosedToHosts, std::memory_order_acquire)));
}

void EventManager::appendChain(ZEBEventInfo* chain) {
    if (chain == nullptr) return;
    // Newest first: turn it around.
    ZEBEventInfo* first = nullptr;
    ZEBEventInfo* last = chain;
    int32_t n = 0;
    while (chain != nullptr) {
        ZEBEventInfo* next = chain->queueLink_;
        chain->queueLink_ = first;
        first = chain;
        chain = next;
        ++n;
    }
    // `last` is now the end of the oldest-first run.
    if (newest_ != nullptr) {
        newest_->queueLink_ = first;
    } else {
        oldest_ = first;
    }
    newest_ = last;
    taken_ += n;
}

std::unique_ptr<ZEBEventInfo> EventManager::pop() {
    ZEBScopedLock guard(lock_.get());
    if (oldest_ == nullptr) collect();
    if (oldest_ == nullptr) return nullptr;
    std::unique_ptr<ZEBEventInfo> record(oldest_);
    oldest_ = oldest_->queueLink_;
    if (oldest_ == nullptr) newest_ = nullptr;
    --taken_;
    return record;
}

void EventManager::popAll(std::vector<std::unique_ptr<ZEBEventInfo>>& out) {
    ZEBScopedLock guard(lock_.get());
    // Records pop() has already taken come first.
    out.reserve(out.size() + static_cast<size_t>(taken_));
    for (; oldest_ != nullptr; oldest_ = oldest_->queueLink_) out.emplace_back(oldest_);
    newest_ = nullptr;
    taken_ = 0;
    // The chain is newest first. It is read as it is, without relinking
    // every record, and the new stretch of `out` turned around instead; a
    // record's stale link is never read again (a push sets it anew).
    ZEBEventInfo* chain = recordOf(pushed_.fetch_and(kClosedToHosts, std::memory_order_acquire));
    const size_t from = out.size();
    try {
        for (ZEBEventInfo* r = chain; r != nullptr; r = r->queueLink_) out.emplace_back(r);
    } catch (...) {
        // Out of memory: the chain is still whole, so it stays queued.
        for (size_t i = from; i < out.size(); ++i) static_cast<void>(out[i].release());
        out.resize(from);
        appendChain(chain);
        throw;
    }
    std::reverse(out.begin() + static_cast<std::ptrdiff_t>(from), out.end());
}

int32_t EventManager::count() const {
    ZEBScopedLock guard(lock_.get());
    // A pushed record's link never changes until a consumer takes the chain,
    // and consumers hold the lock.
    int32_t n = taken_;
    for (const ZEBEventInfo* r = recordOf(pushed_.load(std::memory_order_acquire)); r != nullptr;
         r = r->queueLink_) {
        ++n;
    }
    return n;
}

}  // namespace ZEBInternal
