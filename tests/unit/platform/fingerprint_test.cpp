// The fingerprint recipes on known inputs. The expected values were made
// outside the library (SHA-256 and Base64 of the inputs written beside
// them) or, where the input is a temporary path, composed here from
// mbedtls and a Base64 encoder of the test's own.

#include "platform/Fingerprint.h"

#include <gtest/gtest.h>
#include <mbedtls/sha256.h>

#include <atomic>
#include <cstdlib>
#include <memory>

#include "FakeMachine.h"
#include "config/RuntimeSettings.h"
#include "platform/FingerprintRecipes.h"

namespace ZEBInternal {
namespace {

const std::vector<std::string> kTwoAdapters{"00:1C:42:00:00:01", "3C:97:0E:11:22:33"};

std::string testBase64(const std::string& in) {
    static const char* const kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        const unsigned v =
            (unsigned char)in[i] << 16 | (unsigned char)in[i + 1] << 8 | (unsigned char)in[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6) out += kAlphabet[(v >> shift) & 63];
    }
    if (i + 1 == in.size()) {
        const unsigned v = (unsigned char)in[i] << 16;
        out += std::string{kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], '=', '='};
    } else if (i + 2 == in.size()) {
        const unsigned v = (unsigned char)in[i] << 16 | (unsigned char)in[i + 1] << 8;
        out += std::string{kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63],
                           '='};
    }
    return out;
}

std::string testSha256(const std::string& in) {
    unsigned char digest[32];
    EXPECT_EQ(
        mbedtls_sha256_ret(reinterpret_cast<const unsigned char*>(in.data()), in.size(), digest, 0),
        0);
    return std::string(reinterpret_cast<char*>(digest), 32);
}

TEST(FingerprintRecipes, TwoAdaptersOneVirtual) {
    // V5: the Parallels adapter is skipped; sha256Base64("3C:97:0E:11:22:33" "/").
    EXPECT_EQ(v5Fingerprint(kTwoAdapters, "/"), "ZXvWgqvYCeXO9+Roa1wTP1y5xxPhsnuA7XBqY4P3Mbc=");
    // V4: every second character of Base64(SHA-256(Base64("00:1C:42:00:00:01&3C:97:0E:11:22:33")))
    // and of Base64(SHA-256(Base64("/"))).
    EXPECT_EQ(v4Fingerprint(kTwoAdapters, "/"), "p5xCowVRp2GkZLlljpOFKUFROdAwYMa72ZYRAnDMtekA");
    // V3: first 22 of sha256Base64("00:1C:42:00:00:01&3C:97:0E:11:22:33"), last 22 of
    // sha256Base64("1234567890/") without its "=".
    EXPECT_EQ(v3Fingerprint(kTwoAdapters, "1234567890", "/"),
              "ZVjHOynABFDbK1Ki2Bnz57C9pDrNV75WG877ZHlxZyMI");
}

TEST(FingerprintRecipes, NoAdaptersAndLocallyAdministered) {
    // sha256Base64("/"); V4 and V3 over empty joins are still 44 characters.
    EXPECT_EQ(v5Fingerprint({}, "/"), "il7asoJjJEMhngUeSt4tHVu8Zxx4EFG/FDeJfL3+oPE=");
    EXPECT_EQ(v4Fingerprint({}, "/"), "4DQjHS+Tm+JeQRmNpWGhuUFROdAwYMa72ZYRAnDMtekA");
    EXPECT_EQ(v3Fingerprint({}, "1234567890", "/"), "47DEQpj8HBSa+/TImW+5JCC9pDrNV75WG877ZHlxZyMI");
    const std::vector<std::string> local{"02:00:00:00:00:01"};
    EXPECT_EQ(v5Fingerprint(local, "/"), "il7asoJjJEMhngUeSt4tHVu8Zxx4EFG/FDeJfL3+oPE=")
        << "second character 2: never selected";
    EXPECT_EQ(v4Fingerprint(local, "/"), "6xg44AQrVArM/cw8UOjNQYFROdAwYMa72ZYRAnDMtekA");
    EXPECT_EQ(v3Fingerprint(local, "1234567890", "/"),
              "wnwC8pe3pjS3ssXCFOgHyYC9pDrNV75WG877ZHlxZyMI");
}

TEST(FingerprintRecipes, AddressSelection) {
    EXPECT_EQ(selectV5Address({"F0:00:00:00:00:01", "3C:97:0E:11:22:33", "0C:00:00:00:00:01"}),
              "0C:00:00:00:00:01")
        << "smallest in byte order";
    EXPECT_EQ(selectV5Address({"00:50:56:AA:BB:CC", "08:00:27:12:34:56", "B0:C4:20:00:00:01"}), "")
        << "virtual adapters only";
    EXPECT_EQ(selectV5Address({"00:A0:C6:12:34:56", "10:00:00:12:34:56", "00:FF:01:02:03:04",
                               "44:45:53:54:42:00", "48:45:53:54:42:00"}),
              "48:45:53:54:42:00")
        << "excluded prefixes and addresses";
    EXPECT_EQ(selectV5Address({"01:00:5E:00:00:01", "0E:00:00:00:00:01", ""}), "")
        << "multicast and locally administered";
}

