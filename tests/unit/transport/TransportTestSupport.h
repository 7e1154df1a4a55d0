#pragma once
// Shared pieces of the transport tests: a stop monitor the test flips,
// settings with one-second budgets, and a runner that returns the text of
// the network failure a call raised.

#include <atomic>
#include <chrono>
#include <functional>
#include <string>

#include "core/ZEBStopMonitor.h"
#include "config/RuntimeSettings.h"
#include "util/ZEBException.h"

namespace zebtest {

class FlagStopMonitor : public ZEBInternal::ZEBStopMonitor {
public:
    bool shouldStop(bool) override { return stop.load(); }
    std::atomic<bool> stop{false};
};

inline ZEBInternal::RuntimeSettings fastSettings() {
    ZEBInternal::RuntimeSettings s;
    s.SSLHANDSHAKETIMEOUTSEC = 1;
    s.SENDTIMEOUTSEC = 1;
    s.REQ1RECEIVETIMEOUTSEC = 1;
    s.REQ2RECEIVETIMEOUTSEC = 1;
    return s;
}

// The message of the ZEBNetworkException that call throws, or "no error".
inline std::string networkError(const std::function<void()>& call) {
    try {
        call();
    } catch (const ZEBInternal::ZEBNetworkException& e) {
        return e.getMessage();
    }
    return "no error";
}

inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// "HTTP/1.1 200 OK" with "Server: ZEB", a Content-Length and the body.
inline std::string okResponse(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nServer: ZEB\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
}

}  // namespace zebtest
