#include "config/Configuration.h"

#include "threading/ZEBScopedLock.h"

namespace ZEBInternal {

Configuration::Configuration(ZEBStopMonitor* owner, const RuntimeSettings* settings,
                             ConfigArguments args)
    : owner_(owner),
      settings_(settings),
      args_(std::move(args)),
      lock_(createMutex(true, "ConfigAppVO API lock")),
      reachOutOnAutoSync_(args_.reachOutOnAutoSync) {}

bool Configuration::load() { return false; }

std::string Configuration::getClientID() const {
    ZEBScopedLock guard(lock_.get());
    return clientID_;
}

bool Configuration::isBackoffActive() const {
    ZEBScopedLock guard(lock_.get());
    return backoffActive_;
}

bool Configuration::isDisabled() const {
    ZEBScopedLock guard(lock_.get());
    return disabled_;
}

bool Configuration::isOptedOut() const {
    ZEBScopedLock guard(lock_.get());
    return optedOut_;
}

bool Configuration::isMultiSessionEnabled() const { return args_.multiSessionEnabled; }

uint32_t Configuration::getManualSyncTimeThreshold() const {
    ZEBScopedLock guard(lock_.get());
    return manualSyncTimeThreshold_;
}

uint32_t Configuration::getMessageTimeThreshold() const {
    ZEBScopedLock guard(lock_.get());
    return messageTimeThreshold_;
}

bool Configuration::setReachOutOnAutoSync(bool enabled) {
    ZEBScopedLock guard(lock_.get());
    reachOutOnAutoSync_ = enabled;
    return true;
}

bool Configuration::getReachOutOnAutoSync() const {
    ZEBScopedLock guard(lock_.get());
    return reachOutOnAutoSync_;
}

}  // namespace ZEBInternal
