// Session records in their order, the log writer's passes and shutdown, and
// the time-warp detector's verdicts.

#include <gtest/gtest.h>

#include "core/SDKContext.h"
#include "events/EventManager.h"
#include "EventsFixture.h"
#include "events/LogFile.h"
#include "events/SessionManager.h"
#include "events/ZEBEventBasic.h"
#include "workers/ZEBLogWriter.h"
#include "workers/ZEBTimeWarpDetector.h"

namespace ZEBInternal {
namespace {

using eventstest::field;
using eventstest::linesOf;

struct Written {
    std::string type;
    std::string session;
    std::string extra;
};

// Pops everything queued and reads back type, session and first extra field.
std::vector<Written> drain(EventManager& events, ConfigFile& config) {
    std::vector<Written> out;
    while (auto record = events.pop()) {
        const std::string line = record->serialize(config);
        out.push_back({field(line, 2), field(line, 1), field(line, 3)});
    }
    return out;
}

class SessionsTest : public ::testing::Test {
protected:
    zebtest::TempDir dir_;
    RuntimeSettings settings_;
    std::unique_ptr<Configuration> config_ = eventstest::makeConfiguration(dir_.path(), &settings_);
    EventManager events_;
};

TEST_F(SessionsTest, SingleSessionModeRecordsTheAppSessionTwice) {
    SessionManager sessions(&events_, false);
    sessions.startAppSession("I");
    sessions.stopAllSessions();
    const auto got = drain(events_, config_->file());
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].type, "0001");
    EXPECT_EQ(got[0].session, "I");
    EXPECT_EQ(got[1].type, "0012");
    EXPECT_EQ(got[1].session, "I");
    EXPECT_EQ(got[1].extra, "I");
    EXPECT_EQ(got[2].type, "0013");
    EXPECT_EQ(got[2].session, "I");
    EXPECT_EQ(got[3].type, "0002");
}

TEST_F(SessionsTest, MultiSessionModeStopsUserSessionsInByteOrder) {
    SessionManager sessions(&events_, true);
    sessions.startAppSession("I");
    EXPECT_TRUE(sessions.startUserSession("B-session"));
    EXPECT_TRUE(sessions.startUserSession("A-session"));
    EXPECT_FALSE(sessions.startUserSession("A-session"));
    EXPECT_TRUE(sessions.isUserSessionActive("A-session"));
    EXPECT_FALSE(sessions.stopUserSession("never"));
    sessions.stopAllSessions();
    EXPECT_FALSE(sessions.isUserSessionActive("A-session"));
    const auto got = drain(events_, config_->file());
    ASSERT_EQ(got.size(), 6u);
    EXPECT_EQ(got[0].type, "0001");
    // A start carries the application session in its header, the user
    // session after it; a stop carries the user session in its header.
    EXPECT_EQ(got[1].type, "0012");
    EXPECT_EQ(got[1].session, "I");
    EXPECT_EQ(got[1].extra, "B-session");
    EXPECT_EQ(got[2].extra, "A-session");
    EXPECT_EQ(got[3].type, "0013");
    EXPECT_EQ(got[3].session, "A-session");
    EXPECT_EQ(got[4].session, "B-session");
    EXPECT_EQ(got[5].type, "0002");
}

class LogWriterTest : public SessionsTest {
protected:
    LogWriterTest() {
        settings_.LOGWRITERDWELLSEC = 3600;  // passes only when the test asks
        context_.configuration = config_.get();
        context_.eventManager = &events_;
    }
    SDKContext context_;
    LogFile log_{config_.get()};
};

TEST_F(LogWriterTest, APassWritesEverythingQueuedAsOneBatchInOrder) {
    ZEBLogWriter writer(&context_, &log_);
    for (int i = 0; i < 1000; ++i) {
        events_.push(std::make_unique<ZEBEventBasic>("c", std::to_string(i), "S"));
    }
    writer.run();
    EXPECT_EQ(events_.count(), 0);
    const auto lines = linesOf(dir_.path() + "/" + log_.activeFileName());
    ASSERT_EQ(lines.size(), 1001u);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(field(lines[i + 1], 4), std::to_string(i));
    // An idle pass writes nothing.
    writer.run();
    EXPECT_EQ(linesOf(dir_.path() + "/" + log_.activeFileName()).size(), 1001u);
    writer.shutdown();
    writer.join();
}

