#pragma once
// Records of the library's own making: application and user sessions, clock
// jumps, and the first line of every log file. None depends on the server's
// feature switches.

#include <cstdint>
#include <string>

#include "events/ZEBEventInfo.h"

namespace ZEBInternal {

// The header alone.
class ZEBEventHeaderOnly : public ZEBEventInfo {
public:
    bool serializeInto(ConfigFile& configuration, std::string& out) override;

protected:
    using ZEBEventInfo::ZEBEventInfo;
};

class ZEBEventAppSessionStart : public ZEBEventHeaderOnly {
public:
    explicit ZEBEventAppSessionStart(std::string sessionID)
        : ZEBEventHeaderOnly(std::move(sessionID), eventtype::kAppSessionStart) {}
};

class ZEBEventAppSessionStop : public ZEBEventHeaderOnly {
public:
    explicit ZEBEventAppSessionStop(std::string sessionID)
        : ZEBEventHeaderOnly(std::move(sessionID), eventtype::kAppSessionStop) {}
};

class ZEBEventUserSessionStop : public ZEBEventHeaderOnly {
public:
    explicit ZEBEventUserSessionStop(std::string sessionID)
        : ZEBEventHeaderOnly(std::move(sessionID), eventtype::kUserSessionStop) {}
};

// The header carries the application session, the extra field the user
// session.
class ZEBEventUserSessionStart : public ZEBEventInfo {
public:
    ZEBEventUserSessionStart(std::string sessionID, std::string userSessionID);
    bool serializeInto(ConfigFile& configuration, std::string& out) override;

private:
    std::string userSessionID_;
};

class ZEBEventTimeWarp : public ZEBEventInfo {
public:
    ZEBEventTimeWarp(int64_t offsetSeconds, std::string sessionID);
    bool serializeInto(ConfigFile& configuration, std::string& out) override;

private:
    int64_t offsetSeconds_;
};

class ZEBEventNewFile : public ZEBEventInfo {
public:
    ZEBEventNewFile(std::string fileID, std::string sessionID, std::string appName);
    bool serializeInto(ConfigFile& configuration, std::string& out) override;

private:
    std::string fileID_;
    std::string appName_;
};

}  // namespace ZEBInternal
