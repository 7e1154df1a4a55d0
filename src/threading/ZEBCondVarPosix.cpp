#include "threading/ZEBCondVarPosix.h"

#include <cerrno>
#include <cstdint>

#include "threading/ConcurrencyError.h"
#include "threading/ZEBMutexPosix.h"

namespace ZEBInternal {

namespace {
const char* const kKind = "CondVar";
constexpr int64_t kMicrosPerSecond = 1000000;
constexpr long kNanosPerSecond = 1000000000L;
}  // namespace

ZEBCondVarPosix::ZEBCondVarPosix(ZEBMutex* mutex, const std::string& name)
    : mutex(nullptr), name(name) {
    if (mutex == nullptr)
        throwConcurrencyError(kKind, name, "BUG - CondVar ctor called with null mutex");
    // A wait releases one level of ownership only; on a recursive mutex held
    // twice it would sleep with the lock still taken.
    if (mutex->isRecursive())
        throwConcurrencyError(kKind, name,
                              "BUG - CondVar ctor called with mutex that is reentrant");
    // The waits hand the pthread mutex itself to pthread_cond_*, so only the
    // POSIX implementation can be paired with this condition variable.
    this->mutex = dynamic_cast<ZEBMutexPosix*>(mutex);
    if (this->mutex == nullptr)
        throwConcurrencyError(kKind, name,
                              "BUG - CondVar ctor called with mutex that is not POSIX");

    pthread_condattr_t attr;
    int rc = pthread_condattr_init(&attr);
    if (rc != 0) throwConcurrencyError(kKind, name, "condAttr_init", rc);

    // The constructor throws from here on, so the destructor will not run:
    // each failure path releases what was already initialised.
    rc = pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    if (rc != 0) {
        pthread_condattr_destroy(&attr);
        throwConcurrencyError(kKind, name, "condAttr_setclock", rc);
    }

    rc = pthread_cond_init(&cond, &attr);
    if (rc != 0) {
        pthread_condattr_destroy(&attr);
        throwConcurrencyError(kKind, name, "cond_init", rc);
    }

    rc = pthread_condattr_destroy(&attr);
    if (rc != 0) {
        pthread_cond_destroy(&cond);
        throwConcurrencyError(kKind, name, "condAttr_destroy", rc);
    }
}

ZEBCondVarPosix::~ZEBCondVarPosix() {
    // Nothing useful can be done about a failure here, and destructors must
    // not throw.
    pthread_cond_destroy(&cond);
}

bool ZEBCondVarPosix::wait() {
    const int rc = pthread_cond_wait(&cond, mutex->nativeHandle());
    if (rc != 0) throwConcurrencyError(kKind, name, "cond_wait", rc);
    return true;
}

struct timespec ZEBCondVarPosix::deadlineAfter(const TimeValue& duration) const {
    struct timespec now {};
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0)
        throwConcurrencyError(kKind, name, "clock_gettime", errno);
    // 64-bit sums: a large microsecond count carries into seconds without
    // wrapping the 32-bit fields.
    const int64_t micros = static_cast<int64_t>(duration.seconds) * kMicrosPerSecond +
                           static_cast<int64_t>(duration.microseconds);
    struct timespec deadline {};
    deadline.tv_sec = now.tv_sec + static_cast<time_t>(micros / kMicrosPerSecond);
    deadline.tv_nsec = now.tv_nsec + static_cast<long>(micros % kMicrosPerSecond) * 1000L;
    if (deadline.tv_nsec >= kNanosPerSecond) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= kNanosPerSecond;
    }
    return deadline;
}

bool ZEBCondVarPosix::timedWaitUntil(const struct timespec& deadline) {
    const int rc = pthread_cond_timedwait(&cond, mutex->nativeHandle(), &deadline);
    if (rc == 0) return true;
    if (rc == ETIMEDOUT) return false;
    throwConcurrencyError(kKind, name, "cond_timedwait", rc);
}

bool ZEBCondVarPosix::timedWait(const TimeValue& duration) {
    return timedWaitUntil(deadlineAfter(duration));
}

void ZEBCondVarPosix::signal() {
    const int rc = pthread_cond_signal(&cond);
    if (rc != 0) throwConcurrencyError(kKind, name, "cond_signal", rc);
}

std::unique_ptr<ZEBCondVar> createCondVar(ZEBMutex* mutex, const std::string& name) {
    return std::make_unique<ZEBCondVarPosix>(mutex, name);
}

}  // namespace ZEBInternal
