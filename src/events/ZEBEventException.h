#pragma once
// An exception the host caught and reported. The server's ETFLAG decides
// whether it is written and how much of its stack trace is kept.

#include <string>

#include "events/ZEBEventInfo.h"

namespace ZEBInternal {

class ZEBEventException : public ZEBEventInfo {
public:
    ZEBEventException(std::string className, std::string methodName, std::string exceptionMessage,
                      std::string stackTrace, EventSessionID sessionID);
    bool serializeInto(ConfigFile& configuration, std::string& out) override;

private:
    std::string className_;
    std::string methodName_;
    std::string exceptionMessage_;
    std::string stackTrace_;
};

}  // namespace ZEBInternal
