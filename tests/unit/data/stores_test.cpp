#include <gtest/gtest.h>

#include "data/AppCustomValue.h"
#include "data/AppProductInfo.h"
#include "data/SectionText.h"

namespace ZEBInternal {
namespace {

TEST(AppCustomValue, KeysOrderAndReplacement) {
    AppCustomValue store;
    EXPECT_EQ(store.customSectionText(), "") << "nothing set";
    EXPECT_TRUE(store.setValue(2, "third"));
    EXPECT_EQ(store.customSectionText(), "C03:third\n") << "unset properties 1 and 2 give nothing";
    EXPECT_TRUE(store.setValue(2, "again"));
    EXPECT_TRUE(store.setValue(19, "twenty"));
    EXPECT_TRUE(store.setValue(11, ""));
    EXPECT_TRUE(store.setValue(0, "first"));
    EXPECT_EQ(store.customSectionText(), "C01:first\nC03:again\nC12:\nC20:twenty\n");
}

TEST(AppCustomValue, HostTextCannotForgeLinesOrAllocateWithoutBound) {
    AppCustomValue store;
    EXPECT_TRUE(store.setValue(0, "a\nCLIENTID:forged\r\n"));
    EXPECT_EQ(store.customSectionText(), "C01:a CLIENTID:forged  \n");
    EXPECT_FALSE(store.setValue(AppCustomValue::kMaxPositions, "x"));
    EXPECT_FALSE(store.setValue(UINT32_MAX, "x"));
    EXPECT_EQ(store.customSectionText(), "C01:a CLIENTID:forged  \n");
    EXPECT_TRUE(store.setValue(99, "hundred"));
    EXPECT_NE(store.customSectionText().find("C100:hundred\n"), std::string::npos);
}

TEST(AppProductInfo, SectionOrderAndSetValues) {
    AppProductInfo store;
    EXPECT_EQ(store.productSectionText(), "");
    store.setLanguage("de");
    store.setEdition("Pro");
    EXPECT_EQ(store.productSectionText(), "PRODEDITION:Pro\nPRODLANGUAGE:de\n");
    store.setProductData("", "en", "5.6", "1234");
    EXPECT_EQ(store.productSectionText(),
              "PRODVERSION:5.6\nPRODBUILDNUM:1234\nPRODEDITION:\nPRODLANGUAGE:en\n");
    store.setVersion("5.7");
    store.setBuildNumber("1300");
    const ProductData data = store.getProductData();
    ASSERT_TRUE(data.edition && data.language && data.version && data.buildNumber);
    EXPECT_EQ(*data.edition, "") << "set to empty is still set";
    EXPECT_EQ(*data.version, "5.7");
    EXPECT_EQ(*data.buildNumber, "1300");
    EXPECT_FALSE(AppProductInfo().getProductData().version.has_value());
}

TEST(SectionText, LinesSectionsAndLists) {
    std::string out;
    appendSectionLine(out, "KEY:", "v");
    appendSectionLine(out, "OTHER", "");
    EXPECT_EQ(out, "KEY:v\nOTHER:\n") << "a key ending in a colon gets no second one";
    appendSection(out, "EMPTY", "");
    EXPECT_EQ(out, "KEY:v\nOTHER:\n");
    appendSection(out, "NAME", "A:1\n");
    EXPECT_EQ(out, "KEY:v\nOTHER:\n****NAME\nA:1\n");

    EXPECT_EQ(stringList({"4.8", "a&b", "c\\d"}), "4.8&&a\\&b&&c\\\\d");
    EXPECT_EQ(pairList({{"10de", "1c82"}, {"(a,b)", "x&y"}}), "(10de,1c82)&&(\\(a\\,b\\),x\\&y)");
    EXPECT_EQ(tripleList({{"1920", "1080", "32"}, {"2560", "1440", "32"}}),
              "(1920,1080,32)&&(2560,1440,32)");
    EXPECT_EQ(stringList({}), "");
}

}  // namespace
}  // namespace ZEBInternal