TEST(FingerprintRecipes, MachineIdHashes) {
    // Lower-case hex SHA-256 over the UTF-32LE bytes of the text.
    EXPECT_EQ(wideSourceHash("3d1219c7c4c5404aaa1f6d2a48adfda4"),
              "c7b416f6a2e2596e2c9a61ee0b8c30f3a43ebf45479150f8880d03df7dff41bf");
    // From the tenth character of the line, line feed included:
    // sha256Hex("123456789abcdef\n").
    EXPECT_EQ(containerIdHash("/docker/0123456789abcdef\n"),
              "7dc414e4d5e31da35afc3ba8068d2e83eb76f0483644b5f517fef4dcd7ed5227");
    EXPECT_EQ(containerIdHash("/docker/"), "") << "no ID after the marker";
    EXPECT_EQ(containerIdHash("/docker/\n"), "");
    EXPECT_EQ(containerIdHash("/user.slice\n"), "");
}

TEST(FingerprintRecipes, MachineIdSources) {
    zebtest::FakeMachine m;
    EXPECT_EQ(machineIdHash(m.env()), "") << "nothing to go on";
    m.file("/proc/1/cpuset", "/docker/0123456789abcdef\n");
    EXPECT_EQ(machineIdHash(m.env()),
              "7dc414e4d5e31da35afc3ba8068d2e83eb76f0483644b5f517fef4dcd7ed5227");
    m.file("/etc/machine-id", "3d1219c7c4c5404aaa1f6d2a48adfda4\n");
    m.link("/dev/disk/by-uuid/6f2a1c3e-0b1d-4c5e-9a7b-1234567890ab", "../../nvme0n1p2");
    m.link("/dev/root", "nvme0n1p1");
    EXPECT_EQ(machineIdHash(m.env()),
              "c7b416f6a2e2596e2c9a61ee0b8c30f3a43ebf45479150f8880d03df7dff41bf")
        << "no by-uuid entry for the root disk: the machine ID";
    m.link("/dev/disk/by-uuid/0000-sda", "../../sda1");
    EXPECT_EQ(machineIdHash(m.env()), wideSourceHash("0000-sda"));
    zebtest::FakeMachine uuid;
    uuid.link("/dev/disk/by-uuid/6f2a1c3e-0b1d-4c5e-9a7b-1234567890ab", "../../nvme0n1p2");
    EXPECT_EQ(machineIdHash(uuid.env()),
              "dfb153363401a1f48c3308a131414d74a1dd52fb7b153a6002938f13c9fa5f41");
}

TEST(Fingerprint, SectionTextAndRecomputation) {
    zebtest::FakeMachine m;
    m.macs = kTwoAdapters;
    m.file("/etc/machine-id", "3d1219c7c4c5404aaa1f6d2a48adfda4\n");
    auto listings = std::make_shared<std::atomic<int>>(0);
    ProbeEnvironment env = m.env();
    env.listMacAddresses = [listings] {
        ++*listings;
        return kTwoAdapters;
    };
    RuntimeSettings settings;
    Fingerprint store(&settings, env);
    EXPECT_EQ(store.sectionText(), "V5FINGERPRINT:\nV4FINGERPRINT:\nV3FINGERPRINT:\nMACHINEID:\n");
    EXPECT_EQ(*listings, 0) << "nothing computed before the inputs are known";

    store.setInputs("/", "1234567890");
    const std::string expected =
        "V5FINGERPRINT:ZXvWgqvYCeXO9+Roa1wTP1y5xxPhsnuA7XBqY4P3Mbc=\n"
        "V4FINGERPRINT:p5xCowVRp2GkZLlljpOFKUFROdAwYMa72ZYRAnDMtekA\n"
        "V3FINGERPRINT:ZVjHOynABFDbK1Ki2Bnz57C9pDrNV75WG877ZHlxZyMI\n"
        "MACHINEID:c7b416f6a2e2596e2c9a61ee0b8c30f3a43ebf45479150f8880d03df7dff41bf\n";
    EXPECT_EQ(store.sectionText(), expected);
    EXPECT_EQ(store.sectionText(), expected);
    EXPECT_EQ(*listings, 1) << "within FINGERPRINTREREADSEC nothing is probed again";

    settings.FINGERPRINTREREADSEC = 0;
    EXPECT_EQ(store.sectionText(), expected);
    EXPECT_EQ(*listings, 2) << "an expired value is recomputed";
}

// V5 expands environment variables in the path and upper-cases it; V4 and
// V3 resolve the path as given, so an unexpanded variable resolves to "".
TEST(Fingerprint, PathsWithEnvironmentVariables) {
    zebtest::FakeMachine m;
    m.mkdirs("/data");
    ASSERT_EQ(setenv("ZEBTEST_ROOT", m.root().c_str(), 1), 0);
    RuntimeSettings settings;
    Fingerprint store(&settings, m.env());
    store.setInputs("${ZEBTEST_ROOT}/data", "1234567890");
    unsetenv("ZEBTEST_ROOT");

    char resolved[4096];
    ASSERT_NE(realpath(m.path("/data").c_str(), resolved), nullptr);
    std::string upper = resolved;
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    const std::string v5 = testBase64(testSha256(upper));
    const std::string x1 = testBase64(testSha256(testBase64("")));
    const std::string x2 = testBase64(testSha256(testBase64("")));
    std::string v4;
    for (size_t i = 0; i < 44; i += 2) v4 += x1[i];
    for (size_t i = 0; i < 44; i += 2) v4 += x2[i];
    const std::string h1 = testBase64(testSha256(""));
    const std::string h2 = testBase64(testSha256("1234567890")).substr(0, 43);
    const std::string v3 = h1.substr(0, 22) + h2.substr(21);
    EXPECT_EQ(store.sectionText(), "V5FINGERPRINT:" + v5 + "\nV4FINGERPRINT:" + v4 +
                                       "\nV3FINGERPRINT:" + v3 + "\nMACHINEID:\n");
}

}  // namespace
}  // namespace ZEBInternal
