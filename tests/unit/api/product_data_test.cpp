// The product, custom-property and proxy calls store what the sync reports,
// cut to their limits, and refuse malformed values.

#include <gtest/gtest.h>

#include "api/ZEBSDK.h"
#include "config/Configuration.h"
#include "data/AppData.h"
#include "support/TempDir.h"

namespace ZEBInternal {
namespace {

constexpr const char* kKey = "00112233445566778899AABBCCDDEEFF";

class ProductDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(sdk_.createConfig(dir_.path(), "1234567890", "App", "localhost/req", 1, kKey,
                                    false, false),
                  0);
    }
    zebtest::TempDir dir_;
    ZEBSDK sdk_{0};
};

TEST(ProductDataBeforeConfig, RefusedWithoutConfiguration) {
    ZEBSDK sdk(0);
    EXPECT_EQ(sdk.setProductEdition("Pro"), -200);
    EXPECT_EQ(sdk.setCustomProperty(1, "x"), -200);
    EXPECT_EQ(sdk.setProxy("", 0, "", ""), -200);
}

TEST_F(ProductDataTest, CustomPropertiesAreNumberedFromOneAndLimited) {
    EXPECT_EQ(sdk_.setCustomProperty(0, "x"), -160);
    EXPECT_EQ(sdk_.setCustomProperty(21, "x"), -160);
    EXPECT_EQ(sdk_.setCustomProperty(3, "first"), 0);
    EXPECT_EQ(sdk_.setCustomProperty(3, "second"), 0);
    EXPECT_EQ(sdk_.setCustomProperty(20, std::string(300, 'v')), 0);
    EXPECT_EQ(sdk_.getAppData()->customValues().customSectionText(),
              "C03:second\nC20:" + std::string(256, 'v') + "\n");
}

TEST_F(ProductDataTest, ProductValuesAreCutToTheirLimitAndKeptUncleaned) {
    EXPECT_EQ(sdk_.setProductVersion(std::string(129, '9')), 0);
    EXPECT_EQ(sdk_.setProductEdition(" Pro\t"), 0);
    EXPECT_EQ(sdk_.setProductLanguage(""), 0);
    EXPECT_EQ(sdk_.getAppData()->productInfo().productSectionText(),
              "PRODVERSION:" + std::string(128, '9') + "\nPRODEDITION: Pro\t\nPRODLANGUAGE:\n");
    EXPECT_EQ(sdk_.setProductData("E", "L", "V", "B"), 0);
    EXPECT_EQ(sdk_.getAppData()->productInfo().productSectionText(),
              "PRODVERSION:V\nPRODBUILDNUM:B\nPRODEDITION:E\nPRODLANGUAGE:L\n");
}

TEST_F(ProductDataTest, ProxyValuesComeInPairs) {
    EXPECT_EQ(sdk_.setProxy("proxy", 3128, "user", ""), -190);
    EXPECT_EQ(sdk_.setProxy("proxy", 3128, "", "secret"), -190);
    EXPECT_EQ(sdk_.setProxy("proxy", 0, "", ""), -191);
    EXPECT_EQ(sdk_.setProxy("", 3128, "", ""), -191);
    EXPECT_EQ(sdk_.setProxy("", 0, "", ""), 0);
    EXPECT_EQ(sdk_.setProxy("proxy", 3128, "user", "secret"), 0);
    EXPECT_EQ(sdk_.setProxy("other", 0, "", ""), -191);
    EXPECT_EQ(sdk_.optOut(), 0);
    EXPECT_EQ(sdk_.setProxy("", 0, "", ""), -332);
    EXPECT_EQ(sdk_.setProductEdition("x"), -332);
}

}  // namespace
}  // namespace ZEBInternal
