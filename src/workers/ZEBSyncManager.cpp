#include "workers/ZEBSyncManager.h"

#include <cerrno>
#include <chrono>

#include "config/Configuration.h"
#include "config/RuntimeSettings.h"
#include "core/Diagnostics.h"
#include "core/SDKContext.h"
#include "core/ZEBLogFileSource.h"
#include "core/ZEBReachOutQueue.h"
#include "data/AppData.h"
#include "messages/ZEBPingMessage.h"
#include "messages/ZEBSyncRequest.h"
#include "threading/ZEBScopedLock.h"
#include "util/Files.h"

namespace ZEBInternal {

namespace {

using Clock = std::chrono::steady_clock;

TimeValue toTimeValue(Clock::duration d) {
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(d).count();
    if (micros <= 0) return TimeValue{};
    return TimeValue{static_cast<uint32_t>(micros / 1000000),
                     static_cast<uint32_t>(micros % 1000000)};
}

Clock::duration toDuration(const TimeValue& t) {
    return std::chrono::seconds(t.seconds) + std::chrono::microseconds(t.microseconds);
}

}  // namespace

ZEBSyncManager::ZEBSyncManager(const SDKContext* context, ZEBLogFileSource* logWriter,
                               const TimeValue& initialLastSync, unsigned mode)
    : stateLock_(createMutex(false, "SyncManager state lock")),
      stateCV_(createCondVar(stateLock_.get(), "SyncManager state cv")),
      context_(context),
      logWriter_(logWriter),
      mode_(mode),
      lastSyncTime_(initialLastSync) {
    const uint32_t dwell = context_->configuration->settings()->AUTOSYNCCHECKDWELLSEC;
    thread_ = createThread(this, "SyncManager", TimeValue{dwell, 0}, 0);
    thread_->start();
}

ZEBSyncManager::~ZEBSyncManager() {
    try {
        thread_->stop();
        thread_->join();
        thread_.reset();
    } catch (...) {
        // A destructor must not throw; the thread is gone or broken either way.
    }
}

void ZEBSyncManager::run() {
    try {
        pass();
    } catch (...) {
        // Whatever failed, nobody may be left waiting for this pass, and a
        // later zebSync must find no pass running. The thread lives on, so
        // automatic syncs go on at the next pass.
        endPass();
    }
}

void ZEBSyncManager::pass() {
    Configuration& configuration = *context_->configuration;
    if (configuration.isDisabled()) {
        // No work at all, but a waiting requester is still released.
        endPass();
        return;
    }
    bool manual = false;
    bool manualReachOut = false;
    uint32_t elapsed = 0;
    bool first = false;
    {
        ZEBScopedLock guard(stateLock_.get());
        elapsed = timeutil::subtract(timeutil::now(), lastSyncTime_).seconds;
        first = lastSyncTime_.isZero();
        manual = manualRequested_;
        manualReachOut = manualReachOut_;
        running_ = true;
    }
    // 64 bits: a huge threshold from the server must not wrap into a small one.
    const uint64_t dueAfter = uint64_t{configuration.file().getAutoSyncTimeThreshold()} * 60u;
    Diagnostics* diagnostics = context_->diagnostics;
    if (configuration.isBackoffActive()) {
        report(diagnostics, LogLevel::kDebug, [] {
            return std::string("sync check: the server's back-off is in force: logs discarded, "
                               "at most a daily ping");
        });
        backoffStep();
    } else if (manual || elapsed >= dueAfter) {
        report(diagnostics, LogLevel::kInfo, [&] {
            return std::string("sync due: ") +
                   (manual  ? "requested"
                    : first ? "automatic, the first of this run"
                            : "automatic, " + std::to_string(elapsed) + " s since the last sync");
        });
        ZEBReachOutQueue* reachOut = context_->reachOutManager;
        const bool possible =
            reachOut != nullptr && reachOut->hasHandler() && reachOut->isMessageDone();
        dueSync(possible && (manual ? manualReachOut : configuration.getReachOutOnAutoSync()),
                manual);
    } else {
        report(diagnostics, LogLevel::kDebug, [&] {
            return "sync check: not due, " + std::to_string(elapsed) + " of " +
                   std::to_string(dueAfter) + " s since the last sync";
        });
    }
    endPass();
}

void ZEBSyncManager::endPass() {
    ZEBScopedLock guard(stateLock_.get());
    running_ = false;
    // A request made during this pass is served by the next one, which the
    // request has already asked the thread for.
    manualRequested_ = followUpRequested_;
    manualReachOut_ = followUpReachOut_;
    followUpRequested_ = false;
    followUpReachOut_ = false;
    ++passesEnded_;
    releaseWaitersLocked();
}

void ZEBSyncManager::releaseWaitersLocked() {
    // No broadcast exists: one signal per waiter.
    for (unsigned i = 0; i < waiters_; ++i) stateCV_->signal();
}

void ZEBSyncManager::dueSync(bool reachOut, bool manual) {
    const RuntimeSettings& settings = *context_->configuration->settings();
    if (startupDone_) {
        if (mode_ == kModeBothOptedOut || mode_ == kModeRunOptedOut) {
            stampLastSync();
        } else {
            syncStep(reachOut);
        }
        return;
    }
    if (mode_ == kModeBothOptedOut) {
        stampLastSync();
        return;
    }
    // The start-up phase spaces out automatic retries of a failing first
    // sync. A sync the host asked for, or the final one, is never skipped:
    // its caller was told it would run. A modulo of 0 would divide by
    // zero; it means every attempt.
    const uint32_t modulo = settings.AUTOSYNCATSTARTUPRETRYATTEMPTMODULO;
    if (manual || modulo <= 1 || startupAttempts_ % modulo == 0) {
        if (syncStep(reachOut)) startupDone_ = true;
    }
    ++startupAttempts_;
    if (startupAttempts_ >= settings.AUTOSYNCATSTARTUPRETRYATTEMPTMAX) startupDone_ = true;
}

bool ZEBSyncManager::syncStep(bool reachOut) {
    if (mode_ == kModeBothOptedOut) return false;
    retryUploadedDeletions();
    // Each upload's files are deleted as soon as the server has them and
    // before their claims are let go, also when a later upload of the same
    // sync fails.
    bool consumedAny = false;
    ZEBSyncRequest message(context_, logWriter_, reachOut && mode_ != kModeRunOptedOut,
                           mode_ == kModeRunOptedOut, uploadedNotDeleted_,
                           [this, &consumedAny](const std::vector<std::string>& names) {
                               consumedAny = consumedAny || !names.empty();
                               deleteUploaded(names);
                           });
    const bool ok = message.exchange();
    stampLastSync();
    if (consumedAny) context_->configuration->file().clearNewFeatures();
    return ok;
}

void ZEBSyncManager::deleteUploaded(const std::vector<std::string>& names) {
    const ConfigAppVO& app = context_->configuration->appValues();
    for (const std::string& name : names) {
        if (removeFile(app.pathInDataDirectory(name))) {
            uploadedNotDeleted_.erase(name);
        } else {
            const int err = errno;
            report(context_->diagnostics, LogLevel::kError, [&] {
                return "could not delete the uploaded log " + name + ": " + errnoText(err);
            });
            // The server has these events: sending them again would count
            // them twice. A later run, which cannot know, sends them if they
            // are still there.
            uploadedNotDeleted_.insert(name);
        }
    }
}

void ZEBSyncManager::retryUploadedDeletions() {
    const ConfigAppVO& app = context_->configuration->appValues();
    for (auto it = uploadedNotDeleted_.begin(); it != uploadedNotDeleted_.end();) {
        it = removeFile(app.pathInDataDirectory(*it)) ? uploadedNotDeleted_.erase(it) : ++it;
    }
}

void ZEBSyncManager::backoffStep() {
    if (mode_ == kModeBothOptedOut || mode_ == kModeRunOptedOut) {
        stampLastSync();
        return;
    }
    // Whatever is logged during a back-off is discarded.
    logWriter_->flush();
    deleteLogFiles(logWriter_->getLogFiles(true, true));
    uint32_t since = 0;
    {
        ZEBScopedLock guard(stateLock_.get());
        since = timeutil::subtract(timeutil::now(), lastSyncTime_).seconds;
    }
    if (since <= context_->configuration->settings()->PINGDWELLSEC) return;
    // The ping only says the client is alive; its outcome changes nothing.
    ZEBPing ping(context_, context_->appData != nullptr
                               ? context_->appData->fingerprint().sectionText()
                               : std::string());
    ping.exchange();
    stampLastSync();
}

void ZEBSyncManager::stampLastSync() {
    ZEBScopedLock guard(stateLock_.get());
    lastSyncTime_ = timeutil::now();
}

void ZEBSyncManager::deleteLogFiles(const std::vector<std::string>& names) {
    const ConfigAppVO& app = context_->configuration->appValues();
    for (const std::string& name : names) removeFile(app.pathInDataDirectory(name));
}

void ZEBSyncManager::stop() {
    {
        ZEBScopedLock guard(stateLock_.get());
        stopRequested_ = true;
        releaseWaitersLocked();
    }
    thread_->stop();
}

void ZEBSyncManager::join() {
    thread_->join();
}

bool ZEBSyncManager::requestSync(bool reachOut, const TimeValue& timeout, bool final) {
    const bool mustWait = final || !context_->configuration->settings()->MANUALSYNCISASYNC;
    uint64_t target = 0;
    {
        ZEBScopedLock guard(stateLock_.get());
        if (!acceptingRequests_ || stopRequested_) return false;
        if (final) acceptingRequests_ = false;
        // The request is served by a pass that begins after it, so that the
        // sync sees everything recorded before the request (the final sync,
        // the session ends). A pass already running may have read the log
        // already: the request then waits for the pass after it.
        if (running_) {
            followUpRequested_ = true;
            followUpReachOut_ = reachOut;
            target = passesEnded_ + 2;
        } else {
            manualRequested_ = true;
            manualReachOut_ = reachOut;
            target = passesEnded_ + 1;
        }
    }
    // Outside our lock, since the thread's own locks come after it nowhere.
    // requestRun keeps a request that arrives while the thread is still
    // leaving its last pass, which a plain wake would drop until the next
    // dwell had passed.
    if (!thread_->requestRun()) {
        ZEBScopedLock guard(stateLock_.get());
        manualRequested_ = false;
        followUpRequested_ = false;
        return false;  // the thread has ended: no pass will come
    }
    if (!mustWait) return true;

    ZEBScopedLock guard(stateLock_.get());
    const bool limited = !timeout.isZero();
    const Clock::time_point deadline = Clock::now() + toDuration(timeout);
    bool ended = true;
    ++waiters_;
    try {
        while (passesEnded_ < target && !(stopRequested_ && !running_)) {
            if (!limited) {
                stateCV_->wait();
                continue;
            }
            const Clock::time_point now = Clock::now();
            if (now >= deadline) {
                ended = false;
                break;
            }
            stateCV_->timedWait(toTimeValue(deadline - now));
        }
    } catch (...) {
        --waiters_;
        throw;
    }
    --waiters_;
    return ended && passesEnded_ >= target;
}

bool ZEBSyncManager::isSyncRunning() {
    ZEBScopedLock guard(stateLock_.get());
    return running_;
}

TimeValue ZEBSyncManager::getLastSyncTime() {
    ZEBScopedLock guard(stateLock_.get());
    return lastSyncTime_;
}

}  // namespace ZEBInternal
