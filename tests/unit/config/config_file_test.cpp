// ConfigFile on real files: the written form, signature, choice of the
// newest file, the save rules, server settings and feature tracking, and
// two writers sharing one directory.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <ctime>
#include <thread>

#include "ConfigTestSupport.h"
#include "util/Digest.h"

namespace ZEBInternal {
namespace {

using zebtest::ConfigDir;
using zebtest::kAppName;
using zebtest::kProductID;

const char kDefaultBody[] =
    "CONFIGVERSION:0\nCALLHOMEURL:\nCLIENTID:\nNAMESIZETHRESHOLD:128\n"
    "VALUESIZETHRESHOLD:256\nCUSTOMTEXTTHRESHOLD:4096\nETFLAG:8192\n"
    "EXCEPTIONTEXTTHRESHOLD:4096\nFEATLISTLIMIT:3000\nFILESIZETHRESHOLD:1024\nFTFLAG:1\n"
    "MESSAGETIMETHRESHOLD:1\nAUTOSYNCTIMETHRESHOLD:20\nMANUALSYNCTIMETHRESHOLD:5\nBACKOFF:0\n"
    "DISABLED:0\nOPTOUT:0\nFTWHITELIST:\nFTLIST:\n";

class ConfigFileTest : public ::testing::Test {
protected:
    std::unique_ptr<ConfigFile> open() {
        return std::make_unique<ConfigFile>(&d.settings, d.dir.path(), kProductID, kAppName);
    }
    ConfigDir d;
};

TEST_F(ConfigFileTest, SavedFileHasTheExactFormAndSignature) {
    auto cfg = open();
    EXPECT_EQ(cfg->getFileState(), ConfigFile::kStateDefaults);
    EXPECT_EQ(cfg->serializeBody(), kDefaultBody);
    // Known answer: SHA-256 of "518204937" + body + "518204937".
    EXPECT_EQ(ConfigFile::computeSignature(kDefaultBody),
              "6FD4022D197C788C675589F338C6D5BD6F29633C7D726CF39D8F27DEDADBA669");

    ASSERT_TRUE(cfg->setClientID("CID-1"));
    cfg->applyServerSetting("CALLHOMEURL:", "home.example.com/x");
    cfg->applyServerSetting("ETFLAG:", "4294967295");
    cfg->applyServerSetting("FTFLAG:", "0");
    cfg->applyServerSetting("OPTOUT:", "7");
    cfg->applyServerSetting("FTWHITELIST:", "(a\\,b,x\\)y)&&(c,d)");
    cfg->applyServerSetting("FTLIST:", "(e,f)");
    ASSERT_TRUE(cfg->save());
    EXPECT_EQ(cfg->getFileState(), ConfigFile::kStateInSync);

    const std::string name = cfg->fileName();
    EXPECT_EQ(name, zebtest::prefix() + cfg->getNameSuffix() + ".cfg");
    EXPECT_EQ(cfg->getNameSuffix().size(), 13u);
    const std::string body =
        "CONFIGVERSION:0\nCALLHOMEURL:home.example.com/x\nCLIENTID:CID-1\nNAMESIZETHRESHOLD:128\n"
        "VALUESIZETHRESHOLD:256\nCUSTOMTEXTTHRESHOLD:4096\nETFLAG:4294967295\n"
        "EXCEPTIONTEXTTHRESHOLD:4096\nFEATLISTLIMIT:3000\nFILESIZETHRESHOLD:1024\nFTFLAG:0\n"
        "MESSAGETIMETHRESHOLD:1\nAUTOSYNCTIMETHRESHOLD:20\nMANUALSYNCTIMETHRESHOLD:5\n"
        "BACKOFF:0\nDISABLED:0\nOPTOUT:1\nFTWHITELIST:(a\\,b,x\\)y)&&(c,d)\nFTLIST:(e,f)\n";
    const std::string signature = sha256Hex("518204937" + body + "518204937");
    EXPECT_EQ(readFile(d.dir.file(name)), "SIGNATURE:" + signature + "\n" + body);
    EXPECT_EQ(cfg->getSignature(), signature);
    EXPECT_FALSE(d.has(name + "tmp"));

    // Everything, the unsigned maximum included, reads back.
    auto again = open();
    ASSERT_TRUE(again->load());
    EXPECT_EQ(again->getClientID(), "CID-1");
    EXPECT_EQ(again->getExceptionTracking(), 4294967295u);
    EXPECT_FALSE(again->getFeatureTracking());
    EXPECT_TRUE(again->isOptedOut());
    EXPECT_EQ(again->getFeatureWhitelist(), (FeatureList{{"a,b", "x)y"}, {"c", "d"}}));
    EXPECT_EQ(again->getNameSuffix(), cfg->getNameSuffix());
    EXPECT_EQ(again->serializeBody(), body);
}

TEST_F(ConfigFileTest, NewestStampWinsAndOlderCandidatesAreDeleted) {
    const std::string older = d.putSigned(zebtest::stampAt(-20), zebtest::registered("old"));
    const std::string newer = d.putSigned(zebtest::stampAt(-10), zebtest::registered("new"));
    // Not candidates: left alone whatever their stamp.
    const std::string temp = zebtest::prefix() + zebtest::stampAt(-30) + ".cfgtmp";
    writeFile(d.dir.file(temp), "x", false);
    const std::string otherApp =
        configFilePrefix(kProductID, "Other") + zebtest::stampAt(-30) + ".cfg";
    writeFile(d.dir.file(otherApp), "x", false);

    auto cfg = open();
    ASSERT_TRUE(cfg->load());
    EXPECT_EQ(cfg->getClientID(), "new");
    EXPECT_EQ(cfg->fileName(), newer);
    EXPECT_EQ(cfg->getFileState(), ConfigFile::kStateInSync);
    EXPECT_FALSE(d.has(older));
    EXPECT_TRUE(d.has(newer));
    EXPECT_TRUE(d.has(temp));
    EXPECT_TRUE(d.has(otherApp));

    // A save replaces the loaded file by a newer one.
    cfg->applyServerSetting("CONFIGVERSION:", "7");
    ASSERT_TRUE(cfg->save());
    EXPECT_FALSE(d.has(newer));
    EXPECT_GT(cfg->getNameSuffix(), configCandidateStamp(newer));
    EXPECT_EQ(d.candidateCount(), 1u);
}

TEST_F(ConfigFileTest, SaveIsNeverShadowedByAFileStampedInTheFuture) {
    // As after the clock was set back: the file on disk carries a later stamp.
    const std::string future = d.putSigned(zebtest::stampAt(3600), zebtest::registered("stale"));
    auto cfg = open();
    ASSERT_TRUE(cfg->setClientID("fresh"));
    ASSERT_TRUE(cfg->save());
    EXPECT_GT(cfg->getNameSuffix(), configCandidateStamp(future));
    EXPECT_FALSE(d.has(future));
    auto again = open();
    ASSERT_TRUE(again->load());
    EXPECT_EQ(again->getClientID(), "fresh");
}

TEST_F(ConfigFileTest, DamagedNewerFilesArePassedOverAndOutlived) {
    const std::string older = d.putSigned(zebtest::stampAt(-30), zebtest::registered("old"));
    const std::string good = d.putSigned(zebtest::stampAt(-20), zebtest::registered("CID"));
    std::string tampered = zebtest::signedText(zebtest::registered("CID"));
    tampered.replace(tampered.find("CLIENTID:CID"), 12, "CLIENTID:XYZ");
    const std::string bad1 = d.put(zebtest::stampAt(-10), tampered);
    const std::string bad2 = d.put(zebtest::stampAt(-5), "SIGNATURE:");
    auto cfg = open();
    ASSERT_TRUE(cfg->load());
    EXPECT_EQ(cfg->getClientID(), "CID");
    EXPECT_EQ(cfg->fileName(), good);
    EXPECT_FALSE(d.has(older));
    EXPECT_TRUE(d.has(bad1) && d.has(bad2));
    ASSERT_TRUE(cfg->save());
    EXPECT_GT(cfg->getNameSuffix(), configCandidateStamp(bad2));
    EXPECT_EQ(d.candidateCount(), 1u);
}

TEST_F(ConfigFileTest, TamperedFileIsRejectedOnlyWhileSignaturesAreChecked) {
    ConfigValues v = zebtest::registered("CID");
    v.autoSyncTimeThreshold = 20;
    std::string text = zebtest::signedText(v);
    const size_t at = text.find("AUTOSYNCTIMETHRESHOLD:20");
    ASSERT_NE(at, std::string::npos);
    text[at + 22] = '9';  // 20 -> 90
    const std::string name = d.put(zebtest::stampAt(-1), text);

    auto cfg = open();
    EXPECT_FALSE(cfg->load());
    EXPECT_EQ(cfg->getFileState(), ConfigFile::kStateNoValidFile);
    EXPECT_EQ(cfg->getClientID(), "");
    EXPECT_EQ(cfg->getAutoSyncTimeThreshold(), 20u);
    EXPECT_TRUE(d.has(name));  // a bad file is not deleted
    // With nothing loaded there is nothing to save.
    EXPECT_FALSE(cfg->save());
    EXPECT_EQ(d.candidateCount(), 1u);

    d.settings.USECONFIGSIGNATURE = 0;
    auto lenient = open();
    ASSERT_TRUE(lenient->load());
    EXPECT_EQ(lenient->getAutoSyncTimeThreshold(), 90u);
    EXPECT_EQ(lenient->getClientID(), "CID");
}

TEST_F(ConfigFileTest, EmptyClientIDIsRejectedEvenWhenSigned) {
    d.settings.USECONFIGSIGNATURE = 0;
    ConfigValues v;
    v.configVersion = "42";
    d.putSigned(zebtest::stampAt(-1), v);
    auto cfg = open();
    EXPECT_FALSE(cfg->load());
    EXPECT_EQ(cfg->getConfigVersion(), "0");
}

TEST_F(ConfigFileTest, AClientIDMustBeOneFileNamePart) {
    // The ID is part of every log file name: from registration, from a
    // server's configuration section or from a file, one that is no single
    // name part of a sane length is refused.
    for (const std::string& bad : std::vector<std::string>{".", "..", "a/b", "../x", "a\\b",
                                                          "a\x01" "b", "a\x7f",
                                                          std::string(129, 'c')}) {
        auto cfg = open();
        EXPECT_FALSE(cfg->setClientID(bad)) << bad;
        EXPECT_FALSE(cfg->applyServerSetting("CLIENTID:", bad)) << bad;
        EXPECT_EQ(cfg->getClientID(), "");
        ConfigValues v;
        v.clientID = bad;
        d.putSigned(zebtest::stampAt(-1), v);
        EXPECT_FALSE(open()->load()) << bad;
    }
    auto cfg = open();
    EXPECT_TRUE(cfg->setClientID(std::string(128, 'c')));
    EXPECT_TRUE(cfg->applyServerSetting("CLIENTID:", "0A1B-c_d.e"));
}

TEST_F(ConfigFileTest, BackoffFromTheFileIsActiveOnlyWhileInTheFuture) {
    const uint32_t now = static_cast<uint32_t>(std::time(nullptr));
    const struct {
        uint32_t until;
        bool active;
    } cases[] = {{0, false}, {now - 60, false}, {now + 3600, true}};
    for (const auto& c : cases) {
        ConfigDir dir;
        ConfigValues v = zebtest::registered("CID");
        v.backoffUntil = c.until;
        dir.putSigned(zebtest::stampAt(-1), v);
        ConfigFile cfg(&dir.settings, dir.dir.path(), kProductID, kAppName);
        ASSERT_TRUE(cfg.load());
        EXPECT_EQ(cfg.getBackoffUntil(), c.until);
        EXPECT_EQ(cfg.isBackoffActive(), c.active) << c.until;
    }
}

TEST_F(ConfigFileTest, SaveRunsOnlyAfterLoadOrChangeAndFailsCleanly) {
    {
        auto cfg = open();
        EXPECT_FALSE(cfg->save());  // state 1
        EXPECT_FALSE(cfg->load());  // no file: state 2
        EXPECT_FALSE(cfg->save());
        EXPECT_EQ(d.candidateCount(), 0u);
        ASSERT_TRUE(cfg->setClientID("CID"));
        EXPECT_EQ(cfg->getFileState(), ConfigFile::kStateChanged);
        // The destructor saves the change.
    }
    auto cfg = open();
    ASSERT_TRUE(cfg->load());
    EXPECT_EQ(cfg->getClientID(), "CID");
    const std::string suffix = cfg->getNameSuffix();
    const std::string signature = cfg->getSignature();

    // The data directory vanishes under the running client.
    std::string parked = d.dir.path() + ".parked";
    ASSERT_EQ(::rename(d.dir.path().c_str(), parked.c_str()), 0);
    cfg->applyServerSetting("CONFIGVERSION:", "8");
    EXPECT_FALSE(cfg->save());
    EXPECT_EQ(cfg->getFileState(), ConfigFile::kStateSaveFailed);
    EXPECT_EQ(cfg->getNameSuffix(), suffix);
    EXPECT_EQ(cfg->getSignature(), signature);
    ASSERT_EQ(::rename(parked.c_str(), d.dir.path().c_str()), 0);
    EXPECT_TRUE(cfg->save());  // retried from state 5
    EXPECT_FALSE(d.has(zebtest::prefix() + suffix + ".cfg"));
    ::rename(d.dir.path().c_str(), parked.c_str());
    EXPECT_FALSE(cfg->load());
    ASSERT_EQ(::rename(parked.c_str(), d.dir.path().c_str()), 0);
    EXPECT_EQ(d.candidateCount(), 1u);
}

TEST_F(ConfigFileTest, ServerSettingsApplyPerKey) {
    auto cfg = open();
    EXPECT_TRUE(cfg->applyServerSetting("CONFIGVERSION:", "v9"));
    EXPECT_EQ(cfg->getFileState(), ConfigFile::kStateChanged);
    EXPECT_TRUE(cfg->applyServerSetting("NAMESIZETHRESHOLD:", " 64xyz"));
    EXPECT_TRUE(cfg->applyServerSetting("DISABLED:", "2"));
    EXPECT_EQ(cfg->getConfigVersion(), "v9");
    EXPECT_EQ(cfg->getNameSizeThreshold(), 64u);
    EXPECT_TRUE(cfg->isDisabled());
    // The whitelist is replaced, the list extended.
    cfg->applyServerSetting("FTWHITELIST:", "(a,1)&&(b,2)");
    cfg->applyServerSetting("FTWHITELIST:", "(c,3)");
    EXPECT_EQ(cfg->getFeatureWhitelist(), (FeatureList{{"c", "3"}}));
    cfg->applyServerSetting("FTLIST:", "(a,1)");
    cfg->applyServerSetting("FTLIST:", "(b,2)&&(bad");
    EXPECT_EQ(cfg->getFeatureList(), (FeatureList{{"a", "1"}, {"b", "2"}}));

    // Not applied: unknown or colon-less keys, values that are not numbers,
    // numbers beyond 32 bits, texts that would break the line format.
    auto fresh = open();
    EXPECT_FALSE(fresh->applyServerSetting("UNKNOWN:", "1"));
    EXPECT_FALSE(fresh->applyServerSetting("CLIENTID", "x"));
    EXPECT_FALSE(fresh->applyServerSetting("FEATLISTLIMIT:", "many"));
    EXPECT_FALSE(fresh->applyServerSetting("FEATLISTLIMIT:", "4294967296"));
    EXPECT_FALSE(fresh->applyServerSetting("BACKOFF:", "soon"));
    EXPECT_FALSE(fresh->applyServerSetting("CALLHOMEURL:", "a\nCLIENTID:evil"));
    EXPECT_FALSE(fresh->setClientID("id\nFTFLAG:0"));
    EXPECT_EQ(fresh->getFeatureListLimit(), 3000u);
    EXPECT_EQ(fresh->getCallHomeURL(), "");
    EXPECT_FALSE(fresh->isBackoffActive());
    EXPECT_EQ(fresh->getFileState(), ConfigFile::kStateDefaults);
}

TEST_F(ConfigFileTest, BackoffFromTheServerIsInHours) {
    auto cfg = open();
    ASSERT_TRUE(cfg->applyServerSetting("BACKOFF:", "0"));
    EXPECT_EQ(cfg->getBackoffUntil(), 0u);
    EXPECT_TRUE(cfg->isBackoffActive());

    const uint32_t before = static_cast<uint32_t>(std::time(nullptr));
    ASSERT_TRUE(cfg->applyServerSetting("BACKOFF:", "2"));
    const uint32_t after = static_cast<uint32_t>(std::time(nullptr));
    EXPECT_GE(cfg->getBackoffUntil(), before + 7200);
    EXPECT_LE(cfg->getBackoffUntil(), after + 7200);

    // A very long back-off saturates instead of wrapping into the past.
    ASSERT_TRUE(cfg->applyServerSetting("BACKOFF:", "2147483647"));
    EXPECT_EQ(cfg->getBackoffUntil(), UINT32_MAX);
}

TEST_F(ConfigFileTest, FeatureTrackingFollowsFlagListsAndLimit) {
    auto cfg = open();
    cfg->applyServerSetting("FEATLISTLIMIT:", "3");
    EXPECT_TRUE(cfg->isFeatureTracked("Menu", "Open"));
    EXPECT_TRUE(cfg->isFeatureTracked("Menu", "Open"));  // a repeat takes a slot too
    EXPECT_TRUE(cfg->isFeatureTracked("Menu", "Close"));
    EXPECT_EQ(cfg->newFeatureCount(), 3);
    EXPECT_FALSE(cfg->isFeatureTracked("Menu", "Save"));
    cfg->clearNewFeatures();
    EXPECT_TRUE(cfg->isFeatureTracked("Menu", "Save"));

    // Listed features are never written and count against the limit;
    // whitelisted ones always are, even beyond it.
    cfg->clearNewFeatures();
    cfg->applyServerSetting("FTLIST:", "(Menu,Quit)&&(Menu,Help)");
    cfg->applyServerSetting("FTWHITELIST:", "(Menu,Help)&&(Edit,Copy)");
    EXPECT_TRUE(cfg->isFeatureTracked("Menu", "Help"));
    EXPECT_FALSE(cfg->isFeatureTracked("Menu", "Quit"));
    EXPECT_TRUE(cfg->isFeatureTracked("A", "1"));
    EXPECT_FALSE(cfg->isFeatureTracked("A", "2"));
    EXPECT_TRUE(cfg->isFeatureTracked("Edit", "Copy"));

    cfg->applyServerSetting("FTFLAG:", "0");
    EXPECT_FALSE(cfg->isFeatureTracked("Edit", "Copy"));
}

// Two clients (as two processes would) share one directory; every load
// either sees one complete file of one writer or fails cleanly.
// The flush may take seconds on a slow disk; the host's calls, which read
// and change values under the API lock, must not wait for it.
TEST_F(ConfigFileTest, NoCallWaitsForASaveInFlight) {
    auto cfg = open();
    ASSERT_TRUE(cfg->setClientID("CID"));
    std::mutex m;
    std::condition_variable cv;
    bool writing = false, release = false, hookDone = false;
    cfg->setBeforeWriteHookForTest([&] {
        std::unique_lock<std::mutex> lock(m);
        writing = true;
        cv.notify_all();
        cv.wait_for(lock, std::chrono::seconds(10), [&] { return release; });
        hookDone = true;
    });
    std::thread saver([&] { EXPECT_TRUE(cfg->save()); });
    {
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return writing; });
    }
    EXPECT_EQ(cfg->getClientID(), "CID");
    EXPECT_TRUE(cfg->applyServerSetting("CONFIGVERSION:", "9"));
    {
        std::lock_guard<std::mutex> lock(m);
        EXPECT_FALSE(hookDone) << "a call waited for the save";
        release = true;
    }
    cv.notify_all();
    saver.join();
    EXPECT_EQ(cfg->getFileState(), ConfigFile::kStateChanged);
    cfg->setBeforeWriteHookForTest(nullptr);
    ASSERT_TRUE(cfg->save());
    auto again = open();
    ASSERT_TRUE(again->load());
    EXPECT_EQ(again->getConfigVersion(), "9");
}

