#include <gtest/gtest.h>
#include <time.h>

#include <functional>
#include <thread>

#include "ThreadTestSupport.h"
#include "threading/ZEBCondVarPosix.h"
#include "threading/ZEBMutexPosix.h"
#include "threading/ZEBScopedLock.h"
#include "util/ZEBException.h"

namespace ZEBInternal {
namespace {

using zebtest::Clock;
using zebtest::messageOf;
using zebtest::secondsSince;

// A mutex that is not the POSIX implementation.
class ForeignMutex : public ZEBMutex {
public:
    void lock() override {}
    bool tryLock() override { return true; }
    void unlock() override {}
    bool isRecursive() const override { return false; }
};

TEST(ZEBCondVar, RefusesMutexesItCannotWaitOn) {
    auto recursive = createMutex(true, "SDK state lock");
    EXPECT_EQ(messageOf([&] { createCondVar(recursive.get(), "state cv"); }),
              "CondVar 'state cv' BUG - CondVar ctor called with mutex that is reentrant");

    EXPECT_EQ(
        messageOf([] { createCondVar(nullptr, "state cv"); }).rfind("CondVar 'state cv' BUG - ", 0),
        0u);
    ForeignMutex foreign;
    EXPECT_EQ(messageOf([&] {
                  createCondVar(&foreign, "state cv");
              }).rfind("CondVar 'state cv' BUG - ", 0),
              0u);
}

TEST(ZEBCondVar, TimedWaitCarriesMicrosecondsIntoSeconds) {
    auto mutex = createMutex(false, "m");
    auto cv = createCondVar(mutex.get(), "cv");
    ZEBScopedLock lock(*mutex);

    // Nobody signals this condition variable, so the wait ends by time-out.
    const auto start = Clock::now();
    EXPECT_FALSE(cv->timedWait(TimeValue{0, 1500000}));
    const double waited = secondsSince(start);
    EXPECT_GE(waited, 1.4);
    EXPECT_LT(waited, 3.0);
}

TEST(ZEBCondVar, ZeroDurationTimesOutAtOnce) {
    auto mutex = createMutex(false, "m");
    auto cv = createCondVar(mutex.get(), "cv");
    ZEBScopedLock lock(*mutex);
    const auto start = Clock::now();
    EXPECT_FALSE(cv->timedWait(TimeValue{0, 0}));
    EXPECT_LT(secondsSince(start), 0.5);
}

TEST(ZEBCondVar, DeadlinesAreMeasuredOnTheMonotonicClock) {
    // Deadlines on the monotonic clock keep dwells their length when the
    // wall clock is stepped; a wall-clock deadline would be decades off here.
    ZEBMutexPosix mutex(false, "m");
    ZEBCondVarPosix cv(&mutex, "cv");
    struct timespec before {};
    struct timespec after {};
    clock_gettime(CLOCK_MONOTONIC, &before);
    const struct timespec deadline = cv.deadlineAfter(TimeValue{2, 1500000});
    clock_gettime(CLOCK_MONOTONIC, &after);

    auto nanos = [](const struct timespec& t) {
        return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
    };
    EXPECT_LT(deadline.tv_nsec, 1000000000L);
    EXPECT_GE(nanos(deadline), nanos(before) + 3500000000LL);
    EXPECT_LE(nanos(deadline), nanos(after) + 3500000000LL);
}

TEST(ZEBCondVar, SignalWakesAWaiter) {
    auto mutex = createMutex(false, "m");
    auto cv = createCondVar(mutex.get(), "cv");
    bool ready = false;    // guarded by mutex
    bool waiting = false;  // guarded by mutex
    bool sawSignal = false;
    double waited = 0;

    std::thread waiter([&] {
        ZEBScopedLock lock(*mutex);
        waiting = true;
        const auto start = Clock::now();
        while (!ready) {
            if (!cv->timedWait(TimeValue{10, 0})) break;
            sawSignal = true;
        }
        waited = secondsSince(start);
    });
    ASSERT_TRUE(zebtest::waitUntil([&] {
        ZEBScopedLock lock(*mutex);
        return waiting;
    }));
    {
        ZEBScopedLock lock(*mutex);
        ready = true;
        cv->signal();
    }
    waiter.join();
    EXPECT_TRUE(sawSignal);
    EXPECT_LT(waited, 5.0);
}

TEST(ZEBCondVar, WaitWithoutTheMutexHeldThrows) {
    auto mutex = createMutex(false, "m");
    auto cv = createCondVar(mutex.get(), "cv");
    EXPECT_EQ(messageOf([&] {
                  cv->timedWait(TimeValue{0, 1000});
              }),
              "CondVar 'cv' cond_timedwait (1)");
}

}  // namespace
}  // namespace ZEBInternal
