#include "events/ZEBEventLifecycle.h"

namespace ZEBInternal {

bool ZEBEventHeaderOnly::serializeInto(ConfigFile&, std::string& out) {
    appendHeader(out);
    return true;
}

ZEBEventUserSessionStart::ZEBEventUserSessionStart(std::string sessionID,
                                                   std::string userSessionID)
    : ZEBEventInfo(std::move(sessionID), eventtype::kUserSessionStart),
      userSessionID_(std::move(userSessionID)) {}

bool ZEBEventUserSessionStart::serializeInto(ConfigFile&, std::string& out) {
    appendHeader(out);
    out.push_back('$');
    appendEscapedSpecials(out, userSessionID_, "$");
    return true;
}

ZEBEventTimeWarp::ZEBEventTimeWarp(int64_t offsetSeconds, std::string sessionID)
    : ZEBEventInfo(std::move(sessionID), eventtype::kTimeWarp), offsetSeconds_(offsetSeconds) {}

bool ZEBEventTimeWarp::serializeInto(ConfigFile&, std::string& out) {
    appendHeader(out);
    out.push_back('$');
    out += std::to_string(offsetSeconds_);
    return true;
}

ZEBEventNewFile::ZEBEventNewFile(std::string fileID, std::string sessionID, std::string appName)
    : ZEBEventInfo(std::move(sessionID), eventtype::kNewFile),
      fileID_(std::move(fileID)),
      appName_(std::move(appName)) {}

bool ZEBEventNewFile::serializeInto(ConfigFile&, std::string& out) {
    appendHeader(out);
    out.push_back('$');
    appendEscapedSpecials(out, fileID_, "$");
    out.push_back('$');
    // Written as given: it is the line's last field.
    out += appName_;
    return true;
}

}  // namespace ZEBInternal
