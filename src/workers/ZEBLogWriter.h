#pragma once
// Appends the queued event records to the active log file every
// LOGWRITERDWELLSEC seconds ("LogWriter" thread). Created with the full or
// reduced worker set; the writing itself arrives with the offline pipeline.

namespace ZEBInternal {

struct SDKContext;
class LogFile;

class ZEBLogWriter {
public:
    // context and logFile are borrowed from the SDK, which joins this worker
    // before deleting either.
    ZEBLogWriter(const SDKContext* context, LogFile* logFile)
        : context_(context), logFile_(logFile) {}
    ZEBLogWriter(const ZEBLogWriter&) = delete;
    ZEBLogWriter& operator=(const ZEBLogWriter&) = delete;

    // Stops the thread and writes what is still queued.
    void shutdown() {}
    void join() {}

private:
    [[maybe_unused]] const SDKContext* context_;
    [[maybe_unused]] LogFile* logFile_;
};

}  // namespace ZEBInternal
