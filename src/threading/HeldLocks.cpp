#include "threading/HeldLocks.h"

#include <utility>
#include <vector>

namespace ZEBInternal {
namespace {

thread_local unsigned heldLocks = 0;
thread_local std::vector<std::function<void()>>* keptWork = nullptr;

void runKept() noexcept {
    // Work may take and release locks itself and keep more work: take the
    // list out first so that nothing runs twice or is lost.
    while (keptWork != nullptr && heldLocks == 0) {
        std::vector<std::function<void()>> batch = std::move(*keptWork);
        delete keptWork;
        keptWork = nullptr;
        for (auto& work : batch) {
            try {
                work();
            } catch (...) {
                // A diagnostic that could not be delivered is not worth a failure.
            }
        }
    }
}

}  // namespace

void noteLockTaken() noexcept { ++heldLocks; }

void noteLockReleased() noexcept {
    if (heldLocks > 0 && --heldLocks == 0 && keptWork != nullptr) runKept();
}

void runWithoutLocks(std::function<void()> work) noexcept {
    try {
        if (heldLocks == 0) {
            work();
            return;
        }
        if (keptWork == nullptr) keptWork = new std::vector<std::function<void()>>();
        keptWork->push_back(std::move(work));
    } catch (...) {
        // Out of memory or a failing callback: the message is dropped.
    }
}

}  // namespace ZEBInternal
