// Probes on a machine whose files are all wrong: unreadable, empty, binary,
// oversized, FIFOs and link loops. Every probe must answer its marker value, quickly.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <random>

#include "FakeMachine.h"
#include "platform/IdentityProbes.h"
#include "platform/ProbeFiles.h"
#include "platform/SystemInfoCollector.h"

namespace ZEBInternal {
namespace {

std::string binary(size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}

void fifo(const zebtest::FakeMachine& m, const std::string& absolute) {
    m.mkdirs(absolute.substr(0, absolute.rfind('/')));
    ASSERT_EQ(::mkfifo(m.path(absolute).c_str(), 0644), 0);
}

void expectAllMarkers(const SystemRecord& r) {
    EXPECT_EQ(r.coreCount, "ERROR");
    EXPECT_EQ(r.cpu, "ERROR");
    EXPECT_EQ(r.diskUUID, "ERROR");
    EXPECT_EQ(r.osWordLength, "ERROR");
    EXPECT_EQ(r.machineID, "ERROR");
    EXPECT_EQ(r.osID, "ERROR");
    EXPECT_EQ(r.osRelease, "ERROR");
    EXPECT_EQ(r.osName, "ERROR");
    EXPECT_EQ(r.lidPresent, "0");
    EXPECT_EQ(r.hasBattery, "0");
    EXPECT_EQ(r.touchScreenExists, "FALSE");
    EXPECT_TRUE(r.gpus.empty());
    EXPECT_EQ(r.vm, "");
}

TEST(BadInput, BinaryAndOversizedFiles) {
    zebtest::FakeMachine m;
    const std::string big = binary(kProbeFileLimit + 4096, 1);
    m.file("/proc/cpuinfo", big);
    m.file("/proc/bus/usb/devices", std::string(kProbeFileLimit + 10, 'P'));
    m.file("/etc/redhat-release", std::string(200000, 'x') + " 6.5\n");
    m.file("/etc/os-release", "PRETTY_NAME=" + big);
    m.file("/var/lib/dbus/machine-id", std::string("\x01\x02\0zz\n", 6));
    m.file("/etc/machine-id", binary(kProbeFileLimit * 2, 2));
    m.file("/var/log/dmesg", big);
    m.file("/sys/hypervisor/uuid", "");
    m.file("/sys/class/power_supply/BAT0/present", big);
    m.file("/sys/bus/pci/devices/0000:00:02.0/class", big);
    m.link("/dev/disk/by-uuid/loop", "loop");
    m.link("/dev/root", "/dev/root");
    m.lang.reset();
    m.ramBytes.reset();

    const auto start = std::chrono::steady_clock::now();
    const SystemRecord r = collectSystemInfo(7, m.env());
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
              20.0);
    expectAllMarkers(r);
    EXPECT_EQ(r.lastUpdate, "7");
    EXPECT_EQ(r.osLanguage, "ERROR");
    EXPECT_EQ(r.ram, "ERROR");
}

TEST(BadInput, EmptyUnreadableAndSpecialFiles) {
    zebtest::FakeMachine m;
    m.file("/proc/cpuinfo", "");
    // Directories where files belong: open succeeds, read does not.
    m.mkdirs("/var/lib/dbus/machine-id");
    m.mkdirs("/etc/redhat-release");
    m.mkdirs("/sys/class/power_supply/BAT0/present");
    // FIFOs without writers would block a plain open or read for ever.
    fifo(m, "/etc/machine-id");
    fifo(m, "/etc/os-release");
    fifo(m, "/proc/bus/usb/devices");
    fifo(m, "/proc/1/cpuset");
    fifo(m, "/var/log/dmesg");
    fifo(m, "/sys/bus/pci/devices/0000:00:02.0/class");
    m.link("/dev/disk/by-uuid/a", "b");
    m.link("/dev/disk/by-uuid/b", "a");
    m.link("/dev/root", "/dev/root");
    m.link("/proc/acpi/button/lid", "lid");  // a loop is not a directory

    const SystemRecord r = collectSystemInfo(0, m.env());
    expectAllMarkers(r);
    EXPECT_EQ(cpusetFirstLine(m.env()), "");
}

TEST(BadInput, MissingEnvironmentFunctions) {
    ProbeEnvironment nothing;
    nothing.root = "/nonexistent-zeb-root";
    const SystemRecord r = collectSystemInfo(1, nothing);
    expectAllMarkers(r);
    EXPECT_EQ(r.osLanguage, "ERROR");
    EXPECT_EQ(r.tzOffset, "ERROR");
    EXPECT_EQ(r.ram, "ERROR");
}

TEST(BadInput, BoundedReaders) {
    zebtest::FakeMachine m;
    m.file("/f", "0123456789\nsecond\n");
    EXPECT_EQ(readProbePrefix(m.path("/f"), 4), "0123");
    std::string whole;
    EXPECT_FALSE(readProbeWhole(m.path("/f"), whole, 5));
    EXPECT_EQ(whole, "");
    EXPECT_TRUE(readProbeWhole(m.path("/f"), whole, 18));
    EXPECT_EQ(readFirstLine(m.path("/f"), 150), "0123456789\n");
    EXPECT_EQ(readFirstLine(m.path("/f"), 6), "01234") << "as fgets into 6 bytes";
    m.link("/l", std::string(3000, 'x'));
    std::string target;
    EXPECT_TRUE(readLinkTarget(m.path("/l"), target));
    EXPECT_EQ(target.size(), kLinkTargetLimit);
}

}  // namespace
}  // namespace ZEBInternal
