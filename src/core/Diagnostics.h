#pragma once
// The host's log handler of one instance. Every part of the library that
// has something to tell an integrator reports through here; without a
// handler, or below its level, nothing is formatted at all, so a report on
// the tracking path costs one atomic load.
//
// Messages never carry a secret: callers format host names, ports, codes,
// counts and file names, never keys, passwords, credentials or bodies.
// The handler runs on the reporting thread, but never while that thread
// holds a library lock: a report made under a lock is delivered as the
// thread releases its last one, so the handler may call any zeb function.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>

namespace ZEBInternal {

enum class LogLevel : int32_t { kError = 1, kWarning = 2, kInfo = 3, kDebug = 4 };

class Diagnostics {
public:
    using Callback = void (*)(void* userData, int32_t level, const char* message);

    // A null callback or a level below kError removes the handler; a level
    // above kDebug counts as kDebug.
    void setHandler(int32_t level, Callback callback, void* userData) noexcept;

    bool enabled(LogLevel level) const noexcept {
        return static_cast<int32_t>(level) <= level_.load(std::memory_order_relaxed);
    }

    // `format()` builds the message; it runs only when the level is enabled.
    // Never throws.
    template <typename Format>
    void report(LogLevel level, Format&& format) noexcept {
        if (!enabled(level)) return;
        try {
            deliver(level, format());
        } catch (...) {
            // A message that cannot be built is dropped, never the caller's work.
        }
    }

private:
    void deliver(LogLevel level, std::string message) noexcept;

    std::atomic<int32_t> level_{0};
    std::mutex handlerLock_;  // a leaf: held only to copy or replace the handler
    Callback callback_ = nullptr;
    void* userData_ = nullptr;
};

// For parts that may run without an instance (tests, tools): a null
// Diagnostics reports nothing.
template <typename Format>
void report(Diagnostics* diagnostics, LogLevel level, Format&& format) noexcept {
    if (diagnostics != nullptr) diagnostics->report(level, std::forward<Format>(format));
}

// The English text of errno value `err`, whatever the host's locale.
std::string errnoText(int err);

}  // namespace ZEBInternal
