#include "util/Guid.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"
#include "util/Files.h"

namespace ZEBInternal {
namespace {

bool isGuidText(const std::string& s) {
    if (s.size() != 32) return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    return true;
}

TEST(Guid, RandomGuidsAreThirtyTwoUpperHexAndDistinct) {
    const std::string a = makeGuid();
    const std::string b = makeGuid();
    EXPECT_TRUE(isGuidText(a)) << a;
    EXPECT_TRUE(isGuidText(b)) << b;
    EXPECT_NE(a, b);
}

TEST(Guid, FallsBackToSecondDeviceThenToFixedText) {
    zebtest::TempDir dir;
    EXPECT_TRUE(isGuidText(makeGuid(dir.file("none"), "/dev/urandom")));
    EXPECT_EQ(makeGuid(dir.file("none"), dir.file("none2")),
              "XXXXXXXX-XXXX-XXXX-XXXXXXXX-XXXXXXXX");
    EXPECT_EQ(std::string(kGuidFallback), "XXXXXXXX-XXXX-XXXX-XXXXXXXX-XXXXXXXX");
}

TEST(Guid, ShortDeviceReadsLeaveZeroesAndEmptyReadsFallBack) {
    zebtest::TempDir dir;
    ASSERT_TRUE(writeFile(dir.file("short"), std::string("\xAB\x01\xFF", 3), false));
    ASSERT_TRUE(writeFile(dir.file("empty"), "", false));
    EXPECT_EQ(makeGuid(dir.file("short"), "/dev/urandom"), "AB01FF" + std::string(26, '0'));
    // The device opened but gave nothing: no second try, the fixed text.
    EXPECT_EQ(makeGuid(dir.file("empty"), "/dev/urandom"), kGuidFallback);
}

}  // namespace
}  // namespace ZEBInternal
