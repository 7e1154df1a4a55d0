#pragma once
// Records jumps of the wall clock as events, so that the server can correct
// the times of the surrounding lines. Wakes every 60 seconds on its
// "TimeWarpDetector" thread and compares the clock with its last reading:
// a difference further than 2 seconds from the expected 60 is a jump.

#include <cstdint>
#include <memory>

#include "threading/ZEBRunnable.h"
#include "threading/ZEBThread.h"
#include "util/TimeValue.h"

namespace ZEBInternal {

struct SDKContext;

class ZEBTimeWarpDetector : public ZEBRunnable {
public:
    // Creates and starts the thread. context is borrowed from the SDK, which
    // joins this worker first. dwell is 60 seconds except in tests.
    explicit ZEBTimeWarpDetector(const SDKContext* context, TimeValue dwell = TimeValue{60, 0});
    ~ZEBTimeWarpDetector() override;
    ZEBTimeWarpDetector(const ZEBTimeWarpDetector&) = delete;
    ZEBTimeWarpDetector& operator=(const ZEBTimeWarpDetector&) = delete;

    void run() override;
    void stop();
    void join();

    // One comparison of `now` with the last reading; pushes an event when
    // the jump is too large. run() calls it with the wall clock.
    void check(const TimeValue& now);

private:
    const SDKContext* context_;
    std::unique_ptr<ZEBThread> thread_;
    TimeValue lastReading_{};  // touched by the worker thread only
};

}  // namespace ZEBInternal
