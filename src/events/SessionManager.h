#pragma once
// The application session (one per SDK run, named by the configuration's
// instance ID) and the user sessions the host opened. Every start and stop
// becomes an event record. In single-session mode the application session
// doubles as the one user session.
//
// Lock order: session manager, then event manager.

#include <memory>
#include <set>
#include <string>

#include "threading/ZEBMutex.h"

namespace ZEBInternal {

class EventManager;

class SessionManager {
public:
    // eventManager is borrowed: the SDK owns it and deletes it after this.
    SessionManager(EventManager* eventManager, bool multiSessionEnabled);
    SessionManager(const SessionManager&) = delete;
    SessionManager& operator=(const SessionManager&) = delete;

    void startAppSession(const std::string& id);
    void stopAppSession();
    // false: already open, nothing recorded.
    bool startUserSession(const std::string& id);
    // false: not open, nothing recorded.
    bool stopUserSession(const std::string& id);
    bool isUserSessionActive(const std::string& id);
    // Every user session in byte-wise order, then the application session.
    void stopAllSessions();

private:
    std::unique_ptr<ZEBMutex> lock_;  // "SessionManager API lock"
    EventManager* eventManager_;
    const bool multiSessionEnabled_;
    // Guarded by lock_.
    std::string appSessionID_;
    std::set<std::string> userSessions_;
};

}  // namespace ZEBInternal
