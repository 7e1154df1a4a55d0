#pragma once
// A named mutex, recursive or error-checking. Every shared object of the
// library guards its state with one, held for each whole operation through
// ZEBScopedLock. Stores use recursive mutexes so one public operation may call
// another on the same object; a mutex paired with a condition variable is
// error-checking, so a double lock or a foreign unlock throws instead of
// hanging or corrupting the lock.
//
// Every failure throws ZEBConcurrencyException ("Mutex '<name>' <op> (<code>)").

#include <memory>
#include <string>

namespace ZEBInternal {

class ZEBMutex {
public:
    virtual ~ZEBMutex() = default;

    // Blocks until the mutex is held. Throws on failure, including a second
    // lock of an error-checking mutex by its holder.
    virtual void lock() = 0;
    // true when the mutex was taken, false when another thread holds it.
    virtual bool tryLock() = 0;
    // Throws on failure, including an unlock by a thread that does not hold
    // an error-checking mutex.
    virtual void unlock() = 0;
    virtual bool isRecursive() const = 0;

protected:
    ZEBMutex() = default;
    ZEBMutex(const ZEBMutex&) = delete;
    ZEBMutex& operator=(const ZEBMutex&) = delete;
};

// A new POSIX mutex; the caller owns it. `name` appears only in error
// messages. Throws ZEBConcurrencyException when the mutex cannot be built.
std::unique_ptr<ZEBMutex> createMutex(bool recursive, const std::string& name);

}  // namespace ZEBInternal
