#include "events/ZEBEventException.h"

#include "config/ConfigFile.h"
#include "util/Strings.h"

namespace ZEBInternal {

namespace {
// ETFLAG values below this keep the event but not its stack trace; from it
// on, the value is the length the stack trace is cut to.
constexpr uint32_t kStackTraceFromFlag = 10;
}  // namespace

ZEBEventException::ZEBEventException(std::string className, std::string methodName,
                                     std::string exceptionMessage, std::string stackTrace,
                                     EventSessionID sessionID)
    : ZEBEventInfo(std::move(sessionID), eventtype::kException),
      className_(std::move(className)),
      methodName_(std::move(methodName)),
      exceptionMessage_(std::move(exceptionMessage)),
      stackTrace_(std::move(stackTrace)) {}

bool ZEBEventException::serializeInto(ConfigFile& configuration, std::string& out) {
    const uint32_t tracking = configuration.getExceptionTracking();
    if (tracking == 0) return false;
    exceptionMessage_ = cutToServerLimit(exceptionMessage_, configuration.getExceptionTextThreshold());
    if (tracking >= kStackTraceFromFlag) {
        stackTrace_ = cutToServerLimit(stackTrace_, tracking);
    } else {
        stackTrace_.clear();
    }
    appendHeader(out);
    out.push_back('$');
    appendEscapedSpecials(out, className_, "$");
    out.push_back('$');
    appendEscapedSpecials(out, methodName_, "$");
    out.push_back('$');
    appendEscaped(out, exceptionMessage_, "$");
    out.push_back('$');
    appendEscaped(out, stackTrace_, "$");
    return true;
}

}  // namespace ZEBInternal
