#pragma once
// Runs the few shell commands the probes need ("lsb_release -a", "getconf
// LONG_BIT", "dmesg") the way popen(3) in read mode would, but bounded: the
// output is capped and the run has a deadline, after which the command's
// whole process group is killed. A probe therefore never hangs on a stuck
// command nor fills memory with a runaway one. Stateless; any thread.

#include <cstddef>
#include <cstdint>
#include <string>

namespace ZEBInternal {

struct ProbeEnvironment;

struct CommandLimits {
    size_t maxOutput = 4u << 20;  // bytes of standard output kept
    uint32_t timeoutMs = 10000;   // from start to the end of the output
};

// Runs `commandLine` with "/bin/sh -c", standard input from /dev/null and
// standard output captured; standard error is left to the command line's
// own redirections. True with the whole output when the output ends within
// the limits; false with empty output when the command cannot be started,
// prints more than maxOutput bytes or outlives timeoutMs. The exit status
// is not looked at, as with popen.
bool runShellCommand(const std::string& commandLine, std::string& output,
                     const CommandLimits& limits = CommandLimits());

// `command` + " 2>/dev/null" through the environment's runner: the output,
// or empty when the command is empty or cannot be run.
std::string runCommand(const ProbeEnvironment& env, const std::string& command);

}  // namespace ZEBInternal
