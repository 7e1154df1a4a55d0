#pragma once
// Registers a new client with the server in the background ("NewReg"
// thread: the first attempt at once, then one every NEWREGRETRYSEC seconds,
// at most NEWREGRETRYATTEMPTMAX attempts) and reports the outcome once to
// the SDK through its ZEBNewRegCompletionHandler: 3 registered, 1 every
// attempt failed. The SDK then starts its other workers or records the
// failure. A pass that finds a client ID already there (another answer
// brought it) reports 3 without sending anything.
//
// Created by zebStartSDK for a client without a client ID; stopped by
// zebStopSDK (an exchange in progress then ends within its next wait) and
// joined by the SDK's destructor. Every field but the thread is touched by
// the "NewReg" thread only.

#include <cstdint>
#include <memory>

#include "core/SDKContext.h"
#include "threading/ZEBRunnable.h"
#include "threading/ZEBThread.h"

namespace ZEBInternal {

struct RuntimeSettings;

class ZEBNewRegManager : public ZEBRunnable {
public:
    // Completion codes.
    static constexpr int kRegistered = 3;
    static constexpr int kFailed = 1;

    // context and settings are borrowed from the SDK, which joins this
    // worker before deleting either. The thread starts at once.
    ZEBNewRegManager(const SDKContext* context, const RuntimeSettings* settings,
                     bool optOutRequested);
    ~ZEBNewRegManager() override;
    ZEBNewRegManager(const ZEBNewRegManager&) = delete;
    ZEBNewRegManager& operator=(const ZEBNewRegManager&) = delete;

    // One attempt, unless the attempts are spent or the configuration is
    // DISABLED. A client ID that came by another path ends the
    // registration as a success.
    void run() override;
    void stop();
    // The next pass at once, or right after the one in progress.
    void wake();
    void join();
    // Sends "newreg"; true when this attempt ended the registration (success,
    // or the last attempt failed) and the SDK was told.
    virtual bool attemptRegistration();

private:
    // Tells the SDK how registration ended; never throws.
    void report(int result);

    const SDKContext* const context_;        // borrowed
    const RuntimeSettings* const settings_;  // borrowed
    uint32_t attempts_ = 0;
    const bool optOutRequested_;
    std::unique_ptr<ZEBThread> thread_;  // last: its thread uses the fields above
};

}  // namespace ZEBInternal
