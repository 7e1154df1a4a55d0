// The SDK operations that talk to the call-home server on the host's
// thread or hand work to the sync worker: the connection test, the check
// for a reach-out message and the manual sync. They hold apiLock_ for their
// whole length, so they are serialised with each other and with the life
// cycle, but never stateLock_ while they wait: the tracking calls, which
// take stateLock_ only, go on meanwhile, and the workers can still report.

#include "api/ZEBSDK.h"
#include "config/Configuration.h"
#include "messages/ZEBCheckMessage.h"
#include "messages/ZEBTestConnMessage.h"
#include "threading/ZEBScopedLock.h"
#include "workers/ZEBNewRegManager.h"
#include "workers/ZEBReachOutManager.h"
#include "workers/ZEBSyncManager.h"

namespace ZEBInternal {

namespace {

constexpr uint32_t kMaxReachOutType = 2;

// The result code of a failed or refused exchange, or 0 for a success.
int32_t exchangeCode(const ZEBMessageBase& message) {
    switch (message.getStatus()) {
        case ZEBMessageBase::kStatusSuccess: return 0;
        case ZEBMessageBase::kStatusNoSignature:
        case ZEBMessageBase::kStatusBadSignature: return -402;
        default: return -400;
    }
}

}  // namespace

SDKContext ZEBSDK::messageContext() {
    if (context_) return *context_;
    // Before start there is no context yet; a message needs only the
    // configuration and the stores.
    SDKContext context;
    context.sdk = this;
    context.configuration = configuration_.get();
    context.appData = appData_.get();
    context.eventManager = eventManager_.get();
    context.reachOutManager = reachOutManager_.get();
    context.diagnostics = &diagnostics_;
    return context;
}

int32_t ZEBSDK::testConnection() {
    return guarded([&]() -> int32_t {
        ZEBScopedLock api(apiLock_.get());
        SDKContext context;
        {
            ZEBScopedLock state(stateLock_.get());
            if (int32_t rc = configuredCheck(state_, true, false)) return rc;
            context = messageContext();
        }
        ZEBTestConnection message(&context);
        message.exchange();
        // The answer may have brought the identity while registration still
        // runs: the worker reports it at its next pass, which need not wait
        // out the retry interval. apiLock_ keeps the worker in place.
        if (state_.load() == kRegistering && newRegManager_ &&
            !configuration_->getClientID().empty()) {
            newRegManager_->wake();
        }
        if (int32_t rc = exchangeCode(message)) return rc;
        if (!message.isProductValid()) return -420;
        if (!message.isUrlMatching()) return -421;
        return 0;
    });
}

int32_t ZEBSDK::checkForReachOut(uint32_t messageType, std::string& message, int32_t& messageCount,
                                 int32_t& typeOut) {
    message.clear();
    messageCount = 0;
    typeOut = 0;
    return guarded([&]() -> int32_t {
        ZEBScopedLock api(apiLock_.get());
        SDKContext context;
        {
            ZEBScopedLock state(stateLock_.get());
            if (int32_t rc = runningCheck(state_)) return rc;
            context = messageContext();
        }
        if (messageType > kMaxReachOutType) return -180;
        const TimeValue now = timeutil::now();
        if (timeutil::subtract(now, lastReachOutCheck_).seconds <
            configuration_->getMessageTimeThreshold()) {
            return -320;
        }
        // Stamped before the exchange: a failed check counts against the
        // interval as well.
        lastReachOutCheck_ = now;
        ZEBCheckMessage check(&context, static_cast<int32_t>(messageType));
        check.exchange();
        if (int32_t rc = exchangeCode(check)) return rc;
        message = check.getMessageText();
        messageCount = check.getMessageCount();
        typeOut = check.getMessageType();
        return 0;
    });
}

int32_t ZEBSDK::sync(bool withReachOut) {
    return guarded([&]() -> int32_t {
        ZEBScopedLock api(apiLock_.get());
        {
            ZEBScopedLock state(stateLock_.get());
            if (int32_t rc = runningCheck(state_)) return rc;
        }
        // A running client opted out by this run has no sync manager, but
        // the running check refuses it first (-332).
        if (!syncManager_) return -210;
        if (syncManager_->isSyncRunning()) return -310;
        const uint32_t sinceLast =
            timeutil::subtract(timeutil::now(), syncManager_->getLastSyncTime()).seconds;
        // 64 bits: a huge threshold from the server must not wrap into a
        // small one.
        if (sinceLast < uint64_t{configuration_->getManualSyncTimeThreshold()} * 60u) return -320;
        const bool reachOut = withReachOut && reachOutManager_->isReady();
        return syncManager_->requestSync(reachOut, TimeValue{}, false) ? 0 : -213;
    });
}

}  // namespace ZEBInternal
