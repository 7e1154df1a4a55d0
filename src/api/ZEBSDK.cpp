#include "api/ZEBSDK.h"

#include "api/ConfigValidation.h"
#include "config/ConfigFileNames.h"
#include "config/Configuration.h"
#include "config/LeftoverTemporaries.h"
#include "data/AppData.h"
#include "events/EventManager.h"
#include "events/LogFile.h"
#include "events/SessionManager.h"
#include "threading/ZEBScopedLock.h"
#include "transport/SystemCerts.h"
#include "util/Guid.h"
#include "workers/ZEBLogWriter.h"
#include "workers/ZEBNewRegManager.h"
#include "workers/ZEBReachOutManager.h"
#include "workers/ZEBSyncManager.h"
#include "workers/ZEBTimeWarpDetector.h"

namespace ZEBInternal {

namespace {

// A registration outcome no worker reports today, kept apart from a failure.
constexpr int kNewRegRefused = 0;

template <typename T>
void swallow(T&& step) noexcept {
    try {
        step();
    } catch (...) {
        // Shutting down: one failing worker must not keep the others running.
    }
}

}  // namespace

ZEBSDK::ZEBSDK(int32_t flavour, const RuntimeSettings& settings)
    : apiLock_(createMutex(true, "SDK API lock")),
      stateLock_(createMutex(true, "SDK state lock")),
      settings_(settings),
      versionInfo_(VersionInfo::forFlavour(flavour)),
      eventManager_(std::make_unique<EventManager>()),
      reachOutManager_(std::make_unique<ZEBReachOutManager>(this)) {}

ZEBSDK::~ZEBSDK() {
    // stopSDK never throws; on a broken instance it returns at once and the
    // joins below stop the threads instead.
    stopSDK(-1);
    if (syncManager_) swallow([&] { syncManager_->join(); });
    if (newRegManager_) swallow([&] { newRegManager_->join(); });
    if (reachOutManager_) swallow([&] { reachOutManager_->join(); });
    if (timeWarpDetector_) swallow([&] { timeWarpDetector_->join(); });
    if (logWriter_) swallow([&] { logWriter_->join(); });
    swallow([&] { syncManager_.reset(); });
    swallow([&] { newRegManager_.reset(); });
    swallow([&] { reachOutManager_.reset(); });
    swallow([&] { timeWarpDetector_.reset(); });
    swallow([&] { logWriter_.reset(); });
    swallow([&] { logFile_.reset(); });
    swallow([&] { sessionManager_.reset(); });
    swallow([&] { eventManager_.reset(); });
    swallow([&] { appData_.reset(); });
    swallow([&] { configuration_.reset(); });
    swallow([&] { context_.reset(); });
}

void ZEBSDK::markBroken() noexcept {
    try {
        ZEBScopedLock state(stateLock_.get());
        state_ = kBroken;
    } catch (...) {
        // The state lock itself failed; the instance is broken all the same.
        state_ = kBroken;
    }
}

// --- state checks ---------------------------------------------------------

bool ZEBSDK::backoffInForce() const {
    return configuration_ && configuration_->isBackoffActive();
}

bool ZEBSDK::disabledInForce() const {
    return configuration_ && configuration_->isDisabled();
}

int32_t ZEBSDK::basicCheck(int32_t state, bool allowBackoff, bool allowOptedOut) const {
    if (state == kBroken) return kBroken;
    if (state >= kRegRefused && state <= kRegError) return -998;
    if (state >= kStopRequested && state <= kStopped) return -213;
    if (!allowBackoff && backoffInForce()) return -330;
    if (disabledInForce()) return -331;
    if (optOutRequested_ && !allowOptedOut) return -332;
    return 0;
}

int32_t ZEBSDK::configuredCheck(int32_t state, bool allowBackoff, bool allowOptedOut) const {
    if (int32_t rc = basicCheck(state, allowBackoff, allowOptedOut)) return rc;
    if (state == kConstructed || !configuration_) return -200;
    return 0;
}

int32_t ZEBSDK::startedCheck(int32_t state) const {
    if (int32_t rc = configuredCheck(state, false, false)) return rc;
    if (state != kRegistering && state != kRunning) return -210;
    return 0;
}

int32_t ZEBSDK::runningCheck(int32_t state) const {
    if (int32_t rc = startedCheck(state)) return rc;
    if (state != kRunning) return -210;
    return 0;
}

// --- configuration and start ----------------------------------------------

int32_t ZEBSDK::createConfig(const std::string& configFilePath, const std::string& productID,
                             const std::string& appName, const std::string& serverURL,
                             int32_t protocol, const std::string& aesKeyHex,
                             bool multiSessionEnabled, bool reachOutOnAutoSync) {
    return guarded([&]() -> int32_t {
        ZEBScopedLock api(apiLock_.get());
        {
            ZEBScopedLock state(stateLock_.get());
            if (state_ == kBroken) return kBroken;
            if (state_ != kConstructed) return -201;
        }
        const ConfigInput input{configFilePath, productID, appName, serverURL, protocol, aesKeyHex};
        std::string dataDirectory;
        if (int32_t rc = validateConfigInput(input, dataDirectory)) return rc;

        ConfigArguments args;
        args.configFilePath = configFilePath;
        args.dataDirectory = dataDirectory;
        args.serverURL = serverURL;
        args.protocol = static_cast<uint32_t>(protocol);
        args.aesKeyHex = aesKeyHex;
        args.productID = productID;
        args.appName = appName;
        args.multiSessionEnabled = multiSessionEnabled;
        args.reachOutOnAutoSync = reachOutOnAutoSync;
        args.flavour = versionInfo_.flavour;
        args.instanceID = makeGuid();
        // Only the TLS modes ever need the machine's certificate store.
        if (protocol != 1) {
            std::string from;
            args.discoveredCAs = discoverSystemCerts(&from);
            const size_t found = args.discoveredCAs.size();
            diagnostics_.report(found == 0 ? LogLevel::kWarning : LogLevel::kInfo, [&] {
                return found == 0 ? std::string("no trusted certificates found under "
                                                "/etc/ssl/certs: every TLS attempt will fail")
                                  : "trusted certificates: " + std::to_string(found) + " from " +
                                        from;
            });
        }

        auto configuration = std::make_unique<Configuration>(this, &settings_, args);
        auto appData = std::make_unique<AppData>(&settings_);
        appData->fingerprint().setInputs(configFilePath, productID);
        // A crash between a save's write and its rename leaves a temporary
        // that nothing else would ever remove.
        removeLeftoverConfigTemporaries(dataDirectory, configFilePrefix(productID, appName),
                                        kLeftoverTemporaryAgeSeconds);
        const bool loaded = configuration->load();
        diagnostics_.report(LogLevel::kInfo, [&] {
            return loaded ? "configuration loaded: client ID " + configuration->getClientID()
                          : std::string("no usable configuration file in ") + dataDirectory +
                                ": the client will register when started";
        });

        ZEBScopedLock state(stateLock_.get());
        instanceID_ = args.instanceID;
        configuration_ = std::move(configuration);
        appData_ = std::move(appData);
        if (!loaded) {
            state_ = kNeedsRegistration;
            return 0;
        }
        state_ = kConfigLoaded;
        // The configuration is kept: every later checked call answers -331.
        return configuration_->isDisabled() ? -331 : 0;
    });
}

int32_t ZEBSDK::startSDK() {
    return guarded([&]() -> int32_t {
        ZEBScopedLock api(apiLock_.get());
        ZEBScopedLock state(stateLock_.get());
        if (int32_t rc = configuredCheck(state_, true, true)) return rc;
        if (state_ != kConfigLoaded && state_ != kNeedsRegistration) return -211;

        reachOutManager_->start();
        sessionManager_ = std::make_unique<SessionManager>(eventManager_.get(),
                                                           configuration_->isMultiSessionEnabled());
        context_ = std::make_unique<SDKContext>();
        context_->sdk = this;
        context_->configuration = configuration_.get();
        context_->appData = appData_.get();
        context_->eventManager = eventManager_.get();
        context_->sessionManager = sessionManager_.get();
        context_->reachOutManager = reachOutManager_.get();
        context_->diagnostics = &diagnostics_;

        // The server may hand out the identity in any answer's
        // configuration (a connection test before the start, say); a
        // client that has one is registered, and a registration worker
        // would find nothing to do and never report.
        const bool registered =
            state_ == kConfigLoaded || !configuration_->getClientID().empty();
        int32_t next = kRunning;
        if (!registered) {
            // The worker's first attempt may finish at once; its report
            // waits for stateLock_ and so sees state 3.
            newRegManager_ =
                std::make_unique<ZEBNewRegManager>(context_.get(), &settings_, optOutRequested_);
            next = kRegistering;
        } else if (optOutRequested_) {
            createReducedWorkerSet();
        } else {
            createFullWorkerSet(TimeValue{});
        }
        // Queued before the state that lets tracking and session calls in
        // is visible: none of their records may precede the application
        // session's start, and a user session needs its ID. Only memory is
        // touched here.
        if (!backoffInForce() && !optOutRequested_) sessionManager_->startAppSession(instanceID_);
        state_ = next;
        return 0;
    });
}

void ZEBSDK::createFullWorkerSet(const TimeValue& lastSync) {
    logFile_ = std::make_unique<LogFile>(configuration_.get(), &diagnostics_);
    logWriter_ = std::make_unique<ZEBLogWriter>(context_.get(), logFile_.get());
    syncManager_ = std::make_unique<ZEBSyncManager>(context_.get(), logWriter_.get(), lastSync,
                                                    configuration_->isOptedOut()
                                                        ? ZEBSyncManager::kModeServerOptedOut
                                                        : ZEBSyncManager::kModeNormal);
    timeWarpDetector_ = std::make_unique<ZEBTimeWarpDetector>(context_.get());
}

void ZEBSDK::createReducedWorkerSet() {
    logFile_ = std::make_unique<LogFile>(configuration_.get(), &diagnostics_);
    logWriter_ = std::make_unique<ZEBLogWriter>(context_.get(), logFile_.get());
    syncManager_ = std::make_unique<ZEBSyncManager>(context_.get(), logWriter_.get(), TimeValue{},
                                                    configuration_->isOptedOut()
                                                        ? ZEBSyncManager::kModeBothOptedOut
                                                        : ZEBSyncManager::kModeRunOptedOut);
}

void ZEBSDK::newRegCompleted(int result) {
    try {
        ZEBScopedLock state(stateLock_.get());
        if (state_ != kRegistering) return;
        switch (result) {
            case ZEBNewRegManager::kRegistered:
                state_ = kRunning;
                if (!optOutRequested_) createFullWorkerSet(timeutil::now());
                break;
            case kNewRegRefused: state_ = kRegRefused; break;
            case ZEBNewRegManager::kFailed: state_ = kRegFailed; break;
            default: state_ = kRegError; break;
        }
    } catch (...) {
        markBroken();
    }
}

// --- stop ------------------------------------------------------------------

namespace {

// Counts a stop in stopsPending for as long as it runs.
class PendingStop {
public:
    PendingStop(std::atomic<int32_t>& count, bool counted) : count_(counted ? &count : nullptr) {
        if (count_ != nullptr) count_->fetch_add(1);
    }
    ~PendingStop() {
        if (count_ != nullptr) count_->fetch_sub(1);
    }
    PendingStop(const PendingStop&) = delete;
    PendingStop& operator=(const PendingStop&) = delete;

private:
    std::atomic<int32_t>* count_;
};

}  // namespace

int32_t ZEBSDK::stopSDK(int32_t waitSeconds) {
    return guarded([&]() -> int32_t {
        // Announced before apiLock_ is taken, and only for a stop that the
        // checks below will let through: a refused one must not end another
        // thread's exchange.
        const int32_t seen = state_.load();
        const PendingStop pending(stopsPending_, seen >= kRegistering && seen <= kRegError &&
                                                     !(seen == kRunning && waitSeconds < -1));
        ZEBScopedLock api(apiLock_.get());
        bool finalSync = false;
        bool recordSessionEnds = false;
        {
            ZEBScopedLock state(stateLock_.get());
            if (state_ == kBroken) return kBroken;
            if (state_ >= kConstructed && state_ <= kNeedsRegistration) return -210;
            if (state_ >= kStopRequested && state_ <= kStopped) return -213;
            if (state_ == kRunning) {
                if (waitSeconds < -1) return -170;
            } else {
                waitSeconds = -1;  // registering or refused: nothing to sync
            }
            const bool backoff = backoffInForce();
            finalSync = state_ == kRunning && waitSeconds >= 0 && !backoff && !optOutRequested_;
            state_ = kStopRequested;
            // Together with the state: a tracking call that read the
            // running state without the lock finds its push refused.
            eventManager_->closeToHosts();
            if (finalSync && waitSeconds > 0) {
                stopDeadline_ = timeutil::nowPlus(TimeValue{static_cast<uint32_t>(waitSeconds), 0});
            } else if (finalSync) {
                stopDeadline_ = TimeValue{};  // no limit
            } else {
                stopDeadline_ = timeutil::subtract(timeutil::now(), TimeValue{1, 0});
            }
            recordSessionEnds = !backoff && !optOutRequested_;
        }
        // State 11 is set, so no worker is created from here on and the
        // pointers below are stable without stateLock_.
        if (recordSessionEnds && sessionManager_) sessionManager_->stopAllSessions();
        if (finalSync && syncManager_) {
            syncManager_->requestSync(false, TimeValue{static_cast<uint32_t>(waitSeconds), 0},
                                      true);
        }
        shutdownWorkers();
        return 0;
    });
}

void ZEBSDK::shutdownWorkers() {
    {
        ZEBScopedLock state(stateLock_.get());
        state_ = kStopping;
    }
    if (syncManager_) swallow([&] { syncManager_->stop(); });
    if (newRegManager_) swallow([&] { newRegManager_->stop(); });
    if (reachOutManager_) swallow([&] { reachOutManager_->stop(); });
    if (timeWarpDetector_) swallow([&] { timeWarpDetector_->stop(); });
    if (logWriter_) swallow([&] { logWriter_->shutdown(); });
    ZEBScopedLock state(stateLock_.get());
    state_ = kStopped;
}

bool ZEBSDK::shouldStop(bool isSyncOrUpload) {
    // A sync may still be the final one the stop asks for; anything else
    // would only keep the stop waiting.
    if (!isSyncOrUpload && stopsPending_.load() > 0) return true;
    try {
        ZEBScopedLock state(stateLock_.get());
        switch (state_) {
            case kBroken:
            case kRegRefused:
            case kRegFailed:
            case kRegError:
            case kStopping:
            case kStopped: return true;
            case kStopRequested:
                if (!isSyncOrUpload) return true;
                if (stopDeadline_.seconds != 0) {
                    const TimeValue now = timeutil::now();
                    const bool passed = stopDeadline_.seconds < now.seconds ||
                                        (stopDeadline_.seconds == now.seconds &&
                                         stopDeadline_.microseconds <= now.microseconds);
                    if (passed) return true;
                }
                return false;
            default: return false;
        }
    } catch (...) {
        markBroken();
        return true;
    }
}

// --- other life-cycle operations --------------------------------------------

int32_t ZEBSDK::optOut() {
    return guarded([&]() -> int32_t {
        ZEBScopedLock api(apiLock_.get());
        ZEBScopedLock state(stateLock_.get());
        if (int32_t rc = configuredCheck(state_, true, false)) return rc;
        if (state_ == kRegistering || state_ == kRunning) return -211;
        optOutRequested_ = true;
        // Delivered once the locks above are let go.
        diagnostics_.report(LogLevel::kInfo, [] {
            return std::string("opted out: this run records nothing and tells the server so");
        });
        return 0;
    });
}

int32_t ZEBSDK::getState() {
    return guarded([&]() -> int32_t {
        ZEBScopedLock state(stateLock_.get());
        if (state_ == kBroken) return kBroken;
        if (backoffInForce()) return kReportBackoff;
        if (disabledInForce()) return kReportDisabled;
        if (optOutRequested_) return kReportOptedOut;
        return state_;
    });
}

std::string ZEBSDK::getClientID() {
    try {
        // stateLock_ only: the answer must not wait behind an exchange that
        // another host thread runs under apiLock_.
        ZEBScopedLock state(stateLock_.get());
        if (configuration_) {
            std::string id = configuration_->getClientID();
            if (!id.empty()) return id;
        }
        return "0";
    } catch (...) {
        markBroken();
        return std::string();
    }
}

std::string ZEBSDK::getSDKVersion() {
    // Constant from construction on: no lock, so it never waits behind an
    // exchange another thread runs.
    return versionInfo_.banner;
}

int32_t ZEBSDK::setLogHandler(int32_t level, Diagnostics::Callback callback, void* userData) {
    diagnostics_.setHandler(level, callback, userData);
    return 0;
}

// --- reach-out ---------------------------------------------------------------

int32_t ZEBSDK::setReachOutHandler(std::unique_ptr<ZEBSDKReachOutHandler> handler) {
    return guarded([&]() -> int32_t {
        ZEBScopedLock api(apiLock_.get());
        ZEBScopedLock state(stateLock_.get());
        if (int32_t rc = basicCheck(state_, true, false)) return rc;
        // The manager's thread reads the handler without further checks, so
        // it may change only before that thread starts.
        if (state_ == kRegistering || state_ == kRunning) return -211;
        reachOutManager_->setHandler(std::move(handler));
        return 0;
    });
}

int32_t ZEBSDK::setReachOutOnAutoSync(bool enabled) {
    return guarded([&]() -> int32_t {
        ZEBScopedLock api(apiLock_.get());
        ZEBScopedLock state(stateLock_.get());
        if (int32_t rc = configuredCheck(state_, false, false)) return rc;
        configuration_->setReachOutOnAutoSync(enabled);
        return 0;
    });
}

}  // namespace ZEBInternal
