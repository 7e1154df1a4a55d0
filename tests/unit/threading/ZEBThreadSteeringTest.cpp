// Steering a running worker thread: wake, pause and stop against runs,
// dwells and pauses.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "ThreadTestSupport.h"
#include "threading/ZEBThread.h"
#include "util/ZEBException.h"

namespace ZEBInternal {
namespace {

using namespace std::chrono_literals;
using zebtest::Clock;
using zebtest::CountingRunnable;
using zebtest::GateOpener;
using zebtest::GateRunnable;
using zebtest::secondsSince;
using zebtest::waitUntil;

const TimeValue kLongDwell{30, 0};

bool reaches(ZEBThread& thread, int32_t state) {
    return waitUntil([&] { return thread.getState() == state; });
}

// Started, first run done, now in its 30 s dwell.
std::unique_ptr<ZEBThread> dwellingThread(CountingRunnable& counter, const char* name) {
    auto thread = createThread(&counter, name, kLongDwell, 0);
    thread->start();
    if (!reaches(*thread, ThreadState::DWELLING)) ADD_FAILURE() << name << " never dwelt";
    return thread;
}

TEST(ZEBThreadSteering, WakeDuringADwellStartsTheNextRunAtOnce) {
    CountingRunnable counter;
    auto thread = dwellingThread(counter, "waker");
    ASSERT_EQ(counter.runs(), 1);
    EXPECT_TRUE(thread->wake());
    EXPECT_TRUE(waitUntil([&] { return counter.runs() == 2; }));
    ASSERT_TRUE(reaches(*thread, ThreadState::DWELLING));
    EXPECT_EQ(counter.runs(), 2);
}

TEST(ZEBThreadSteering, WakeAfterPauseDuringADwellStartsTheNextRunAtOnce) {
    CountingRunnable counter;
    auto thread = dwellingThread(counter, "pausewake");
    EXPECT_TRUE(thread->pause());
    // The pause waits for the dwell to end; it does not interrupt it.
    EXPECT_EQ(thread->getState(), ThreadState::DWELLING);
    EXPECT_EQ(thread->getTransition(), ThreadTransition::PAUSING);
    EXPECT_TRUE(thread->wake());
    EXPECT_TRUE(waitUntil([&] { return counter.runs() == 2; }));
    EXPECT_TRUE(reaches(*thread, ThreadState::DWELLING)) << "the replaced pause took effect";
}

TEST(ZEBThreadSteering, WakeDuringARunCancelsAPauseAndIsNotRemembered) {
    const TimeValue dwell{0, 200000};
    GateRunnable gate;
    auto thread = createThread(&gate, "runner", dwell, 0);
    GateOpener opener(gate);
    thread->start();
    ASSERT_TRUE(gate.waitEntered(1));

    EXPECT_TRUE(thread->pause());
    EXPECT_EQ(thread->getTransition(), ThreadTransition::PAUSING);
    EXPECT_TRUE(thread->wake());
    EXPECT_EQ(thread->getTransition(), ThreadTransition::NONE);

    // The thread dwells normally after the run: a full dwell, then run two.
    const auto released = Clock::now();
    gate.release();
    ASSERT_TRUE(gate.waitEntered(2)) << "the cancelled pause held the thread";
    EXPECT_GE(secondsSince(released), 0.15) << "the wake during the run was remembered";
}

TEST(ZEBThreadSteering, RunRequestedDuringARunFollowsWithoutADwellUnlessStopped) {
    GateRunnable gate;
    auto thread = createThread(&gate, "requester", kLongDwell, 0);
    GateOpener opener(gate);
    thread->start();
    ASSERT_TRUE(gate.waitEntered(1));
    EXPECT_TRUE(thread->pause());
    EXPECT_TRUE(thread->requestRun());
    gate.release();
    // Run two starts although the dwell is 30 s; the pause was cancelled.
    ASSERT_TRUE(gate.waitEntered(2)) << "the request during the run was dropped";

    // A stop overrides a request made during the same run.
    EXPECT_TRUE(thread->requestRun());
    EXPECT_TRUE(thread->stop());
    gate.release();
    EXPECT_TRUE(thread->join());
    EXPECT_EQ(thread->getState(), ThreadState::FINISHED);
    EXPECT_EQ(gate.entered(), 2);
    EXPECT_FALSE(thread->requestRun());
}

TEST(ZEBThreadSteering, PausedThreadWaitsUntilWoken) {
    CountingRunnable counter;
    auto thread = createThread(&counter, "pauser", TimeValue{0, 5000}, 0);
    thread->start();
    ASSERT_TRUE(waitUntil([&] { return counter.runs() >= 1; }));
    EXPECT_TRUE(thread->pause());
    ASSERT_TRUE(reaches(*thread, ThreadState::PAUSED));
    const int pausedAt = counter.runs();

    // Forty dwells' worth of time passes without a run.
    EXPECT_FALSE(waitUntil([&] { return counter.runs() > pausedAt; }, 200ms));
    EXPECT_TRUE(thread->pause());  // still paused, nothing changes
    EXPECT_TRUE(thread->isActive());
    EXPECT_FALSE(waitUntil([&] { return counter.runs() > pausedAt; }, 50ms));
    EXPECT_EQ(thread->getState(), ThreadState::PAUSED);

    EXPECT_TRUE(thread->wake());
    // The regular cadence resumes after the woken run.
    EXPECT_TRUE(waitUntil([&] { return counter.runs() >= pausedAt + 3; }));
    EXPECT_TRUE(thread->join());
    EXPECT_EQ(thread->getState(), ThreadState::FINISHED);
}

TEST(ZEBThreadSteering, StopInterruptsADwellOrAPauseAtOnce) {
    {
        CountingRunnable counter;
        auto thread = dwellingThread(counter, "dweller");
        const auto begin = Clock::now();
        EXPECT_TRUE(thread->stop());
        EXPECT_TRUE(thread->join());
        EXPECT_LT(secondsSince(begin), 5.0);
        EXPECT_EQ(thread->getState(), ThreadState::FINISHED);
        EXPECT_EQ(counter.runs(), 1);
    }
    {
        CountingRunnable counter;
        auto thread = createThread(&counter, "sleeper", TimeValue{0, 5000}, 0);
        thread->start();
        ASSERT_TRUE(waitUntil([&] { return counter.runs() >= 1; }));
        ASSERT_TRUE(thread->pause());
        ASSERT_TRUE(reaches(*thread, ThreadState::PAUSED));
        const auto begin = Clock::now();
        EXPECT_TRUE(thread->stop());
        EXPECT_TRUE(reaches(*thread, ThreadState::FINISHED));
        EXPECT_LT(secondsSince(begin), 5.0);
    }
    {
        // The destructor alone stops and joins a dwelling thread.
        CountingRunnable counter;
        auto thread = dwellingThread(counter, "dropped");
        const auto begin = Clock::now();
        thread.reset();
        EXPECT_LT(secondsSince(begin), 5.0);
    }
}

TEST(ZEBThreadSteering, ConcurrentSteeringLeavesAStoppableThread) {
    CountingRunnable counter;
    auto thread = createThread(&counter, "busy", TimeValue{0, 1000}, 0);
    thread->start();

    std::atomic<bool> misuse{false};
    std::vector<std::thread> steerers;
    const auto until = Clock::now() + 300ms;
    for (int i = 0; i < 4; ++i) {
        steerers.emplace_back([&, i] {
            try {
                for (unsigned n = 0; Clock::now() < until; ++n) {
                    if ((n + static_cast<unsigned>(i)) % 3 == 0) {
                        thread->pause();
                    } else {
                        thread->wake();
                    }
                    (void)thread->getState();
                    (void)thread->getTransition();
                    (void)thread->isActive();
                }
            } catch (const ZEBException&) {
                misuse = true;
            }
        });
    }
    for (auto& steerer : steerers) steerer.join();
    EXPECT_FALSE(misuse.load());
    EXPECT_TRUE(thread->isActive());

    // Two concurrent joins: one waits for the thread, the other for the first.
    std::atomic<int> joinedCount{0};
    const auto begin = Clock::now();
    std::thread other([&] { joinedCount += thread->join() ? 1 : 0; });
    joinedCount += thread->join() ? 1 : 0;
    other.join();
    EXPECT_EQ(joinedCount.load(), 2);
    EXPECT_LT(secondsSince(begin), 5.0);
    EXPECT_EQ(thread->getState(), ThreadState::FINISHED);
}

}  // namespace
}  // namespace ZEBInternal
