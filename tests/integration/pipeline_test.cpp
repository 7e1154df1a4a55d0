// The offline pipeline seen only through the exported functions: a host
// that starts a registered client finds every event it tracked, once and in
// its order, in the log files when zebStopSDK returns.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/ConfigFileWriter.h"
#include "support/LogLines.h"
#include "support/TempDir.h"
#include "zeb.h"

namespace {

constexpr const char* kKey = "00112233445566778899AABBCCDDEEFF";

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

using zebtest::logFiles;
using zebtest::namesIn;
std::vector<std::string> fields(const std::string& line) { return zebtest::eventFields(line); }

class PipelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        zebtest::ConfigFileValues values;
        // Room for every event of the test: no feature limit, no size limit.
        values.values["FEATLISTLIMIT:"] = "4000000000";
        values.values["FILESIZETHRESHOLD:"] = "4000000";
        configName_ =
            zebtest::writeConfigFile(dir_.path(), "qhwnpcodkv", "App", "0000000000001", values);
        instance_ = zebCreateInstance(false);
        ASSERT_NE(instance_, nullptr);
    }
    void TearDown() override {
        if (instance_ != nullptr) {
            EXPECT_EQ(zebDestroyInstance(instance_), 0);
        }
    }

    int32_t configure(bool multiSession = false) {
        return zebCreateConfig(instance_, dir_.path().c_str(), "0123456789", "App",
                               "127.0.0.1:9", ZEB_PROTOCOL_HTTP_AES, kKey, multiSession, false);
    }

    zebtest::TempDir dir_;
    std::string configName_;
    ZEBInstance* instance_ = nullptr;
};

TEST_F(PipelineTest, EveryEventOfFourThreadsReachesTheLogOnceAndInOrder) {
    ASSERT_EQ(configure(), 0);
    ASSERT_EQ(zebGetState(instance_), 1);
    char* clientID = nullptr;
    ASSERT_EQ(zebGetClientID(instance_, &clientID), 0);
    EXPECT_STREQ(clientID, "CLIENT0001");
    zebFree(clientID);
    ASSERT_EQ(zebStartSDK(instance_), 0);
    ASSERT_EQ(zebGetState(instance_), 4);

    constexpr int kThreads = 4;
    constexpr int kPerThread = 20000;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const std::string who = "T" + std::to_string(t);
            for (int i = 0; i < kPerThread; ++i) {
                const std::string seq = std::to_string(i);
                int32_t rc = 0;
                switch (i % 5) {
                    case 0: rc = zebTrackEvent(instance_, who.c_str(), seq.c_str(), nullptr); break;
                    case 1:
                        rc = zebTrackEventNumeric(instance_, who.c_str(), seq.c_str(), i * 0.5, "");
                        break;
                    case 2:
                        rc = zebTrackEventText(instance_, who.c_str(), seq.c_str(), "a$b\nc", nullptr);
                        break;
                    case 3: {
                        const ZEBNameValuePair pairs[] = {{"k", "v&w"}, {"n", seq.c_str()}};
                        rc = zebTrackEventCustom(instance_, who.c_str(), seq.c_str(), pairs, 2,
                                                 nullptr);
                        break;
                    }
                    default: {
                        const ZEBExceptionData e = {who.c_str(), seq.c_str(), "boom", "at x\nat y"};
                        rc = zebTrackException(instance_, e, nullptr);
                        break;
                    }
                }
                if (rc != 0) ++failures[t];
            }
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], 0);
    ASSERT_EQ(zebStopSDK(instance_, -1), 0);

    // Read before the instance is destroyed: stop alone must have written.
    const auto files = logFiles(dir_.path());
    ASSERT_FALSE(files.empty());
    std::map<std::string, int> next;
    std::vector<std::string> sessionTypes;
    const char* const kTypes[] = {"0021", "0022", "0023", "0024", "0031"};
    for (const auto& lines : files) {
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(fields(lines[0])[2], "0051");
        for (size_t i = 1; i < lines.size(); ++i) {
            const auto f = fields(lines[i]);
            ASSERT_GE(f.size(), 3u) << lines[i];
            if (f[2] < "0021") {
                sessionTypes.push_back(f[2]);
                continue;
            }
            ASSERT_GE(f.size(), 5u) << lines[i];
            const int seq = std::stoi(f[4]);
            ASSERT_EQ(seq, next[f[3]]) << "thread " << f[3];
            ASSERT_EQ(f[2], kTypes[seq % 5]) << lines[i];
            ++next[f[3]];
        }
    }
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next["T" + std::to_string(t)], kPerThread);
    EXPECT_EQ(sessionTypes, (std::vector<std::string>{"0001", "0012", "0013", "0002"}));
    // Everything was flushed into closed files.
    for (const auto& name : namesIn(dir_.path())) EXPECT_FALSE(endsWith(name, ".logtmp")) << name;
}

