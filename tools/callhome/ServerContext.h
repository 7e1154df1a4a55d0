#pragma once
// What every connection of the server shares. Built by main() before the
// first connection and read-only afterwards, except for the parts with
// their own locks (Script, RequestLog) and the atomics below.

#include <atomic>
#include <cstdint>
#include <string>

#include "HttpRequest.h"
#include "MessageCodec.h"
#include "RequestLog.h"
#include "Script.h"
#include "TlsServer.h"

namespace ZEBCallHome {

struct ServerContext {
    ServerContext(Script& s, RequestLog& l) : script(s), log(l) {}

    Script& script;                  // owned by main()
    RequestLog& log;                 // owned by main()
    const TlsServer* tls = nullptr;  // owned by main(); null: plain HTTP only
    DecodeSettings decode;
    ReadLimits limits;
    uint16_t port = 0;
    std::string proxyAuthorization;  // expected header value; empty: none needed
    unsigned holdMaxMs = 120000;
    bool devMode = false;  // newreg and sync answers get withDevSettings()
    std::atomic<bool> stop{false};
    std::atomic<unsigned long> lastSeq{0};
};

}  // namespace ZEBCallHome
