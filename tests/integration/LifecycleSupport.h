#pragma once
// Pieces of the life-cycle tests, which drive the library only through its
// exported functions against zeb-callhome: a host instance on its own data
// directory, a registered client's configuration file, and readers of what
// the server received (REQUEST lines, stored requests, uploads).
//
// Objects belong to one test; the server's reader thread is the only other
// thread that touches them (under CallHomeServer's own lock).

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/CallHomeServer.h"
#include "support/ConfigFileWriter.h"
#include "support/LogLines.h"
#include "support/TempDir.h"
#include "zeb.h"

namespace zebtest {

using Fields = std::map<std::string, std::string>;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kAesKey = "00112233445566778899AABBCCDDEEFF";
constexpr const char* kProductID = "0123456789";
constexpr const char* kProductLetters = "qhwnpcodkv";
constexpr const char* kClientID = "CLIENT0001";

inline double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Polls pred every 5 ms until it holds; false after timeout.
inline bool eventually(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 10s) {
    const auto deadline = Clock::now() + timeout;
    while (!pred()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

inline std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

// A signed configuration file of registered client kClientID, with the
// given values replacing the defaults.
inline std::string writeRegisteredConfig(const std::string& dir,
                                         const std::map<std::string, std::string>& values = {},
                                         const std::string& app = "App") {
    ConfigFileValues file;
    file.values["CLIENTID:"] = kClientID;
    for (const auto& kv : values) file.values[kv.first] = kv.second;
    return writeConfigFile(dir, kProductLetters, app, "0000000000001", file);
}

// A server that knows the clients' AES key, answering by `script`.
inline CallHomeServer::Config aesServer(const std::string& script = "",
                                        std::vector<std::string> extraArgs = {}) {
    CallHomeServer::Config config;
    config.aesKeyHex = kAesKey;
    config.script = script;
    config.extraArgs = std::move(extraArgs);
    return config;
}

// One host instance on its own data directory, destroyed with the object.
class Host {
public:
    Host() : zeb(zebCreateInstance(false)) {}
    explicit Host(const std::string& directory) : zeb(zebCreateInstance(false)), dir_(directory) {}
    ~Host() { destroy(); }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    const std::string& dir() const { return dir_.empty() ? own_.path() : dir_; }

    int32_t configure(const std::string& url, int32_t protocol = ZEB_PROTOCOL_HTTP_AES,
                      bool reachOutOnAutoSync = false, bool multiSession = false) {
        return zebCreateConfig(zeb, dir().c_str(), kProductID, "App", url.c_str(), protocol,
                               protocol == ZEB_PROTOCOL_TLS_ONLY ? "" : kAesKey, multiSession,
                               reachOutOnAutoSync);
    }
    // Configures a registered client (its file written first with `values`)
    // and starts it; 0 when both calls succeeded.
    int32_t startRegistered(const std::string& url,
                            const std::map<std::string, std::string>& values = {},
                            bool reachOutOnAutoSync = false) {
        writeRegisteredConfig(dir(), values);
        const int32_t rc = configure(url, ZEB_PROTOCOL_HTTP_AES, reachOutOnAutoSync);
        return rc != 0 ? rc : zebStartSDK(zeb);
    }
    int32_t state() const { return zebGetState(zeb); }
    std::string clientID() const {
        char* id = nullptr;
        if (zebGetClientID(zeb, &id) != 0) return "<failed>";
        std::string s = id;
        zebFree(id);
        return s;
    }
    // zebSync, retried while a pass still runs (-310); the first other code.
    int32_t sync(bool withReachOut = false) {
        int32_t rc = ZEB_E_SYNC_IN_PROGRESS;
        const auto deadline = Clock::now() + 10s;
        while ((rc = zebSync(zeb, withReachOut)) == ZEB_E_SYNC_IN_PROGRESS &&
               Clock::now() < deadline)
            std::this_thread::sleep_for(2ms);
        return rc;
    }
    int32_t track(const std::string& name, const std::string& category = "Menu") {
        return zebTrackEvent(zeb, category.c_str(), name.c_str(), nullptr);
    }
    void destroy() {
        if (zeb != nullptr) zebDestroyInstance(zeb);
        zeb = nullptr;
    }

    ZEBInstance* zeb;

private:
    TempDir own_;
    std::string dir_;
};

// Every REQUEST line so far, as fields, in the order the server accepted
// the connections (it reports each when it ends, which may be in another
// order).
inline std::vector<Fields> requests(const CallHomeServer& server) {
    std::vector<Fields> out;
    for (const auto& line : server.requestLines()) out.push_back(CallHomeServer::fields(line));
    std::stable_sort(out.begin(), out.end(), [](const Fields& a, const Fields& b) {
        const auto seq = [](const Fields& f) {
            const auto it = f.find("seq");
            return it == f.end() ? 0ul : std::stoul(it->second);
        };
        return seq(a) < seq(b);
    });
    return out;
}

// The REQUEST lines of one type, in arrival order.
inline std::vector<Fields> requestsOf(const CallHomeServer& server, const std::string& type) {
    std::vector<Fields> out;
    for (auto& f : requests(server)) {
        if (f["type"] == type) out.push_back(f);
    }
    return out;
}

// Waits until n REQUEST lines of `type` arrived; the n-th (1-based), or
// empty fields on time-out.
inline Fields waitForType(const CallHomeServer& server, const std::string& type, size_t n,
                          std::chrono::milliseconds timeout = 10s) {
    Fields found;
    eventually(
        [&] {
            const auto all = requestsOf(server, type);
            if (all.size() < n) return false;
            found = all[n - 1];
            return true;
        },
        timeout);
    return found;
}

// What the server stored for a request: the decoded request text or the
// inflated upload.
inline std::string storedText(const CallHomeServer& server, const Fields& line) {
    const auto it = line.find("stored");
    if (it == line.end() || it->second == "-") return std::string();
    return fileText(server.outDir() + "/" + it->second);
}

// The records of every upload so far, in order, as their type and, for a
// feature event, its name ("0021:Open"). Each file's first line, the "0051"
// header, is left out; `headed` tells whether every file had one.
inline std::vector<std::string> uploadedKinds(const CallHomeServer& server, bool& headed) {
    std::vector<std::string> kinds;
    headed = true;
    for (const auto& upload : requestsOf(server, "upload")) {
        for (const auto& file : uploadedFiles(storedText(server, upload))) {
            headed = headed && !file.empty() && eventFields(file[0]).at(2) == "0051";
            for (size_t i = 1; i < file.size(); ++i) {
                const auto f = eventFields(file[i]);
                kinds.push_back(f.at(2) == "0021" ? "0021:" + f.at(4) : f.at(2));
            }
        }
    }
    return kinds;
}

// Configuration keys of a file on disk, by key with its colon.
inline std::map<std::string, std::string> configKeys(const std::string& text) {
    std::map<std::string, std::string> keys;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const size_t colon = line.find(':');
        if (colon != std::string::npos) keys[line.substr(0, colon + 1)] = line.substr(colon + 1);
    }
    return keys;
}

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The names of this process's threads, as the kernel shows them.
inline std::multiset<std::string> threadNames() {
    std::multiset<std::string> names;
    for (const auto& task : namesIn("/proc/self/task")) {
        if (task == "." || task == "..") continue;
        std::string name = fileText("/proc/self/task/" + task + "/comm");
        while (!name.empty() && name.back() == '\n') name.pop_back();
        names.insert(name);
    }
    return names;
}

}  // namespace zebtest
