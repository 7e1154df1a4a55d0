#include "threading/ZEBMutexPosix.h"

#include <cerrno>

#include "threading/ConcurrencyError.h"
#include "threading/HeldLocks.h"

namespace ZEBInternal {

namespace {
const char* const kKind = "Mutex";
}  // namespace

ZEBMutexPosix::ZEBMutexPosix(bool recursive, const std::string& name)
    : recursive(recursive), name(name) {
    pthread_mutexattr_t attr;
    int rc = pthread_mutexattr_init(&attr);
    if (rc != 0) throwConcurrencyError(kKind, name, "mutexAttr_init", rc);

    // The constructor throws from here on, so the destructor will not run:
    // each failure path releases what was already initialised.
    rc = pthread_mutexattr_settype(&attr,
                                   recursive ? PTHREAD_MUTEX_RECURSIVE : PTHREAD_MUTEX_ERRORCHECK);
    if (rc != 0) {
        pthread_mutexattr_destroy(&attr);
        throwConcurrencyError(
            kKind, name, recursive ? "mutexAttr_settype recursive" : "mutexAttr_settype errorcheck",
            rc);
    }

    rc = pthread_mutex_init(&mutex, &attr);
    if (rc != 0) {
        pthread_mutexattr_destroy(&attr);
        throwConcurrencyError(kKind, name, "mutex_init", rc);
    }

    rc = pthread_mutexattr_destroy(&attr);
    if (rc != 0) {
        pthread_mutex_destroy(&mutex);
        throwConcurrencyError(kKind, name, "mutexAttr_destroy", rc);
    }
}

ZEBMutexPosix::~ZEBMutexPosix() {
    // Nothing useful can be done about a failure here (EBUSY when still held),
    // and destructors must not throw.
    pthread_mutex_destroy(&mutex);
}

void ZEBMutexPosix::lock() {
    const int rc = pthread_mutex_lock(&mutex);
    if (rc != 0) throwConcurrencyError(kKind, name, "mutex_lock", rc);
    noteLockTaken();
}

bool ZEBMutexPosix::tryLock() {
    const int rc = pthread_mutex_trylock(&mutex);
    if (rc == 0) {
        noteLockTaken();
        return true;
    }
    if (rc == EBUSY) return false;
    throwConcurrencyError(kKind, name, "mutex_trylock", rc);
}

void ZEBMutexPosix::unlock() {
    const int rc = pthread_mutex_unlock(&mutex);
    if (rc != 0) throwConcurrencyError(kKind, name, "mutex_unlock", rc);
    noteLockReleased();
}

std::unique_ptr<ZEBMutex> createMutex(bool recursive, const std::string& name) {
    return std::make_unique<ZEBMutexPosix>(recursive, name);
}

}  // namespace ZEBInternal
