// One real collection on the machine running the tests, checked against
// what /proc, getconf and lsb_release (or the /etc release file) say when
// asked directly. The section is printed for a reader to see.

#include <dirent.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>

#include "data/SystemInfo.h"
#include "platform/SystemInfoCollector.h"

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

// The /etc release file the fall-back would pick, by the same naming rule.
std::string etcReleaseText() {
    static const char* const kPrefixes[] = {"centos", "fedora", "gentoo", "mandrake",
                                            "nld",    "redhat", "SuSe",   "novell"};
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir("/etc"), closedir);
    if (!dir) return "";
    while (const dirent* e = readdir(dir.get())) {
        const std::string name = e->d_name;
        bool match = name.find("debian_version") != std::string::npos;
        const size_t release = name.find("-release");
        for (const char* prefix : kPrefixes)
            match = match || (release != std::string::npos && name.substr(0, release) == prefix);
        if (match) return strip(fileText(("/etc/" + name).c_str()));
    }
    return "";
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
    std::string description = fieldOf(lsb, "Description");
    if (description.empty()) {
        description = etcReleaseText();
        std::cout << "lsb_release says nothing here: /etc fall-back\n";
    }
    EXPECT_EQ(r.osName, description.empty() ? "ERROR" : description);
    const std::string id = fieldOf(lsb, "Distributor ID");
    if (!id.empty()) {
        EXPECT_EQ(r.osID, id);
    }
    const std::string release = fieldOf(lsb, "Release");
    if (!release.empty()) {
        EXPECT_EQ(r.osRelease, release);
    }
    EXPECT_FALSE(r.osID.empty());
    EXPECT_FALSE(r.osRelease.empty());

    EXPECT_TRUE(r.lidPresent == "0" || r.lidPresent == "1");
    EXPECT_TRUE(r.touchScreenExists == "TRUE" || r.touchScreenExists == "FALSE");
    EXPECT_EQ(r.osLCID, "NOT_COLLECTED");
}

}  // namespace
}  // namespace ZEBInternal
