#pragma once
// The POSIX implementation of ZEBThread, a small state machine (see
// ZEBThread.h for the contract). The thread object is owned by its worker,
// which creates it in its constructor and stops, joins and deletes it in its
// destructor; the runnable is borrowed and must outlive it.
//
// Locks: every public operation except getName and isRecurring takes apiLock
// (recursive) and then stateLock (error-checking, paired with stateCV), always
// in that order. The worker thread takes stateLock only. join() holds apiLock
// while it waits for the POSIX thread.

#include <pthread.h>

#include <cstdint>
#include <string>

#include "threading/ZEBCondVarPosix.h"
#include "threading/ZEBMutexPosix.h"
#include "threading/ZEBThread.h"
#include "util/TimeValue.h"

namespace ZEBInternal {

class ZEBThreadCommon final : public ZEBThread {
public:
    // A recurring thread: run() every `dwell`, at most `maxRuns` times (0:
    // unlimited). Throws ZEBConcurrencyException for a null runnable or when a
    // lock cannot be built.
    ZEBThreadCommon(ZEBRunnable* runnable, const std::string& name, const TimeValue& dwell,
                    unsigned maxRuns);
    // A one-shot thread: run() once. wake, pause and stop are misuse on it.
    ZEBThreadCommon(ZEBRunnable* runnable, const std::string& name);
    // Joins a started thread (stopping it first when recurring). Never throws.
    ~ZEBThreadCommon() override;

    ZEBThreadCommon(const ZEBThreadCommon&) = delete;
    ZEBThreadCommon& operator=(const ZEBThreadCommon&) = delete;
    ZEBThreadCommon(ZEBThreadCommon&&) = delete;
    ZEBThreadCommon& operator=(ZEBThreadCommon&&) = delete;

    int32_t getState() const override;
    int32_t getTransition() const override;
    std::string getName() const override { return name; }
    bool isRecurring() const override { return recurring; }
    bool isActive() const override;
    void start() override;
    bool wake() override;
    bool requestRun() override;
    bool pause() override;
    bool stop() override;
    bool join() override;

private:
    // The function handed to pthread_create; `arg` is the thread object.
    static void* threadBody(void* arg) noexcept;
    void mainSequence();
    // Between two runs: dwell, pause or end. true when run() is to be called
    // again.
    bool betweenRuns();
    // REQUIRES: stateLock held. Each waits on stateCV until its own wait is
    // over, ignoring wake-ups that bring no request.
    void dwellLocked();
    void pauseLocked();
    // Records how the body ended unless a terminal state is already set.
    void settle(int32_t endState) noexcept;
    bool joinThread();
    // wake() and requestRun(); `keep` remembers a request made during a run.
    bool wakeUp(bool keep, const char* misuse);

    // REQUIRES: stateLock held.
    bool isActiveLocked() const;
    void signalLocked();
    // REQUIRES: stateLock held. Marks the thread BROKEN, lets a waiting body
    // see it, and throws the "BUG - " report.
    [[noreturn]] void breakAndThrowLocked(const std::string& operation);
    // REQUIRES: stateLock not held. Marks the thread BROKEN and throws the
    // failure of a POSIX call.
    [[noreturn]] void breakAndThrow(const std::string& operation, int code);

    int32_t state = ThreadState::NOT_STARTED;     // guarded by stateLock
    int32_t transition = ThreadTransition::NONE;  // guarded by stateLock
    ZEBRunnable* const runnable;                  // borrowed, outlives the thread
    const std::string name;
    bool joined = false;  // guarded by stateLock
    bool runRequested = false;  // requestRun() during a run; guarded by stateLock
    const bool recurring;
    const TimeValue dwell;
    pthread_t handle{};    // written by start() under apiLock
    bool created = false;  // POSIX thread exists; guarded by apiLock
    mutable ZEBMutexPosix apiLock;
    mutable ZEBMutexPosix stateLock;
    ZEBCondVarPosix stateCV;  // paired with stateLock
    const uint32_t maxRuns;   // 0: unlimited
    uint32_t runCount = 0;    // worker thread only
};

}  // namespace ZEBInternal
