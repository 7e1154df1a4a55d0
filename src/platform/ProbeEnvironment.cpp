#include "platform/ProbeEnvironment.h"

#include <sys/klog.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "platform/NetworkAdapters.h"
#include "platform/ProbeFiles.h"

namespace ZEBInternal {

std::string ProbeEnvironment::path(const std::string& absolute) const {
    if (root.empty() || root == "/") return absolute;
    const bool rootEndsInSlash = root.back() == '/';
    const bool pathStartsWithSlash = !absolute.empty() && absolute.front() == '/';
    if (rootEndsInSlash && pathStartsWithSlash) return root + absolute.substr(1);
    if (!rootEndsInSlash && !pathStartsWithSlash) return root + "/" + absolute;
    return root + absolute;
}

namespace {

// klogctl(2) actions: the size of the buffer, and a read of all of it that
// leaves it as it is (what dmesg prints).
constexpr int kSyslogReadAll = 3;
constexpr int kSyslogSizeBuffer = 10;

bool readKernelBuffer(std::string& text) {
    text.clear();
    const int size = ::klogctl(kSyslogSizeBuffer, nullptr, 0);
    if (size <= 0) return false;
    std::vector<char> buffer(std::min<size_t>(static_cast<size_t>(size), kProbeFileLimit));
    const int got = ::klogctl(kSyslogReadAll, buffer.data(), static_cast<int>(buffer.size()));
    if (got < 0) return false;
    text.assign(buffer.data(), static_cast<size_t>(got));
    return true;
}

ProbeEnvironment makeDefault() {
    ProbeEnvironment env;
    env.root = "/";
    env.kernelLog = readKernelBuffer;
    env.longBits = [] { return ::sysconf(_SC_LONG_BIT); };
    env.getEnv = [](const std::string& name, std::string& value) {
        const char* found = std::getenv(name.c_str());
        if (found == nullptr) return false;
        value = found;
        return true;
    };
    env.listMacAddresses = systemMacAddresses;
    env.totalMemory = [](uint64_t& bytes) {
        struct sysinfo info {};
        if (::sysinfo(&info) != 0) return false;
        bytes = static_cast<uint64_t>(info.totalram) * info.mem_unit;
        return true;
    };
    env.secondsWestOfUtc = [] {
        ::tzset();
        return static_cast<long>(::timezone);
    };
    return env;
}

}  // namespace

const ProbeEnvironment& defaultProbeEnvironment() {
    static const ProbeEnvironment env = makeDefault();
    return env;
}

}  // namespace ZEBInternal
