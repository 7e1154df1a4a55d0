#pragma once
// Holds a ZEBMutex for the extent of a block: locks on construction, unlocks
// on destruction. The mutex is borrowed and must outlive the lock.
//
// An unlock failure outside stack unwinding propagates from the destructor
// (hence noexcept(false)) so a broken lock is not silently ignored. While an
// exception thrown inside the block is propagating, an unlock failure is
// dropped so the first exception continues instead of terminating the
// process. Unwinding is detected by comparing std::uncaught_exceptions() with
// its value at construction, so a lock taken inside a destructor that runs
// during unwinding still reports its own failures.

#include <exception>

#include "threading/ZEBMutex.h"
#include "util/ZEBException.h"

namespace ZEBInternal {

class ZEBScopedLock {
public:
    // Throws whatever lock() throws; the mutex is then not held.
    explicit ZEBScopedLock(ZEBMutex& mutex)
        : mutex(&mutex), uncaughtAtStart(std::uncaught_exceptions()) {
        this->mutex->lock();
    }
    // Throws ZEBConcurrencyException for a null mutex (internal misuse).
    explicit ZEBScopedLock(ZEBMutex* mutex)
        : mutex(mutex), uncaughtAtStart(std::uncaught_exceptions()) {
        if (mutex == nullptr)
            throw ZEBConcurrencyException("BUG - ScopedLock constructed on a null mutex");
        mutex->lock();
    }

    ~ZEBScopedLock() noexcept(false) {
        if (std::uncaught_exceptions() > uncaughtAtStart) {
            try {
                mutex->unlock();
            } catch (...) {
                // Unwinding already: a second exception would terminate the
                // process, and the one in flight is the one that matters.
            }
            return;
        }
        mutex->unlock();
    }

    ZEBScopedLock(const ZEBScopedLock&) = delete;
    ZEBScopedLock& operator=(const ZEBScopedLock&) = delete;
    ZEBScopedLock(ZEBScopedLock&&) = delete;
    ZEBScopedLock& operator=(ZEBScopedLock&&) = delete;

private:
    ZEBMutex* const mutex;  // borrowed
    const int uncaughtAtStart;
};

}  // namespace ZEBInternal
