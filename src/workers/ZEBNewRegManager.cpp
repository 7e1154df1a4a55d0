#include "workers/ZEBNewRegManager.h"

#include "config/Configuration.h"
#include "config/RuntimeSettings.h"
#include "core/Diagnostics.h"
#include "core/ZEBNewRegCompletionHandler.h"
#include "core/ZEBReachOutQueue.h"
#include "messages/ZEBNewRegistration.h"

namespace ZEBInternal {

ZEBNewRegManager::ZEBNewRegManager(const SDKContext* context, const RuntimeSettings* settings,
                                   bool optOutRequested)
    : context_(context), settings_(settings), optOutRequested_(optOutRequested) {
    thread_ = createThread(this, "NewReg", TimeValue{settings_->NEWREGRETRYSEC, 0},
                           settings_->NEWREGRETRYATTEMPTMAX);
    thread_->start();
}

ZEBNewRegManager::~ZEBNewRegManager() {
    try {
        thread_->stop();
        thread_->join();
    } catch (...) {
        // A destructor must not throw; the thread is gone or broken either way.
    }
}

void ZEBNewRegManager::run() {
    if (attempts_ >= settings_->NEWREGRETRYATTEMPTMAX) return;
    try {
        Configuration& configuration = *context_->configuration;
        // The identity may come with any answer of the server, not only
        // with this worker's: the client is registered then, and the SDK,
        // which waits for this report to run, must hear it.
        if (!configuration.getClientID().empty()) {
            attempts_ = settings_->NEWREGRETRYATTEMPTMAX;
            report(kRegistered);
            return;
        }
        // Switched off by the server: every call answers DISABLED anyway.
        if (configuration.isDisabled()) return;
    } catch (...) {
        // The configuration could not be read: counts as a failed attempt,
        // so the last one still reports.
        if (++attempts_ >= settings_->NEWREGRETRYATTEMPTMAX) report(kFailed);
        return;
    }
    attemptRegistration();
}

bool ZEBNewRegManager::attemptRegistration() {
    ++attempts_;
    bool registered = false;
    try {
        const bool sendReachOut =
            !optOutRequested_ && context_->configuration->getReachOutOnAutoSync() &&
            context_->reachOutManager != nullptr && context_->reachOutManager->isReady();
        ZEBNewRegistration message(context_, sendReachOut, optOutRequested_);
        registered = message.exchange();
    } catch (...) {
        // A failure outside the exchange (the reach-out query) counts as a
        // failed attempt.
    }
    Diagnostics* diagnostics = context_->diagnostics;
    if (registered) {
        attempts_ = settings_->NEWREGRETRYATTEMPTMAX;  // later runs do nothing
        ZEBInternal::report(diagnostics, LogLevel::kInfo, [&] {
            return "registered: the server gave the client ID " +
                   context_->configuration->getClientID();
        });
        report(kRegistered);
        return true;
    }
    if (attempts_ < settings_->NEWREGRETRYATTEMPTMAX) {
        ZEBInternal::report(diagnostics, LogLevel::kWarning, [&] {
            return "registration attempt " + std::to_string(attempts_) + " of " +
                   std::to_string(settings_->NEWREGRETRYATTEMPTMAX) + " failed; the next in " +
                   std::to_string(settings_->NEWREGRETRYSEC) + " s";
        });
        return false;
    }
    ZEBInternal::report(diagnostics, LogLevel::kError, [&] {
        return "registration failed " + std::to_string(attempts_) +
               " times: the instance will not run (-998)";
    });
    report(kFailed);
    return true;
}

void ZEBNewRegManager::report(int result) {
    try {
        context_->sdk->newRegCompleted(result);
    } catch (...) {
        // The SDK records its own failures; nothing more can be told.
    }
}

void ZEBNewRegManager::stop() {
    thread_->stop();
}

void ZEBNewRegManager::wake() {
    thread_->requestRun();
}

void ZEBNewRegManager::join() {
    thread_->join();
}

}  // namespace ZEBInternal
