#pragma once
// Everything the platform probes take from the machine, gathered in one
// record so that tests can point them at a fixture tree and canned command
// kernel log: the folder that stands for "/", the kernel's message buffer,
// the word length, the environment variables, the network adapters, the
// memory size and the time zone. No probe starts a program: the host's
// process must never fork or exec on the library's behalf.
//
// The process default (defaultProbeEnvironment) is built on first use and is
// read-only afterwards, so any thread may use it. A caller that builds its
// own owns it and must keep it alive while probes run; every function member
// must be callable from any thread. An empty function member reads as
// "nothing could be obtained", never as a crash.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ZEBInternal {

struct ProbeEnvironment {
    // The folder that stands for "/": every absolute path a probe reads is
    // taken below it. "/" on a real machine.
    std::string root = "/";
    // The kernel's message buffer as it stands; false when it cannot be read
    // (not permitted, for one).
    std::function<bool(std::string& text)> kernelLog;
    // Bits of a long, as "getconf LONG_BIT" prints; 0 when unknown.
    std::function<long()> longBits;
    // The value of an environment variable; false when it is not set.
    std::function<bool(const std::string& name, std::string& value)> getEnv;
    // Hardware addresses of the network adapters in the form and order of
    // macAddresses() (NetworkAdapters.h).
    std::function<std::vector<std::string>()> listMacAddresses;
    // Total RAM in bytes; false when it cannot be obtained.
    std::function<bool(uint64_t& bytes)> totalMemory;
    // The standard-time offset in seconds west of UTC, as tzset() leaves it
    // in `timezone`.
    std::function<long()> secondsWestOfUtc;

    // `absolute` (beginning with "/") below root.
    std::string path(const std::string& absolute) const;
};

// Root "/", klogctl, sysconf, getenv, getifaddrs, sysinfo and tzset.
const ProbeEnvironment& defaultProbeEnvironment();

}  // namespace ZEBInternal