// Another process saves under the same stamp while this one writes (a clock
// set back): neither its temporary nor its file is overwritten.
TEST_F(ConfigFileTest, ASaveNeverTakesAnotherWritersStamp) {
    const uint64_t future = zebtest::nowMicros() + 3600000000u;
    d.putSigned(toBase32(future), zebtest::registered("CID"));
    const std::string theirs = zebtest::prefix() + toBase32(future + 1) + ".cfgtmp";
    auto cfg = open();
    ASSERT_TRUE(cfg->load());
    cfg->setBeforeWriteHookForTest([&] {
        writeFile(d.dir.file(theirs), "other", false);
        d.putSigned(toBase32(future + 2), zebtest::registered("CID"));
    });
    ASSERT_TRUE(cfg->setClientID("mine"));
    ASSERT_TRUE(cfg->save());
    EXPECT_EQ(cfg->getNameSuffix(), toBase32(future + 3));
    EXPECT_EQ(readFile(d.dir.file(theirs)), "other");
}

TEST_F(ConfigFileTest, TwoWritersOnOneDirectoryNeverSeeAPartialFile) {
    std::atomic<int> loads{0};
    std::atomic<int> inconsistent{0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    auto writer = [&](const std::string& tag) {
        auto cfg = open();
        for (int i = 0; std::chrono::steady_clock::now() < deadline && i < 400; ++i) {
            const std::string id = tag + std::to_string(i);
            cfg->setClientID(id);
            cfg->applyServerSetting("CONFIGVERSION:", id);
            cfg->save();
            if (cfg->load()) {
                ++loads;
                const std::string got = cfg->getClientID();
                if (got != cfg->getConfigVersion() ||
                    (got.rfind("A-", 0) != 0 && got.rfind("B-", 0) != 0)) {
                    ++inconsistent;
                }
            } else if (cfg->getFileState() != ConfigFile::kStateNoValidFile ||
                       !cfg->getClientID().empty()) {
                ++inconsistent;
            }
        }
    };
    std::thread a(writer, "A-");
    std::thread b(writer, "B-");
    a.join();
    b.join();
    EXPECT_EQ(inconsistent.load(), 0);
    EXPECT_GT(loads.load(), 0);
    EXPECT_LE(d.candidateCount(), 2u);
}

}  // namespace
}  // namespace ZEBInternal
