#pragma once
// Counts the library mutexes the calling thread holds, and keeps work that
// must run with none of them held (a host's callback, which may call back
// into the library) until the thread lets go of its last one.

#include <functional>

namespace ZEBInternal {

// Called by the mutexes themselves after each successful lock and unlock.
void noteLockTaken() noexcept;
// Runs the work kept for this thread once its last lock is gone.
void noteLockReleased() noexcept;

// Runs `work` now when this thread holds no library mutex, otherwise as
// soon as it releases the last one, in the order of the calls. `work` must
// not throw; an exception from it is dropped.
void runWithoutLocks(std::function<void()> work) noexcept;

}  // namespace ZEBInternal