TEST_F(PipelineTest, RecordsCarryTheCallersTextsExactly) {
    ASSERT_EQ(configure(true), 0);
    ASSERT_EQ(zebStartSDK(instance_), 0);
    EXPECT_EQ(zebStartSession(instance_, "  user-session-1\t"), 0);
    EXPECT_EQ(zebTrackEvent(instance_, "  Menu ", "Open$Save", "user-session-1"), 0);
    EXPECT_EQ(zebTrackEventNumeric(instance_, "c", "n", 1234567, "user-session-1"), 0);
    const ZEBNameValuePair pairs[] = {{"a&b", "c"}, {"x", "y\r\nz"}};
    EXPECT_EQ(zebTrackEventCustom(instance_, "", "n", pairs, 2, "user-session-1"), 0);
    const ZEBExceptionData e = {"Cls", "meth", "m$g", "s\\t"};
    EXPECT_EQ(zebTrackException(instance_, e, nullptr), 0);
    EXPECT_EQ(zebStopSession(instance_, "user-session-1"), 0);
    ASSERT_EQ(zebStopSDK(instance_, -1), 0);

    std::vector<std::string> tails;
    for (const auto& lines : logFiles(dir_.path())) {
        for (const auto& line : lines) {
            // Time stamp "YYYY-MM-DDTHH:MM:SS" then "$".
            ASSERT_GT(line.size(), 20u);
            EXPECT_EQ(line[10], 'T');
            EXPECT_EQ(line[19], '$');
            tails.push_back(line.substr(20));
        }
    }
    ASSERT_EQ(tails.size(), 9u);
    const std::string instanceID = tails[1].substr(0, tails[1].find('$'));
    EXPECT_EQ(instanceID.size(), 32u);
    EXPECT_EQ(tails[0].rfind(instanceID + "$0051$", 0), 0u) << tails[0];
    EXPECT_TRUE(endsWith(tails[0], "$App")) << tails[0];
    EXPECT_EQ(tails[1], instanceID + "$0001");
    EXPECT_EQ(tails[2], instanceID + "$0012$user-session-1");
    EXPECT_EQ(tails[3], "user-session-1$0021$Menu$Open\\$Save");
    EXPECT_EQ(tails[4], "user-session-1$0022$c$n$1.23457e+06");
    EXPECT_EQ(tails[5], "user-session-1$0024$$n$(a\\&b,c)&&(x,y\\nz)");
    EXPECT_EQ(tails[6], instanceID + "$0031$Cls$meth$m\\$g$s\\\\t");
    EXPECT_EQ(tails[7], "user-session-1$0013");
    EXPECT_EQ(tails[8], instanceID + "$0002");
}

TEST_F(PipelineTest, SessionCodesInSingleSessionMode) {
    ASSERT_EQ(configure(false), 0);
    EXPECT_EQ(zebTrackEvent(instance_, "c", "n", nullptr), -210);
    ASSERT_EQ(zebStartSDK(instance_), 0);
    EXPECT_EQ(zebTrackEvent(instance_, "c", "n", "some-session-id"), -150);
    EXPECT_EQ(zebTrackEvent(instance_, "c", "n", " \t"), 0);  // blank is no session
    EXPECT_EQ(zebStartSession(instance_, "some-session-id"), -300);
    EXPECT_EQ(zebStopSession(instance_, "some-session-id"), -300);
    ASSERT_EQ(zebStopSDK(instance_, -1), 0);
    EXPECT_EQ(zebTrackEvent(instance_, "c", "n", nullptr), -213);
}

TEST_F(PipelineTest, SessionCodesInMultiSessionMode) {
    ASSERT_EQ(configure(true), 0);
    ASSERT_EQ(zebStartSDK(instance_), 0);
    EXPECT_EQ(zebTrackEvent(instance_, "c", "n", nullptr), -151);
    EXPECT_EQ(zebTrackEvent(instance_, "c", "n", "123456789"), -152);
    EXPECT_EQ(zebTrackEvent(instance_, "c", "n", std::string(65, 's').c_str()), -153);
    EXPECT_EQ(zebTrackEvent(instance_, "c", "n", "never-started"), -155);
    EXPECT_EQ(zebStartSession(instance_, "123456789"), -152);
    EXPECT_EQ(zebStartSession(instance_, nullptr), -151);
    EXPECT_EQ(zebStartSession(instance_, std::string(64, 's').c_str()), 0);
    EXPECT_EQ(zebStartSession(instance_, "session-0001"), 0);
    EXPECT_EQ(zebStartSession(instance_, "session-0001"), -154);
    EXPECT_EQ(zebTrackEvent(instance_, "c", "n", "session-0001"), 0);
    // An exception may go without a session: it belongs to the application.
    const ZEBExceptionData e = {"C", "m", "", ""};
    EXPECT_EQ(zebTrackException(instance_, e, nullptr), 0);
    EXPECT_EQ(zebStopSession(instance_, "session-0001"), 0);
    EXPECT_EQ(zebStopSession(instance_, "session-0001"), -155);
    ASSERT_EQ(zebStopSDK(instance_, -1), 0);
}

