// A host program for the fault tests, started by them as a child process so
// that it can be killed outright (SIGKILL) or given a data directory of its
// own: with "--tmpfs DIR KIB" it first enters a private mount namespace and
// mounts a small tmpfs on DIR, which the test then reaches through
// /proc/PID/root; with "--uid N" it first becomes user N (a second user of a
// shared data directory). It drives the library through the exported
// functions only.
//
// Commands, one per line on stdin, each answered by one line on stdout:
//   config DIR URL       zebCreateConfig (a fresh instance when none)  -> OK rc
//   start                zebStartSDK                                   -> OK rc
//   track PREFIX FROM N  events "Fault"/PREFIX<i>, i = FROM .. FROM+N-1  -> OK rc
//   trackloop PREFIX     a thread tracks PREFIX0, PREFIX1 ... until stopped -> OK 0
//   stoptrack            ends that thread                              -> OK count
//   sync                 zebSync, retried while a sync runs            -> OK rc
//   stop SECONDS         zebStopSDK                                    -> OK rc
//   state | clientid     zebGetState | zebGetClientID                  -> OK value
//   destroy              zebDestroyInstance                            -> OK rc
//   ro | rw              remount the tmpfs read-only or writable       -> OK errno
//   quit                 ends the program                              -> OK 0
// On start it prints "READY", or "SKIP reason" when the tmpfs cannot be made.

#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "zeb.h"

namespace {

constexpr const char* kAesKey = "00112233445566778899AABBCCDDEEFF";

std::string tmpfsDir;
std::string tmpfsOptions;

std::string makeTmpfs(const std::string& dir, const std::string& kib) {
    if (unshare(CLONE_NEWNS) != 0) return std::string("unshare: ") + std::strerror(errno);
    // Private, so that nothing mounted here leaks into the test's namespace.
    if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return std::string("private mounts: ") + std::strerror(errno);
    tmpfsDir = dir;
    tmpfsOptions = "size=" + kib + "k,mode=0755";
    if (mount("tmpfs", dir.c_str(), "tmpfs", 0, tmpfsOptions.c_str()) != 0)
        return std::string("mount tmpfs: ") + std::strerror(errno);
    return std::string();
}

int remount(bool readOnly) {
    const unsigned long flags = MS_REMOUNT | (readOnly ? MS_RDONLY : 0);
    return mount("tmpfs", tmpfsDir.c_str(), "tmpfs", flags, tmpfsOptions.c_str()) == 0 ? 0 : errno;
}

class Tracker {
public:
    void start(ZEBInstance* zeb, const std::string& prefix) {
        stopRequested_ = false;
        count_ = 0;
        thread_ = std::thread([this, zeb, prefix] {
            // Paced, so that a test of a few seconds sees tens of thousands
            // of events rather than millions.
            while (!stopRequested_) {
                for (int i = 0; i < 20; ++i) {
                    const std::string name = prefix + std::to_string(count_.load());
                    zebTrackEvent(zeb, "Fault", name.c_str(), nullptr);
                    ++count_;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    long stop() {
        stopRequested_ = true;
        if (thread_.joinable()) thread_.join();
        return count_;
    }

private:
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<long> count_{0};
};

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--tmpfs") {
        const std::string failure = makeTmpfs(argv[2], argv[3]);
        if (!failure.empty()) {
            std::cout << "SKIP " << failure << std::endl;
            return 0;
        }
    }
    if (argc == 3 && std::string(argv[1]) == "--uid") {
        const auto id = static_cast<uid_t>(std::stoul(argv[2]));
        if (setgroups(0, nullptr) != 0 || setgid(id) != 0 || setuid(id) != 0) {
            std::cout << "SKIP setuid: " << std::strerror(errno) << std::endl;
            return 0;
        }
    }
    std::cout << "READY" << std::endl;

    ZEBInstance* zeb = nullptr;
    Tracker tracker;
    for (std::string line; std::getline(std::cin, line);) {
        std::istringstream in(line);
        std::string command;
        in >> command;
        std::string reply = "OK ";
        if (command == "config") {
            std::string dir, url;
            in >> dir >> url;
            if (zeb == nullptr) zeb = zebCreateInstance(false);
            reply +=
                std::to_string(zebCreateConfig(zeb, dir.c_str(), "0123456789", "App", url.c_str(),
                                               ZEB_PROTOCOL_HTTP_AES, kAesKey, false, false));
        } else if (command == "start") {
            reply += std::to_string(zebStartSDK(zeb));
        } else if (command == "track") {
            std::string prefix;
            long from = 0, count = 0;
            in >> prefix >> from >> count;
            int32_t rc = 0;
            for (long i = from; i < from + count; ++i) {
                const int32_t r =
                    zebTrackEvent(zeb, "Fault", (prefix + std::to_string(i)).c_str(), nullptr);
                if (rc == 0) rc = r;
            }
            reply += std::to_string(rc);
        } else if (command == "trackloop") {
            std::string prefix;
            in >> prefix;
            tracker.start(zeb, prefix);
            reply += "0";
        } else if (command == "stoptrack") {
            reply += std::to_string(tracker.stop());
        } else if (command == "sync") {
            int32_t rc = ZEB_E_SYNC_IN_PROGRESS;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while ((rc = zebSync(zeb, false)) == ZEB_E_SYNC_IN_PROGRESS &&
                   std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            reply += std::to_string(rc);
        } else if (command == "stop") {
            int32_t seconds = -1;
            in >> seconds;
            reply += std::to_string(zebStopSDK(zeb, seconds));
        } else if (command == "state") {
            reply += std::to_string(zebGetState(zeb));
        } else if (command == "clientid") {
            char* id = nullptr;
            const int32_t rc = zebGetClientID(zeb, &id);
            reply += rc == 0 ? std::string(id) : "error" + std::to_string(rc);
            zebFree(id);
        } else if (command == "destroy") {
            tracker.stop();
            reply += std::to_string(zebDestroyInstance(zeb));
            zeb = nullptr;
        } else if (command == "ro" || command == "rw") {
            reply += std::to_string(remount(command == "ro"));
        } else if (command == "quit") {
            tracker.stop();
            if (zeb != nullptr) zebDestroyInstance(zeb);
            std::cout << "OK 0" << std::endl;
            return 0;
        } else {
            reply = "ERROR unknown command " + command;
        }
        std::cout << reply << std::endl;
    }
    tracker.stop();
    if (zeb != nullptr) zebDestroyInstance(zeb);
    return 0;
}
