#include "util/Guid.h"

#include <sys/resource.h>

#include <gtest/gtest.h>

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

// A host that has used up its descriptors cannot open a random device; the
// IDs must still be real ones, not a shared constant.
TEST(Guid, NeedsNoDescriptor) {
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    struct rlimit none = saved;
    none.rlim_cur = 0;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
    const std::string a = makeGuid(), b = makeGuid();
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_TRUE(isGuidText(a)) << a;
    EXPECT_NE(a, b);
}

}  // namespace
}  // namespace ZEBInternal
