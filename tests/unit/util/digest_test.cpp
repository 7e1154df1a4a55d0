#include "util/Digest.h"

#include <gtest/gtest.h>
#include <mbedtls/base64.h>

#include <random>

#include "util/Strings.h"

namespace ZEBInternal {
namespace {

const char kAbcHex[] = "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD";
const char kEmptyHex[] = "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855";
const char k448Hex[] = "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1";
const char k448Message[] = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";

TEST(Digest, Sha256KnownAnswers) {
    EXPECT_EQ(sha256Hex("abc"), kAbcHex);
    EXPECT_EQ(sha256Hex(""), kEmptyHex);
    EXPECT_EQ(sha256Hex(k448Message), k448Hex);
    EXPECT_EQ(sha256Raw("abc"), hexDecode(kAbcHex));
    EXPECT_EQ(sha256Raw(""), hexDecode(kEmptyHex));
    EXPECT_EQ(sha256Raw(k448Message), hexDecode(k448Hex));
    EXPECT_EQ(sha256Raw(std::string("a\0c", 3)).size(), 32u);
    EXPECT_NE(sha256Raw(std::string("a\0c", 3)), sha256Raw("a")) << "bytes after a NUL count";
}

TEST(Digest, Sha256Base64) {
    const std::string empty = sha256Base64("");
    EXPECT_EQ(empty, "47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=");
    EXPECT_EQ(empty.size(), 44u);
    EXPECT_EQ(sha256Base64(nullptr, 5), empty) << "no pointer counts as empty";
    EXPECT_EQ(sha256Base64("abc", 3), base64Encode(hexDecode(kAbcHex)));
    EXPECT_EQ(sha256Base64(std::string("abc")), sha256Base64("abc", 3));
}

TEST(Digest, WideDigestHashesFourBytesPerCharacter) {
    const std::string storage("a\0\0\0b\0\0\0\xAC\x20\0\0", 12);  // L"ab€" on little-endian
    EXPECT_EQ(sha256HexWide(L"ab\u20AC"), sha256Hex(storage));
    EXPECT_EQ(sha256HexWide(L""), kEmptyHex);
}

TEST(Digest, Base64KnownAnswers) {
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {"abc", "YWJj"},
        {"ab", "YWI="},
        {"a", "YQ=="},
    };
    for (const auto& v : vectors)
        EXPECT_EQ(base64Encode(std::string(v.first)), v.second) << v.first;
    EXPECT_EQ(base64Encode(nullptr, 3), "");
    EXPECT_EQ(base64Encode(std::string("\xFB\xFF\xBF", 3)), "+/+/")
        << "both extra alphabet characters";
}

// Round trip of random lengths through mbedtls' independent decoder.
TEST(Digest, Base64DecodesBackWithAnIndependentDecoder) {
    std::mt19937 rng(3);
    for (size_t len = 0; len < 200; ++len) {
        std::string bytes(len, '\0');
        for (char& c : bytes) c = static_cast<char>(rng());
        const std::string text = base64Encode(bytes);
        ASSERT_EQ(text.size(), (len + 2) / 3 * 4);
        ASSERT_EQ(text.find_first_of("\r\n"), std::string::npos);
        std::string decoded(len + 3, '\0');
        size_t written = 0;
        ASSERT_EQ(mbedtls_base64_decode(
                      reinterpret_cast<unsigned char*>(&decoded[0]), decoded.size(), &written,
                      reinterpret_cast<const unsigned char*>(text.data()), text.size()),
                  0);
        decoded.resize(written);
        ASSERT_EQ(decoded, bytes) << "length " << len;
    }
}

}  // namespace
}  // namespace ZEBInternal
