#pragma once
// Runs the zeb-callhome server (tools/callhome) as a child process for one
// test: starts it on 127.0.0.1 with port 0, waits for its "LISTENING" line,
// and collects its stdout lines on a reader thread. The destructor stops it
// with SIGTERM, escalates to SIGKILL after a bounded wait, and reaps it.
//
// Link the CMake target zeb_callhome_support to get ZEB_CALLHOME_PATH and a
// build dependency on the server. One object per test; its methods may be
// called from the test thread while the reader thread collects lines.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDir.h"

#ifndef ZEB_CALLHOME_PATH
#error "link the CMake target zeb_callhome_support, which defines ZEB_CALLHOME_PATH"
#endif

extern char** environ;

namespace zebtest {

class CallHomeServer {
public:
    struct Config {
        std::string script;     // answer script text; empty: the defaults
        std::string aesKeyHex;  // empty: encrypted requests are refused
        std::string certFile;   // with keyFile: TLS on the same port
        std::string keyFile;
        std::vector<std::string> extraArgs;  // e.g. {"--fault", "sync=http-500"}
    };

    explicit CallHomeServer(const Config& config = Config()) {
        outDir_ = dir_.file("out");
        std::vector<std::string> args = {ZEB_CALLHOME_PATH, "--port", "0", "--out", outDir_};
        if (!config.script.empty()) {
            const std::string path = dir_.file("script.txt");
            FILE* f = std::fopen(path.c_str(), "w");
            if (f == nullptr) throw std::runtime_error("cannot write " + path);
            std::fwrite(config.script.data(), 1, config.script.size(), f);
            std::fclose(f);
            args.insert(args.end(), {"--script", path});
        }
        if (!config.aesKeyHex.empty()) args.insert(args.end(), {"--aes-key", config.aesKeyHex});
        if (!config.certFile.empty())
            args.insert(args.end(), {"--cert", config.certFile, "--key", config.keyFile});
        args.insert(args.end(), config.extraArgs.begin(), config.extraArgs.end());
        start(args);
    }

    ~CallHomeServer() {
        stop();
        readerStop_ = true;
        if (reader_.joinable()) reader_.join();
        if (readFd_ >= 0) ::close(readFd_);
    }

    CallHomeServer(const CallHomeServer&) = delete;
    CallHomeServer& operator=(const CallHomeServer&) = delete;

    uint16_t port() const { return port_; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    // Decoded requests ("request-NNNNNN-TYPE.txt") and uploads
    // ("upload-NNNNNN.log") land here; the REQUEST line names the file.
    const std::string& outDir() const { return outDir_; }

    std::vector<std::string> lines() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }
    std::vector<std::string> requestLines() const {
        std::vector<std::string> out;
        for (const auto& line : lines())
            if (line.rfind("REQUEST ", 0) == 0) out.push_back(line);
        return out;
    }
    // Waits until at least n REQUEST lines arrived; false on time-out.
    bool waitForRequests(size_t n,
                         std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return requestCount_ >= n; });
    }
    // The n-th REQUEST line (0-based) as key -> value, after waiting for it;
    // empty when it does not come in time.
    std::map<std::string, std::string> request(
        size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
        if (!waitForRequests(n + 1, timeout)) return {};
        return fields(requestLines().at(n));
    }
    static std::map<std::string, std::string> fields(const std::string& line) {
        std::map<std::string, std::string> out;
        size_t pos = 0;
        while (pos < line.size()) {
            size_t end = line.find(' ', pos);
            if (end == std::string::npos) end = line.size();
            const std::string token = line.substr(pos, end - pos);
            const size_t eq = token.find('=');
            if (eq != std::string::npos) out[token.substr(0, eq)] = token.substr(eq + 1);
            pos = end + 1;
        }
        return out;
    }

    // SIGTERM, then at most `timeout` for a clean exit before SIGKILL, and
    // every line the server printed read. Returns the exit code, or -1 when
    // it had to be killed or died of a signal. Later calls return the first
    // result.
    int stop(std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        if (pid_ <= 0) return exitCode_;
        ::kill(pid_, SIGTERM);
        const auto end = std::chrono::steady_clock::now() + timeout;
        int status = 0;
        pid_t rc = 0;
        while ((rc = ::waitpid(pid_, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (rc == 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            exitCode_ = -1;
        } else {
            exitCode_ = rc > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        pid_ = -1;
        // The server's last lines (its final REQUEST, "STOPPED") may still be
        // in the pipe: the caller reads them once the reader has met its end.
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(10), [&] { return readerDone_; });
        return exitCode_;
    }

private:
    void start(const std::vector<std::string>& args) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
        readFd_ = fds[0];
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int rc = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (rc != 0) {
            pid_ = -1;
            ::close(readFd_);
            readFd_ = -1;
            throw std::runtime_error(std::string("cannot start ") + argv[0]);
        }
        reader_ = std::thread([this] { readLines(); });
        std::unique_lock<std::mutex> lock(mutex_);
        const bool up = changed_.wait_for(lock, std::chrono::seconds(15),
                                          [&] { return port_ != 0 || readerDone_; });
        if (!up || port_ == 0) {
            lock.unlock();
            // The destructor does not run after a throwing constructor.
            stop();
            readerStop_ = true;
            reader_.join();
            ::close(readFd_);
            readFd_ = -1;
            throw std::runtime_error("zeb-callhome did not start listening");
        }
    }

    void readLines() {
        std::string partial;
        char buf[4096];
        while (!readerStop_) {
            pollfd p{readFd_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            const ssize_t n = ::read(readFd_, buf, sizeof buf);
            if (n <= 0) break;
            partial.append(buf, static_cast<size_t>(n));
            size_t nl;
            while ((nl = partial.find('\n')) != std::string::npos) {
                const std::string line = partial.substr(0, nl);
                partial.erase(0, nl + 1);
                std::lock_guard<std::mutex> lock(mutex_);
                if (port_ == 0 && line.rfind("LISTENING 127.0.0.1:", 0) == 0)
                    port_ = static_cast<uint16_t>(std::stoul(line.substr(20)));
                if (line.rfind("REQUEST ", 0) == 0) ++requestCount_;
                lines_.push_back(line);
                changed_.notify_all();
            }
        }
        std::lock_guard<std::mutex> lock(mutex_);
        readerDone_ = true;
        changed_.notify_all();
    }

    TempDir dir_;
    std::string outDir_;
    pid_t pid_ = -1;
    int exitCode_ = -1;
    int readFd_ = -1;
    std::thread reader_;
    std::atomic<bool> readerStop_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> lines_;  // guarded by mutex_
    size_t requestCount_ = 0;         // guarded by mutex_
    uint16_t port_ = 0;               // guarded by mutex_ until start() returns
    bool readerDone_ = false;         // guarded by mutex_
};

}  // namespace zebtest
