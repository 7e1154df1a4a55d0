#include "platform/CommandRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/ProbeEnvironment.h"
#include "util/FileDescriptor.h"

extern char** environ;

namespace ZEBInternal {

namespace {

using Clock = std::chrono::steady_clock;

class SpawnActions {
public:
    SpawnActions() { ok_ = posix_spawn_file_actions_init(&actions_) == 0; }
    ~SpawnActions() {
        if (ok_) posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    bool ok() const { return ok_; }
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
    bool ok_ = false;
};

class SpawnAttributes {
public:
    SpawnAttributes() { ok_ = posix_spawnattr_init(&attr_) == 0; }
    ~SpawnAttributes() {
        if (ok_) posix_spawnattr_destroy(&attr_);
    }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    bool ok() const { return ok_; }
    posix_spawnattr_t* get() { return &attr_; }

private:
    posix_spawnattr_t attr_;
    bool ok_ = false;
};

// A started child in a process group of its own. The destructor makes sure
// it is reaped and that nothing it started is left running, so neither a
// zombie nor a stray writer outlives the call.
class ChildProcess {
public:
    explicit ChildProcess(pid_t pid) : pid_(pid) {}
    ~ChildProcess() { finish(Clock::now()); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Waits until the child exits or `deadline` passes, kills its group,
    // and reaps it.
    void finish(Clock::time_point deadline) {
        while (pid_ > 0) {
            siginfo_t info{};
            // WNOWAIT: look without reaping, so the group's ID cannot be
            // handed to anyone else before the kill below.
            const int rc =
                ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT);
            if (rc < 0 && errno == EINTR) continue;
            if (rc < 0) {
                // ECHILD: a host that reaps every child has taken it; its
                // ID may already be reused, so it must not be signalled.
                pid_ = -1;
                return;
            }
            const bool exited = info.si_pid == pid_;
            if (!exited && Clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            // Whatever the shell left in the background goes with it.
            ::kill(-pid_, SIGKILL);
            if (!exited) ::kill(pid_, SIGKILL);
            int status = 0;
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            pid_ = -1;
        }
    }

private:
    pid_t pid_;
};

// Starts "/bin/sh -c commandLine" with standard output on `writeEnd`.
// Returns the child's id, or -1.
pid_t spawnShell(const std::string& commandLine, int writeEnd) {
    SpawnActions actions;
    SpawnAttributes attributes;
    if (!actions.ok() || !attributes.ok()) return -1;
    if (posix_spawn_file_actions_adddup2(actions.get(), writeEnd, STDOUT_FILENO) != 0 ||
        posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0) !=
            0)
        return -1;
    // A group of its own, so that a time-out kills what the shell started
    // too; default SIGPIPE and an empty mask, so that a writer whose reader
    // gave up ends instead of blocking, whatever the host thread had set.
    sigset_t defaults;
    sigset_t mask;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigemptyset(&mask);
    if (posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF |
                                                       POSIX_SPAWN_SETSIGMASK) != 0 ||
        posix_spawnattr_setpgroup(attributes.get(), 0) != 0 ||
        posix_spawnattr_setsigdefault(attributes.get(), &defaults) != 0 ||
        posix_spawnattr_setsigmask(attributes.get(), &mask) != 0)
        return -1;

    std::vector<char> arg0{'s', 'h', '\0'};
    std::vector<char> arg1{'-', 'c', '\0'};
    std::vector<char> arg2(commandLine.begin(), commandLine.end());
    arg2.push_back('\0');
    char* argv[] = {arg0.data(), arg1.data(), arg2.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, "/bin/sh", actions.get(), attributes.get(), argv, environ) != 0)
        return -1;
    return pid;
}

}  // namespace

bool runShellCommand(const std::string& commandLine, std::string& output,
                     const CommandLimits& limits) {
    output.clear();
    if (commandLine.empty()) return false;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    FileDescriptor readEnd(fds[0]);
    FileDescriptor writeEnd(fds[1]);

    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limits.timeoutMs);
    const pid_t pid = spawnShell(commandLine, writeEnd.get());
    if (pid < 0) return false;
    ChildProcess child(pid);
    // Our copy of the write end must go, or the end of output never shows.
    writeEnd.close();

    bool complete = false;
    char buffer[16384];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        struct pollfd pfd {
            readEnd.get(), POLLIN, 0
        };
        const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        const ssize_t got = ::read(readEnd.get(), buffer, sizeof buffer);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got < 0) break;
        if (got == 0) {
            complete = true;
            break;
        }
        if (output.size() + static_cast<size_t>(got) > limits.maxOutput) break;
        output.append(buffer, static_cast<size_t>(got));
    }
    // Closing the read end first lets a writer that is still going die of
    // SIGPIPE; after a complete output the shell normally exits at once.
    readEnd.close();
    child.finish(complete ? deadline : Clock::now());
    if (!complete) output.clear();
    return complete;
}

std::string runCommand(const ProbeEnvironment& env, const std::string& command) {
    if (command.empty() || !env.runShell) return std::string();
    return env.runShell(command + " 2>/dev/null");
}

}  // namespace ZEBInternal
