#pragma once
// Registers a new client with the server in the background ("NewReg"
// thread: first attempt at once, then every NEWREGRETRYSEC seconds, at most
// NEWREGRETRYATTEMPTMAX attempts) and reports the outcome to the SDK.
//
// This first version runs the thread; the registration message arrives with
// the online work, so no attempt reaches a server yet and the SDK stays in
// its registering state.

#include <memory>

#include "api/SDKContext.h"
#include "threading/ZEBRunnable.h"
#include "threading/ZEBThread.h"

namespace ZEBInternal {

struct RuntimeSettings;

class ZEBNewRegManager : public ZEBRunnable {
public:
    // context and settings are borrowed from the SDK, which joins this
    // worker before deleting either. The thread starts at once.
    ZEBNewRegManager(const SDKContext* context, const RuntimeSettings* settings, bool optedOut);
    ~ZEBNewRegManager() override;
    ZEBNewRegManager(const ZEBNewRegManager&) = delete;
    ZEBNewRegManager& operator=(const ZEBNewRegManager&) = delete;

    void run() override;
    void stop();
    void join();

private:
    [[maybe_unused]] const SDKContext* context_;
    const RuntimeSettings* settings_;
    [[maybe_unused]] bool optedOut_;
    std::unique_ptr<ZEBThread> thread_;
};

}  // namespace ZEBInternal
