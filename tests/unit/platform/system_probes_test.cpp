#include <gtest/gtest.h>

#include <cstdlib>

#include "FakeMachine.h"
#include "platform/ProbeEnvironment.h"
#include "platform/SystemProbes.h"

namespace ZEBInternal {
namespace {

TEST(SystemProbes, ProcessorFromFirstMatchingCpuinfoLine) {
    zebtest::FakeMachine m;
    m.file("/proc/cpuinfo",
           "processor\t: 0\n"
           "model name without a colon\n"
           "model name\t: Intel(R) Xeon(R) CPU E5-2680 v4 @ 2.40GHz  \n"
           "cpu cores\t: 14\n\n"
           "processor\t: 1\nmodel name\t: Other\ncpu cores\t: 99\n");
    EXPECT_EQ(cpuModel(m.env()), "Intel(R) Xeon(R) CPU E5-2680 v4 @ 2.40GHz");
    EXPECT_EQ(cpuCores(m.env()), "14");

    m.file("/proc/cpuinfo", "processor\t: 0\nmodel name\t:\n");
    EXPECT_EQ(cpuModel(m.env()), "ERROR") << "an empty value";
    EXPECT_EQ(cpuCores(m.env()), "ERROR") << "no such key";
}

TEST(SystemProbes, LanguageAndLocaleFromLang) {
    struct Case {
        const char* lang;
        const char* language;
        const char* locale;
    };
    const Case cases[] = {
        {"de_AT.UTF-8", "DE", "AT"}, {"en_US", "EN", "US"},       {"C", "C", "C"},
        {"C.UTF-8", "C", "C"},       {"sr_RS@latin", "SR", "RS"}, {"", "ERROR", "ERROR"}};
    for (const Case& c : cases) {
        zebtest::FakeMachine m;
        m.lang = c.lang;
        EXPECT_EQ(osLanguage(m.env()), c.language) << c.lang;
        EXPECT_EQ(osLocale(m.env()), c.locale) << c.lang;
    }
    zebtest::FakeMachine unset;
    unset.lang.reset();
    EXPECT_EQ(osLanguage(unset.env()), "ERROR");
    EXPECT_EQ(osLocale(unset.env()), "ERROR");
}

TEST(SystemProbes, TimeZoneOffsetText) {
    EXPECT_EQ(formatTzOffset(-19800), "+0530");
    EXPECT_EQ(formatTzOffset(0), "0000");
    EXPECT_EQ(formatTzOffset(12600), "-0330");
    EXPECT_EQ(formatTzOffset(18000), "-0500");
    EXPECT_EQ(formatTzOffset(-3600), "+0100");
    EXPECT_EQ(formatTzOffset(-45900), "+1245");
    // Less than an hour west of UTC is still west.
    EXPECT_EQ(formatTzOffset(1800), "-0030");
}

// The default environment reads the process time zone through tzset.
TEST(SystemProbes, TimeZoneFromTzVariable) {
    const struct {
        const char* tz;
        const char* expected;
    } cases[] = {{"IST-5:30", "+0530"}, {"UTC0", "0000"}, {"NST3:30", "-0330"}};
    for (const auto& c : cases) {
        ASSERT_EQ(setenv("TZ", c.tz, 1), 0);
        EXPECT_EQ(tzOffset(defaultProbeEnvironment()), c.expected) << c.tz;
    }
    unsetenv("TZ");
}

TEST(SystemProbes, WordLengthAndMemory) {
    zebtest::FakeMachine m;
    m.longBits = 64;
    m.ramBytes = (uint64_t(16) << 30) + 1048575;
    EXPECT_EQ(wordLength(m.env()), "64");
    EXPECT_EQ(ramMiB(m.env()), "16384") << "whole MiB, rounded down";
    m.longBits = 0;
    m.ramBytes.reset();
    EXPECT_EQ(wordLength(m.env()), "ERROR");
    EXPECT_EQ(ramMiB(m.env()), "ERROR");
}

TEST(SystemProbes, LidAndBattery) {
    zebtest::FakeMachine m;
    EXPECT_EQ(lidPresent(m.env()), "0");
    EXPECT_EQ(hasBattery(m.env()), "0");

    m.mkdirs("/proc/acpi/button/lid");
    m.file("/sys/class/power_supply/BAT0/present", "1\n");
    EXPECT_EQ(lidPresent(m.env()), "1");
    EXPECT_EQ(hasBattery(m.env()), "1");

    // BAT1, when it exists, is the one asked, whatever BAT0 says.
    m.file("/sys/class/power_supply/BAT1/present", "0\n");
    EXPECT_EQ(hasBattery(m.env()), "0");
    m.file("/sys/class/power_supply/BAT1/present", " 1 \n");
    EXPECT_EQ(hasBattery(m.env()), "1");
    m.file("/sys/class/power_supply/BAT1/present", "11\n");
    EXPECT_EQ(hasBattery(m.env()), "0");
}

}  // namespace
}  // namespace ZEBInternal
