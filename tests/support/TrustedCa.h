#pragma once
// Runs a function in a forked child that sees a folder holding only a test
// CA at /etc/ssl/certs (root only): the one way to make the library trust a
// test certificate, since it reads that folder itself when a TLS mode is
// configured. The bind lives in the child's own mount namespace, so the
// machine's folder is never changed and nothing stays mounted.

#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "support/TempDir.h"

namespace zebtest {

// Outcome of runWithTrustedCa when the child could not set up its view.
constexpr int kNoNamespace = 200;

// Runs fn in a forked child whose /etc/ssl/certs shows only caPem, and
// returns fn's result (0..199), kNoNamespace when the private mount could
// not be made, or -1 when the child crashed or overran 30 s (it is then
// killed). REQUIRES: root. The bind lives in the child's own mount
// namespace, so the machine's folder is never changed and nothing stays
// mounted. fn must start no thread: the child of a threaded process may
// only run straight-line code safely.
inline int runWithTrustedCa(const std::string& caPem, const std::function<int()>& fn) {
    TempDir certs;
    {
        std::ofstream out(certs.file("ca-certificates.crt"), std::ios::binary);
        out << caPem;
        if (!out) return -1;
    }
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            ::_exit(kNoNamespace);
        if (::mkdir("/etc/ssl", 0755) != 0 && errno != EEXIST) ::_exit(kNoNamespace);
        if (::mkdir("/etc/ssl/certs", 0755) != 0 && errno != EEXIST) ::_exit(kNoNamespace);
        if (::mount(certs.path().c_str(), "/etc/ssl/certs", nullptr, MS_BIND, nullptr) != 0)
            ::_exit(kNoNamespace);
        int rc = 201;
        try {
            rc = fn();
        } catch (...) {
            // Reported through the exit code like every other outcome.
            rc = 202;
        }
        // _exit: the parent's atexit handlers and test framework must not
        // run a second time here.
        ::_exit(rc);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int status = 0;
    pid_t rc = 0;
    while ((rc = ::waitpid(child, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (rc == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        return -1;
    }
    return rc == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace zebtest
