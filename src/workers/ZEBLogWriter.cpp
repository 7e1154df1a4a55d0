#include "workers/ZEBLogWriter.h"

#include "config/Configuration.h"
#include "config/RuntimeSettings.h"
#include "core/SDKContext.h"
#include "events/EventManager.h"
#include "events/LogFile.h"
#include "threading/ZEBScopedLock.h"

namespace ZEBInternal {

ZEBLogWriter::ZEBLogWriter(const SDKContext* context, LogFile* logFile)
    : apiLock_(createMutex(true, "LogWriter API lock")), context_(context), logFile_(logFile) {
    const uint32_t dwell = context_->configuration->settings()->LOGWRITERDWELLSEC;
    thread_ = createThread(this, "LogWriter", TimeValue{dwell, 0}, 0);
    thread_->start();
}

ZEBLogWriter::~ZEBLogWriter() {
    try {
        thread_->stop();
        thread_->join();
    } catch (...) {
        // A destructor must not throw; the thread is gone or broken either way.
    }
}

void ZEBLogWriter::run() {
    ZEBScopedLock guard(apiLock_.get());
    // What an earlier pass kept goes first: it was queued before the rest.
    LogFile::Batch batch = std::move(kept_);
    kept_.clear();
    try {
        context_->eventManager->popAll(batch);
        if (batch.empty()) {
            logFile_->touchActiveFile();
        } else {
            logFile_->appendEvents(batch);
        }
    } catch (...) {
        // The records are out of the queue: an exception (memory, a lock)
        // must not take them along, nor end the thread and with it every
        // later write. Those not yet written wait for the next pass.
        for (std::unique_ptr<ZEBEventInfo>& record : batch) {
            if (record) kept_.push_back(std::move(record));
        }
    }
}

std::vector<std::string> ZEBLogWriter::getLogFiles(bool includeActive, bool onlyStale) {
    return logFile_->listLogFiles(includeActive, onlyStale);
}

void ZEBLogWriter::flush() {
    ZEBScopedLock guard(apiLock_.get());
    run();
    logFile_->closeActiveFile();
}

void ZEBLogWriter::shutdown() {
    ZEBScopedLock guard(apiLock_.get());
    thread_->stop();
    flush();
}

void ZEBLogWriter::join() {
    thread_->join();
}

}  // namespace ZEBInternal
