#pragma once
// Application and user sessions. Created at start with the event manager;
// the session records arrive with the offline pipeline, which fills in the
// two operations the life cycle already calls.

#include <string>

namespace ZEBInternal {

class EventManager;

class SessionManager {
public:
    // eventManager is borrowed: the SDK owns it and deletes it after this.
    SessionManager(EventManager* eventManager, bool multiSessionEnabled)
        : eventManager_(eventManager), multiSessionEnabled_(multiSessionEnabled) {}
    SessionManager(const SessionManager&) = delete;
    SessionManager& operator=(const SessionManager&) = delete;

    void startAppSession(const std::string& instanceID) { appSessionID_ = instanceID; }
    void stopAllSessions() { appSessionID_.clear(); }

private:
    [[maybe_unused]] EventManager* eventManager_;
    [[maybe_unused]] bool multiSessionEnabled_;
    std::string appSessionID_;
};

}  // namespace ZEBInternal
