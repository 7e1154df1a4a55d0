#pragma once
// A named condition variable paired with an error-checking ZEBMutex. The
// caller holds the paired mutex around every wait and signal. A wait may end
// without a signal (spurious wake-up), so callers re-check their predicate.
//
// Every failure throws ZEBConcurrencyException ("CondVar '<name>' <op> (<code>)").

#include <memory>
#include <string>

#include "util/TimeValue.h"

namespace ZEBInternal {

class ZEBMutex;

class ZEBCondVar {
public:
    virtual ~ZEBCondVar() = default;

    // REQUIRES: the paired mutex held. Waits without limit; always true when
    // it returns.
    virtual bool wait() = 0;
    // REQUIRES: the paired mutex held. Waits at most `duration` (microseconds
    // of a million and more carry into seconds); a zero duration only checks.
    // true when woken, false on time-out.
    virtual bool timedWait(const TimeValue& duration) = 0;
    // Wakes at most one waiter.
    virtual void signal() = 0;

protected:
    ZEBCondVar() = default;
    ZEBCondVar(const ZEBCondVar&) = delete;
    ZEBCondVar& operator=(const ZEBCondVar&) = delete;
};

// A new POSIX condition variable on `mutex` (borrowed; it must outlive the
// condition variable); the caller owns the result. `mutex` must be an
// error-checking mutex made by createMutex or a ZEBMutexPosix: a recursive one
// is refused because a wait would release only one level of ownership. Throws
// ZEBConcurrencyException on misuse or when the POSIX calls fail.
std::unique_ptr<ZEBCondVar> createCondVar(ZEBMutex* mutex, const std::string& name);

}  // namespace ZEBInternal
