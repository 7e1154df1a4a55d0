#pragma once
// The one object behind an instance handle. It owns every other part of the
// library for its instance, runs the life cycle the host drives (configure,
// start, stop, destroy) and checks every call against its state.
//
// Threads: host threads enter through the public operations. The life-cycle
// and server operations (configure, start, stop, opt-out, sync, connection
// test, reach-out) are serialised by apiLock_ and may wait on the network
// while holding it, never while holding stateLock_. The session,
// product-data and custom-property calls, zebSetProxy, zebGetState and
// zebGetClientID take stateLock_ only, for short stretches, so they never
// wait behind an exchange; zebGetSDKVersion and zebSetLogHandler take
// neither. A tracking call with a user session does the
// same and queues its record before it lets go of stateLock_; one without
// (the usual call) takes no lock at all, and zebStopSDK shuts the event
// queue to tracking calls as it sets the stopping state. Either way, once
// that state is set every later call answers -213 and every earlier one is
// in the queue that the log writer's final drain writes. Workers call back
// through newRegCompleted and shouldStop, which take stateLock_ only.
// Lock order: apiLock_ before stateLock_ (both recursive); stateLock_
// before the session manager's and the event manager's locks.
//
// Every public operation returns a result code and never throws: an
// exception inside one breaks the instance (state -999, result -999).

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "config/RuntimeSettings.h"
#include "core/Diagnostics.h"
#include "core/SDKContext.h"
#include "core/VersionInfo.h"
#include "core/ZEBNewRegCompletionHandler.h"
#include "core/ZEBSDKReachOutHandler.h"
#include "core/ZEBStopMonitor.h"
#include "threading/ZEBMutex.h"
#include "util/TimeValue.h"

namespace ZEBInternal {

class Configuration;
class AppData;
class AppProductInfo;
class EventManager;
class SessionManager;
class LogFile;
class ZEBSyncManager;
class ZEBReachOutManager;
class ZEBNewRegManager;
class ZEBLogWriter;
class ZEBTimeWarpDetector;

// The exception record of zebTrackException, as owned strings.
struct ExceptionRecord {
    std::string className;
    std::string methodName;
    std::string exceptionMessage;
    std::string stackTrace;
};

using NameValueList = std::vector<std::pair<std::string, std::string>>;

class ZEBSDK : public ZEBNewRegCompletionHandler, public ZEBStopMonitor {
public:
    // Life-cycle states; 9, 10 and 14 are only ever reported, never stored.
    enum State : int32_t {
        kConstructed = 0,
        kConfigLoaded = 1,
        kNeedsRegistration = 2,
        kRegistering = 3,
        kRunning = 4,
        kRegRefused = 5,
        kRegFailed = 6,
        kRegError = 7,
        kReportBackoff = 9,
        kReportDisabled = 10,
        kStopRequested = 11,
        kStopping = 12,
        kStopped = 13,
        kReportOptedOut = 14,
        kBroken = -999,
    };

    // Throws if the locks or collaborators cannot be made; zebCreateInstance
    // then answers null.
    explicit ZEBSDK(int32_t flavour, const RuntimeSettings& settings = RuntimeSettings());
    // Stops as zebStopSDK(-1) would, joins and deletes every worker. Never throws.
    ~ZEBSDK() override;
    ZEBSDK(const ZEBSDK&) = delete;
    ZEBSDK& operator=(const ZEBSDK&) = delete;

    int32_t createConfig(const std::string& configFilePath, const std::string& productID,
                         const std::string& appName, const std::string& serverURL, int32_t protocol,
                         const std::string& aesKeyHex, bool multiSessionEnabled,
                         bool reachOutOnAutoSync);
    int32_t startSDK();
    // waitSeconds: -1 no final sync; 0 final sync without a time limit;
    // n > 0 final sync for at most n seconds.
    int32_t stopSDK(int32_t waitSeconds);
    int32_t optOut();
    int32_t sync(bool withReachOut);
    int32_t testConnection();
    // The stored state, or 9, 10 or 14 when back-off, DISABLED or opt-out
    // is in force. Takes only stateLock_, so it never waits for a sync.
    int32_t getState();
    // "0" before there is a client ID; the empty string if the instance broke.
    std::string getClientID();
    std::string getSDKVersion();
    // Any time, any state; takes no SDK lock.
    int32_t setLogHandler(int32_t level, Diagnostics::Callback callback, void* userData);
    // For the parts the SDK makes outside a context (configuration, stores).
    Diagnostics* diagnostics() { return &diagnostics_; }

    // handler may be null: removes the installed one.
    int32_t setReachOutHandler(std::unique_ptr<ZEBSDKReachOutHandler> handler);
    int32_t setReachOutOnAutoSync(bool enabled);
    // messageType in; text, count and type out.
    int32_t checkForReachOut(uint32_t messageType, std::string& message, int32_t& messageCount,
                             int32_t& typeOut);

    int32_t setProductData(const std::string& edition, const std::string& language,
                           const std::string& version, const std::string& buildNumber);
    int32_t setProductEdition(const std::string& edition);
    int32_t setProductLanguage(const std::string& language);
    int32_t setProductVersion(const std::string& version);
    int32_t setProductBuildNumber(const std::string& buildNumber);
    int32_t setCustomProperty(uint32_t index, const std::string& value);
    int32_t setProxy(const std::string& address, uint16_t port, const std::string& username,
                     const std::string& password);

