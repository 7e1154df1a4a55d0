#pragma once
// Decides when the client synchronises with the server and runs each sync
// on its own thread ("SyncManager", every AUTOSYNCCHECKDWELLSEC seconds and
// at once when asked): automatic syncs every AUTOSYNCTIMETHRESHOLD minutes,
// manual syncs requested through zebSync, and the final sync of
// zebStopSDK. It honours the server's DISABLED and BACKOFF (a back-off
// discards the log and sends at most one ping per PINGDWELLSEC) and the
// opt-out mode it was made with, and deletes the log files a sync purged
// or uploaded, each upload's files as soon as the server acknowledged them.
//
// Created by the SDK with the log writer; stopped by zebStopSDK, joined and
// deleted by the SDK's destructor. Host threads call requestSync,
// isSyncRunning and getLastSyncTime.
//
// Locks: stateLock_ (error-checking, paired with stateCV_) guards the
// request flags and lastSyncTime_; it is never held during an exchange or
// while the thread is steered. Inside a pass the configuration, the log
// writer and the reach-out manager take their own locks.

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "threading/ZEBCondVar.h"
#include "threading/ZEBMutex.h"
#include "threading/ZEBRunnable.h"
#include "threading/ZEBThread.h"
#include "util/TimeValue.h"

namespace ZEBInternal {

struct SDKContext;
class ZEBLogFileSource;

class ZEBSyncManager : public ZEBRunnable {
public:
    // Opt-out modes, by whether the server (the configuration's OPTOUT) and
    // this run (zebOptOut before start) opted the client out.
    static constexpr unsigned kModeNormal = 0;
    static constexpr unsigned kModeBothOptedOut = 1;    // never syncs
    static constexpr unsigned kModeRunOptedOut = 2;     // start-up syncs only, marked opt-out
    static constexpr unsigned kModeServerOptedOut = 3;  // as normal

    // context and logWriter are borrowed from the SDK, which joins this
    // worker before deleting either. initialLastSync zero makes the first
    // pass sync at once. The thread starts here.
    ZEBSyncManager(const SDKContext* context, ZEBLogFileSource* logWriter,
                   const TimeValue& initialLastSync, unsigned mode);
    ~ZEBSyncManager() override;
    ZEBSyncManager(const ZEBSyncManager&) = delete;
    ZEBSyncManager& operator=(const ZEBSyncManager&) = delete;

    // One pass. Whatever ends it, a waiting requester is released and the
    // thread goes on with its next pass.
    void run() override;
    // Stops the thread after the pass in progress and releases a requester
    // waiting for a pass that will not come.
    void stop();
    void join();

    // Asks for a sync, served by a pass that begins after the request: at
    // once when no pass runs, else as soon as the running one has ended.
    // The caller waits for that pass to end when `final` is set or
    // MANUALSYNCISASYNC is off: at
    // most `timeout` (zero: without limit), answering false when the time
    // ran out. false also when requests are no longer accepted (after the
    // final request, or once stopped). After a final request no further
    // request is accepted.
    bool requestSync(bool reachOut, const TimeValue& timeout, bool final);
    bool isSyncRunning();
    // The moment of the last sync attempt, successful or not.
    TimeValue getLastSyncTime();

private:
    void pass();
    // Clears the pass's flags, counts it and releases the waiting requesters.
    void endPass();
    // REQUIRES: stateLock_ held. Wakes every requester waiting on stateCV_.
    void releaseWaitersLocked();
    // manual: the host asked (zebSync or the final sync of zebStopSDK).
    void dueSync(bool reachOut, bool manual);
    bool syncStep(bool reachOut);
    void backoffStep();
    void stampLastSync();
    void deleteLogFiles(const std::vector<std::string>& names);
    // Deletes uploaded files; those that cannot be removed (a read-only
    // directory) are remembered so that no later upload of this run sends
    // them again, and removed as soon as that works.
    void deleteUploaded(const std::vector<std::string>& names);
    void retryUploadedDeletions();

    std::unique_ptr<ZEBMutex> stateLock_;  // "SyncManager state lock"
    std::unique_ptr<ZEBCondVar> stateCV_;  // "SyncManager state cv": a pass ended
    const SDKContext* const context_;      // borrowed
    ZEBLogFileSource* const logWriter_;    // borrowed
    const unsigned mode_;
    // Guarded by stateLock_:
    bool acceptingRequests_ = true;
    bool stopRequested_ = false;
    bool running_ = false;
    TimeValue lastSyncTime_;
    bool manualRequested_ = false;
    bool manualReachOut_ = false;
    bool followUpRequested_ = false;  // asked for during a pass: the next pass
    bool followUpReachOut_ = false;
    uint64_t passesEnded_ = 0;
    unsigned waiters_ = 0;
    // The "SyncManager" thread's own:
    uint32_t startupAttempts_ = 0;
    bool startupDone_ = false;
    std::set<std::string> uploadedNotDeleted_;
    std::unique_ptr<ZEBThread> thread_;  // last: its thread uses every field above
};

}  // namespace ZEBInternal
