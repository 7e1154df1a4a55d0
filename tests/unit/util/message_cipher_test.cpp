#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "util/Guid.h"
#include "util/MessageCipher.h"
#include "util/Strings.h"

namespace ZEBInternal {
namespace {

// NIST SP 800-38A F.3.7 / F.3.8, CFB8-AES128.
const std::string kNistKey = hexDecode("2b7e151628aed2a6abf7158809cf4f3c");
const std::string kNistIv = hexDecode("000102030405060708090a0b0c0d0e0f");
const std::string kNistPlain = hexDecode("6bc1bee22e409f96e93d7e117393172aae2d");
const std::string kNistCipher = hexDecode("3b79424c9c0dd436bace9e0ed4586a4f32b9");

const uint8_t* bytes(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

std::string text(const uint8_t* p, size_t n) {
    return std::string(reinterpret_cast<const char*>(p), n);
}

TEST(MessageCipher, NistCfb8EncryptAndDecrypt) {
    MessageCipher enc;
    ASSERT_TRUE(enc.setKey(bytes(kNistKey), bytes(kNistIv)));
    std::string out;
    ASSERT_TRUE(enc.encrypt(kNistPlain, out));
    EXPECT_EQ(hexEncode(out), hexEncode(kNistCipher));

    MessageCipher dec;
    ASSERT_TRUE(dec.setKey(bytes(kNistKey), bytes(kNistIv)));
    ASSERT_TRUE(dec.decrypt(kNistCipher, out));
    EXPECT_EQ(hexEncode(out), hexEncode(kNistPlain));
}

TEST(MessageCipher, RegisterCarriesAcrossCalls) {
    // Encrypting in pieces gives the same stream as encrypting at once.
    MessageCipher c;
    ASSERT_TRUE(c.setKey(bytes(kNistKey), bytes(kNistIv)));
    std::string joined, piece;
    const std::pair<size_t, size_t> pieces[] = {{0, 1}, {1, 5}, {6, 12}};
    for (const auto& p : pieces) {
        ASSERT_TRUE(c.encrypt(kNistPlain.substr(p.first, p.second), piece));
        joined += piece;
    }
    EXPECT_EQ(joined, kNistCipher);
    // A second setKey starts afresh.
    ASSERT_TRUE(c.setKey(bytes(kNistKey), bytes(kNistIv)));
    ASSERT_TRUE(c.encrypt(kNistPlain, piece));
    EXPECT_EQ(piece, kNistCipher);
}

TEST(MessageCipher, WithoutKeyNothingIsProduced) {
    MessageCipher c;
    std::string out = "stale";
    EXPECT_FALSE(c.hasKey());
    EXPECT_FALSE(c.encrypt("abc", out));
    EXPECT_TRUE(out.empty());
    ASSERT_TRUE(c.setKey(bytes(kNistKey), bytes(kNistIv)));
    EXPECT_TRUE(c.encrypt("", out)) << "empty input is not a failure";
    EXPECT_TRUE(out.empty());
    c.clear();
    EXPECT_FALSE(c.hasKey());
    EXPECT_FALSE(c.decrypt("abc", out));
}

TEST(MessageCipher, MessageKeyReplacesEveryFourthByteAndMixes) {
    const std::string salt = hexDecode("deadbeef");
    uint8_t m[16];
    MessageCipher::buildMessageKey(bytes(kNistKey), bytes(salt), m);
    // mixing byte 2b^28^ab^09 = a1; bytes 0, 4, 8, 12 are the salt.
    EXPECT_EQ(hexEncode(m, 16), "7FDFB4B70C0F73071F56B4294E6EEE9D");

    // Bytes 0, 4, 8 and 12 of K matter only through the mixing byte.
    std::string k2 = kNistKey;
    k2[0] = static_cast<char>(k2[0] ^ 0x5A);
    k2[4] = static_cast<char>(k2[4] ^ 0x5A);
    uint8_t m2[16];
    MessageCipher::buildMessageKey(bytes(k2), bytes(salt), m2);
    EXPECT_EQ(hexEncode(m2, 16), hexEncode(m, 16));
}

TEST(MessageCipher, TrailerByteOrder) {
    const uint8_t salt[4] = {0xA0, 0xA1, 0xA2, 0xA3};
    uint8_t iv[16];
    for (uint8_t i = 0; i < 16; ++i) iv[i] = i;
    const std::string trailer = MessageCipher::keyTrailer(salt, iv);
    EXPECT_EQ(hexEncode(trailer),
              "A0000102030405"
              "A1A2"
              "060708090A0B0C0D"
              "A3"
              "0E0F");

    uint8_t salt2[4], iv2[16];
    ASSERT_TRUE(MessageCipher::parseTrailer(trailer, salt2, iv2));
    EXPECT_EQ(0, std::memcmp(salt, salt2, 4));
    EXPECT_EQ(0, std::memcmp(iv, iv2, 16));
    EXPECT_FALSE(MessageCipher::parseTrailer(trailer.substr(1), salt2, iv2));
    EXPECT_FALSE(MessageCipher::parseTrailer(trailer + "x", salt2, iv2));
}

TEST(MessageCipher, OneByteBodyGrowsByTheTrailer) {
    MessageCipher c;
    std::string body;
    ASSERT_TRUE(c.encryptWithTrailer(bytes(kNistKey), "x", body));
    EXPECT_EQ(body.size(), 21u);
    ASSERT_TRUE(c.encryptWithTrailer(bytes(kNistKey), "", body));
    EXPECT_EQ(body.size(), 20u);
}

// The exchange as a server holding K sees it: the request is read back with
// the key rebuilt from the trailer, and the response is encrypted from the
// register the request left behind, which the client continues.
TEST(MessageCipher, ServerDecryptsRequestAndClientDecryptsResponse) {
    for (size_t requestLength : {5u, 16u, 300u}) {
        std::string request;
        for (size_t i = 0; i < requestLength; ++i) request += static_cast<char>('A' + i % 26);
        const std::string response = "STATUS:\nOK\n****CONFIG\n";

        MessageCipher client;
        std::string body;
        ASSERT_TRUE(client.encryptWithTrailer(bytes(kNistKey), request, body));
        ASSERT_EQ(body.size(), request.size() + 20);
        const std::string ciphertext = body.substr(0, body.size() - 20);
        EXPECT_NE(ciphertext, request);

        uint8_t m[16], iv[16];
        ASSERT_TRUE(
            MessageCipher::keyFromTrailer(bytes(kNistKey), body.substr(body.size() - 20), m, iv));
        MessageCipher server;
        ASSERT_TRUE(server.setKey(m, iv));
        std::string plain;
        ASSERT_TRUE(server.decrypt(ciphertext, plain));
        EXPECT_EQ(plain, request);

        std::string encryptedResponse;
        ASSERT_TRUE(server.encrypt(response, encryptedResponse));

        // The register after the request is the last 16 bytes of IV||ciphertext.
        const std::string chain = text(iv, 16) + ciphertext;
        MessageCipher fresh;
        ASSERT_TRUE(fresh.setKey(m, bytes(chain.substr(chain.size() - 16))));
        std::string expected;
        ASSERT_TRUE(fresh.encrypt(response, expected));
        EXPECT_EQ(encryptedResponse, expected) << "request length " << requestLength;

        ASSERT_TRUE(client.decrypt(encryptedResponse, plain));
        EXPECT_EQ(plain, response) << "request length " << requestLength;
    }
}

std::string freshMaterial() {
    uint8_t m[16], salt[4], iv[16];
    EXPECT_TRUE(MessageCipher::deriveMessageKey(bytes(kNistKey), m, salt, iv));
    return text(salt, 4) + text(iv, 16);
}

TEST(MessageCipher, KeyMaterialLeavesTheHostRandSequenceAlone) {
    std::srand(1234);
    std::vector<int> expected;
    for (int i = 0; i < 8; ++i) expected.push_back(std::rand());

    std::srand(1234);
    for (int i = 0; i < 20; ++i) {
        freshMaterial();
        MessageCipher c;
        std::string body;
        ASSERT_TRUE(c.encryptWithTrailer(bytes(kNistKey), "payload", body));
        makeGuid();
    }
    std::vector<int> after;
    for (int i = 0; i < 8; ++i) after.push_back(std::rand());
    EXPECT_EQ(after, expected);
}

TEST(MessageCipher, BackToBackDerivationsDiffer) {
    const std::string a = freshMaterial();
    const std::string b = freshMaterial();
    EXPECT_NE(a.substr(0, 4), b.substr(0, 4)) << "salt repeated";
    EXPECT_NE(a.substr(4), b.substr(4)) << "IV repeated";

    std::set<std::string> seen;
    for (int i = 0; i < 5000; ++i)
        ASSERT_TRUE(seen.insert(freshMaterial()).second) << "repeat at " << i;
}

TEST(MessageCipher, ConcurrentDerivationsDiffer) {
    constexpr int kThreads = 4;
    constexpr int kEach = 500;
    std::vector<std::vector<std::string>> results(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&results, t] {
            for (int i = 0; i < kEach; ++i)
                results[static_cast<size_t>(t)].push_back(freshMaterial());
        });
    for (std::thread& th : threads) th.join();
    std::set<std::string> seen;
    for (const auto& r : results) seen.insert(r.begin(), r.end());
    EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kEach));
}

}  // namespace
}  // namespace ZEBInternal
