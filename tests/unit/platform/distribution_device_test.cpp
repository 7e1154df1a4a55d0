#include <gtest/gtest.h>

#include <algorithm>

#include "FakeMachine.h"
#include "platform/DeviceProbes.h"
#include "platform/DistributionProbe.h"

namespace ZEBInternal {
namespace {

// As lsb_release -a reports it from os-release: /etc before /usr/lib, the ID
// capitalised or replaced by a NAME equal but for case, values unquoted as
// a shell would.
TEST(Distribution, FromOsReleaseAsLsbReleaseGivesIt) {
    zebtest::FakeMachine m;
    m.file("/usr/lib/os-release",
           "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n"
           "VERSION_ID=\"12\"\nID=debian\n");
    m.file("/etc/redhat-release", "CentOS release 6.5 (Final)\n");
    Distribution d = probeDistribution(m.env());
    EXPECT_EQ(d.id, "Debian");
    EXPECT_EQ(d.description, "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(d.release, "12");
    m.file("/etc/os-release", "# x\nID=opensuse-leap\nNAME='openSUSE-Leap'\n"
                              "PRETTY_NAME=\"Leap \\\"15\\\" \\$x\"\n");
    d = probeDistribution(m.env());
    EXPECT_EQ(d.id, "openSUSE-Leap");
    EXPECT_EQ(d.description, "Leap \"15\" $x");
    EXPECT_EQ(d.release, "n/a");
}

// Without os-release, the release file of /etc describes the system; other
// "-release" files, lsb-release among them, are passed over.
TEST(Distribution, RedhatReleaseFallBack) {
    zebtest::FakeMachine m;
    m.file("/etc/lsb-release", "DISTRIB_ID=Ubuntu\n");
    m.file("/etc/system-release", "Other 9.9\n");
    m.file("/etc/redhat-release", "CentOS release 6.5 (Final)\n");
    const Distribution d = probeDistribution(m.env());
    EXPECT_EQ(d.description, "CentOS release 6.5 (Final)")
        << "the content, without the line feed that would break the report line";
    EXPECT_EQ(d.id, "CentOS");
    EXPECT_EQ(d.release, "6.5");
}

TEST(Distribution, PartialAndMissingInformation) {
    zebtest::FakeMachine debian;
    debian.file("/etc/debian_version", "12.11\n");
    Distribution d = probeDistribution(debian.env());
    EXPECT_EQ(d.description, "12.11");
    EXPECT_EQ(d.id, "ERROR") << "a description without a blank gives no ID";
    EXPECT_EQ(d.release, "12.11");

    zebtest::FakeMachine lsbWithoutId;
    d = distributionFrom("Description:\tArch Linux rolling\n", lsbWithoutId.env());
    EXPECT_EQ(d.id, "Arch");
    EXPECT_EQ(d.release, "ERROR") << "no version-like word";

    zebtest::FakeMachine bare;
    d = probeDistribution(bare.env());
    EXPECT_EQ(d.id, "ERROR");
    EXPECT_EQ(d.release, "ERROR");
    EXPECT_EQ(d.description, "ERROR");
}

TEST(Distribution, VersionLikeWords) {
    for (const char* yes : {"6.5", "6.5.1", "10.04", "6.", ".5", "."})
        EXPECT_TRUE(isVersionLike(yes)) << yes;
    for (const char* no : {"6", "v6.5", "6.x", "6a.5", "(6.5)", ""})
        EXPECT_FALSE(isVersionLike(no)) << no;
}

TEST(TouchScreen, UsbDeviceLines) {
    EXPECT_TRUE(isTouchScreenLine("P:  Vendor=056a ProdID=00f6 Rev= 1.00"));
    EXPECT_FALSE(isTouchScreenLine("P:  Vendor=1234 ProdID=00f6 Rev= 1.00"));
    EXPECT_TRUE(isTouchScreenLine("P:  Vendor=04e7 ProdID=9999 Rev= 1.00")) << "an ALL vendor";
    EXPECT_TRUE(isTouchScreenLine("P:  Vendor=0457 ProdID=10e1"))
        << "product at the end of the line";
    EXPECT_FALSE(isTouchScreenLine("P:  Vendor=056a ProdID=0001 Rev= 1.00")) << "unknown product";
    EXPECT_FALSE(isTouchScreenLine("P: Vendor=056a ProdID=00f6 Rev= 1.00")) << "one blank";
    EXPECT_FALSE(isTouchScreenLine("P:  Vendor=056a ProdID=")) << "ProdID= at the end";
    EXPECT_FALSE(isTouchScreenLine("P:  Vendor=056a")) << "no blank after the vendor";
    // Malformed or partial IDs must not match every entry of the table.
    EXPECT_FALSE(isTouchScreenLine("P:  Vendor= ProdID= Rev= 1.00"));
    EXPECT_FALSE(isTouchScreenLine("P:  Vendor=56 ProdID=f6 Rev= 1.00"));
    EXPECT_FALSE(isTouchScreenLine("P:  Vendor=3001 ProdID=3001 Rev= 1.00"));
}

TEST(TouchScreen, DevicesFile) {
    zebtest::FakeMachine m;
    EXPECT_EQ(touchScreenExists(m.env()), "FALSE") << "no file";
    m.file("/proc/bus/usb/devices",
           "T:  Bus=01 Lev=00 Prnt=00 Port=00 Cnt=00 Dev#=  1 Spd=480 MxCh= 6\n"
           "P:  Vendor=1d6b ProdID=0002 Rev= 4.19\n"
           "S:  Product=Vendor=056a ProdID=00f6 \n"
           "P:  Vendor=056a ProdID=00f6 Rev= 1.00\n");
    EXPECT_EQ(touchScreenExists(m.env()), "TRUE");
    m.file("/proc/bus/usb/devices", "P:  Vendor=1d6b ProdID=0002 Rev= 4.19\n");
    EXPECT_EQ(touchScreenExists(m.env()), "FALSE");
}

TEST(Gpus, DisplayClassDevicesOnly) {
    zebtest::FakeMachine m;
    EXPECT_TRUE(gpus(m.env()).empty());
    const auto device = [&](const std::string& slot, const char* cls, const char* vendor,
                            const char* model) {
        m.file("/sys/bus/pci/devices/" + slot + "/class", cls);
        m.file("/sys/bus/pci/devices/" + slot + "/vendor", vendor);
        m.file("/sys/bus/pci/devices/" + slot + "/device", model);
    };
    device("0000:00:1f.3", "0x040300\n", "0x8086\n", "0xa348\n");
    EXPECT_TRUE(gpus(m.env()).empty()) << "audio is not display";
    device("0000:00:02.0", "0x030000\n", "0x8086\n", "0x1912\n");
    device("0000:01:00.0", "0x030200\n", "0x10de\n", "0x1c82\n");
    device("0000:02:00.0", "0x038000\n", "0x1\n", "0x1c82\n");
    std::vector<GpuPair> found = gpus(m.env());
    std::sort(found.begin(), found.end());
    const std::vector<GpuPair> expected{{"10de", "1c82"}, {"8086", "1912"}};
    EXPECT_EQ(found, expected) << "a short vendor file drops its device";
}

}  // namespace
}  // namespace ZEBInternal
