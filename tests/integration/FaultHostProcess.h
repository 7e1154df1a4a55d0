#pragma once
// Runs fault_host (a host program on the library, see fault_host.cpp) as a
// child process and talks to it one command line at a time. The child is
// started with posix_spawn, so the threaded test process never forks
// without exec. The destructor kills and reaps a child still running.
//
// One object per child, used by the test's thread only.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#ifndef ZEB_FAULT_HOST_PATH
#error "the fault tests define ZEB_FAULT_HOST_PATH"
#endif

extern char** environ;

namespace zebtest {

class FaultHostProcess {
public:
    // args follow the program's path; wrapper (e.g. strace and its options)
    // comes before it.
    explicit FaultHostProcess(const std::vector<std::string>& args = {},
                              const std::vector<std::string>& wrapper = {}) {
        int toChild[2];
        int fromChild[2];
        if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe2 failed");
        // A child that dies must not take the test down when it is written to.
        ::signal(SIGPIPE, SIG_IGN);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        posix_spawnattr_setsigdefault(&attr, &defaults);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
        std::vector<std::string> all = wrapper;
        all.push_back(ZEB_FAULT_HOST_PATH);
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int rc = ::posix_spawnp(&pid_, argv[0], &actions, &attr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
        ::close(toChild[0]);
        ::close(fromChild[1]);
        in_ = toChild[1];
        out_ = fromChild[0];
        if (rc != 0) {
            pid_ = -1;
            throw std::runtime_error("cannot start " + all.front());
        }
        first_ = readLine(std::chrono::seconds(15));
    }
    ~FaultHostProcess() {
        kill(SIGKILL);
        if (in_ >= 0) ::close(in_);
        if (out_ >= 0) ::close(out_);
    }
    FaultHostProcess(const FaultHostProcess&) = delete;
    FaultHostProcess& operator=(const FaultHostProcess&) = delete;

    // "READY", or "SKIP reason" when its tmpfs could not be made.
    const std::string& greeting() const { return first_; }
    pid_t pid() const { return pid_; }

    // Sends one command; its answer without the leading "OK ", or
    // "<no answer>" when none comes within the timeout.
    std::string ask(const std::string& command,
                    std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
        return send(command) ? receive(timeout) : "<no answer>";
    }
    // ask in two halves, so that several children can work on a command at
    // the same time: send to each, then receive from each.
    bool send(const std::string& command) {
        const std::string line = command + "\n";
        return ::write(in_, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    }
    std::string receive(std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
        const std::string reply = readLine(timeout);
        return reply.rfind("OK ", 0) == 0 ? reply.substr(3) : reply;
    }

    // Sends the signal and reaps the child; the exit status (-1 when it
    // was not running).
    int kill(int signal) {
        if (pid_ <= 0) return -1;
        ::kill(pid_, signal);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return status;
    }
    // Waits up to the timeout for the child to end on its own.
    bool waitExit(std::chrono::milliseconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (pid_ > 0) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return true;
            }
            if (std::chrono::steady_clock::now() > end) return false;
            ::usleep(5000);
        }
        return true;
    }

private:
    std::string readLine(std::chrono::milliseconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const size_t nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                std::string line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return "<no answer>";
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            char chunk[4096];
            const ssize_t n = ::read(out_, chunk, sizeof chunk);
            if (n <= 0) return "<no answer>";
            buffer_.append(chunk, static_cast<size_t>(n));
        }
    }

    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    std::string buffer_;
    std::string first_;
};

}  // namespace zebtest
