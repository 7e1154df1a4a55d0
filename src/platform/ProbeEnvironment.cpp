#include "platform/ProbeEnvironment.h"

#include <sys/sysinfo.h>

#include <cstdlib>
#include <ctime>

#include "platform/CommandRunner.h"
#include "platform/NetworkAdapters.h"

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

ProbeEnvironment makeDefault() {
    ProbeEnvironment env;
    env.root = "/";
    env.runShell = [](const std::string& commandLine) {
        std::string output;
        runShellCommand(commandLine, output);
        return output;
    };
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
