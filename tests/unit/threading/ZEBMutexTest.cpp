#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

#include "ThreadTestSupport.h"
#include "threading/HeldLocks.h"
#include "threading/ZEBMutexPosix.h"
#include "threading/ZEBScopedLock.h"
#include "util/ZEBException.h"

namespace ZEBInternal {
namespace {

using zebtest::messageOf;

// Holds `mutex` on another thread until released.
class ForeignHolder {
public:
    explicit ForeignHolder(ZEBMutex& mutex) {
        std::future<void> locked = locked_.get_future();
        thread_ = std::thread([&mutex, this, released = release_.get_future()] {
            mutex.lock();
            locked_.set_value();
            released.wait();
            mutex.unlock();
        });
        locked.wait();
    }
    ~ForeignHolder() { releaseNow(); }
    ForeignHolder(const ForeignHolder&) = delete;
    ForeignHolder& operator=(const ForeignHolder&) = delete;

    void releaseNow() {
        if (!thread_.joinable()) return;
        release_.set_value();
        thread_.join();
    }

private:
    std::promise<void> locked_;
    std::promise<void> release_;
    std::thread thread_;
};

TEST(ZEBMutex, ErrorCheckingMutexReportsMisuseInsteadOfHanging) {
    auto mutex = createMutex(false, "SyncManager state lock");
    EXPECT_FALSE(mutex->isRecursive());

    mutex->lock();
    EXPECT_EQ(messageOf([&] { mutex->lock(); }), "Mutex 'SyncManager state lock' mutex_lock (35)");
    mutex->unlock();
    EXPECT_EQ(messageOf([&] { mutex->unlock(); }),
              "Mutex 'SyncManager state lock' mutex_unlock (1)");
}

TEST(ZEBMutex, EmptyNameLeavesTheNameOutOfMessages) {
    ZEBMutexPosix mutex(false, "");
    ForeignHolder holder(mutex);
    EXPECT_EQ(messageOf([&] { mutex.unlock(); }), "Mutex mutex_unlock (1)");
}

TEST(ZEBMutex, TryLockFailsWhileAnotherThreadHoldsTheMutex) {
    for (bool recursive : {false, true}) {
        SCOPED_TRACE(recursive ? "recursive" : "error-checking");
        auto mutex = createMutex(recursive, "probe");
        {
            ForeignHolder holder(*mutex);
            EXPECT_FALSE(mutex->tryLock());
            holder.releaseNow();
        }
        ASSERT_TRUE(mutex->tryLock());
        mutex->unlock();
    }
}

TEST(ZEBMutex, RecursiveMutexIsReleasedOnlyByTheLastUnlock) {
    auto mutex = createMutex(true, "ConfigFile API lock");
    EXPECT_TRUE(mutex->isRecursive());
    mutex->lock();
    ASSERT_TRUE(mutex->tryLock());
    mutex->unlock();

    std::promise<bool> otherTry;
    std::thread([&] { otherTry.set_value(mutex->tryLock()); }).join();
    EXPECT_FALSE(otherTry.get_future().get()) << "one unlock released a twice-held mutex";

    mutex->unlock();
    EXPECT_EQ(messageOf([&] { mutex->unlock(); }), "Mutex 'ConfigFile API lock' mutex_unlock (1)");
}

TEST(ZEBScopedLock, ReleasesOnScopeExitAndOnException) {
    auto mutex = createMutex(false, "scoped");
    { ZEBScopedLock lock(*mutex); }
    ASSERT_TRUE(mutex->tryLock());
    mutex->unlock();

    EXPECT_THROW(
        {
            ZEBScopedLock lock(mutex.get());
            throw std::runtime_error("inside");
        },
        std::runtime_error);
    ASSERT_TRUE(mutex->tryLock());
    mutex->unlock();

    EXPECT_THROW(ZEBScopedLock lock(static_cast<ZEBMutex*>(nullptr)), ZEBConcurrencyException);
}

TEST(ZEBScopedLock, UnlockFailureSurfacesOnlyWhenNoExceptionIsInFlight) {
    auto mutex = createMutex(false, "scoped");

    // Outside unwinding the failure of the final unlock reaches the caller.
    EXPECT_EQ(messageOf([&] {
                  ZEBScopedLock lock(*mutex);
                  mutex->unlock();
              }),
              "Mutex 'scoped' mutex_unlock (1)");

    // While unwinding, the exception already in flight wins.
    EXPECT_THROW(
        {
            ZEBScopedLock lock(*mutex);
            mutex->unlock();
            throw std::runtime_error("first");
        },
        std::runtime_error);

    // A lock taken inside a destructor that runs during unwinding is not
    // itself unwinding: its own unlock failure still reaches its own caller.
    struct LocksInDestructor {
        ZEBMutex& mutex;
        bool& sawFailure;
        ~LocksInDestructor() {
            try {
                ZEBScopedLock lock(mutex);
                mutex.unlock();
            } catch (const ZEBConcurrencyException&) {
                sawFailure = true;
            }
        }
    };
    bool sawFailure = false;
    try {
        LocksInDestructor probe{*mutex, sawFailure};
        throw std::runtime_error("outer");
    } catch (const std::runtime_error&) {
        // The exception that started the unwinding; the probe ran meanwhile.
    }
    EXPECT_TRUE(sawFailure);
}

// A diagnostic made under locks reaches the host only once the thread
// holds none, in order, so the host's callback may take any of them.
TEST(ZEBMutex, WorkKeptUnderLocksRunsWhenTheLastOneIsReleased) {
    auto outer = createMutex(true, "outer");
    auto inner = createMutex(false, "inner");
    std::vector<int> ran;
    runWithoutLocks([&] { ran.push_back(0); });
    {
        ZEBScopedLock a(outer.get());
        runWithoutLocks([&] { ran.push_back(1); });
        {
            ZEBScopedLock b(inner.get());
            runWithoutLocks([&] {
                ZEBScopedLock again(inner.get());  // free again: no self-deadlock
                ran.push_back(2);
            });
        }
        EXPECT_EQ(ran, std::vector<int>({0}));
    }
    EXPECT_EQ(ran, std::vector<int>({0, 1, 2}));
}

}  // namespace
}  // namespace ZEBInternal
