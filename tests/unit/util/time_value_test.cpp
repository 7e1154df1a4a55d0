#include <gtest/gtest.h>

#include "util/TimeValue.h"

namespace ZEBInternal {
namespace {

using timeutil::add;
using timeutil::normalise;
using timeutil::subtract;

TEST(TimeValue, ArithmeticCarriesAndBorrows) {
    EXPECT_EQ(subtract(TimeValue{5, 100}, TimeValue{3, 200}), (TimeValue{1, 999900}));
    EXPECT_EQ(subtract(TimeValue{5, 300}, TimeValue{3, 200}), (TimeValue{2, 100}));
    EXPECT_EQ(normalise(TimeValue{1, 2500000}), (TimeValue{3, 500000}));
    EXPECT_EQ(normalise(TimeValue{1, 999999}), (TimeValue{1, 999999}));
    EXPECT_EQ(add(TimeValue{1, 600000}, TimeValue{2, 700000}), (TimeValue{4, 300000}));
    // Operands that are not normalised are normalised before use.
    EXPECT_EQ(subtract(TimeValue{0, 5000000}, TimeValue{1, 1500000}), (TimeValue{2, 500000}));
    EXPECT_EQ(add(TimeValue{0, 4000000000u}, TimeValue{0, 4000000000u}), (TimeValue{8000, 0}));
    EXPECT_EQ(timeutil::toMicroseconds(TimeValue{4294967295u, 999999}), 4294967295999999LL);
}

TEST(TimeValue, IsoTimeUtc) {
    EXPECT_EQ(timeutil::isoTimeUtc(0), "1970-01-01T00:00:00");
    EXPECT_EQ(timeutil::isoTimeUtc(1798830245), "2027-01-01T19:04:05");
    EXPECT_EQ(timeutil::isoTimeUtc().size(), 19u);
}

}  // namespace
}  // namespace ZEBInternal
