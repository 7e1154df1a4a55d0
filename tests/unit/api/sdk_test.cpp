// The SDK's state machine, driven directly so that the outcomes of the
// background registration can be played in.

#include <gtest/gtest.h>

#include "core/VersionInfo.h"
#include "api/ZEBSDK.h"
#include "support/TempDir.h"

namespace {

using ZEBInternal::RuntimeSettings;
using ZEBInternal::VersionInfo;
using ZEBInternal::ZEBSDK;

const char kKey[] = "000102030405060708090A0B0C0D0E0F";

class SdkTest : public ::testing::Test {
protected:
    SdkTest() : sdk(0, shortTimers()) {}

    static RuntimeSettings shortTimers() {
        RuntimeSettings s;
        s.NEWREGRETRYSEC = 1;
        return s;
    }

    void configureAndStart() {
        ASSERT_EQ(sdk.createConfig(dir.path(), "1234567890", "App", "localhost/req", 1, kKey,
                                   false, false),
                  0);
        ASSERT_EQ(sdk.startSDK(), 0);
        ASSERT_EQ(sdk.getState(), 3);
    }

    zebtest::TempDir dir;
    ZEBSDK sdk;
};

TEST_F(SdkTest, SuccessfulRegistrationMakesTheClientRun) {
    configureAndStart();
    EXPECT_FALSE(sdk.shouldStop(false));
    sdk.newRegCompleted(3);
    EXPECT_EQ(sdk.getState(), 4);
    // A late second report changes nothing.
    sdk.newRegCompleted(1);
    EXPECT_EQ(sdk.getState(), 4);
    EXPECT_EQ(sdk.trackEvent("Menu", "Open", ""), 0);
    EXPECT_EQ(sdk.stopSDK(-2), -170);
    EXPECT_EQ(sdk.getState(), 4);
    EXPECT_EQ(sdk.stopSDK(-1), 0);
    EXPECT_EQ(sdk.getState(), 13);
    EXPECT_TRUE(sdk.shouldStop(true));
    EXPECT_TRUE(sdk.shouldStop(false));
}

TEST_F(SdkTest, FinalSyncWithoutSyncManagerStillStops) {
    configureAndStart();
    sdk.newRegCompleted(3);
    EXPECT_EQ(sdk.stopSDK(0), 0);
    EXPECT_EQ(sdk.getState(), 13);
}

TEST_F(SdkTest, FailedRegistrationRefusesEverythingButStop) {
    const struct {
        int result;
        int32_t state;
    } cases[] = {{0, 5}, {1, 6}, {2, 7}, {-4, 7}};
    for (const auto& c : cases) {
        zebtest::TempDir d;
        ZEBSDK s(0, shortTimers());
        ASSERT_EQ(s.createConfig(d.path(), "1234567890", "App", "localhost", 1, kKey, false, false),
                  0);
        ASSERT_EQ(s.startSDK(), 0);
        s.newRegCompleted(c.result);
        EXPECT_EQ(s.getState(), c.state);
        EXPECT_TRUE(s.shouldStop(false));
        EXPECT_EQ(s.trackEvent("Menu", "Open", ""), -998);
        EXPECT_EQ(s.sync(false), -998);
        EXPECT_EQ(s.setProductVersion("1"), -998);
        EXPECT_EQ(s.startSDK(), -998);
        // Any wait is treated as none.
        EXPECT_EQ(s.stopSDK(-50), 0);
        EXPECT_EQ(s.getState(), 13);
    }
}

TEST_F(SdkTest, OptedOutClientThatRegistersRunsWithoutWorkers) {
    ASSERT_EQ(sdk.createConfig(dir.path(), "1234567890", "App", "localhost", 1, kKey, false,
                               false),
              0);
    ASSERT_EQ(sdk.optOut(), 0);
    ASSERT_EQ(sdk.startSDK(), 0);
    sdk.newRegCompleted(3);
    EXPECT_EQ(sdk.getState(), 14);
    EXPECT_EQ(sdk.sync(false), -332);
    EXPECT_EQ(sdk.stopSDK(0), 0);
}

TEST_F(SdkTest, ManualSyncNeedsARunningClient) {
    configureAndStart();
    EXPECT_EQ(sdk.sync(true), -210);
    std::string text = "stale";
    int32_t count = 9;
    int32_t type = 9;
    EXPECT_EQ(sdk.checkForReachOut(0, text, count, type), -210);
    EXPECT_EQ(text, "");
    EXPECT_EQ(count, 0);
    sdk.newRegCompleted(3);
    EXPECT_EQ(sdk.checkForReachOut(3, text, count, type), -180);
}

TEST(VersionInfoTest, BannerAndShortVersionFollowTheFlavour) {
    EXPECT_EQ(VersionInfo::forFlavour(0).banner, "Quellora SDK version 5.6.0 for Linux/C");
    EXPECT_EQ(VersionInfo::forFlavour(0).shortVersion, "5.6.0.lcc");
    EXPECT_EQ(VersionInfo::forFlavour(1).banner, "Quellora SDK version 5.6.0 for Linux/ObjC");
    EXPECT_EQ(VersionInfo::forFlavour(2).shortVersion, "5.6.0.lne");
    EXPECT_EQ(VersionInfo::forFlavour(4).banner, "Quellora SDK version 5.6.0 for Linux/C++");
    EXPECT_EQ(VersionInfo::forFlavour(4).shortVersion, "5.6.0.lcp");
    EXPECT_EQ(VersionInfo::forFlavour(3).shortVersion, "5.6.0.lcc");
}

}  // namespace
