// File-name rules of the configuration file: the digit table, the prefix,
// which directory entries are candidates and where their stamp lies.

#include <gtest/gtest.h>

#include "config/ConfigFileNames.h"
#include "config/ProductIDEncoding.h"

namespace ZEBInternal {
namespace {

TEST(ConfigNames, DigitTableEncodesEachDigitAndDropsOthers) {
    EXPECT_EQ(encodeProductID("0123456789"), "qhwnpcodkv");
    EXPECT_EQ(encodeProductID("9900"), "vvqq");
    EXPECT_EQ(encodeProductID("1a/2.-3"), "hwn");
    EXPECT_EQ(encodeProductID(""), "");
    EXPECT_EQ(configFilePrefix("0123456789", "App"), "zebconfigV5_qhwnpcodkv_App_");
}

TEST(ConfigNames, CandidatesEndInTheirFirstCfgAfterThePrefix) {
    const std::string p = "zebconfigV5_qhwnpcodkv_App_";
    EXPECT_TRUE(isConfigCandidate(p + "0123456789ABC.cfg", p));
    EXPECT_TRUE(isConfigCandidate(p + ".cfg", p));
    EXPECT_FALSE(isConfigCandidate(p + "0123456789ABC.cfgtmp", p));  // a temporary
    EXPECT_FALSE(isConfigCandidate(p + "X.cfg.cfg", p));
    EXPECT_FALSE(isConfigCandidate(p + "0123456789ABC.log", p));
    EXPECT_FALSE(isConfigCandidate("zebconfigV5_qhwnpcodkv_Other_0123456789ABC.cfg", p));
    EXPECT_FALSE(isConfigCandidate("zebconfigV5_qhw.cfg", p));  // shorter than the prefix
    // The prefix's own "_App_" does not hide a ".cfg" that begins inside it.
    EXPECT_FALSE(isConfigCandidate(p, p));

    EXPECT_EQ(configCandidateStamp(p + "0123456789ABC.cfg"), "0123456789ABC");
    EXPECT_EQ(configCandidateStamp(p + "extra_part_STAMP.cfg"), "STAMP");
    EXPECT_EQ(configCandidateStamp(p + ".cfg"), "");
}

}  // namespace
}  // namespace ZEBInternal
