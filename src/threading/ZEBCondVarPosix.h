#pragma once
// ZEBCondVar on a pthread condition variable. Deadlines of timed waits are
// measured on CLOCK_MONOTONIC: a wall clock stepped back while a worker dwells
// would otherwise stretch the dwell by the size of the step. Embedded by value
// in the worker thread or created by createCondVar; neither copyable nor
// movable.

#include <pthread.h>
#include <time.h>

#include <string>

#include "threading/ZEBCondVar.h"

namespace ZEBInternal {

class ZEBMutexPosix;

class ZEBCondVarPosix final : public ZEBCondVar {
public:
    // `mutex` is borrowed and must outlive this object. It must be a
    // non-recursive ZEBMutexPosix: the waits need its pthread mutex. Throws
    // ZEBConcurrencyException ("BUG - ..." for a null, recursive or foreign
    // mutex; the POSIX operation and code otherwise).
    ZEBCondVarPosix(ZEBMutex* mutex, const std::string& name);
    ~ZEBCondVarPosix() override;

    ZEBCondVarPosix(const ZEBCondVarPosix&) = delete;
    ZEBCondVarPosix& operator=(const ZEBCondVarPosix&) = delete;
    ZEBCondVarPosix(ZEBCondVarPosix&&) = delete;
    ZEBCondVarPosix& operator=(ZEBCondVarPosix&&) = delete;

    bool wait() override;
    bool timedWait(const TimeValue& duration) override;
    void signal() override;

    // The monotonic-clock instant `duration` from now, for waits that loop on
    // a predicate and must not restart their full duration on each wake-up.
    struct timespec deadlineAfter(const TimeValue& duration) const;
    // REQUIRES: the paired mutex held. Waits until woken or until `deadline`
    // (from deadlineAfter) has passed. true when woken, false on time-out.
    bool timedWaitUntil(const struct timespec& deadline);

private:
    ZEBMutexPosix* mutex;    // borrowed, outlives this object
    const std::string name;  // only for error messages
    pthread_cond_t cond{};
};

}  // namespace ZEBInternal
