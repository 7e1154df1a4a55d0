#include "threading/ZEBThreadCommon.h"

#include "threading/ConcurrencyError.h"
#include "threading/ZEBRunnable.h"
#include "threading/ZEBScopedLock.h"
#include "util/ZEBException.h"

// Lock order: apiLock before stateLock. The worker thread takes stateLock only
// and never holds it while calling run().

namespace ZEBInternal {

namespace {

const char* const kKind = "Thread";

std::string lockName(const std::string& threadName, const char* what) {
    return "Thread (" + threadName + ") " + what;
}

bool isTerminal(int32_t state) {
    return state == ThreadState::FINISHED || state == ThreadState::FAILED ||
           state == ThreadState::BROKEN;
}

}  // namespace

ZEBThreadCommon::ZEBThreadCommon(ZEBRunnable* runnable, const std::string& name,
                                 const TimeValue& dwell, unsigned maxRuns)
    : runnable(runnable),
      name(name),
      recurring(true),
      dwell(dwell),
      apiLock(true, lockName(name, "apiLock")),
      stateLock(false, lockName(name, "stateLock")),
      stateCV(&stateLock, lockName(name, "stateCV")),
      maxRuns(maxRuns) {
    if (runnable == nullptr)
        throwConcurrencyError(kKind, name, "BUG - Thread ctor called with null runnable");
}

ZEBThreadCommon::ZEBThreadCommon(ZEBRunnable* runnable, const std::string& name)
    : runnable(runnable),
      name(name),
      recurring(false),
      dwell(),
      apiLock(true, lockName(name, "apiLock")),
      stateLock(false, lockName(name, "stateLock")),
      stateCV(&stateLock, lockName(name, "stateCV")),
      maxRuns(0) {
    if (runnable == nullptr)
        throwConcurrencyError(kKind, name, "BUG - Thread ctor called with null runnable");
}

ZEBThreadCommon::~ZEBThreadCommon() {
    try {
        ZEBScopedLock api(apiLock);
        bool joinNormally = false;
        bool reclaim = false;
        {
            ZEBScopedLock st(stateLock);
            if (state != ThreadState::NOT_STARTED && state != ThreadState::BROKEN) {
                joinNormally = true;
            } else if (state == ThreadState::BROKEN && created && !joined) {
                // join() reports a broken thread without waiting for it, but
                // its body may still be running and uses this object until it
                // returns. Breaking woke any wait, so it ends after at most
                // the run in progress.
                joined = true;
                reclaim = true;
            }
        }
        if (joinNormally) {
            joinThread();
        } else if (reclaim) {
            pthread_join(handle, nullptr);
        }
    } catch (...) {
        // Destructors never throw; a thread that cannot be joined here cannot
        // be joined at all.
    }
}

int32_t ZEBThreadCommon::getState() const {
    ZEBScopedLock api(apiLock);
    ZEBScopedLock st(stateLock);
    return state;
}

int32_t ZEBThreadCommon::getTransition() const {
    ZEBScopedLock api(apiLock);
    ZEBScopedLock st(stateLock);
    return transition;
}

bool ZEBThreadCommon::isActive() const {
    ZEBScopedLock api(apiLock);
    ZEBScopedLock st(stateLock);
    return isActiveLocked();
}

bool ZEBThreadCommon::isActiveLocked() const {
    return state == ThreadState::RUNNING || state == ThreadState::DWELLING ||
           state == ThreadState::PAUSED;
}

void ZEBThreadCommon::start() {
    // apiLock stays held until the POSIX thread exists, so join() and the
    // destructor never see RUNNING without a thread behind it.
    ZEBScopedLock api(apiLock);
    {
        ZEBScopedLock st(stateLock);
        // A thread joined before it ever started is done with: a POSIX thread
        // started now would never be joined.
        if (state != ThreadState::NOT_STARTED || transition != ThreadTransition::NONE || joined)
            breakAndThrowLocked("BUG - called Thread::start on non-startable state");
        state = ThreadState::RUNNING;
        transition = ThreadTransition::STARTING;
    }

    pthread_attr_t attr;
    int rc = pthread_attr_init(&attr);
    if (rc != 0) breakAndThrow("pthread_attr_init", rc);
    rc = pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_JOINABLE);
    if (rc != 0) {
        pthread_attr_destroy(&attr);
        breakAndThrow("pthread_attr_setdetach false", rc);
    }
    rc = pthread_create(&handle, &attr, &ZEBThreadCommon::threadBody, this);
    if (rc != 0) {
        pthread_attr_destroy(&attr);
        breakAndThrow("pthread_create", rc);
    }
    created = true;
    rc = pthread_attr_destroy(&attr);
    if (rc != 0) breakAndThrow("pthread_attr_destroy", rc);
}

