#pragma once
// The work of a background worker. A ZEBThread calls run() once, then, for a
// recurring thread, again after each dwell. run() is called on the worker
// thread only, with none of the thread's locks held; it may throw, which ends
// the thread in the FAILED state.
//
// A runnable must not join its own thread from run(), and must not call the
// thread's public operations while another thread may be joining it: join()
// holds the thread's apiLock for the whole wait.

namespace ZEBInternal {

class ZEBRunnable {
public:
    virtual ~ZEBRunnable() = default;
    virtual void run() = 0;

protected:
    ZEBRunnable() = default;
    ZEBRunnable(const ZEBRunnable&) = default;
    ZEBRunnable& operator=(const ZEBRunnable&) = default;
};

}  // namespace ZEBInternal
