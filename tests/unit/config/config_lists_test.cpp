// The pair-list form: escaping, parsing of hostile values, and a property
// test that any text survives a round trip apart from the documented
// transformation of line ends.

#include <gtest/gtest.h>

#include <random>

#include "config/ConfigLists.h"

namespace ZEBInternal {
namespace {

// What an item reads back as: a line feed becomes the letter n, a carriage
// return is dropped.
std::string documentedRoundTrip(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n') {
            out.push_back('n');
        } else if (c != '\r') {
            out.push_back(c);
        }
    }
    return out;
}

FeatureList parse(const std::string& value) {
    FeatureList list;
    parseFeatureList(value, list);
    return list;
}

TEST(ConfigLists, SpecialCharactersAreEscapedAndReadBack) {
    const FeatureList pairs{{"a,b", "x)y"}, {"", "n&&m"}, {"c\\(", "\r\nz"}};
    const std::string text = serializeFeatureList(pairs);
    EXPECT_EQ(text, "(a\\,b,x\\)y)&&(,n\\&\\&m)&&(c\\\\\\(,\\nz)");
    const FeatureList expected{{"a,b", "x)y"}, {"", "n&&m"}, {"c\\(", "nz"}};
    EXPECT_EQ(parse(text), expected);
    EXPECT_EQ(serializeFeatureList({}), "");
}

TEST(ConfigLists, MalformedItemsAreSkippedNotGuessed) {
    EXPECT_TRUE(parse("&&&&&&").empty());
    EXPECT_TRUE(parse("()").empty());
    EXPECT_TRUE(parse("(a,)").empty());      // empty second field
    EXPECT_TRUE(parse("a,b)").empty());      // no opening parenthesis
    EXPECT_TRUE(parse("(a,b").empty());      // no closing parenthesis
    EXPECT_TRUE(parse("(\\\\\\)").empty());  // escapes to the very end
    // A backslash before the final ")" ends the walk with what it has.
    EXPECT_EQ(parse("(a,b\\)"), (FeatureList{{"a", "b"}}));
    // Later commas belong to the second field; text after ")" is ignored.
    EXPECT_EQ(parse("(a,b,c)"), (FeatureList{{"a", "b,c"}}));
    EXPECT_EQ(parse("(a,b)c)"), (FeatureList{{"a", "b"}}));
    // A third "&" starts the next piece, which then lacks its "(".
    EXPECT_EQ(parse("(a,b)&&&(c,d)&&(e,f)"), (FeatureList{{"a", "b"}, {"e", "f"}}));
    // Carriage returns are never written, so they are not read either: a
    // pair of nothing else would be written back as no pair at all.
    EXPECT_TRUE(parse("(a,\r\\\r)").empty());
    EXPECT_EQ(parse("(a\r,b\\\rc)"), (FeatureList{{"a", "bc"}}));
}

TEST(ConfigLists, AnyTextRoundTripsAsDocumented) {
    std::mt19937 rng(20240611);
    const std::string specials = "\\(,)&\r\n";
    auto randomText = [&]() {
        std::string s(rng() % 24, '\0');
        for (char& c : s) {
            // Half the characters from the special set, the rest any byte.
            c = rng() % 2 ? specials[rng() % specials.size()] : static_cast<char>(rng() % 256);
        }
        return s;
    };
    for (int round = 0; round < 500; ++round) {
        FeatureList pairs(rng() % 6);
        for (auto& p : pairs) p = {randomText(), randomText()};
        const std::string text = serializeFeatureList(pairs);
        ASSERT_EQ(text.find('\n'), std::string::npos);
        ASSERT_EQ(text.find('\r'), std::string::npos);

        FeatureList expected;
        for (const auto& p : pairs) {
            FeaturePair t{documentedRoundTrip(p.first), documentedRoundTrip(p.second)};
            if (!t.second.empty()) expected.push_back(t);
        }
        ASSERT_EQ(parse(text), expected) << "list text: " << text;
    }
}

}  // namespace
}  // namespace ZEBInternal