TEST_F(LogWriterTest, ShutdownWritesWhatWasQueuedAndClosesTheFile) {
    ZEBLogWriter writer(&context_, &log_);
    events_.push(std::make_unique<ZEBEventBasic>("c", "last", "S"));
    writer.shutdown();
    const auto closed = writer.getLogFiles(true, false);
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(closed[0].substr(closed[0].size() - 4), ".log");
    const auto lines = linesOf(dir_.path() + "/" + closed[0]);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(field(lines[1], 4), "last");
    writer.join();
}

TEST_F(LogWriterTest, TheThreadWritesOnItsOwn) {
    settings_.LOGWRITERDWELLSEC = 0;
    ZEBLogWriter writer(&context_, &log_);
    events_.push(std::make_unique<ZEBEventBasic>("c", "n", "S"));
    for (int i = 0; i < 200 && events_.count() != 0; ++i) {
        timeutil::sleepFor(TimeValue{0, 10000});
    }
    EXPECT_EQ(events_.count(), 0);
    writer.shutdown();
    writer.join();
}

// Fails once where a record is written, as an allocation can.
struct ThrowsOnce : ZEBEventBasic {
    ThrowsOnce() : ZEBEventBasic("c", "b", "S") {}
    bool serializeInto(ConfigFile& configuration, std::string& out) override {
        if (!thrown) {
            thrown = true;
            throw std::bad_alloc();
        }
        return ZEBEventBasic::serializeInto(configuration, out);
    }
    bool thrown = false;
};

TEST_F(LogWriterTest, AnExceptionInAPassLosesNoRecordAndTheThreadGoesOn) {
    settings_.LOGWRITERDWELLSEC = 0;
    ZEBLogWriter writer(&context_, &log_);
    events_.push(std::make_unique<ZEBEventBasic>("c", "a", "S"));
    events_.push(std::make_unique<ThrowsOnce>());
    events_.push(std::make_unique<ZEBEventBasic>("c", "c", "S"));
    const auto names = [&] {
        std::string all;
        for (const auto& line : linesOf(dir_.path() + "/" + log_.activeFileName()))
            all += field(line, 4) + " ";
        return all;
    };
    for (int i = 0; i < 500 && names() != "App a b c "; ++i)
        timeutil::sleepFor(TimeValue{0, 10000});
    EXPECT_EQ(names(), "App a b c ");
    writer.shutdown();
    writer.join();
}

TEST_F(LogWriterTest, TimeWarpDetectorReportsOnlyLargeJumps) {
    ZEBTimeWarpDetector detector(&context_, TimeValue{3600, 0});
    detector.stop();
    detector.join();
    // The thread's own first pass took the first reading, just now.
    const uint32_t t0 = timeutil::now().seconds;
    detector.check(TimeValue{t0, 0});
    detector.check(TimeValue{t0 + 60, 0});     // on time
    detector.check(TimeValue{t0 + 62 + 60, 5});  // 62: still quiet
    detector.check(TimeValue{t0 + 122 + 3660, 0});  // an hour forward
    detector.check(TimeValue{t0 + 3782, 0});        // back by 60: delta 0
    detector.check(TimeValue{t0 + 3782 - 140, 0});  // back by 200 between passes
    const auto got = drain(events_, config_->file());
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].type, "0041");
    EXPECT_EQ(got[0].session, "INSTANCE0000000000000000000000001");
    EXPECT_EQ(got[0].extra, "3660");
    EXPECT_EQ(got[1].extra, "-140");
    // Once the stop has begun nothing is added after the session's end.
    events_.closeToHosts();
    detector.check(TimeValue{t0 + 9999, 0});
    EXPECT_EQ(events_.count(), 0);

    // While the server disables the client nothing is read or reported.
    ASSERT_TRUE(config_->file().applyServerSetting("DISABLED:", "1"));
    detector.check(TimeValue{t0 + 99999, 0});
    EXPECT_EQ(events_.count(), 0);
}

}  // namespace
}  // namespace ZEBInternal
