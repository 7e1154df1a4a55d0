// The server's and the proxy's answers are untrusted bytes: any input must
// be accepted or refused with a text, without reading past the input, and
// an accepted response must be exactly a 200 head and its announced body.
// The same bytes then go through a connection, which must either refuse
// them in its failed state or hand out a body that lies inside what it
// received.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "transport/HttpResponseParser.h"
#include "transport/ZEBHTTPConnectionBase.h"
#include "util/ZEBException.h"

namespace {

using namespace ZEBInternal;

// A connection whose network exchange is the fuzz input: the proxy's answer
// to CONNECT when tunnelling, else the server's response.
class ReplayConnection : public ZEBHTTPConnectionBase {
public:
    ReplayConnection(const std::string& answer, bool tunnel)
        : ZEBHTTPConnectionBase("localhost:8080/req1", tunnel, "fuzz", nullptr, nullptr, false),
          answer_(answer),
          tunnel_(tunnel) {}

protected:
    void performRequest(const char*, size_t) override {
        resetResponse();
        parseUrl();
        if (tunnel_) {
            state = kStateConnectSent;
            acceptConnectAnswer(answer_);
            state = kStateSending;
            return;
        }
        state = kStateReading;
        acceptResponse(answer_);
    }

private:
    const std::string& answer_;
    const bool tunnel_;
};

// Runs one request on the replayed answer. False when it was refused, which
// must leave the connection failed with a text naming it.
bool replay(ReplayConnection& connection) {
    try {
        connection.doPost("x", 1);
        return true;
    } catch (const ZEBNetworkException& e) {
        if (connection.getState() != ZEBHTTPConnection::kStateFailed ||
            e.getMessage().rfind("Connection 'fuzz' ", 0) != 0)
            std::abort();
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly the input, so that a sanitizer catches any read
    // beyond it.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const char* begin = size == 0 ? nullptr : bytes.data();

    HttpResponseHead head;
    std::string error;
    const bool accepted = parseHttpResponse(begin, size, head, error);
    if (accepted) {
        const bool sane = error.empty() && head.code == 200 &&
                          head.bodyOffset == head.headers.size() + 4 &&
                          head.bodyOffset + head.bodyLength == size &&
                          bytes.compare(head.bodyOffset - 4, 4, "\r\n\r\n") == 0 &&
                          head.headers.find("\r\n\r\n") == std::string::npos &&
                          head.headers.find("Content-Length: ") != std::string::npos;
        if (!sane) std::abort();
    } else if (error.empty()) {
        std::abort();
    }

    ReplayConnection response(bytes, false);
    if (replay(response) != accepted) std::abort();
    uint32_t length = 0;
    const char* body = response.getResponseBody(length);
    if (accepted) {
        if (response.getState() != ZEBHTTPConnection::kStateDone ||
            response.getResponseCode() != 200 || length != head.bodyLength || body == nullptr)
            std::abort();
        // The body handed out is the tail of the input, byte for byte.
        if (std::string(body, length) != bytes.substr(size - length)) std::abort();
    } else if (body != nullptr || length != 0) {
        std::abort();
    }

    error.clear();
    const bool opened = checkConnectAnswer(begin, size, error);
    if (opened) {
        if (!error.empty() || size < 10) std::abort();
    } else if (error.rfind("(HTTP CONNECT) ", 0) != 0) {
        std::abort();
    }
    ReplayConnection tunnel(bytes, true);
    if (replay(tunnel) != opened) std::abort();
    return 0;
}
