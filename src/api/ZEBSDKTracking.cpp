// The tracking and user-session calls of the SDK. Each checks the state,
// cleans and limits its strings, validates the session ID and queues one
// record; none touches the disk or the network or waits for the record to
// be written, and none takes apiLock_, which the server operations may hold
// for a whole exchange.

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
std::string cleanedEventText(const std::string& text, uint32_t limit) {
    std::string cleaned = cleanText(text);
    truncateUtf8InPlace(cleaned, limit);
    return cleaned;
}

}  // namespace

int32_t ZEBSDK::validateSessionID(std::string& sessionID, bool allowEmpty) {
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

int32_t ZEBSDK::checkFeatureEvent(const std::string& name, std::string& sessionID) {
    if (int32_t rc = startedCheck()) return rc;
    if (name.empty()) return -111;
    if (int32_t rc = validateSessionID(sessionID, false)) return rc;
    if (sessionID.empty()) sessionID = instanceID_;
    return 0;
}

// Cleaning and cutting touch only the call's own copies, so they run before
// stateLock_ is taken; the codes still come in their order (state, name,
// session). The record is queued with stateLock_ held: a stop that begins
// meanwhile waits for it, and so finds it in the queue for the final drain.

int32_t ZEBSDK::trackEvent(const std::string& category, const std::string& name,
                           const std::string& sessionID) {
    return guarded([&]() -> int32_t {
        std::string c = cleanedEventText(category, settings_.EVENTCATEGORYTHRESHOLD);
        std::string n = cleanedEventText(name, settings_.EVENTNAMETHRESHOLD);
        std::string s = sessionID;
        ZEBScopedLock state(stateLock_.get());
        if (int32_t rc = checkFeatureEvent(n, s)) return rc;
        eventManager_->push(
            std::make_unique<ZEBEventBasic>(std::move(c), std::move(n), std::move(s)));
        return 0;
    });
}

int32_t ZEBSDK::trackEventNumeric(const std::string& category, const std::string& name,
                                  double value, const std::string& sessionID) {
    return guarded([&]() -> int32_t {
        std::string c = cleanedEventText(category, settings_.EVENTCATEGORYTHRESHOLD);
        std::string n = cleanedEventText(name, settings_.EVENTNAMETHRESHOLD);
        std::string s = sessionID;
        ZEBScopedLock state(stateLock_.get());
        if (int32_t rc = checkFeatureEvent(n, s)) return rc;
        eventManager_->push(
            std::make_unique<ZEBEventNumeric>(std::move(c), std::move(n), std::move(s), value));
        return 0;
    });
}

int32_t ZEBSDK::trackEventText(const std::string& category, const std::string& name,
                               const std::string& text, const std::string& sessionID) {
    return guarded([&]() -> int32_t {
        std::string c = cleanedEventText(category, settings_.EVENTCATEGORYTHRESHOLD);
        std::string n = cleanedEventText(name, settings_.EVENTNAMETHRESHOLD);
        std::string s = sessionID;
        // The text is free-form: not cleaned, only bounded.
        std::string t = truncateUtf8(text, settings_.SAFETYCUSTOMVALUETHRESHOLD);
        ZEBScopedLock state(stateLock_.get());
        if (int32_t rc = checkFeatureEvent(n, s)) return rc;
        if (text.empty()) return -111;
        eventManager_->push(std::make_unique<ZEBEventText>(std::move(c), std::move(n),
                                                           std::move(t), std::move(s)));
        return 0;
    });
}

int32_t ZEBSDK::trackEventCustom(const std::string& category, const std::string& name,
                                 const NameValueList& pairs, const std::string& sessionID) {
    return guarded([&]() -> int32_t {
        std::string c = cleanedEventText(category, settings_.EVENTCATEGORYTHRESHOLD);
        std::string n = cleanedEventText(name, settings_.EVENTNAMETHRESHOLD);
        std::string s = sessionID;
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
        ZEBScopedLock state(stateLock_.get());
        if (int32_t rc = checkFeatureEvent(n, s)) return rc;
        if (pairs.empty()) return -111;
        if (badName) return -113;
        eventManager_->push(std::make_unique<ZEBEventNameValuePairs>(
            std::move(c), std::move(n), std::move(limited), std::move(s)));
        return 0;
    });
}

int32_t ZEBSDK::trackException(const ExceptionRecord& exception, const std::string& sessionID) {
    return guarded([&]() -> int32_t {
        std::string className = cleanText(exception.className);
        std::string methodName = cleanText(exception.methodName);
        const bool named = !className.empty() && !methodName.empty();
        truncateUtf8InPlace(className, settings_.EXCEPTIONCLASSNAMETHRESHOLD);
        truncateUtf8InPlace(methodName, settings_.EXCEPTIONMETHODNAMETHRESHOLD);
        std::string s = sessionID;
        ZEBScopedLock state(stateLock_.get());
        if (int32_t rc = startedCheck()) return rc;
        if (int32_t rc = validateSessionID(s, true)) return rc;
        if (s.empty()) s = instanceID_;
        if (!named) return -111;
        eventManager_->push(std::make_unique<ZEBEventException>(
            std::move(className), std::move(methodName),
            truncateUtf8(exception.exceptionMessage, settings_.SAFETYEXCEPTIONDATATHRESHOLD),
            truncateUtf8(exception.stackTrace, settings_.SAFETYEXCEPTIONDATATHRESHOLD),
            std::move(s)));
        return 0;
    });
}

int32_t ZEBSDK::userSessionCall(const std::string& sessionID, bool start) {
    return guarded([&]() -> int32_t {
        ZEBScopedLock state(stateLock_.get());
        if (int32_t rc = startedCheck()) return rc;
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
