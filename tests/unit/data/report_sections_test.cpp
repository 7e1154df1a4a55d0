#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "config/RuntimeSettings.h"
#include "data/AppData.h"
#include "data/ReportSections.h"
#include "data/SystemInfo.h"
#include "unit/platform/FakeMachine.h"

namespace ZEBInternal {
namespace {

const char kLsbCommand[] = "longBits";  // asked once per collection

// A laptop-like machine: processor, distribution, two display adapters.
void describe(zebtest::FakeMachine& m) {
    m.file("/proc/cpuinfo", "model name\t: Test CPU\ncpu cores\t: 4\n");
    m.longBits = 64;
    m.file("/etc/os-release", "ID=debian\nPRETTY_NAME=\"Debian GNU/Linux 12\"\nVERSION_ID=12\n");
    m.lang = "de_AT.UTF-8";
    m.secondsWestOfUtc = -3600;
    m.file("/etc/machine-id", "3d1219c7c4c5404aaa1f6d2a48adfda4\n");
    m.macs = {"3C:97:0E:11:22:33"};
    for (const char* slot : {"0000:00:02.0", "0000:01:00.0"}) {
        const std::string dir = std::string("/sys/bus/pci/devices/") + slot;
        m.file(dir + "/class", "0x030000\n");
        m.file(dir + "/vendor", slot[6] == '0' ? "0x8086\n" : "0x10de\n");
        m.file(dir + "/device", slot[6] == '0' ? "0x1912\n" : "0x1c82\n");
    }
}

int count(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

TEST(ReportSections, NormalClientInOrder) {
    zebtest::FakeMachine m;
    describe(m);
    RuntimeSettings settings;
    AppData data(&settings, m.env());
    data.productInfo().setProductData("Pro", "en", "5.6", "77");
    data.customValues().setValue(0, "blue");
    data.fingerprint().setInputs("/", "1234567890");

    const std::string block = reportSections(data, true, false);
    const std::string prodinfo =
        "****PRODINFO\nPRODVERSION:5.6\nPRODBUILDNUM:77\nPRODEDITION:Pro\nPRODLANGUAGE:en\n****"
        "SYSINFO\nLASTUPDATE:";
    EXPECT_EQ(block.compare(0, prodinfo.size(), prodinfo), 0) << block;
    const std::string sysinfoBody =
        "\nCORECOUNT:4\nCPU:Test CPU\nOSWORDLENGTH:64\nOSLANGUAGE:DE\nOSLOCALE:AT\nOSID:Debian\n"
        "OSRELEASE:12\nOSNAME:Debian GNU/Linux 12\nTZOFFSET:+0100\nRAM:8192\nLIDPRESENT:0\n"
        "HASBATTERY:0\nTOUCHSCREENEXISTS:FALSE\n";
    const size_t body = block.find(sysinfoBody);
    ASSERT_NE(body, std::string::npos) << block;
    const size_t gpus = block.find("GPUS:", body);
    ASSERT_NE(gpus, std::string::npos);
    const std::string gpuLine = block.substr(gpus, block.find('\n', gpus) - gpus);
    EXPECT_TRUE(gpuLine == "GPUS:(8086,1912)&&(10de,1c82)" ||
                gpuLine == "GPUS:(10de,1c82)&&(8086,1912)")
        << gpuLine;
    const std::string tail = "\n****FINGERPRINTS\n" + data.fingerprint().sectionText() +
                             "****CUSTOM\nC01:blue\n****INSTRUCTIONS\nSENDREACHOUT:1\nOPTOUT:0\n";
    EXPECT_EQ(block.substr(block.size() - tail.size()), tail) << block;
    EXPECT_EQ(block.find("VM:"), std::string::npos) << "an empty verdict gives no line";
    EXPECT_EQ(m.ran().size(), 2u) << "word length and kernel log once";
}

TEST(ReportSections, OptedOutClientSendsFingerprintsAndInstructionsOnly) {
    zebtest::FakeMachine m;
    describe(m);
    RuntimeSettings settings;
    AppData data(&settings, m.env());
    data.productInfo().setVersion("5.6");
    data.customValues().setValue(0, "blue");
    data.fingerprint().setInputs("/", "1234567890");
    EXPECT_EQ(reportSections(data, false, true),
              "****FINGERPRINTS\n"
              "V5FINGERPRINT:ZXvWgqvYCeXO9+Roa1wTP1y5xxPhsnuA7XBqY4P3Mbc=\n"
              "V4FINGERPRINT:5QZygXCkskYtyfRAkZI7iQFROdAwYMa72ZYRAnDMtekA\n"
              "V3FINGERPRINT:mSlzfmSFak1tJOgnrI77xAC9pDrNV75WG877ZHlxZyMI\n"
              "MACHINEID:c7b416f6a2e2596e2c9a61ee0b8c30f3a43ebf45479150f8880d03df7dff41bf\n"
              "****INSTRUCTIONS\nSENDREACHOUT:0\nOPTOUT:1\n");
    EXPECT_TRUE(m.ran().empty()) << "no system information is collected for an opted-out client";
}

TEST(ReportSections, EmptyStoresAndErrorValuesAreLeftOut) {
    zebtest::FakeMachine m;  // nothing described: most probes answer ERROR
    m.lang = "C";
    RuntimeSettings settings;
    AppData data(&settings, m.env());
    const std::string block = reportSections(data, false, false);
    EXPECT_EQ(block.find("****PRODINFO"), std::string::npos);
    EXPECT_EQ(block.find("****CUSTOM"), std::string::npos);
    EXPECT_EQ(block.find("ERROR"), std::string::npos);
    EXPECT_EQ(block.find("NOT_COLLECTED"), std::string::npos);
    EXPECT_EQ(block.find("OSRELEASE"), std::string::npos);
    EXPECT_NE(block.find("OSLANGUAGE:C\nOSLOCALE:C\nTZOFFSET:0000\nRAM:8192\n"), std::string::npos)
        << "the neighbours of the missing distribution lines stay:\n"
        << block;
    EXPECT_NE(block.find("****FINGERPRINTS\nV5FINGERPRINT:\n"), std::string::npos)
        << "fingerprint lines are present even when empty";
}

TEST(SystemInfo, CachedWithinTheRereadInterval) {
    zebtest::FakeMachine m;
    describe(m);
    RuntimeSettings settings;
    SystemInfo store(&settings, m.env());
    const std::string first = store.sectionText();
    ASSERT_EQ(first.compare(0, 11, "LASTUPDATE:"), 0);
    EXPECT_EQ(store.sectionText(), first) << "LASTUPDATE included";
    EXPECT_EQ(count(m.ran(), kLsbCommand), 1);

    settings.SYSINFOREREADSEC = 0;
    store.sectionText();
    EXPECT_EQ(count(m.ran(), kLsbCommand), 2) << "expired: collected anew";
}

TEST(SystemInfo, ConcurrentRequestsShareOneCollection) {
    zebtest::FakeMachine m;
    describe(m);
    RuntimeSettings settings;
    SystemInfo store(&settings, m.env());
    std::string a;
    std::string b;
    std::thread first([&] { a = store.sectionText(); });
    std::thread second([&] { b = store.sectionText(); });
    first.join();
    second.join();
    EXPECT_EQ(a, b);
    EXPECT_EQ(count(m.ran(), kLsbCommand), 1);
}

TEST(SystemInfo, ListLinesAndMarkers) {
    SystemRecord r;
    r.lastUpdate = "1700000000";
    r.osRelease = "ERROR";
    r.osLCID = "NOT_COLLECTED";
    r.osID = "Debian";
    r.osName = "Debian";
    r.screens = {{"1920", "1080", "32"}, {"2560", "1440", "32"}};
    r.gpus = {{"8086", "1912"}, {"10de", "1c82"}};
    r.dotNetVersions = {"4.8"};
    r.vm = "XEN";
    EXPECT_EQ(systemInfoLines(r),
              "LASTUPDATE:1700000000\nOSID:Debian\nOSNAME:Debian\nDOTNETVERSIONS:4.8\n"
              "SCREENRESOLUTIONS:(1920,1080,32)&&(2560,1440,32)\nGPUS:(8086,1912)&&(10de,1c82)\n"
              "VM:XEN\n");
}

}  // namespace
}  // namespace ZEBInternal
