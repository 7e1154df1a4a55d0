#pragma once
// Everything the platform probes take from the machine, gathered in one
// record so that tests can point them at a fixture tree and canned command
// output: the folder that stands for "/", the shell runner, the environment
// variables, the network adapters, the memory size and the time zone.
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
    // Runs a whole shell command line (redirections included) and answers
    // its standard output; empty when it cannot be run, runs too long or
    // prints too much.
    std::function<std::string(const std::string& commandLine)> runShell;
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

// Root "/", /bin/sh with bounded output and run time, getenv, getifaddrs,
// sysinfo and tzset.
const ProbeEnvironment& defaultProbeEnvironment();

}  // namespace ZEBInternal
