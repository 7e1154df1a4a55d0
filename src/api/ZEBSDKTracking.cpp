// The tracking and user-session calls of the SDK. Each checks the state,
// cleans and limits its strings, validates the session ID and queues one
// record; none touches the disk or the network or waits for the record to
// be written, and none takes apiLock_, which the server operations may hold
// for a whole exchange.

#include <optional>

#include "api/EventInputs.h"
#include "api/ZEBSDK.h"
#include "config/Configuration.h"
#include "events/EventManager.h"
#include "events/SessionManager.h"
#include "events/ZEBEventBasic.h"
#include "events/ZEBEventException.h"
#include "threading/ZEBScopedLock.h"
#include "util/Strings.h"

namespace ZEBInternal {

namespace {
// Session IDs of multi-session mode: long enough to be unique, short
// enough for a log line.
constexpr size_t kMinSessionIDLength = 10;
constexpr size_t kMaxSessionIDLength = 64;
// Cleaned, then cut to the limit.
std::string cleanedEventText(std::string text, uint32_t limit) {
    std::string cleaned = cleanText(std::move(text));
    truncateUtf8InPlace(cleaned, limit);
    return cleaned;
}

}  // namespace

int32_t ZEBSDK::validateSessionID(std::string& sessionID, bool allowEmpty) {
    // The usual call gives none: nothing to clean or look up.
    if (sessionID.empty()) return configuration_->isMultiSessionEnabled() && !allowEmpty ? -151 : 0;
    sessionID = cleanText(std::move(sessionID));
    if (configuration_->isMultiSessionEnabled()) {
        if (sessionID.empty() && !allowEmpty) return -151;
        if (!sessionID.empty() && utf8Length(sessionID) < kMinSessionIDLength) return -152;
        if (utf8Length(sessionID) > kMaxSessionIDLength) return -153;
    } else if (!sessionID.empty()) {
        return -150;
    }
    if (sessionID.empty()) return 0;
    return sessionManager_->isUserSessionActive(sessionID) ? 0 : -155;
}

int32_t ZEBSDK::checkFeatureEvent(int32_t state, const std::string& name, std::string& sessionID) {
    if (int32_t rc = startedCheck(state)) return rc;
    if (name.empty()) return -111;
    return validateSessionID(sessionID, false);
}

// The host's usual call gives no session ID while the SDK runs: that takes
// no lock, so host threads tracking at once do not queue behind each other.
// The state is read once; the push itself refuses once zebStopSDK has shut
// the queue to tracking calls (which it does together with setting the
// stopping state), so such a call is either queued ahead of the stop's
// final drain or answers -213, as it would after the stop. A call with a
// user session runs under stateLock_ from its check to its push, so none of
// its events is queued after zebStopSession of that session has recorded
// the session's end. Cleaning and cutting touch only the call's own copies
// and run before any of this; the codes still come in their order (state,
// name, session, then what `check` adds).
template <typename Check, typename Make>
int32_t ZEBSDK::queueTracked(const std::string& sessionID, Check&& check, Make&& make) {
    int32_t state = state_.load();
    std::optional<ZEBScopedLock> locked;
    if (!sessionID.empty() || (state != kRegistering && state != kRunning)) {
        locked.emplace(stateLock_.get());
        state = state_.load();
    }
    std::string s = sessionID;
    if (int32_t rc = check(state, s)) return rc;
    // An empty ID after the checks is the application session's, which the
    // records share rather than copy.
    EventSessionID session =
        s.empty() ? EventSessionID::borrowed(instanceID_) : EventSessionID(std::move(s));
    return eventManager_->pushFromHost(make(std::move(session))) ? 0 : -213;
}

template <typename Late, typename Make>
int32_t ZEBSDK::trackFeature(std::string category, std::string name, const std::string& sessionID,
                             Late&& late, Make&& make) {
    return guarded([&]() -> int32_t {
        std::string c = cleanedEventText(std::move(category), settings_.EVENTCATEGORYTHRESHOLD);
        std::string n = cleanedEventText(std::move(name), settings_.EVENTNAMETHRESHOLD);
        return queueTracked(
            sessionID,
            [&](int32_t state, std::string& s) {
                if (int32_t rc = checkFeatureEvent(state, n, s)) return rc;
                return late();
            },
            [&](EventSessionID session) {
                return make(std::move(c), std::move(n), std::move(session));
            });
    });
}

namespace {
int32_t noMoreChecks() {
    return 0;
}
}  // namespace

int32_t ZEBSDK::trackEvent(std::string category, std::string name, const std::string& sessionID) {
    return trackFeature(std::move(category), std::move(name), sessionID, noMoreChecks,
                        [](std::string c, std::string n, EventSessionID session) {
                            return std::make_unique<ZEBEventBasic>(std::move(c), std::move(n),
                                                                   std::move(session));
                        });
}

int32_t ZEBSDK::trackEventNumeric(std::string category, std::string name, double value,
                                  const std::string& sessionID) {
    return trackFeature(std::move(category), std::move(name), sessionID, noMoreChecks,
                        [value](std::string c, std::string n, EventSessionID session) {
                            return std::make_unique<ZEBEventNumeric>(std::move(c), std::move(n),
                                                                     std::move(session), value);
                        });
}

int32_t ZEBSDK::trackEventText(std::string category, std::string name, const std::string& text,
                               const std::string& sessionID) {
    return guarded([&]() -> int32_t {
        // The text is free-form: not cleaned, only bounded.
        std::string t = truncateUtf8(text, settings_.SAFETYCUSTOMVALUETHRESHOLD);
        return trackFeature(
            std::move(category), std::move(name), sessionID,
            [&] { return text.empty() ? -111 : 0; },
            [&](std::string c, std::string n, EventSessionID session) {
                return std::make_unique<ZEBEventText>(std::move(c), std::move(n), std::move(t),
                                                      std::move(session));
            });
    });
}

int32_t ZEBSDK::trackEventCustom(std::string category, std::string name, const NameValueList& pairs,
                                 const std::string& sessionID) {
    return guarded([&]() -> int32_t {
        bool badName = false;
        ZEBEventNameValuePairs::Pairs limited;
        limited.reserve(pairs.size());
        for (const auto& pair : pairs) {
            if (hasWhitespace(pair.first)) {
                badName = true;
                break;
            }
            limited.emplace_back(truncateUtf8(pair.first, settings_.SAFETYCUSTOMNAMETHRESHOLD),
                                 truncateUtf8(pair.second, settings_.SAFETYCUSTOMVALUETHRESHOLD));
        }
        return trackFeature(
            std::move(category), std::move(name), sessionID,
            [&] {
                if (pairs.empty()) return -111;
                return badName ? -113 : 0;
            },
            [&](std::string c, std::string n, EventSessionID session) {
                return std::make_unique<ZEBEventNameValuePairs>(
                    std::move(c), std::move(n), std::move(limited), std::move(session));
            });
    });
}

int32_t ZEBSDK::trackException(const ExceptionRecord& exception, const std::string& sessionID) {
    return guarded([&]() -> int32_t {
        std::string className = cleanText(exception.className);
        std::string methodName = cleanText(exception.methodName);
        const bool named = !className.empty() && !methodName.empty();
        truncateUtf8InPlace(className, settings_.EXCEPTIONCLASSNAMETHRESHOLD);
        truncateUtf8InPlace(methodName, settings_.EXCEPTIONMETHODNAMETHRESHOLD);
        return queueTracked(
            sessionID,
            [&](int32_t state, std::string& s) {
                if (int32_t rc = startedCheck(state)) return rc;
                if (int32_t rc = validateSessionID(s, true)) return rc;
                return named ? 0 : -111;
            },
            [&](EventSessionID session) {
                return std::make_unique<ZEBEventException>(
                    std::move(className), std::move(methodName),
                    truncateUtf8(exception.exceptionMessage,
                                 settings_.SAFETYEXCEPTIONDATATHRESHOLD),
                    truncateUtf8(exception.stackTrace, settings_.SAFETYEXCEPTIONDATATHRESHOLD),
                    std::move(session));
            });
    });
}

int32_t ZEBSDK::userSessionCall(const std::string& sessionID, bool start) {
    return guarded([&]() -> int32_t {
        ZEBScopedLock state(stateLock_.get());
        if (int32_t rc = startedCheck(state_)) return rc;
        if (!configuration_->isMultiSessionEnabled()) return -300;
        std::string s = sessionID;
        const int32_t rc = validateSessionID(s, false);
        if (!start) {
            if (rc != 0) return rc;
            sessionManager_->stopUserSession(s);
            return 0;
        }
        // Only a well-formed ID that is not open yet may start.
        if (rc == 0) return -154;
        if (rc != -155) return rc;
        sessionManager_->startUserSession(s);
        return 0;
    });
}

int32_t ZEBSDK::startSession(const std::string& sessionID) {
    return userSessionCall(sessionID, true);
}

int32_t ZEBSDK::stopSession(const std::string& sessionID) {
    return userSessionCall(sessionID, false);
}

}  // namespace ZEBInternal
