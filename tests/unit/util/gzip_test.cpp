#include "util/Gzip.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

namespace ZEBInternal {
namespace {

// Inflates one gzip member with zlib directly; fails the test unless the
// member ends exactly at the end of the data.
std::string gunzip(const std::string& member) {
    z_stream zs{};
    EXPECT_EQ(inflateInit2(&zs, 31), Z_OK);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(member.data()));
    zs.avail_in = static_cast<uInt>(member.size());
    std::string out;
    char buf[65536];
    int rc = Z_OK;
    while (rc == Z_OK) {
        zs.next_out = reinterpret_cast<Bytef*>(buf);
        zs.avail_out = sizeof buf;
        rc = inflate(&zs, Z_NO_FLUSH);
        out.append(buf, sizeof buf - zs.avail_out);
    }
    EXPECT_EQ(rc, Z_STREAM_END);
    EXPECT_EQ(zs.avail_in, 0u) << "bytes after the gzip member";
    inflateEnd(&zs);
    return out;
}

uint32_t readLe32(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<size_t>(i)]);
    return v;
}

void expectCompleteMember(const std::string& input) {
    const std::string gz = gzipCompress(input);
    ASSERT_GE(gz.size(), 18u) << "header and trailer at least";
    EXPECT_EQ(static_cast<unsigned char>(gz[0]), 0x1Fu);
    EXPECT_EQ(static_cast<unsigned char>(gz[1]), 0x8Bu);
    EXPECT_EQ(static_cast<unsigned char>(gz[2]), 0x08u);
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(input.data()),
                            static_cast<uInt>(input.size()));
    EXPECT_EQ(readLe32(gz, gz.size() - 8), static_cast<uint32_t>(crc));
    EXPECT_EQ(readLe32(gz, gz.size() - 4), static_cast<uint32_t>(input.size()));
    EXPECT_EQ(gunzip(gz), input);
}

TEST(Gzip, EmptyInputIsACompleteMember) {
    const std::string gz = gzipCompress("");
    EXPECT_FALSE(gz.empty());
    expectCompleteMember("");
}

TEST(Gzip, SmallAndCompressibleInputs) {
    expectCompleteMember("x");
    std::string log;
    for (int i = 0; i < 20000; ++i)
        log += "2026-12-08T19:04:05$1F2E3D$0021$Menu$Open item " + std::to_string(i % 97) + "\n";
    expectCompleteMember(log);
    EXPECT_LT(gzipCompress(log).size(), log.size() / 5) << "log text should compress well";
}

TEST(Gzip, LargeRandomInputRoundTrips) {
    std::mt19937 rng(11);
    std::string data(3 * 1024 * 1024 + 17, '\0');
    for (char& c : data) c = static_cast<char>(rng());
    expectCompleteMember(data);
}

}  // namespace
}  // namespace ZEBInternal
