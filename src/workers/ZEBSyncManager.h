#pragma once
// Runs automatic, manual and final syncs with the server ("SyncManager"
// thread, every AUTOSYNCCHECKDWELLSEC seconds). Created with the full or
// reduced worker set; the sync exchange arrives with the online work.

#include "util/TimeValue.h"

namespace ZEBInternal {

struct SDKContext;
class ZEBLogWriter;

class ZEBSyncManager {
public:
    // Modes: 0 normal, 1 opted out by the server and this run, 2 this run
    // opted out, 3 opted out by the server.
    ZEBSyncManager(const SDKContext* context, ZEBLogWriter* logWriter,
                   const TimeValue& initialLastSync, unsigned mode)
        : context_(context), logWriter_(logWriter), lastSyncTime_(initialLastSync), mode_(mode) {}
    ZEBSyncManager(const ZEBSyncManager&) = delete;
    ZEBSyncManager& operator=(const ZEBSyncManager&) = delete;

    // Asks for a sync; waits at most `timeout` (zero: no limit) when the
    // caller must wait. False: the request was refused.
    bool requestSync(bool reachOut, const TimeValue& timeout, bool final) {
        (void)reachOut;
        (void)timeout;
        (void)final;
        return false;
    }
    bool isSyncRunning() const { return false; }
    TimeValue getLastSyncTime() const { return lastSyncTime_; }
    void stop() {}
    void join() {}

private:
    [[maybe_unused]] const SDKContext* context_;
    [[maybe_unused]] ZEBLogWriter* logWriter_;
    TimeValue lastSyncTime_;
    [[maybe_unused]] unsigned mode_;
};

}  // namespace ZEBInternal