TEST_F(PipelineTest, NamesAreCleanedAndLimitedAndBadInputRefused) {
    ASSERT_EQ(configure(), 0);
    ASSERT_EQ(zebStartSDK(instance_), 0);
    EXPECT_EQ(zebTrackEvent(instance_, "c", " \t ", nullptr), -111);
    EXPECT_EQ(zebTrackEvent(instance_, "c", nullptr, nullptr), -111);
    EXPECT_EQ(zebTrackEventText(instance_, "c", "n", "", nullptr), -111);
    EXPECT_EQ(zebTrackEventText(instance_, "c", "n", "   ", nullptr), 0);
    const ZEBNameValuePair spaced[] = {{"ok", "1"}, {"a b", "2"}};
    EXPECT_EQ(zebTrackEventCustom(instance_, "c", "n", spaced, 2, nullptr), -113);
    const ZEBNameValuePair emptyName[] = {{"", "v"}};
    EXPECT_EQ(zebTrackEventCustom(instance_, "c", "n", emptyName, 1, nullptr), 0);
    const ZEBExceptionData noMethod = {"C", " ", "m", "s"};
    EXPECT_EQ(zebTrackException(instance_, noMethod, nullptr), -111);
    // 200 ASCII characters keep 128; a two-byte character at position 128
    // stays whole.
    EXPECT_EQ(zebTrackEvent(instance_, " \tcat\tegory ", std::string(200, 'x').c_str(), nullptr), 0);
    const std::string wide = std::string(127, 'y') + "\xC3\xA4" + "zz";
    EXPECT_EQ(zebTrackEvent(instance_, "", wide.c_str(), nullptr), 0);
    // Hostile strings: a megabyte, invalid UTF-8.
    const std::string huge(1 << 20, 'h');
    EXPECT_EQ(zebTrackEventText(instance_, huge.c_str(), huge.c_str(), huge.c_str(), nullptr), 0);
    EXPECT_EQ(zebTrackEvent(instance_, "\xFF\xFE", "\x80\xC3", nullptr), 0);
    ASSERT_EQ(zebStopSDK(instance_, -1), 0);

    std::vector<std::vector<std::string>> events;
    for (const auto& lines : logFiles(dir_.path())) {
        for (const auto& line : lines) {
            const auto f = fields(line);
            if (f[2] >= "0021" && f[2] <= "0031") events.push_back(f);
        }
    }
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(events[0][5], "   ");
    EXPECT_EQ(events[1][5], "(,v)");
    EXPECT_EQ(events[2][3], "category");
    EXPECT_EQ(events[2][4], std::string(128, 'x'));
    EXPECT_EQ(events[3][3], "");
    EXPECT_EQ(events[3][4], std::string(127, 'y') + "\xC3\xA4");
    // Category and name limited to 128, the text to the server's 4096.
    EXPECT_EQ(events[4][3], std::string(128, 'h'));
    EXPECT_EQ(events[4][5], std::string(4096, 'h'));
    EXPECT_EQ(events[5][3], "\xFF\xFE");
}

TEST_F(PipelineTest, AnEditedOrDisabledConfigurationFile) {
    // One digit changed after signing: the client must register again.
    std::string text;
    {
        std::ifstream in(dir_.path() + "/" + configName_, std::ios::binary);
        std::stringstream buffer;
        buffer << in.rdbuf();
        text = buffer.str();
    }
    const size_t at = text.find("NAMESIZETHRESHOLD:128");
    ASSERT_NE(at, std::string::npos);
    text[at + 18] = '9';
    std::ofstream(dir_.path() + "/" + configName_, std::ios::binary) << text;
    ASSERT_EQ(configure(), 0);
    EXPECT_EQ(zebGetState(instance_), 2);

    zebtest::TempDir disabledDir;
    zebtest::ConfigFileValues values;
    values.values["DISABLED:"] = "1";
    zebtest::writeConfigFile(disabledDir.path(), "qhwnpcodkv", "App", "0000000000002", values);
    ZEBInstance* disabled = zebCreateInstance(false);
    EXPECT_EQ(zebCreateConfig(disabled, disabledDir.path().c_str(), "0123456789", "App",
                              "127.0.0.1:9", ZEB_PROTOCOL_HTTP_AES, kKey, false, false),
              -331);
    EXPECT_EQ(zebGetState(disabled), 10);
    EXPECT_EQ(zebStartSDK(disabled), -331);
    EXPECT_EQ(zebDestroyInstance(disabled), 0);
}

}  // namespace
