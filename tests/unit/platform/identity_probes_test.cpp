#include <gtest/gtest.h>

#include "FakeMachine.h"
#include "platform/IdentityProbes.h"

namespace ZEBInternal {
namespace {

TEST(DiskUUID, FirstDiskThenRootDeviceThenError) {
    zebtest::FakeMachine m;
    EXPECT_EQ(diskUUID(m.env()), "ERROR") << "no by-uuid directory";
    m.link("/dev/disk/by-uuid/1111-aaaa", "../../nvme0n1p1");
    m.link("/dev/disk/by-uuid/2222-bbbb", "../../sda1");
    m.file("/dev/disk/by-uuid/3333-sda", "not a link");
    EXPECT_EQ(diskUUID(m.env()), "2222-bbbb");

    zebtest::FakeMachine root;
    root.link("/dev/disk/by-uuid/1111-aaaa", "../../nvme0n1p1");
    root.link("/dev/disk/by-uuid/4444-cccc", "../../NVME0N1P2");
    root.link("/dev/root", "/dev/nvme0n1p2");
    EXPECT_EQ(diskUUID(root.env()), "4444-cccc") << "root device, compared without case";

    zebtest::FakeMachine none;
    none.mkdirs("/dev/disk/by-uuid");
    EXPECT_EQ(diskUUID(none.env()), "ERROR");
}

TEST(DiskUUID, LinkLoopsAreNamedNotFollowed) {
    zebtest::FakeMachine m;
    m.link("/dev/disk/by-uuid/self", "self");
    m.link("/dev/disk/by-uuid/ping", "pong");
    m.link("/dev/disk/by-uuid/pong", "ping");
    m.link("/dev/root", "/dev/root");
    EXPECT_EQ(diskUUID(m.env()), "ERROR") << "no target ends with the root device name";
    m.link("/dev/disk/by-uuid/5555-dddd", "../../sda2");
    EXPECT_EQ(diskUUID(m.env()), "5555-dddd");
}

TEST(MachineID, DbusThenEtcThenError) {
    zebtest::FakeMachine m;
    EXPECT_EQ(machineID(m.env()), "ERROR");
    m.file("/etc/machine-id", "\n  etc-id  \nsecond\n");
    EXPECT_EQ(machineID(m.env()), "etc-id");
    m.file("/var/lib/dbus/machine-id", "");
    EXPECT_EQ(machineID(m.env()), "etc-id") << "an empty dbus file falls back";
    m.file("/var/lib/dbus/machine-id", "dbus-id\n");
    EXPECT_EQ(machineID(m.env()), "dbus-id");
}

TEST(VirtualMachine, EachSignInOrder) {
    {
        zebtest::FakeMachine m;
        m.file("/proc/1/cpuset", "/docker/0123456789abcdef\n");
        m.file("/var/log/dmesg", "Hypervisor detected: Microsoft HyperV\n");
        EXPECT_EQ(detectVirtualMachine(m.env()), "DOCKER");
    }
    {
        zebtest::FakeMachine m;
        m.file("/var/log/dmesg",
               "[0.0] DMI: VMware, Inc.\n[0.1] Hyper-V Virtual Machine detected\n");
        EXPECT_EQ(detectVirtualMachine(m.env()), "HYPERV") << "Hyper-V is tested before VMware";
    }
    {
        zebtest::FakeMachine m;
        m.file("/var/log/dmesg", "[0.0] DMI: VMware, Inc. VMware Virtual Platform\n");
        EXPECT_EQ(detectVirtualMachine(m.env()), "VMWARE");
        EXPECT_TRUE(m.ran().empty()) << "the buffer is read only without the file";
    }
    {
        zebtest::FakeMachine m;
        m.file("/var/log/dmesg", "");
        m.kernelLog = "Hypervisor detected: VMware\n";
        EXPECT_EQ(detectVirtualMachine(m.env()), "") << "an empty file is still the log";
    }
    {
        zebtest::FakeMachine m;
        m.kernelLog = "[0.0] DMI: VMware, Inc.\n";
        EXPECT_EQ(detectVirtualMachine(m.env()), "") << "the live buffer needs the full marker";
        m.kernelLog = "[0.0] Hypervisor detected: VMware\n";
        EXPECT_EQ(detectVirtualMachine(m.env()), "VMWARE");
        EXPECT_EQ(m.ran().back(), "kernelLog");
        m.kernelLog = "[0.0] ACPI: RSDP 0x00000000000E0000 000024 (v02 VBOX  )\n";
        EXPECT_EQ(detectVirtualMachine(m.env()), "VIRTUALBOX");
    }
    {
        zebtest::FakeMachine m;
        m.file("/sys/hypervisor/uuid", "00000000-0000-0000-0000-000000000000\n");
        EXPECT_EQ(detectVirtualMachine(m.env()), "");
        m.file("/sys/hypervisor/uuid", "4b4ab4e8-1b49-42d0-9a3c-3f0f0d5f1e2a\n");
        EXPECT_EQ(detectVirtualMachine(m.env()), "XEN");
    }
}

TEST(VirtualMachine, AdapterPrefixes) {
    zebtest::FakeMachine m;
    m.macs = {"3C:97:0E:11:22:33", "08:00:27:12:34:56"};
    EXPECT_EQ(detectVirtualMachine(m.env()), "VIRTUALBOX");
    m.macs = {"00:1c:42:00:00:01"};
    EXPECT_EQ(detectVirtualMachine(m.env()), "PARALLELS") << "compared without case";
    EXPECT_EQ(virtualMachineForMac("00:50:56:01:02:03"), "VMWARE");
    EXPECT_EQ(virtualMachineForMac("00:0F:4B:01:02:03"), "VIRTUALIRON");
    EXPECT_EQ(virtualMachineForMac("00:16:3E:01:02:03"), "XEN");
    EXPECT_EQ(virtualMachineForMac("00:03:FF:01:02:03"), "VIRTUALBOX");
    EXPECT_EQ(virtualMachineForMac("3C:97:0E:11:22:33"), "");
    EXPECT_EQ(virtualMachineForMac("08:00"), "") << "too short";
    m.macs = {"3C:97:0E:11:22:33"};
    EXPECT_EQ(detectVirtualMachine(m.env()), "");
}

}  // namespace
}  // namespace ZEBInternal
