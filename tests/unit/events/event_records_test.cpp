// The exact log line of every record type: these lines are what the server
// parses out of uploaded logs.

#include <gtest/gtest.h>

#include <string>

#include "config/ConfigFile.h"
#include "config/RuntimeSettings.h"
#include "events/ZEBEventBasic.h"
#include "events/ZEBEventException.h"
#include "events/ZEBEventLifecycle.h"
#include "support/TempDir.h"

namespace ZEBInternal {
namespace {

// 2024-03-01T09:05:07 UTC.
constexpr time_t kMarch1 = 1709283907;

class EventRecordsTest : public ::testing::Test {
protected:
    zebtest::TempDir dir_;
    RuntimeSettings settings_;
    ConfigFile config_{&settings_, dir_.path(), "0123456789", "App"};

    template <typename Record>
    std::string line(Record& record) {
        record.setTime(kMarch1);
        return record.serialize(config_);
    }
};

TEST_F(EventRecordsTest, BasicEventEscapesTheFieldSeparatorInEveryField) {
    ZEBEventBasic basic("Menu", "Open$Save", "S0000000001");
    EXPECT_EQ(line(basic), "2024-03-01T09:05:07$S0000000001$0021$Menu$Open\\$Save");
    ZEBEventBasic escapes("C\\at$", "N", "S$\\1");
    EXPECT_EQ(line(escapes), "2024-03-01T09:05:07$S\\$\\\\1$0021$C\\\\at\\$$N");
}

TEST_F(EventRecordsTest, NumbersAreWrittenAsADefaultStreamWritesThem) {
    ZEBEventNumeric big("c", "n", "s", 1234567);
    EXPECT_EQ(line(big), "2024-03-01T09:05:07$s$0022$c$n$1.23457e+06");
    ZEBEventNumeric half("c", "n", "s", 0.5);
    EXPECT_EQ(line(half), "2024-03-01T09:05:07$s$0022$c$n$0.5");
    EXPECT_EQ(formatDouble(3.14159265), "3.14159");
    EXPECT_EQ(formatDouble(-2.5), "-2.5");
    EXPECT_EQ(formatDouble(1e-5), "1e-05");
    EXPECT_EQ(formatDouble(100000), "100000");
    EXPECT_EQ(formatDouble(1e6), "1e+06");
    EXPECT_EQ(formatDouble(0), "0");
}

TEST_F(EventRecordsTest, TextKeepsLinesTogetherAndObeysTheServerLimit) {
    ZEBEventText text("c", "n", "one\r\ntwo$\\", "s");
    EXPECT_EQ(line(text), "2024-03-01T09:05:07$s$0023$c$n$one\\ntwo\\$\\\\");

    ASSERT_TRUE(config_.applyServerSetting("CUSTOMTEXTTHRESHOLD:", "3"));
    // Three two-byte characters and one three-byte one: the first three
    // characters stay whole.
    ZEBEventText utf8("c", "n", "\xC3\xA4\xC3\xB6\xC3\xBC\xE2\x82\xAC", "s");
    EXPECT_EQ(line(utf8), "2024-03-01T09:05:07$s$0023$c$n$\xC3\xA4\xC3\xB6\xC3\xBC");
    // Invalid UTF-8 (leading continuation bytes, a cut sequence) is cut
    // only before a lead byte, never inside what follows one.
    ZEBEventText invalid("c", "n", "\x80\x80" "ab\xE2\x82" "cd", "s");
    EXPECT_EQ(line(invalid), "2024-03-01T09:05:07$s$0023$c$n$\x80\x80" "ab\xE2\x82");
}

TEST_F(EventRecordsTest, CustomPairsAreParenthesisedEscapedAndLimited) {
    ZEBEventNameValuePairs one("c", "n", {{"a&b", "c"}}, "s");
    EXPECT_EQ(line(one), "2024-03-01T09:05:07$s$0024$c$n$(a\\&b,c)");
    ZEBEventNameValuePairs two("c", "n", {{"x(1)", "y,\n$"}, {"", ""}}, "s");
    EXPECT_EQ(line(two), "2024-03-01T09:05:07$s$0024$c$n$(x\\(1\\),y\\,\\n\\$)&&(,)");
    ZEBEventNameValuePairs none("c", "n", {}, "s");
    EXPECT_EQ(line(none), "2024-03-01T09:05:07$s$0024$c$n$");

    ASSERT_TRUE(config_.applyServerSetting("NAMESIZETHRESHOLD:", "2"));
    ASSERT_TRUE(config_.applyServerSetting("VALUESIZETHRESHOLD:", "1"));
    ZEBEventNameValuePairs limited("c", "n", {{"name", "value"}}, "s");
    EXPECT_EQ(line(limited), "2024-03-01T09:05:07$s$0024$c$n$(na,v)");
}

TEST_F(EventRecordsTest, ExceptionStackTraceFollowsTheTrackingFlag) {
    ZEBEventException kept("Cls$", "meth", "bad\nthing", "at a\r\nat b", "s");
    EXPECT_EQ(line(kept), "2024-03-01T09:05:07$s$0031$Cls\\$$meth$bad\\nthing$at a\\nat b");

    ASSERT_TRUE(config_.applyServerSetting("ETFLAG:", "5"));
    ZEBEventException noTrace("C", "m", "msg", "trace", "s");
    EXPECT_EQ(line(noTrace), "2024-03-01T09:05:07$s$0031$C$m$msg$");

    ASSERT_TRUE(config_.applyServerSetting("ETFLAG:", "12"));
    ASSERT_TRUE(config_.applyServerSetting("EXCEPTIONTEXTTHRESHOLD:", "2"));
    ZEBEventException cut("C", "m", "message", "0123456789abcdef", "s");
    EXPECT_EQ(line(cut), "2024-03-01T09:05:07$s$0031$C$m$me$0123456789ab");

    ASSERT_TRUE(config_.applyServerSetting("ETFLAG:", "0"));
    ZEBEventException dropped("C", "m", "msg", "trace", "s");
    EXPECT_EQ(line(dropped), "");
}

TEST_F(EventRecordsTest, LifecycleRecords) {
    ZEBEventAppSessionStart start("I");
    EXPECT_EQ(line(start), "2024-03-01T09:05:07$I$0001");
    ZEBEventAppSessionStop stop("I");
    EXPECT_EQ(line(stop), "2024-03-01T09:05:07$I$0002");
    ZEBEventUserSessionStart userStart("I", "U$1");
    EXPECT_EQ(line(userStart), "2024-03-01T09:05:07$I$0012$U\\$1");
    ZEBEventUserSessionStop userStop("U");
    EXPECT_EQ(line(userStop), "2024-03-01T09:05:07$U$0013");
    ZEBEventTimeWarp back(-140, "I");
    EXPECT_EQ(line(back), "2024-03-01T09:05:07$I$0041$-140");
    ZEBEventNewFile file("F$", "I", "App");
    EXPECT_EQ(line(file), "2024-03-01T09:05:07$I$0051$F\\$$App");
}

// The writer reuses the text of the second before; a run of records across
// seconds, hours, midnight, a year's end and back in time must still read
// as the C library formats each one.
TEST_F(EventRecordsTest, TimeStampsOfConsecutiveRecordsAreEachTheirOwn) {
    const time_t times[] = {kMarch1,
                            kMarch1,
                            kMarch1 + 1,
                            kMarch1 + 3599,
                            kMarch1 + 53692,
                            kMarch1 + 53693,
                            1735689599,
                            1735689600,
                            kMarch1 - 86400,
                            kMarch1,
                            0,
                            -1,
                            -86401,
                            59};
    ZEBEventAppSessionStart record("I");
    for (time_t t : times) {
        struct tm parts {};
        char expected[64] = {0};
        ASSERT_NE(gmtime_r(&t, &parts), nullptr);
        ASSERT_NE(strftime(expected, sizeof expected, "%FT%T", &parts), 0u);
        record.setTime(t);
        EXPECT_EQ(record.getTimeStamp(), expected) << "at " << t;
    }
}

TEST_F(EventRecordsTest, FeatureSwitchOffSilencesOnlyFeatureEvents) {
    ASSERT_TRUE(config_.applyServerSetting("FTFLAG:", "0"));
    ZEBEventBasic basic("c", "n", "s");
    ZEBEventNumeric numeric("c", "n", "s", 1);
    ZEBEventText text("c", "n", "t", "s");
    ZEBEventNameValuePairs custom("c", "n", {{"a", "b"}}, "s");
    EXPECT_EQ(line(basic), "");
    EXPECT_EQ(line(numeric), "");
    EXPECT_EQ(line(text), "");
    EXPECT_EQ(line(custom), "");
    ZEBEventException exception("C", "m", "x", "", "s");
    ZEBEventAppSessionStart session("s");
    ZEBEventTimeWarp warp(100, "s");
    EXPECT_NE(line(exception), "");
    EXPECT_NE(line(session), "");
    EXPECT_NE(line(warp), "");
}

TEST_F(EventRecordsTest, FeatureListsDecideWhatIsWritten) {
    ASSERT_TRUE(config_.applyServerSetting("FTLIST:", "(c,hidden)"));
    ASSERT_TRUE(config_.applyServerSetting("FTWHITELIST:", "(c,always)"));
    ASSERT_TRUE(config_.applyServerSetting("FEATLISTLIMIT:", "3"));
    ZEBEventBasic hidden("c", "hidden", "s");
    EXPECT_EQ(line(hidden), "");
    // The limit counts the list (1 entry) and the features seen (2 more).
    ZEBEventBasic a("c", "a", "s"), b("c", "b", "s"), c("c", "c", "s");
    EXPECT_NE(line(a), "");
    EXPECT_NE(line(b), "");
    EXPECT_EQ(line(c), "");
    ZEBEventBasic always("c", "always", "s");
    EXPECT_NE(line(always), "");
    config_.clearNewFeatures();
    ZEBEventBasic again("c", "c", "s");
    EXPECT_NE(line(again), "");
}

}  // namespace
}  // namespace ZEBInternal
