#include "util/Strings.h"
#include "util/TimeValue.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <random>

#include "support/TempDir.h"

namespace ZEBInternal {
namespace {

TEST(Strings, DecimalTextAndParseInt) {
    EXPECT_EQ(toDecimal(uint32_t{0}), "0");
    EXPECT_EQ(toDecimal(uint32_t{4294967295u}), "4294967295");
    EXPECT_EQ(toDecimal(uint64_t{18446744073709551615u}), "18446744073709551615");

    int32_t v = 0;
    EXPECT_TRUE(parseInt(" \t42abc", v));
    EXPECT_EQ(v, 42);
    EXPECT_TRUE(parseInt("-2147483648", v));
    EXPECT_EQ(v, INT32_MIN);
    EXPECT_TRUE(parseInt("+2147483647", v));
    EXPECT_EQ(v, INT32_MAX);
    v = 7;
    for (const char* bad :
         {"", "   ", "abc", "-", "+x1", "2147483648", "-2147483649", "99999999999999999999"}) {
        EXPECT_FALSE(parseInt(bad, v)) << bad;
        EXPECT_EQ(v, 7) << "failure must leave the output alone: " << bad;
    }
}

// In tr_TR.ISO-8859-9 the C library maps 'i' to 0xDD and 'I' to 0xFD; a host
// that sets such a locale must not change a fingerprint or a file name.
TEST(Strings, CaseIgnoresTheHostLocale) {
    zebtest::TempDir dir;
    const std::string build = "localedef -i tr_TR -f ISO-8859-9 " + dir.file("tr") + " 2>&1";
    if (std::system(build.c_str()) != 0) GTEST_SKIP() << "localedef cannot build tr_TR";
    ::setenv("LOCPATH", dir.path().c_str(), 1);
    ASSERT_NE(std::setlocale(LC_CTYPE, "tr"), nullptr);
    const std::string upper = toUpper("/home/i\xC4\xB1"), lower = toLower("IZ\xDD");
    std::setlocale(LC_CTYPE, "C");
    ::unsetenv("LOCPATH");
    EXPECT_EQ(upper, "/HOME/I\xC4\xB1");
    EXPECT_EQ(lower, "iz\xDD");
}

TEST(Strings, TrimSplitJoin) {
    EXPECT_EQ(trim("\t\r\n a b \n\r"), "a b");
    EXPECT_EQ(trim(" \t\r\n"), "");
    EXPECT_TRUE(hasWhitespace("a\rb"));
    EXPECT_FALSE(hasWhitespace("a-b"));

    const std::vector<std::string> pieces = split(" a , b ,,\tc;d ; ", ",;");
    EXPECT_EQ(pieces, (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_TRUE(split("", ",").empty());
    EXPECT_EQ(join(pieces, "&&"), "a&&b&&c&&d");
    EXPECT_EQ(join({}, "&&"), "");

    EXPECT_TRUE(startsWith("zeblogV5_x", "zeblogV5_"));
    EXPECT_FALSE(startsWith("zeb", "zeblog"));
    EXPECT_FALSE(equals("abc", "ABC"));
    EXPECT_EQ(toUpper("aZ9é"), "AZ9é");
    EXPECT_EQ(toLower("AbC"), "abc");
}

TEST(Strings, ExpandEnvironment) {
    ASSERT_EQ(setenv("ZEBTEST_DIR", "/data", 1), 0);
    unsetenv("ZEBTEST_UNSET");
    EXPECT_EQ(expandEnvironment("$ZEBTEST_DIR/zeb"), "/data/zeb");
    EXPECT_EQ(expandEnvironment("${ZEBTEST_DIR}x/${ZEBTEST_DIR}"), "/datax//data");
    EXPECT_EQ(expandEnvironment("a$ZEBTEST_UNSET/b${ZEBTEST_UNSET}c"), "a/bc");
    // Digits are name characters, so "$5" names an unset variable.
    EXPECT_EQ(expandEnvironment("cost $5 or $"), "cost  or $");
    // Dollar signs that start no name, or an unclosed brace, stay as written.
    EXPECT_EQ(expandEnvironment("$lower ${ZEBTEST_DIR ${} $$"), "$lower ${ZEBTEST_DIR ${} $$");
    EXPECT_EQ(expandEnvironment("no variables here"), "no variables here");
    unsetenv("ZEBTEST_DIR");
}

TEST(Strings, Base32StampsAreFixedWidthAndSortLikeNumbers) {
    EXPECT_EQ(toBase32(0), "0000000000000");
    EXPECT_EQ(toBase32(1), "0000000000001");
    EXPECT_EQ(toBase32(31), "000000000000V");
    EXPECT_EQ(toBase32(32), "0000000000010");
    EXPECT_EQ(toBase32(UINT64_MAX), "FVVVVVVVVVVVV");
    std::mt19937_64 rng(42);
    for (int i = 0; i < 1000; ++i) {
        const uint64_t a = rng() >> (rng() % 64);
        const uint64_t b = rng() >> (rng() % 64);
        ASSERT_EQ(toBase32(a).size(), 13u);
        EXPECT_EQ(a < b, toBase32(a) < toBase32(b)) << a << " " << b;
    }
}

TEST(Strings, HexDecodeRules) {
    EXPECT_EQ(hexDecode(""), "");
    EXPECT_EQ(hexDecode("A"), "") << "fewer than two characters";
    EXPECT_EQ(hexDecode("0a1B"), std::string("\x0a\x1b"));
    EXPECT_EQ(hexDecode("0a1"), std::string("\x0a")) << "final odd character ignored";
    EXPECT_EQ(hexDecode("0aZ11b"), std::string("\x0a")) << "stops at the first bad pair";
    EXPECT_EQ(hexDecode("zz0a"), "");
    EXPECT_EQ(hexDecode("0000"), std::string(2, '\0'));

    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    const std::string hex = hexEncode(all);
    EXPECT_EQ(hex.substr(0, 8), "00010203");
    EXPECT_EQ(hex.substr(hex.size() - 4), "FEFF");
    EXPECT_EQ(hexDecode(hex), all);
    EXPECT_EQ(hexDecode(toLower(hex)), all);
}

TEST(Strings, Utf8LengthAndTruncateOnValidText) {
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";  // a é € 😀 z
    EXPECT_EQ(utf8Length(text), 5u);
    EXPECT_EQ(truncateUtf8(text, 0), "");
    EXPECT_EQ(truncateUtf8(text, 1), "a");
    EXPECT_EQ(truncateUtf8(text, 2), "a\xC3\xA9");
    EXPECT_EQ(truncateUtf8(text, 3), "a\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(truncateUtf8(text, 4), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(truncateUtf8(text, 5), text);
    EXPECT_EQ(truncateUtf8(text, 500), text);
    EXPECT_EQ(truncateUtf8("", 3), "");
}

TEST(Strings, TruncateNeverOverrunsInvalidText) {
    // Lone continuation bytes start no character.
    EXPECT_EQ(utf8Length("\x80\x80\x80"), 0u);
    EXPECT_EQ(truncateUtf8("\x80\x80\x80", 1), "\x80\x80\x80");
    EXPECT_EQ(truncateUtf8("\x80\x80"
                           "ab",
                           1),
              "\x80\x80"
              "a");
    EXPECT_EQ(truncateUtf8("\x80\x80", 0), "");
    // A lead byte at the very end is one (incomplete) character.
    EXPECT_EQ(truncateUtf8("ab\xE2", 2), "ab");
    EXPECT_EQ(truncateUtf8("ab\xE2", 3), "ab\xE2");
    EXPECT_EQ(truncateUtf8("ab\xF0\x9F", 3), "ab\xF0\x9F");
}

// Random byte strings drawn mostly from lead, continuation and ASCII bytes.
TEST(Strings, TruncateProperties) {
    const unsigned char alphabet[] = {'a', 'b', 0x80, 0x9F, 0xBF, 0xC3, 0xE2, 0xF0, 0xFF, 0x00};
    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        std::string s;
        const size_t len = rng() % 24;
        for (size_t i = 0; i < len; ++i) s += static_cast<char>(alphabet[rng() % sizeof alphabet]);
        const size_t chars = utf8Length(s);
        for (size_t n = 0; n <= len + 1; ++n) {
            const std::string r = truncateUtf8(s, n);
            ASSERT_LE(r.size(), s.size());
            ASSERT_EQ(s.compare(0, r.size(), r), 0) << "not a prefix";
            ASSERT_EQ(utf8Length(r), n == 0 ? 0 : std::min(n, chars));
            if (n == 0) {
                ASSERT_TRUE(r.empty());
            }
            // The cut falls before a byte that starts a character, so no
            // sequence is ever split.
            if (n > 0 && r.size() < s.size()) {
                ASSERT_NE(static_cast<unsigned char>(s[r.size()]) & 0xC0, 0x80);
            }
        }
    }
}

}  // namespace
}  // namespace ZEBInternal

namespace {

TEST(EscapeTest, SpecialsGetABackslashAndBackslashesAreDoubled) {
    EXPECT_EQ(ZEBInternal::escapeSpecials("Open$Save", "$"), "Open\\$Save");
    EXPECT_EQ(ZEBInternal::escapeSpecials("a\\b(c,d)&e", "(,)&"), "a\\\\b\\(c\\,d\\)\\&e");
    // Line ends are left alone by the plain form.
    EXPECT_EQ(ZEBInternal::escapeSpecials("a\nb\r", "$"), "a\nb\r");
}

TEST(EscapeTest, LineFeedBecomesBackslashNAndCarriageReturnIsDropped) {
    EXPECT_EQ(ZEBInternal::escape("one\r\ntwo$", "$"), "one\\ntwo\\$");
    EXPECT_EQ(ZEBInternal::escape("a&b", "$(,)&"), "a\\&b");
    EXPECT_EQ(ZEBInternal::escape("", "$"), "");
}

TEST(TimeStamp32Test, ThirteenDigitsThatSortInTime) {
    const std::string first = ZEBInternal::timeStamp32();
    ZEBInternal::timeutil::sleepFor(ZEBInternal::TimeValue{0, 2000});
    const std::string second = ZEBInternal::timeStamp32();
    EXPECT_EQ(first.size(), 13u);
    EXPECT_LT(first, second);
}

}  // namespace
