// Life cycle of the worker thread: starting, run limits, ending, misuse.

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "ThreadTestSupport.h"
#include "threading/ZEBThreadCommon.h"
#include "util/ZEBException.h"

namespace ZEBInternal {
namespace {

using namespace std::chrono_literals;
using zebtest::Clock;
using zebtest::messageOf;
using zebtest::CountingRunnable;
using zebtest::GateOpener;
using zebtest::GateRunnable;
using zebtest::secondsSince;
using zebtest::waitUntil;

const TimeValue kLongDwell{30, 0};

bool reaches(ZEBThread& thread, int32_t state) {
    return waitUntil([&] { return thread.getState() == state; });
}

TEST(ZEBThreadLifecycle, RunLimitEndsTheThreadFinished) {
    CountingRunnable counter;
    auto thread = createThread(&counter, "limited", TimeValue{0, 20000}, 3);
    EXPECT_TRUE(thread->isRecurring());
    EXPECT_EQ(thread->getName(), "limited");
    thread->start();
    ASSERT_TRUE(reaches(*thread, ThreadState::FINISHED));
    EXPECT_EQ(counter.runs(), 3);
    EXPECT_GE(counter.startOf(2) - counter.startOf(0), 35ms) << "no dwell between runs";
    EXPECT_EQ(thread->getTransition(), ThreadTransition::NONE);
    EXPECT_FALSE(thread->isActive());

    // An ended thread accepts no more requests.
    EXPECT_FALSE(thread->wake());
    EXPECT_FALSE(thread->pause());
    EXPECT_FALSE(thread->stop());
    EXPECT_TRUE(thread->join());
    EXPECT_TRUE(thread->join());
    EXPECT_EQ(counter.runs(), 3);

    // The limit is checked before dwelling: one permitted run ends at once.
    CountingRunnable once;
    auto single = createThread(&once, "single", kLongDwell, 1);
    single->start();
    ASSERT_TRUE(reaches(*single, ThreadState::FINISHED));
    EXPECT_EQ(once.runs(), 1);
}

TEST(ZEBThreadLifecycle, NeverStartedThreadNeedsNoWaiting) {
    CountingRunnable counter;
    const auto begin = Clock::now();
    {
        auto thread = createThread(&counter, "idle", kLongDwell, 0);
        EXPECT_EQ(thread->getState(), ThreadState::NOT_STARTED);
        EXPECT_EQ(thread->getTransition(), ThreadTransition::NONE);
        EXPECT_FALSE(thread->isActive());
        EXPECT_FALSE(thread->stop());
        EXPECT_FALSE(thread->wake());
        EXPECT_FALSE(thread->pause());
        EXPECT_TRUE(thread->join());
        // A joined thread is done with: starting it now would leave a POSIX
        // thread that nothing joins.
        EXPECT_EQ(messageOf([&] { thread->start(); }),
                  "Thread 'idle' BUG - called Thread::start on non-startable state");
    }
    { auto unused = createThread(&counter, "unused", kLongDwell, 0); }
    EXPECT_LT(secondsSince(begin), 1.0);
    EXPECT_EQ(counter.runs(), 0);
}

TEST(ZEBThreadLifecycle, SecondStartBreaksTheThreadAndEndsItsBody) {
    CountingRunnable counter;
    auto thread = createThread(&counter, "twice", kLongDwell, 0);
    thread->start();
    ASSERT_TRUE(reaches(*thread, ThreadState::DWELLING));
    EXPECT_EQ(messageOf([&] { thread->start(); }),
              "Thread 'twice' BUG - called Thread::start on non-startable state");
    EXPECT_EQ(thread->getState(), ThreadState::BROKEN);
    EXPECT_FALSE(thread->isActive());
    EXPECT_FALSE(thread->stop());
    EXPECT_FALSE(thread->wake());
    EXPECT_FALSE(thread->join());

    // The body leaves its dwell and ends; the destructor reclaims it without
    // waiting out the 30 s dwell.
    const auto begin = Clock::now();
    thread.reset();
    EXPECT_LT(secondsSince(begin), 5.0);
    EXPECT_EQ(counter.runs(), 1);

    // Broken before the body began: the body ends without calling run().
    CountingRunnable early;
    auto quick = createThread(&early, "quick", kLongDwell, 0);
    quick->start();
    EXPECT_THROW(quick->start(), ZEBConcurrencyException);
    EXPECT_EQ(quick->getState(), ThreadState::BROKEN);
    quick.reset();
    EXPECT_LE(early.runs(), 1);
}

TEST(ZEBThreadLifecycle, OneShotThreadRunsOnceAndRefusesSteering) {
    CountingRunnable counter;
    {
        ZEBThreadCommon thread(&counter, "plain");
        EXPECT_FALSE(thread.isRecurring());
        thread.start();
        ASSERT_TRUE(reaches(thread, ThreadState::FINISHED));
        EXPECT_TRUE(thread.join());
        EXPECT_EQ(counter.runs(), 1);
    }

    // Steering a one-shot thread is misuse, reported before any state check.
    {
        ZEBThreadCommon thread(&counter, "once");
        EXPECT_EQ(messageOf([&] { thread.pause(); }),
                  "Thread 'once' BUG - called Thread::pause on non-recurring thread.");
        EXPECT_EQ(thread.getState(), ThreadState::BROKEN);
        EXPECT_EQ(messageOf([&] { thread.stop(); }),
                  "Thread 'once' BUG - called Thread::stop on non-recurring thread.");
    }

    // Broken while run() executes: join reports the break, and the destructor
    // still waits for run() to return before the object goes away.
    GateRunnable gate;
    {
        ZEBThreadCommon thread(&gate, "once");
        GateOpener opener(gate);
        thread.start();
        ASSERT_TRUE(gate.waitEntered(1));
        EXPECT_EQ(messageOf([&] { thread.wake(); }),
                  "Thread 'once' BUG - called Thread::wake on non-recurring thread.");
        EXPECT_EQ(thread.getState(), ThreadState::BROKEN);
        EXPECT_FALSE(thread.join());
        gate.release();
    }
    EXPECT_TRUE(gate.waitReturned(1, 0ms));
}

class ThrowingRunnable : public ZEBRunnable {
public:
    explicit ThrowingRunnable(bool libraryException) : libraryException_(libraryException) {}
    void run() override {
        runs_.fetch_add(1);
        if (libraryException_) throw ZEBNetworkException("connection refused");
        throw 42;
    }
    int runs() const { return runs_.load(); }

private:
    const bool libraryException_;
    std::atomic<int> runs_{0};
};

TEST(ZEBThreadLifecycle, ThrowingRunnableEndsTheThreadFailed) {
    for (bool libraryException : {true, false}) {
        SCOPED_TRACE(libraryException ? "ZEBException" : "int");
        ThrowingRunnable runnable(libraryException);
        auto thread = createThread(&runnable, "thrower", TimeValue{0, 10000}, 0);
        thread->start();
        ASSERT_TRUE(reaches(*thread, ThreadState::FAILED));
        EXPECT_FALSE(thread->isActive());
        EXPECT_FALSE(thread->stop());
        EXPECT_TRUE(thread->join());
        EXPECT_EQ(runnable.runs(), 1);
    }
}

TEST(ZEBThreadLifecycle, StopDuringARunIsHonouredWhenTheRunReturns) {
    GateRunnable gate;
    auto thread = createThread(&gate, "busy", kLongDwell, 0);
    GateOpener opener(gate);
    thread->start();
    ASSERT_TRUE(gate.waitEntered(1));

    EXPECT_TRUE(thread->stop());
    EXPECT_TRUE(thread->stop());
    EXPECT_EQ(thread->getState(), ThreadState::RUNNING);
    EXPECT_EQ(thread->getTransition(), ThreadTransition::STOPPING);
    EXPECT_FALSE(thread->wake());
    EXPECT_FALSE(thread->pause());

    gate.release();
    EXPECT_TRUE(thread->join());
    EXPECT_EQ(thread->getState(), ThreadState::FINISHED);
    EXPECT_EQ(gate.entered(), 1);
}

}  // namespace
}  // namespace ZEBInternal
