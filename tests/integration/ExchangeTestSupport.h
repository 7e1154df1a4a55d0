#pragma once
// Pieces of the exchange tests, which run real messages over the real
// transport against zeb-callhome:
//  - Client: a configuration on its own data directory with short budgets
//    and a stop flag, and one call per message type;
//  - RecordingRelay: a loopback TCP relay to another local port that keeps
//    the bytes of every connection in both directions, so a test reads the
//    exact request head the client wrote (TLS stays opaque to it);
//  - runWithTrustedCa (support/TrustedCa.h) for the TLS tests.
//
// Each object belongs to one test. The relay records on its own thread and
// hands conversations out under its lock.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/SDKContext.h"
#include "core/ZEBStopMonitor.h"
#include "config/Configuration.h"
#include "config/RuntimeSettings.h"
#include "messages/ZEBPingMessage.h"
#include "messages/ZEBTestConnMessage.h"
#include "support/LoopbackPeer.h"
#include "transport/SystemCerts.h"
#include "support/TempDir.h"
#include "support/TrustedCa.h"
#include "util/Files.h"

namespace zebtest {

constexpr const char* kAesKeyHex = "00112233445566778899AABBCCDDEEFF";

class FlagStopMonitor : public ZEBInternal::ZEBStopMonitor {
public:
    bool shouldStop(bool) override { return stop.load(); }
    std::atomic<bool> stop{false};
};

// One client: settings, stop flag and configuration. The settings are read
// at each exchange, so a test may change them after construction; the
// trusted CA list is read from /etc/ssl/certs here, at construction.
class Client {
public:
    // serverUrl: host, port and path, no scheme. Mode 3 carries no AES key.
    Client(uint32_t protocol, const std::string& serverUrl) {
        settings.SSLHANDSHAKETIMEOUTSEC = 5;
        settings.SENDTIMEOUTSEC = 5;
        settings.REQ1RECEIVETIMEOUTSEC = 5;
        settings.REQ2RECEIVETIMEOUTSEC = 5;
        ZEBInternal::ConfigArguments a;
        a.dataDirectory = dir.path();
        a.serverURL = serverUrl;
        a.protocol = protocol;
        a.aesKeyHex = protocol == 3 ? "" : kAesKeyHex;
        a.productID = "0123456789";
        a.appName = "ExchangeTest";
        if (protocol != 1) a.discoveredCAs = ZEBInternal::discoverSystemCerts();
        config = std::make_unique<ZEBInternal::Configuration>(&stop, &settings, a);
        config->file().setClientID("0A1B2C3D4E5F60718293A4B5C6D7E8F9");
        context.configuration = config.get();
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // One exchange each; the status, with exchange()'s result folded in so
    // that a success reported with another status (or the reverse) shows.
    uint32_t testconn() {
        ZEBInternal::ZEBTestConnection message(&context);
        return outcome(message);
    }
    uint32_t ping() {
        ZEBInternal::ZEBPing message(&context, "FINGERPRINT1:ABC\n");
        return outcome(message);
    }

    TempDir dir;
    ZEBInternal::RuntimeSettings settings;
    FlagStopMonitor stop;
    std::unique_ptr<ZEBInternal::Configuration> config;
    ZEBInternal::SDKContext context;

    // A status no message has: exchange() and getStatus() disagreed.
    static constexpr uint32_t kInconsistent = 99;

private:
    static uint32_t outcome(ZEBInternal::ZEBMessageBase& message) {
        const bool ok = message.exchange();
        const uint32_t status = message.getStatus();
        return ok == (status == ZEBInternal::ZEBMessageBase::kStatusSuccess) ? status
                                                                             : kInconsistent;
    }
};

// The request head (up to, not including, the blank line), or "" when the
// bytes hold none.
inline std::string headOf(const std::string& bytes) {
    const size_t end = bytes.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : bytes.substr(0, end);
}

// Bytes after the head's blank line.
inline size_t bodySizeOf(const std::string& bytes) {
    const size_t end = bytes.find("\r\n\r\n");
    return end == std::string::npos ? 0 : bytes.size() - end - 4;
}

class RecordingRelay {
public:
    struct Conversation {
        std::string sent;      // client to target
        std::string answered;  // target to client
    };

    explicit RecordingRelay(uint16_t targetPort)
        : targetPort_(targetPort),
          peer_([this](PeerStream& s, const std::atomic<bool>& stop) { relay(s, stop); }) {}

    uint16_t port() const { return peer_.port(); }

    // Waits until n conversations have ended; false on time-out.
    bool waitFor(size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return done_.size() >= n; });
    }
    std::vector<Conversation> conversations() {
        std::lock_guard<std::mutex> lock(mutex_);
        return done_;
    }

private:
    static bool sendAll(int fd, const char* data, size_t n) {
        while (n > 0) {
            const ssize_t w = ::send(fd, data, n, MSG_NOSIGNAL);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return false;
            data += w;
            n -= static_cast<size_t>(w);
        }
        return true;
    }

    void relay(PeerStream& client, const std::atomic<bool>& stop) {
        Conversation c;
        const int up = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(targetPort_);
        if (up >= 0 && ::connect(up, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
            // Both directions in one loop with short waits; the deadline
            // bounds a conversation whose ends both stay silent.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
            bool clientOpen = true;
            char buf[16384];
            while (!stop.load() && std::chrono::steady_clock::now() < deadline) {
                if (clientOpen) {
                    const int n = client.read(buf, sizeof buf, 2);
                    if (n > 0) {
                        c.sent.append(buf, static_cast<size_t>(n));
                        if (!sendAll(up, buf, static_cast<size_t>(n))) break;
                    } else if (n == 0) {
                        clientOpen = false;
                        ::shutdown(up, SHUT_WR);
                    }
                }
                pollfd p{up, POLLIN, 0};
                if (::poll(&p, 1, 2) <= 0) continue;
                const ssize_t n = ::recv(up, buf, sizeof buf, 0);
                // The target closed (or reset): the client learns it when
                // the peer closes this connection after the handler.
                if (n <= 0) break;
                c.answered.append(buf, static_cast<size_t>(n));
                if (!client.write(std::string(buf, static_cast<size_t>(n)))) break;
            }
        }
        if (up >= 0) ::close(up);
        std::lock_guard<std::mutex> lock(mutex_);
        done_.push_back(std::move(c));
        changed_.notify_all();
    }

    const uint16_t targetPort_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Conversation> done_;  // guarded by mutex_
    // Last: its thread uses the members above and is joined first.
    LoopbackPeer peer_;
};

}  // namespace zebtest
