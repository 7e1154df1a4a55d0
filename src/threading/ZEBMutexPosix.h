#pragma once
// ZEBMutex on a pthread mutex. Held by value where the owner embeds it (the
// worker thread's two locks) or created by createMutex. Neither copyable nor
// movable: a pthread mutex must not change address while in use.

#include <pthread.h>

#include <string>

#include "threading/ZEBMutex.h"

namespace ZEBInternal {

class ZEBMutexPosix final : public ZEBMutex {
public:
    // Throws ZEBConcurrencyException when an attribute or mutex call fails;
    // nothing is left allocated in that case.
    ZEBMutexPosix(bool recursive, const std::string& name);
    ~ZEBMutexPosix() override;

    ZEBMutexPosix(const ZEBMutexPosix&) = delete;
    ZEBMutexPosix& operator=(const ZEBMutexPosix&) = delete;
    ZEBMutexPosix(ZEBMutexPosix&&) = delete;
    ZEBMutexPosix& operator=(ZEBMutexPosix&&) = delete;

    void lock() override;
    bool tryLock() override;
    void unlock() override;
    bool isRecursive() const override { return recursive; }

    // The underlying mutex, for the condition variable paired with it.
    pthread_mutex_t* nativeHandle() { return &mutex; }

private:
    const bool recursive;
    const std::string name;  // only for error messages
    pthread_mutex_t mutex{};
};

}  // namespace ZEBInternal
