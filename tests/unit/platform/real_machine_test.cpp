// One real collection on the machine running the tests, checked against
// what /proc, getconf, lsb_release and dmesg say when asked directly, and a
// host's whole life cycle under strace: the library itself runs no program.
// The section is printed for a reader to see.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>

#include "data/SystemInfo.h"
#include "platform/ProbeEnvironment.h"
#include "platform/SystemInfoCollector.h"
#include "support/TempDir.h"
#ifdef ZEB_FAULT_HOST_PATH
#include "FaultHostProcess.h"
#include "support/CallHomeServer.h"
#endif

namespace ZEBInternal {
namespace {

std::string shell(const char* command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command, "r"), pclose);
    std::string out;
    if (!pipe) return out;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe.get())) > 0) out.append(buffer, got);
    return out;
}

std::string strip(std::string s) {
    const char* blank = " \t\r\n";
    s.erase(0, s.find_first_not_of(blank));
    const size_t last = s.find_last_not_of(blank);
    s.erase(last == std::string::npos ? 0 : last + 1);
    return s;
}

// The value after the first ":" of the first line starting with key.
std::string fieldOf(const std::string& text, const std::string& key) {
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        if (line.compare(0, key.size(), key) == 0 && line.find(':') != std::string::npos)
            return strip(line.substr(line.find(':') + 1));
        at = end + 1;
    }
    return "";
}

std::string fileText(const char* path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(RealMachine, CollectionAgreesWithTheSystem) {
    const SystemRecord r = collectSystemInfo(static_cast<uint32_t>(time(nullptr)));
    std::cout << "---- SYSINFO of this machine ----\n"
              << systemInfoLines(r) << "---- for the fingerprints: diskUUID=" << r.diskUUID
              << " machineID=" << r.machineID << "\n";

    const std::string cpuinfo = fileText("/proc/cpuinfo");
    const std::string cores = fieldOf(cpuinfo, "cpu cores");
    const std::string model = fieldOf(cpuinfo, "model name");
    EXPECT_EQ(r.coreCount, cores.empty() ? "ERROR" : cores);
    EXPECT_EQ(r.cpu, model.empty() ? "ERROR" : model);

    const std::string memTotal = fieldOf(fileText("/proc/meminfo"), "MemTotal");
    ASSERT_FALSE(memTotal.empty());
    EXPECT_EQ(r.ram, std::to_string(std::stoull(memTotal) / 1024));

    const std::string longBit = strip(shell("getconf LONG_BIT 2>/dev/null"));
    EXPECT_EQ(r.osWordLength, longBit.empty() ? "ERROR" : longBit);

    const std::string lsb = shell("lsb_release -a 2>/dev/null");
    if (lsb.empty()) {
        std::cout << "no lsb_release here (package lsb-release): distribution not compared\n";
    } else {
        EXPECT_EQ(r.osName, fieldOf(lsb, "Description"));
        EXPECT_EQ(r.osID, fieldOf(lsb, "Distributor ID"));
        EXPECT_EQ(r.osRelease, fieldOf(lsb, "Release"));
    }

    // The kernel's buffer as dmesg prints it: the same markers in both.
    const std::string dmesg = shell("dmesg 2>&1");
    std::string klog;
    const bool readable = defaultProbeEnvironment().kernelLog(klog);
    std::cout << "kernel log: " << klog.size() << " bytes; dmesg: " << dmesg.size() << "\n";
    for (const char* marker : {"Linux version", "Hypervisor detected", "Hyper-V", "VMware",
                               "VirtualBox", "VBOX"}) {
        EXPECT_EQ(klog.find(marker) != std::string::npos, dmesg.find(marker) != std::string::npos)
            << marker << (readable ? "" : " (kernel log not readable)");
    }

    EXPECT_TRUE(r.lidPresent == "0" || r.lidPresent == "1");
    EXPECT_TRUE(r.touchScreenExists == "TRUE" || r.touchScreenExists == "FALSE");
    EXPECT_EQ(r.osLCID, "NOT_COLLECTED");
}

#ifdef ZEB_FAULT_HOST_PATH
TEST(RealMachine, AHostLifeCycleRunsNoProgram) {
    if (std::system("strace -f -o /dev/null true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "strace cannot trace here (not installed, or ptrace not permitted)";
    zebtest::CallHomeServer::Config aes;
    aes.aesKeyHex = "00112233445566778899AABBCCDDEEFF";
    zebtest::CallHomeServer server(aes);
    zebtest::TempDir data, out;
    const std::string trace = out.file("trace");
    {
        zebtest::FaultHostProcess host(
            {}, {"strace", "-f", "-qq", "-e", "trace=execve", "-o", trace});
        ASSERT_EQ(host.greeting(), "READY");
        ASSERT_EQ(host.ask("config " + data.path() + " " + server.address() + "/app"), "0");
        ASSERT_EQ(host.ask("start"), "0");
        ASSERT_EQ(server.request(0)["type"], "newreg");
        ASSERT_EQ(host.ask("track T 0 3"), "0");
        ASSERT_EQ(host.ask("stop 5"), "0");
        ASSERT_EQ(host.ask("destroy"), "0");
        host.ask("quit");
        ASSERT_TRUE(host.waitExit(std::chrono::seconds(10)));
    }
    std::ifstream in(trace);
    std::string line, execs;
    int count = 0;
    while (std::getline(in, line)) {
        if (line.find("execve(") == std::string::npos) continue;
        ++count;
        execs += line + "\n";
    }
    EXPECT_EQ(count, 1) << "only the host's own start:\n" << execs;
}
#endif

}  // namespace
}  // namespace ZEBInternal