bool ZEBThreadCommon::wake() {
    return wakeUp(false, "BUG - called Thread::wake on non-recurring thread.");
}

bool ZEBThreadCommon::requestRun() {
    return wakeUp(true, "BUG - called Thread::requestRun on non-recurring thread.");
}

bool ZEBThreadCommon::wakeUp(bool keep, const char* misuse) {
    ZEBScopedLock api(apiLock);
    ZEBScopedLock st(stateLock);
    if (!recurring) breakAndThrowLocked(misuse);
    if (!isActiveLocked() && transition != ThreadTransition::STARTING) return false;
    if (transition == ThreadTransition::STOPPING) return false;
    if (transition == ThreadTransition::STARTING || transition == ThreadTransition::WAKING)
        return true;
    if (state == ThreadState::RUNNING) {
        // A wake during a run is not remembered, but it does cancel a pause
        // requested during that run. A requested run is remembered and
        // consumed by the between-runs step.
        transition = ThreadTransition::NONE;
        if (keep) runRequested = true;
        return true;
    }
    transition = ThreadTransition::WAKING;
    signalLocked();
    return true;
}

bool ZEBThreadCommon::pause() {
    ZEBScopedLock api(apiLock);
    ZEBScopedLock st(stateLock);
    if (!recurring) breakAndThrowLocked("BUG - called Thread::pause on non-recurring thread.");
    if (!isActiveLocked() && transition != ThreadTransition::STARTING) return false;
    if (transition == ThreadTransition::STOPPING || transition == ThreadTransition::STARTING)
        return false;
    if (state == ThreadState::PAUSED) {
        // Already paused: drop a wake that has not been consumed yet.
        transition = ThreadTransition::NONE;
        return true;
    }
    // No signal: a dwelling thread enters the pause when its dwell ends.
    transition = ThreadTransition::PAUSING;
    return true;
}

bool ZEBThreadCommon::stop() {
    ZEBScopedLock api(apiLock);
    ZEBScopedLock st(stateLock);
    if (!recurring) breakAndThrowLocked("BUG - called Thread::stop on non-recurring thread.");
    if (state == ThreadState::NOT_STARTED || state == ThreadState::BROKEN) return false;
    if (isActiveLocked() || transition == ThreadTransition::STARTING) {
        if (transition != ThreadTransition::STOPPING) {
            transition = ThreadTransition::STOPPING;
            signalLocked();
        }
        return true;
    }
    return false;
}

bool ZEBThreadCommon::join() {
    return joinThread();
}

bool ZEBThreadCommon::joinThread() {
    // apiLock is held for the whole wait, so no other operation can start,
    // break or join the thread meanwhile.
    ZEBScopedLock api(apiLock);
    if (recurring) stop();
    {
        ZEBScopedLock st(stateLock);
        if (state == ThreadState::NOT_STARTED) {
            joined = true;
            return true;
        }
        if (state == ThreadState::BROKEN) return false;
        if (joined) return true;
        joined = true;
    }
    const int rc = pthread_join(handle, nullptr);
    if (rc != 0) breakAndThrow("pthread_join", rc);
    return true;
}

void ZEBThreadCommon::signalLocked() {
    try {
        stateCV.signal();
    } catch (...) {
        state = ThreadState::BROKEN;
        throw;
    }
}

void ZEBThreadCommon::breakAndThrowLocked(const std::string& operation) {
    state = ThreadState::BROKEN;
    try {
        // A dwelling or paused body notices the break at once and ends.
        stateCV.signal();
    } catch (...) {
        // The misuse report below is the failure that matters; the thread is
        // BROKEN either way.
    }
    throwConcurrencyError(kKind, name, operation);
}

void ZEBThreadCommon::breakAndThrow(const std::string& operation, int code) {
    {
        ZEBScopedLock st(stateLock);
        state = ThreadState::BROKEN;
        try {
            stateCV.signal();
        } catch (...) {
            // The failure reported below is the one that matters.
        }
    }
    throwConcurrencyError(kKind, name, operation, code);
}

