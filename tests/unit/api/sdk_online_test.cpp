// The SDK against zeb-callhome with shortened timers, where the behaviour
// takes minutes with the real ones: registration that keeps failing, and
// the passes of a client the server has told to back off or disabled.

#include <gtest/gtest.h>
#include <utime.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "api/ZEBSDK.h"
#include "integration/LifecycleSupport.h"
#include "util/Strings.h"

namespace {

using namespace zebtest;
using ZEBInternal::RuntimeSettings;
using ZEBInternal::ZEBSDK;

int32_t configureAndStart(ZEBSDK& sdk, const std::string& dir, const CallHomeServer& server) {
    const int32_t rc = sdk.createConfig(dir, kProductID, "App", server.address() + "/app", 1,
                                        kAesKey, false, false);
    return rc != 0 ? rc : sdk.startSDK();
}

// Every checked call of an instance, as the codes it gives.
std::vector<int32_t> checkedCalls(ZEBSDK& sdk) {
    std::string text;
    int32_t count = 0;
    int32_t type = 0;
    return {sdk.trackEvent("Menu", "Open", ""),
            sdk.startSession("session-0001"),
            sdk.sync(false),
            sdk.testConnection(),
            sdk.checkForReachOut(0, text, count, type),
            sdk.setProductVersion("1.0"),
            sdk.setCustomProperty(1, "v"),
            sdk.setProxy("", 0, "", ""),
            sdk.setReachOutOnAutoSync(true),
            sdk.optOut()};
}

TEST(SdkOnline, RegistrationThatKeepsFailingEndsInStateSixAndStoresNothing) {
    // A client ID that would name files outside the data directory is no
    // usable answer, whatever else the answer says.
    CallHomeServer server(aesServer("[newreg]\nCLIENTID:../evil\n****CONFIG\nFTFLAG:0\n"));
    RuntimeSettings settings;
    settings.NEWREGRETRYSEC = 0;
    settings.NEWREGRETRYATTEMPTMAX = 3;
    TempDir dir;
    ZEBSDK sdk(0, settings);
    ASSERT_EQ(configureAndStart(sdk, dir.path(), server), 0);
    ASSERT_TRUE(eventually([&] { return sdk.getState() == 6; }));
    EXPECT_EQ(waitForType(server, "newreg", 3)["verdict"], "ok");
    for (int32_t code : checkedCalls(sdk)) EXPECT_EQ(code, -998);
    EXPECT_EQ(sdk.getClientID(), "0");
    EXPECT_EQ(sdk.stopSDK(10), 0);
    EXPECT_EQ(sdk.getState(), 13);
    EXPECT_EQ(requestsOf(server, "newreg").size(), 3u);
    EXPECT_TRUE(namesIn(dir.path()) == (std::vector<std::string>{".", ".."}))
        << "a file was written";
}

TEST(SdkOnline, BackoffDiscardsTheLogAndPingsAtMostOncePerDwell) {
    CallHomeServer server(aesServer("[sync]\nINSTRUCTION:NOLOG\n****CONFIG\nBACKOFF:1\n"));
    RuntimeSettings settings;
    settings.AUTOSYNCCHECKDWELLSEC = 1;
    settings.PINGDWELLSEC = 2;
    TempDir dir;
    writeRegisteredConfig(dir.path());
    ZEBSDK sdk(0, settings);
    ASSERT_EQ(configureAndStart(sdk, dir.path(), server), 0);
    ASSERT_TRUE(eventually([&] { return sdk.getState() == 9; }));
    EXPECT_EQ(sdk.trackEvent("Menu", "Open", ""), -330);
    EXPECT_EQ(sdk.sync(false), -330);
    EXPECT_EQ(sdk.setProxy("", 0, "", ""), 0);  // allowed during a back-off
    // Log files of this client, closed or left behind, are discarded.
    const std::string prefix = dir.path() + "/zeblogV5_" + kClientID + "_" + kProductLetters;
    std::ofstream(prefix + "_App_0000000000002.log") << "old\n";
    std::ofstream(prefix + "_App_0000000000003.logtmp") << "stale\n";
    const utimbuf longAgo{time(nullptr) - 2000, time(nullptr) - 2000};
    utime((prefix + "_App_0000000000003.logtmp").c_str(), &longAgo);
    EXPECT_TRUE(eventually([&] { return logFileNames(dir.path()).empty(); }, 5s));

    ASSERT_FALSE(waitForType(server, "ping", 2, 10s).empty());
    ASSERT_EQ(zebtest::requestsOf(server, "sync").size(), 1u) << "synced during the back-off";
    std::vector<uint32_t> stamps;
    for (auto& ping : requestsOf(server, "ping")) {
        EXPECT_EQ(ping["client"], kClientID);
        const std::string text = storedText(server, ping);
        EXPECT_TRUE(contains(text, "\nV5FINGERPRINT:")) << text;
        const size_t at = text.find("TIMESTAMP:");
        uint32_t stamp = 0;
        ASSERT_TRUE(ZEBInternal::parseUInt32Lenient(text.substr(at + 10), stamp));
        stamps.push_back(stamp);
    }
    for (size_t i = 1; i < stamps.size(); ++i) EXPECT_GT(stamps[i] - stamps[i - 1], 2u);
    EXPECT_EQ(sdk.stopSDK(5), 0);  // no final sync during a back-off
    EXPECT_EQ(requestsOf(server, "sync").size(), 1u);
}

TEST(SdkOnline, ADisabledClientStopsAllWork) {
    CallHomeServer server(aesServer("[sync]\nINSTRUCTION:NOLOG\n****CONFIG\nDISABLED:1\n"));
    RuntimeSettings settings;
    settings.AUTOSYNCCHECKDWELLSEC = 1;
    TempDir dir;
    writeRegisteredConfig(dir.path(), {{"MANUALSYNCTIMETHRESHOLD:", "0"}});
    ZEBSDK sdk(0, settings);
    ASSERT_EQ(configureAndStart(sdk, dir.path(), server), 0);
    ASSERT_TRUE(eventually([&] { return sdk.getState() == 10; }));
    for (int32_t code : checkedCalls(sdk)) EXPECT_EQ(code, -331);
    std::this_thread::sleep_for(2500ms);  // two more passes, which must send nothing
    EXPECT_EQ(requestsOf(server, "sync").size(), 1u);
    EXPECT_EQ(sdk.stopSDK(5), 0);
    EXPECT_EQ(sdk.stopSDK(5), -213);
    EXPECT_EQ(sdk.getState(), 10);  // DISABLED is reported over any stored state
}

}  // namespace
