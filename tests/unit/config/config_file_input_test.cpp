// Damaged and hostile configuration files: each loads as "no valid file"
// with the defaults in place, never a crash and never a partial apply.

#include <gtest/gtest.h>

#include <random>

#include "ConfigTestSupport.h"

namespace ZEBInternal {
namespace {

using zebtest::ConfigDir;

// Loads the one file holding text; returns whether it loaded and checks
// that a refusal leaves every value at its default.
bool loadsText(const std::string& text, bool checkSignature = true) {
    ConfigDir d;
    d.settings.USECONFIGSIGNATURE = checkSignature ? 1 : 0;
    d.put(zebtest::stampAt(-1), text);
    ConfigFile cfg(&d.settings, d.dir.path(), zebtest::kProductID, zebtest::kAppName);
    const bool loaded = cfg.load();
    if (!loaded) {
        ConfigFile defaults(&d.settings, "/nonexistent", zebtest::kProductID, zebtest::kAppName);
        EXPECT_EQ(cfg.getFileState(), ConfigFile::kStateNoValidFile);
        EXPECT_EQ(cfg.serializeBody(), defaults.serializeBody());
        EXPECT_EQ(cfg.getSignature(), "");
        EXPECT_EQ(cfg.getNameSuffix(), "");
    }
    return loaded;
}

std::string withoutLine(const std::string& text, const std::string& key) {
    const size_t at = text.find("\n" + key);
    const size_t end = text.find('\n', at + 1);
    return text.substr(0, at) + text.substr(end);
}

std::string replaceLine(const std::string& text, const std::string& key, const std::string& line) {
    const size_t at = text.find("\n" + key);
    const size_t end = text.find('\n', at + 1);
    return text.substr(0, at + 1) + line + text.substr(end);
}

TEST(ConfigFileInput, IncompleteOrMalformedFilesApplyNothing) {
    ConfigValues v = zebtest::registered("CID");
    v.configVersion = "5";
    v.featureList = {{"a", "b"}};
    const std::string good = zebtest::signedText(v);
    ASSERT_TRUE(loadsText(good));

    EXPECT_FALSE(loadsText(""));
    EXPECT_FALSE(loadsText("\n\n\n"));
    EXPECT_FALSE(loadsText(good.substr(0, good.size() / 2)));  // truncated
    // Checked without the signature, so that only the format rejects them.
    EXPECT_FALSE(loadsText(withoutLine(good, "FTLIST:"), false));
    EXPECT_FALSE(loadsText(withoutLine(good, "BACKOFF:"), false));
    EXPECT_FALSE(loadsText(good.substr(good.find('\n') + 1), false));  // no SIGNATURE line
    EXPECT_FALSE(loadsText(replaceLine(good, "ETFLAG:", "ETFLAG:many"), false));
    EXPECT_FALSE(loadsText(replaceLine(good, "OPTOUT:", "OPTOUT:"), false));
    EXPECT_FALSE(loadsText(replaceLine(good, "FEATLISTLIMIT:", "FEATLISTLIMIT:99999999999"),
                           false));
    // Carriage-return line ends corrupt the signature line's value.
    std::string crlf;
    for (const char c : good) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_FALSE(loadsText(crlf));
}

TEST(ConfigFileInput, LenientFormsStillLoadWithoutTheSignature) {
    ConfigValues v = zebtest::registered("CID");
    const std::string good = zebtest::signedText(v);
    // Stream-extraction numbers, keys in another order, duplicate keys (the
    // first wins), unbalanced escapes in the lists.
    std::string text = replaceLine(good, "FEATLISTLIMIT:", "FEATLISTLIMIT: +12abc");
    text = replaceLine(text, "FTWHITELIST:", "FTWHITELIST:(a\\&&(\\,\\)&&(x,y\\)&&((,)&&\\");
    text = replaceLine(text, "FTLIST:", "FTLIST:(p,q)\nFTLIST:(r,s)\nCLIENTID:second");
    ConfigDir d;
    d.settings.USECONFIGSIGNATURE = 0;
    d.put(zebtest::stampAt(-1), "\n\nOPTOUT:1\n" + text);
    ConfigFile cfg(&d.settings, d.dir.path(), zebtest::kProductID, zebtest::kAppName);
    ASSERT_TRUE(cfg.load());
    EXPECT_EQ(cfg.getFeatureListLimit(), 12u);
    EXPECT_TRUE(cfg.isOptedOut());
    EXPECT_EQ(cfg.getClientID(), "CID");
    EXPECT_EQ(cfg.getFeatureList(), (FeatureList{{"p", "q"}}));
    EXPECT_EQ(cfg.getFeatureWhitelist(), (FeatureList{{"x", "y"}}));
}

TEST(ConfigFileInput, BinaryAndHugeFilesAreRefusedSafely) {
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        std::string noise(rng() % 4096, '\0');
        for (char& c : noise) c = static_cast<char>(rng());
        EXPECT_FALSE(loadsText(noise));
    }
    // Valid keys with binary values and NUL bytes.
    EXPECT_FALSE(loadsText(std::string("SIGNATURE:\0\xff\n", 14) +
                           ZEBInternal::serializeConfigBody(zebtest::registered("\x01\x02"))));

    // A 50 MB line is refused by its size, before it is read.
    std::string huge = zebtest::signedText(zebtest::registered("CID"));
    huge += "X" + std::string(50u * 1024 * 1024, 'A') + "\n";
    EXPECT_FALSE(loadsText(huge));

    // Just below the limit, a long line is read and merely ignored.
    std::string big = zebtest::signedText(zebtest::registered("CID"));
    big += "X" + std::string(ConfigFile::kMaxFileBytes - big.size() - 2, 'A') + "\n";
    ASSERT_EQ(big.size(), ConfigFile::kMaxFileBytes);
    EXPECT_TRUE(loadsText(big));
}

}  // namespace
}  // namespace ZEBInternal
