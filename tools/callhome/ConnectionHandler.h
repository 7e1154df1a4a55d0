#pragma once
// Serves one accepted connection: tells TLS from plain HTTP by its first
// byte, reads one request (after an optional CONNECT, which opens a tunnel
// to this same server), decodes it, answers by the script with its fault,
// closes, and prints one line about it.
//
// Made and run by one connection thread; the context is borrowed from the
// server and outlives every handler.

#include <memory>
#include <string>

#include "MessageCodec.h"
#include "ServerContext.h"
#include "Socket.h"

namespace ZEBCallHome {

class ConnectionHandler {
public:
    ConnectionHandler(ServerContext& context, int fd);
    ConnectionHandler(const ConnectionHandler&) = delete;
    ConnectionHandler& operator=(const ConnectionHandler&) = delete;

    // Serves the connection to its end and closes it. Never throws.
    void run();

private:
    // pending: bytes already read that belong to this (possibly tunnelled)
    // byte stream.
    void serve(std::string pending, bool tunnelled);
    void servePost(const HttpRequest& request, bool tunnelled);
    // Checks Proxy-Authorization on a proxy-form or CONNECT request; sends
    // the 407 answer and returns false when it is required and wrong.
    bool proxyAuthorised(const HttpRequest& request);
    void deliver(const std::string& text, const Fault& fault, DecodedRequest& decoded);
    // An answer with a plain-text body, for refusals and the 5xx fault.
    void respond(int code, const char* reason, const std::string& text,
                 const std::string& extraHeaders = "");
    bool send(const std::string& bytes);
    // Reads and drops what the peer sends until it closes, the server stops
    // or ms pass.
    void holdOpen(unsigned ms);
    // The host:port this request was addressed to, for "${SELF}".
    std::string selfAddress(const HttpRequest& request) const;
    std::string substitute(const std::string& text, const std::string& self,
                           const std::string& clientId, std::string& newId) const;

    ServerContext& ctx_;
    Socket socket_;
    std::unique_ptr<Stream> stream_;
    RequestRecord record_;
};

// The answer a type gets when the script has none.
std::string defaultAnswer(const std::string& type);

}  // namespace ZEBCallHome