    // The tracking calls take their category and name by value: the C
    // interface's copies are moved through to the record.
    int32_t startSession(const std::string& sessionID);
    int32_t stopSession(const std::string& sessionID);
    int32_t trackEvent(std::string category, std::string name, const std::string& sessionID);
    int32_t trackEventNumeric(std::string category, std::string name, double value,
                              const std::string& sessionID);
    int32_t trackEventText(std::string category, std::string name, const std::string& text,
                           const std::string& sessionID);
    int32_t trackEventCustom(std::string category, std::string name, const NameValueList& pairs,
                             const std::string& sessionID);
    int32_t trackException(const ExceptionRecord& exception, const std::string& sessionID);

    // The application data stores once configured, else null. For the
    // messages that report them and for tests; the stores lock themselves.
    AppData* getAppData() const { return appData_.get(); }

    // Called on the new-registration thread.
    void newRegCompleted(int result) override;
    bool shouldStop(bool isSyncOrUpload) override;

private:
    // Runs op and turns any exception into the broken state and -999.
    template <typename Op>
    int32_t guarded(Op&& op);
    void markBroken() noexcept;

    // State checks of `state`, read once from state_; 0 means the operation
    // may go on. REQUIRE: stateLock_ held, or `state` 3 or 4 (configuration_
    // is then set for good).
    int32_t basicCheck(int32_t state, bool allowBackoff, bool allowOptedOut) const;
    int32_t configuredCheck(int32_t state, bool allowBackoff, bool allowOptedOut) const;
    int32_t startedCheck(int32_t state) const;
    int32_t runningCheck(int32_t state) const;
    bool backoffInForce() const;
    bool disabledInForce() const;
    // Cleans and checks a session ID of a tracking or session call; 0 with
    // the cleaned ID in `sessionID`, or the refusal code. REQUIRE: stateLock_
    // held and the SDK started.
    int32_t validateSessionID(std::string& sessionID, bool allowEmpty);
    // The common checks of the four feature-event calls, on a category and
    // name already cleaned and limited: started, a name, the session ID. 0
    // (the cleaned ID in `sessionID`, empty for the application session) or
    // the refusal code. REQUIRE: as for the state checks; stateLock_ held
    // when `sessionID` is not empty.
    int32_t checkFeatureEvent(int32_t state, const std::string& name, std::string& sessionID);
    // The frame of every tracking call: `check(state, sessionID)` gives 0 or
    // the refusal code, then the record `make(session)` builds is queued.
    // Locking: see the tracking file.
    template <typename Check, typename Make>
    int32_t queueTracked(const std::string& sessionID, Check&& check, Make&& make);
    // The frame of the four feature-event calls: category and name cleaned
    // and cut, the common checks, `late()` (the call's own codes), then the
    // record `make(category, name, session)` builds is queued.
    template <typename Late, typename Make>
    int32_t trackFeature(std::string category, std::string name, const std::string& sessionID,
                         Late&& late, Make&& make);
    // zebStartSession (start) and zebStopSession.
    int32_t userSessionCall(const std::string& sessionID, bool start);
    // The frame of the product, custom-property and proxy calls: the
    // configured check under stateLock_, then `store` under no SDK lock (the
    // stores lock themselves).
    template <typename Store>
    int32_t storeAfterCheck(bool allowBackoff, Store&& store);
    // One product value, cut to PRODUCTPROPERTYTHRESHOLD, through `setter`.
    int32_t setProductField(void (AppProductInfo::*setter)(const std::string&),
                            const std::string& value);

    // What a message made on a host thread may reach: the workers' context
    // once started, before that the configuration and the stores.
    // REQUIRE: stateLock_ held.
    SDKContext messageContext();

    // REQUIRE: stateLock_ held.
    void createFullWorkerSet(const TimeValue& lastSync);
    void createReducedWorkerSet();
    void shutdownWorkers();

    std::unique_ptr<ZEBMutex> apiLock_;    // "SDK API lock"
    std::unique_ptr<ZEBMutex> stateLock_;  // "SDK state lock"
    // Declared before every collaborator, so that it outlives them all.
    Diagnostics diagnostics_;
    // Written under stateLock_; atomic because the tracking calls of a
    // started SDK read it without the lock.
    std::atomic<int32_t> state_{kConstructed};
    // zebStopSDK calls that will stop the run but may still wait for
    // apiLock_: an exchange another host thread runs under that lock sees
    // them through shouldStop and gives up, so the stop does not wait
    // behind a connection test or a reach-out check. Read without a lock.
    std::atomic<int32_t> stopsPending_{0};
    // Guarded by stateLock_. optOutRequested_ changes only before the start,
    // so a started SDK's tracking calls read it without the lock.
    TimeValue stopDeadline_;
    bool optOutRequested_ = false;

    const RuntimeSettings settings_;
    const VersionInfo versionInfo_;
    TimeValue lastReachOutCheck_;  // guarded by apiLock_
    std::string instanceID_;       // this run's application session ID; set once by createConfig

    // Owned collaborators. Configuration, stores and workers are created
    // under both locks and deleted only by the destructor, after every
    // worker has been joined.
    std::unique_ptr<SDKContext> context_;
    std::unique_ptr<Configuration> configuration_;
    std::unique_ptr<AppData> appData_;
    std::unique_ptr<EventManager> eventManager_;
    std::unique_ptr<SessionManager> sessionManager_;
    std::unique_ptr<LogFile> logFile_;
    std::unique_ptr<ZEBSyncManager> syncManager_;
    std::unique_ptr<ZEBReachOutManager> reachOutManager_;
    std::unique_ptr<ZEBNewRegManager> newRegManager_;
    std::unique_ptr<ZEBLogWriter> logWriter_;
    std::unique_ptr<ZEBTimeWarpDetector> timeWarpDetector_;
};

template <typename Op>
int32_t ZEBSDK::guarded(Op&& op) {
    try {
        return op();
    } catch (...) {
        markBroken();
        return kBroken;
    }
}

}  // namespace ZEBInternal
