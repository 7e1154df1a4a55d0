#include "events/SessionManager.h"

#include "events/EventManager.h"
#include "events/ZEBEventLifecycle.h"
#include "threading/ZEBScopedLock.h"

namespace ZEBInternal {

SessionManager::SessionManager(EventManager* eventManager, bool multiSessionEnabled)
    : lock_(createMutex(true, "SessionManager API lock")),
      eventManager_(eventManager),
      multiSessionEnabled_(multiSessionEnabled) {}

void SessionManager::startAppSession(const std::string& id) {
    ZEBScopedLock guard(lock_.get());
    appSessionID_ = id;
    eventManager_->push(std::make_unique<ZEBEventAppSessionStart>(appSessionID_));
    if (!multiSessionEnabled_) {
        eventManager_->push(std::make_unique<ZEBEventUserSessionStart>(appSessionID_, appSessionID_));
    }
}

void SessionManager::stopAppSession() {
    ZEBScopedLock guard(lock_.get());
    if (!multiSessionEnabled_) {
        eventManager_->push(std::make_unique<ZEBEventUserSessionStop>(appSessionID_));
    }
    eventManager_->push(std::make_unique<ZEBEventAppSessionStop>(appSessionID_));
    appSessionID_.clear();
}

bool SessionManager::startUserSession(const std::string& id) {
    ZEBScopedLock guard(lock_.get());
    if (userSessions_.count(id) != 0) return false;
    userSessions_.insert(id);
    eventManager_->push(std::make_unique<ZEBEventUserSessionStart>(appSessionID_, id));
    return true;
}

bool SessionManager::stopUserSession(const std::string& id) {
    ZEBScopedLock guard(lock_.get());
    auto found = userSessions_.find(id);
    if (found == userSessions_.end()) return false;
    eventManager_->push(std::make_unique<ZEBEventUserSessionStop>(id));
    userSessions_.erase(found);
    return true;
}

bool SessionManager::isUserSessionActive(const std::string& id) {
    ZEBScopedLock guard(lock_.get());
    return userSessions_.count(id) != 0;
}

void SessionManager::stopAllSessions() {
    ZEBScopedLock guard(lock_.get());
    while (!userSessions_.empty()) {
        const std::string first = *userSessions_.begin();
        stopUserSession(first);
    }
    stopAppSession();
}

}  // namespace ZEBInternal
