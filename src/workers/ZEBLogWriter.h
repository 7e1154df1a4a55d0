#pragma once
// Drains the event queue into the active log file every LOGWRITERDWELLSEC
// seconds on its "LogWriter" thread, and on demand (flush, shutdown) on the
// caller's thread. It is also the door through which syncs reach the log
// files: flushing closes the active file so that everything written can be
// uploaded.
//
// Lock order: the writer's apiLock, then the event manager's and the log
// file's own locks inside their operations.

#include <memory>
#include <string>
#include <vector>

#include "core/ZEBLogFileSource.h"
#include "events/LogFile.h"
#include "threading/ZEBMutex.h"
#include "threading/ZEBRunnable.h"
#include "threading/ZEBThread.h"

namespace ZEBInternal {

struct SDKContext;

class ZEBLogWriter : public ZEBRunnable, public ZEBLogFileSource {
public:
    // Creates and starts the thread. context and logFile are borrowed from
    // the SDK, which joins this worker before deleting either.
    ZEBLogWriter(const SDKContext* context, LogFile* logFile);
    // Stops and joins the thread; writes nothing (the SDK calls shutdown()
    // first). Never throws.
    ~ZEBLogWriter() override;
    ZEBLogWriter(const ZEBLogWriter&) = delete;
    ZEBLogWriter& operator=(const ZEBLogWriter&) = delete;

    // One pass: everything queued when the pass drains the queue is written
    // as one batch; an idle pass only touches the active file. Never throws:
    // records a failed pass could not write are kept for the next one.
    void run() override;
    std::vector<std::string> getLogFiles(bool includeActive, bool onlyStale) override;
    // A pass, then the active file is closed.
    void flush() override;
    // Stops the thread, then flushes on the calling thread, so that nothing
    // queued before the call is lost.
    void shutdown();
    void join();

private:
    std::unique_ptr<ZEBMutex> apiLock_;  // "LogWriter API lock"
    const SDKContext* context_;
    LogFile* logFile_;
    // Guarded by apiLock_: records taken from the queue by a pass that
    // failed, oldest first.
    LogFile::Batch kept_;
    std::unique_ptr<ZEBThread> thread_;
};

}  // namespace ZEBInternal
