// The sync manager's promises to its callers, on a real thread with the
// real 60 s dwell: a request made as a pass ends still starts a pass at
// once, a pass that fails with an exception still releases its waiter, a
// DISABLED client releases a waiter without doing anything, and a final
// request closes the door. Syncs go to a port nothing listens on, so each
// exchange fails at once.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "config/Configuration.h"
#include "config/RuntimeSettings.h"
#include "core/SDKContext.h"
#include "core/ZEBLogFileSource.h"
#include "core/ZEBReachOutQueue.h"
#include "data/AppData.h"
#include "support/TempDir.h"
#include "support/TinyproxyProcess.h"
#include "workers/ZEBSyncManager.h"

namespace ZEBInternal {
namespace {

using namespace std::chrono_literals;

struct FakeLogs : ZEBLogFileSource {
    void flush() override { ++flushes; }
    std::vector<std::string> getLogFiles(bool, bool) override { return {}; }
    std::atomic<int> flushes{0};
};

// Counts the passes that found a sync due (each asks for a handler first),
// can hold such a pass there, and can make the host's status callback fail.
struct FakeReachOut : ZEBReachOutQueue {
    void addMessage(const std::string&, const std::string&, int32_t, const std::string&) override {}
    bool hasHandler() override {
        ++duePasses;
        while (hold) std::this_thread::sleep_for(1ms);
        return true;
    }
    bool isMessageDone() override {
        if (failures.fetch_sub(1) > 0) throw std::runtime_error("the host's callback failed");
        return false;
    }
    bool isReady() override { return false; }
    std::atomic<int> duePasses{0};
    std::atomic<int> failures{0};
    std::atomic<bool> hold{false};
};

class SyncManagerTest : public ::testing::Test {
protected:
    SyncManagerTest() {
        ConfigArguments a;
        a.dataDirectory = dir.path();
        a.serverURL = "127.0.0.1:" + std::to_string(zebtest::TinyproxyProcess::freePort());
        a.protocol = 1;
        a.aesKeyHex = "00112233445566778899AABBCCDDEEFF";
        a.productID = "0123456789";
        a.appName = "App";
        config = std::make_unique<Configuration>(nullptr, &settings, a);
        config->file().setClientID("CLIENT0001");
        // An empty machine: no command runs while requests are built.
        ProbeEnvironment machine;
        machine.root = dir.path();
        appData = std::make_unique<AppData>(&settings, machine);
        context.configuration = config.get();
        context.appData = appData.get();
        context.reachOutManager = &reachOut;
    }
    // Synced just now: only requests make a pass do anything.
    std::unique_ptr<ZEBSyncManager> start() {
        return std::make_unique<ZEBSyncManager>(&context, &logs, timeutil::now(),
                                                ZEBSyncManager::kModeNormal);
    }

    zebtest::TempDir dir;
    RuntimeSettings settings;
    std::unique_ptr<Configuration> config;
    std::unique_ptr<AppData> appData;
    FakeLogs logs;
    FakeReachOut reachOut;
    SDKContext context;
};

bool within(std::chrono::milliseconds limit, const std::function<bool()>& pred) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

TEST_F(SyncManagerTest, ARequestIsServedAtOnceWhenItArrivesDuringOrRightAfterAPass) {
    auto manager = start();
    // During a pass: the pass may have read the log already, so the request
    // gets the next one, without the 60 s dwell in between.
    reachOut.hold = true;
    ASSERT_TRUE(manager->requestSync(false, TimeValue{}, false));
    ASSERT_TRUE(within(5s, [&] { return reachOut.duePasses == 1; }));
    ASSERT_TRUE(manager->isSyncRunning());
    ASSERT_TRUE(manager->requestSync(false, TimeValue{}, false));
    reachOut.hold = false;
    ASSERT_TRUE(within(5s, [&] { return reachOut.duePasses == 2; }))
        << "the request made during the pass waited for the dwell";
    for (int k = 3; k <= 30; ++k) {
        // Request the moment the previous pass has ended, while its thread
        // is still on its way into the dwell.
        ASSERT_TRUE(
            within(5s, [&] { return reachOut.duePasses >= k - 1 && !manager->isSyncRunning(); }));
        ASSERT_TRUE(manager->requestSync(false, TimeValue{}, false));
        ASSERT_TRUE(within(5s, [&] { return reachOut.duePasses >= k; }))
            << "request " << k << " waited for the 60 s dwell";
    }
}

TEST_F(SyncManagerTest, APassEndingInAnExceptionStillReleasesItsWaiter) {
    settings.MANUALSYNCISASYNC = 0;  // callers wait for their pass
    reachOut.failures = 1;
    auto manager = start();
    EXPECT_TRUE(manager->requestSync(false, TimeValue{10, 0}, false));
    // The thread's own first pass may have served the request, and the run
    // the request asked for then follows at once: wait for it to end too.
    EXPECT_TRUE(within(5s, [&] { return !manager->isSyncRunning(); }));
    // The thread lives on and serves the next request.
    EXPECT_TRUE(manager->requestSync(false, TimeValue{10, 0}, false));
    EXPECT_EQ(reachOut.duePasses, 2);
}

TEST_F(SyncManagerTest, DisabledPassesDoNothingButReleaseTheWaiter) {
    settings.MANUALSYNCISASYNC = 0;
    ASSERT_TRUE(config->file().applyServerSetting("DISABLED:", "1"));
    auto manager = start();
    EXPECT_TRUE(manager->requestSync(true, TimeValue{10, 0}, false));
    EXPECT_EQ(reachOut.duePasses, 0);
    EXPECT_EQ(logs.flushes, 0);
}

TEST_F(SyncManagerTest, NoRequestIsAcceptedAfterTheFinalOneOrAStop) {
    auto manager = start();
    EXPECT_TRUE(manager->requestSync(false, TimeValue{10, 0}, true));
    EXPECT_EQ(reachOut.duePasses, 1);
    EXPECT_FALSE(manager->requestSync(false, TimeValue{}, false));
    auto other = start();
    other->stop();
    EXPECT_FALSE(other->requestSync(false, TimeValue{}, true));
}

}  // namespace
}  // namespace ZEBInternal
