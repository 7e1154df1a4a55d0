#pragma once
// The handle behind the opaque ZEBInstance of the C interface, and the one
// wrapper every exported function runs its instance operation through.

#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "api/ZEBSDK.h"

struct ZEBInstance {
    ZEBInternal::ZEBSDK* sdk = nullptr;  // owned; deleted by zebDestroyInstance
    // Cleared once an operation failed fatally; never set again. Atomic
    // because any host thread may use the handle.
    std::atomic<bool> valid{true};
    pid_t creator = ::getpid();  // the process whose threads and files the SDK owns
};

namespace ZEBInternal {

// The answer of every call on an instance that a forked child inherited.
constexpr int32_t kForkedChild = -214;

// Set in a child of fork(): only then can a handle belong to another
// process, so the parent's calls never pay for asking the kernel.
extern std::atomic<bool> processForked;

// The handle was made by another process (this one is a forked child of
// it): the SDK's threads, locks and files are that process's.
inline bool inheritedByChild(const ZEBInstance* handle) noexcept {
    return processForked.load(std::memory_order_relaxed) && handle->creator != ::getpid();
}

// Handle check, validity flag and exception barrier shared by every
// exported function. `op` receives the instance, makes its own argument
// checks and copies, and returns a result code. Any exception, or a -999
// result, marks the handle unusable for good.
template <typename Op>
int32_t guardedCall(ZEBInstance* handle, Op&& op) noexcept {
    if (handle == nullptr || handle->sdk == nullptr) return -100;
    if (!handle->valid.load()) return -999;
    if (inheritedByChild(handle)) return kForkedChild;
    try {
        const int32_t rc = op(*handle->sdk);
        if (rc == -999) handle->valid.store(false);
        return rc;
    } catch (...) {
        handle->valid.store(false);
        return -999;
    }
}

// NULL reads as the empty string.
inline std::string owned(const char* s) { return s ? std::string(s) : std::string(); }

}  // namespace ZEBInternal
