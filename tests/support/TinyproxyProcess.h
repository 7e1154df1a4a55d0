#pragma once
// A private tinyproxy (Debian package "tinyproxy") for proxy tests: started
// in the foreground on a free 127.0.0.1 port with its own configuration,
// log and pid file in the given directory, optionally with Basic
// authentication, and stopped when the object goes. It never touches the
// system daemon's port, configuration or pid file.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

extern char** environ;

namespace zebtest {

class TinyproxyProcess {
public:
    // dir must exist and outlive the process. Empty user means no
    // authentication.
    TinyproxyProcess(const std::string& dir, const std::string& user = "",
                     const std::string& password = "") {
        port_ = freePort();
        const std::string conf = dir + "/tinyproxy.conf";
        {
            std::ofstream out(conf);
            out << "Port " << port_ << "\n"
                << "Listen 127.0.0.1\n"
                << "Timeout 10\n"
                << "MaxClients 20\n"
                << "LogFile \"" << dir << "/tinyproxy.log\"\n"
                << "LogLevel Info\n"
                << "PidFile \"" << dir << "/tinyproxy.pid\"\n"
                << "Allow 127.0.0.1\n";
            // Without ConnectPort lines every port may be tunnelled to,
            // which the ephemeral test servers need.
            if (!user.empty()) out << "BasicAuth " << user << " " << password << "\n";
        }
        const std::string output = dir + "/tinyproxy.out";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const char* argv[] = {"tinyproxy", "-d", "-c", conf.c_str(), nullptr};
        const int rc = posix_spawnp(&pid_, "tinyproxy", &actions, nullptr,
                                    const_cast<char* const*>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            pid_ = -1;
            failure_ = "cannot start tinyproxy (is the package installed?)";
            return;
        }
        // Ready once it accepts connections; give up after 5 s or when it
        // has already exited (a bad configuration, a taken port).
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!accepts(port_)) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                failure_ = "tinyproxy exited at start; see " + output;
                return;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                failure_ = "tinyproxy did not listen within 5 s";
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~TinyproxyProcess() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (waitpid(pid_, nullptr, WNOHANG) != pid_) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    TinyproxyProcess(const TinyproxyProcess&) = delete;
    TinyproxyProcess& operator=(const TinyproxyProcess&) = delete;

    // Empty when the proxy is up.
    const std::string& failure() const { return failure_; }
    uint16_t port() const { return port_; }

    // A port nothing listens on right now (the kernel's pick for port 0).
    static uint16_t freePort() {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        uint16_t port = 0;
        if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            port = ntohs(addr.sin_port);
        if (fd >= 0) ::close(fd);
        return port;
    }

private:
    static bool accepts(uint16_t port) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(port);
        const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        if (fd >= 0) ::close(fd);
        return ok;
    }

    pid_t pid_ = -1;
    uint16_t port_ = 0;
    std::string failure_;
};

}  // namespace zebtest