void* ZEBThreadCommon::threadBody(void* arg) noexcept {
    if (arg == nullptr) return nullptr;
    auto* self = static_cast<ZEBThreadCommon*>(arg);
    // The worker's name shows in debuggers, top and /proc/<pid>/task, so a
    // host developer can tell our threads from theirs. Linux allows 15
    // bytes; a failure only leaves the inherited name.
    pthread_setname_np(pthread_self(), self->name.substr(0, 15).c_str());
    bool endedNormally = false;
    try {
        self->mainSequence();
        endedNormally = true;
    } catch (...) {
        // Nothing may leave a thread entry function; the failure is recorded
        // as the FAILED state below (unless the thread is already BROKEN).
    }
    self->settle(endedNormally ? ThreadState::FINISHED : ThreadState::FAILED);
    return nullptr;
}

void ZEBThreadCommon::settle(int32_t endState) noexcept {
    try {
        ZEBScopedLock st(stateLock);
        if (!isTerminal(state)) state = endState;
    } catch (...) {
        // The state lock itself failed: nothing more can be recorded, and no
        // exception may leave the thread.
    }
}

void ZEBThreadCommon::mainSequence() {
    {
        ZEBScopedLock st(stateLock);
        if (state == ThreadState::BROKEN) return;
        if (transition == ThreadTransition::STOPPING) {
            // Stopped before the body began.
            state = ThreadState::FINISHED;
            transition = ThreadTransition::NONE;
            return;
        }
        state = ThreadState::RUNNING;
        transition = ThreadTransition::NONE;
    }
    runnable->run();
    if (!recurring) return;
    for (;;) {
        ++runCount;
        if (!betweenRuns()) return;
        runnable->run();
    }
}

bool ZEBThreadCommon::betweenRuns() {
    ZEBScopedLock st(stateLock);
    for (;;) {
        if (!isActiveLocked()) return false;
        if (maxRuns != 0 && runCount >= maxRuns) {
            state = ThreadState::FINISHED;
            transition = ThreadTransition::NONE;
            return false;
        }
        if (runRequested && transition != ThreadTransition::STOPPING) {
            // Asked for during the run that just ended: no dwell, and a pause
            // requested meanwhile is cancelled as a wake would cancel it.
            runRequested = false;
            transition = ThreadTransition::NONE;
            state = ThreadState::RUNNING;
            return true;
        }
        runRequested = false;
        const int32_t taken = transition;
        transition = ThreadTransition::NONE;
        switch (taken) {
            case ThreadTransition::NONE:
                state = ThreadState::DWELLING;
                dwellLocked();
                break;
            case ThreadTransition::PAUSING:
                state = ThreadState::PAUSED;
                pauseLocked();
                break;
            case ThreadTransition::STOPPING: state = ThreadState::FINISHED; return false;
            case ThreadTransition::STARTING:
                breakAndThrowLocked("BUG - Unexpected transition of starting.");
            case ThreadTransition::WAKING:
                breakAndThrowLocked("BUG - Unexpected transition of waking.");
            default: breakAndThrowLocked("BUG - Unexpected transition of UNKNOWN.");
        }
        if (state == ThreadState::BROKEN) return false;
        if (transition == ThreadTransition::WAKING || transition == ThreadTransition::NONE) {
            transition = ThreadTransition::NONE;
            state = ThreadState::RUNNING;
            return true;
        }
        // A pause or a stop arrived during the wait: handled at the top.
    }
}

void ZEBThreadCommon::dwellLocked() {
    try {
        // One deadline for the whole dwell: a wake-up that brings no request
        // (spurious, or a pause, which takes effect only when the dwell ends)
        // resumes the wait instead of starting it over or cutting it short.
        const struct timespec deadline = stateCV.deadlineAfter(dwell);
        while (state == ThreadState::DWELLING &&
               (transition == ThreadTransition::NONE || transition == ThreadTransition::PAUSING)) {
            if (!stateCV.timedWaitUntil(deadline)) break;
        }
    } catch (...) {
        state = ThreadState::BROKEN;
        throw;
    }
}

void ZEBThreadCommon::pauseLocked() {
    try {
        // Only wake(), stop() or a break end a pause; pause() on a paused
        // thread leaves the transition at NONE, so it keeps waiting.
        while (state == ThreadState::PAUSED && transition == ThreadTransition::NONE) stateCV.wait();
    } catch (...) {
        state = ThreadState::BROKEN;
        throw;
    }
}

std::unique_ptr<ZEBThread> createThread(ZEBRunnable* runnable, const std::string& name,
                                        const TimeValue& dwell, unsigned maxRuns) {
    return std::make_unique<ZEBThreadCommon>(runnable, name, dwell, maxRuns);
}

}  // namespace ZEBInternal
