#pragma once
// A worker thread driving one ZEBRunnable: run() once, then, for a recurring
// thread, again and again with a dwell (a timed sleep) between runs, until
// stopped or until the run limit is reached. Other threads steer it with
// start, wake, pause, stop and join; any of these may be called from any
// thread. Misuse throws ZEBConcurrencyException with a "BUG - " message and
// leaves the thread BROKEN.
//
// What callers can rely on:
// - wake() during a dwell or a pause starts the next run at once; a wake
//   during a run is dropped (the next run follows a full dwell) and cancels
//   a pause requested during that run; requestRun() is the same, except that
//   a request during a run is kept and the next run follows without a dwell;
// - pause() takes effect when the current run or dwell ends; the thread then
//   waits without limit for wake() or stop();
// - stop() interrupts a dwell or a pause at once and is honoured after a run
//   in progress;
// - join() stops a recurring thread and waits for it.

#include <cstdint>
#include <memory>
#include <string>

#include "util/TimeValue.h"

namespace ZEBInternal {

class ZEBRunnable;

// State codes reported by getState().
struct ThreadState {
    static constexpr int32_t NOT_STARTED = 0;  // start() not yet called
    static constexpr int32_t RUNNING = 11;     // started, or run() executing
    static constexpr int32_t DWELLING = 12;    // timed wait between runs
    static constexpr int32_t PAUSED = 13;      // untimed wait between runs
    static constexpr int32_t FINISHED = 1;     // ended normally
    static constexpr int32_t FAILED = -1;      // run() threw
    static constexpr int32_t BROKEN = -9;      // misuse or failed POSIX call; terminal
};

// Pending requests reported by getTransition(), consumed by the worker.
struct ThreadTransition {
    static constexpr int32_t NONE = 20;
    static constexpr int32_t STARTING = 21;
    static constexpr int32_t PAUSING = 22;
    static constexpr int32_t STOPPING = 23;
    static constexpr int32_t WAKING = 24;
};

class ZEBThread {
public:
    virtual int32_t getState() const = 0;
    virtual int32_t getTransition() const = 0;
    virtual std::string getName() const = 0;
    virtual bool isRecurring() const = 0;
    // true while RUNNING, DWELLING or PAUSED.
    virtual bool isActive() const = 0;

    // Starts the POSIX thread. A thread starts once: any other call breaks it
    // and throws. Throws ZEBConcurrencyException.
    virtual void start() = 0;
    // Recurring threads only. false when the thread is not running or is
    // stopping; true otherwise (see the header comment for the effect).
    virtual bool wake() = 0;
    // Recurring threads only. Like wake(), except that a request arriving
    // while run() executes is kept: the next run then follows at once
    // instead of after a full dwell. For workers whose callers must not lose
    // a request to the moment between the end of a run and the dwell.
    virtual bool requestRun() = 0;
    // Recurring threads only. false when the thread is not running, is
    // stopping or has not yet begun; true otherwise.
    virtual bool pause() = 0;
    // Recurring threads only. true when a stop was requested or is pending;
    // false when the thread never started, is broken or has ended.
    virtual bool stop() = 0;
    // Stops a recurring thread and waits for it to end. true when the thread
    // never started or has been joined; false when it is BROKEN. Blocks for
    // as long as the run in progress takes.
    virtual bool join() = 0;

    // Declared last so the destructor slots follow the operations.
    virtual ~ZEBThread() = default;

protected:
    ZEBThread() = default;
    ZEBThread(const ZEBThread&) = delete;
    ZEBThread& operator=(const ZEBThread&) = delete;
};

// A new recurring thread, not yet started, that calls runnable->run() with
// `dwell` between runs, at most `maxRuns` times (0: unlimited). `runnable` is
// borrowed and must outlive the thread; the caller owns the result.
std::unique_ptr<ZEBThread> createThread(ZEBRunnable* runnable, const std::string& name,
                                        const TimeValue& dwell, unsigned maxRuns);

}  // namespace ZEBInternal
