// One POST through ZEBHTTPConnection against scripted loopback peers: the
// request head in its direct and proxy forms, the CONNECT answers a proxy
// can give, response failures and the connection's state rules.

#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "support/LoopbackPeer.h"
#include "unit/transport/TransportTestSupport.h"
#include "transport/ZEBHTTPConnection.h"

namespace {

using ZEBInternal::createConnection;
using ZEBInternal::ZEBHTTPConnection;
using zebtest::LoopbackPeer;
using zebtest::networkError;
using zebtest::PeerStream;

// A peer that records the request it receives and sends a fixed answer.
class RecordingPeer {
public:
    explicit RecordingPeer(std::string answer)
        : peer_([this, answer](PeerStream& s, const std::atomic<bool>&) {
              const std::string request = s.readRequest();
              {
                  std::lock_guard<std::mutex> lock(mutex_);
                  request_ = request;
              }
              if (!answer.empty()) s.write(answer);
          }) {}
    uint16_t port() const { return peer_.port(); }
    std::string request() {
        peer_.stop();
        std::lock_guard<std::mutex> lock(mutex_);
        return request_;
    }

private:
    std::mutex mutex_;
    std::string request_;  // guarded by mutex_
    LoopbackPeer peer_;     // last: its thread stops before the fields go
};

struct Fixture {
    zebtest::FlagStopMonitor monitor;
    ZEBInternal::RuntimeSettings settings = zebtest::fastSettings();
    std::unique_ptr<ZEBHTTPConnection> connect(const std::string& url, bool tls = false) {
        return createConnection(url, tls, "ping", &monitor, &settings, false);
    }
};

TEST(HTTPConnection, DirectPostSendsHostWithPortAndReadsTheBody) {
    RecordingPeer server(zebtest::okResponse("PONG\n"));
    const std::string hostPort = "127.0.0.1:" + std::to_string(server.port());
    Fixture f;
    auto conn = f.connect(hostPort + "/req1?a=1");
    conn->addHeader("Content-Type: text/plain");
    conn->addHeader("Connection: close");
    conn->doUpload("hello", 5);

    EXPECT_EQ(server.request(), "POST /req1?a=1 HTTP/1.1\r\nHost: " + hostPort +
                                    "\r\nContent-Type: text/plain\r\nConnection: close\r\n"
                                    "Content-Length: 5\r\n\r\nhello");
    EXPECT_EQ(conn->getState(), ZEBHTTPConnection::kStateDone);
    EXPECT_EQ(conn->getResponseCode(), 200);
    EXPECT_EQ(conn->getResponseHeaders(), "HTTP/1.1 200 OK\r\nServer: ZEB\r\nContent-Length: 5");
    uint32_t length = 0;
    const char* body = conn->getResponseBody(length);
    EXPECT_EQ(std::string(body, length), "PONG\n");
}

TEST(HTTPConnection, AUrlWithoutPathStillSendsAValidRequestLine) {
    RecordingPeer server(zebtest::okResponse(""));
    Fixture f;
    auto conn = f.connect("127.0.0.1:" + std::to_string(server.port()));
    conn->doPost(nullptr, 0);
    EXPECT_EQ(server.request().substr(0, 21), "POST / HTTP/1.1\r\nHost");
}

TEST(HTTPConnection, PlainHttpThroughAProxyUsesTheAbsoluteForm) {
    Fixture f;
    {
        RecordingPeer proxy(zebtest::okResponse("ok"));
        auto conn = f.connect("collect.example.com:8080/req1");
        conn->setProxy("127.0.0.1", proxy.port(), "alice", "s3cret");
        conn->doPost("hi", 2);
        EXPECT_EQ(proxy.request(),
                  "POST http://collect.example.com:8080/req1 HTTP/1.1\r\n"
                  "Proxy-Authorization: Basic YWxpY2U6czNjcmV0\r\n"
                  "Content-Length: 2\r\n\r\nhi");
    }
    {
        // Half a credential is dropped: no authorization line at all.
        RecordingPeer proxy(zebtest::okResponse("ok"));
        auto conn = f.connect("collect.example.com/req1");
        conn->setProxy("127.0.0.1", proxy.port(), "alice", "");
        conn->doPost("", 0);
        EXPECT_EQ(proxy.request(),
                  "POST http://collect.example.com:80/req1 HTTP/1.1\r\nContent-Length: 0\r\n\r\n");
    }
    {
        // Credentials without a proxy host: the server itself is reached,
        // still with the proxy form.
        RecordingPeer server(zebtest::okResponse("ok"));
        const std::string hostPort = "127.0.0.1:" + std::to_string(server.port());
        auto conn = f.connect(hostPort + "/req1");
        conn->setProxy("", 0, "alice", "s3cret");
        conn->doPost("", 0);
        EXPECT_EQ(server.request(), "POST http://" + hostPort +
                                        "/req1 HTTP/1.1\r\nProxy-Authorization: Basic "
                                        "YWxpY2U6czNjcmV0\r\nContent-Length: 0\r\n\r\n");
    }
}

TEST(HTTPConnection, TlsThroughAProxyRefusesBadConnectAnswers) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"HTTP/2 200\r\n\r\n", "(HTTP CONNECT) Non-HTTP/1.1 response."},
        {"HTTP/1.1 403 Forbidden\r\n\r\n", "(HTTP CONNECT) Non-2xx response code = '403'."},
        {"", "(HTTP CONNECT) NULL response data."},
    };
    for (const auto& c : cases) {
        RecordingPeer proxy(c.first);
        Fixture f;
        auto conn = f.connect("collect.example.com/req1", true);
        conn->setProxy("127.0.0.1", proxy.port(), "alice", "s3cret");
        conn->setCerts({"unused until the tunnel is open\n"});
        EXPECT_EQ(networkError([&] { conn->doPost("x", 1); }), "Connection 'ping' " + c.second);
        EXPECT_EQ(proxy.request(),
                  "CONNECT collect.example.com:443 HTTP/1.1\r\n"
                  "Proxy-Authorization: Basic YWxpY2U6czNjcmV0\r\n"
                  "Host: collect.example.com\r\n\r\n");
        EXPECT_EQ(conn->getState(), ZEBHTTPConnection::kStateFailed);
    }
}

TEST(HTTPConnection, RefusedResponsesFailTheConnectionForGood) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "Empty response data."},
        {"HTTP/1.1 503 Busy\r\nContent-Length: 0\r\n\r\n",
         "Unexpected response code to find response body data."},
        {"HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nab",
         "Mismatch in response body data length (2) and content length header (1)."},
    };
    for (const auto& c : cases) {
        RecordingPeer server(c.first);
        Fixture f;
        auto conn = f.connect("127.0.0.1:" + std::to_string(server.port()) + "/req1");
        EXPECT_EQ(networkError([&] { conn->doPost("x", 1); }), "Connection 'ping' " + c.second);
        uint32_t length = 7;
        EXPECT_EQ(conn->getResponseBody(length), nullptr);
        EXPECT_EQ(length, 0u);
        // A failed connection is never configured or used again.
        EXPECT_EQ(networkError([&] { conn->addHeader("X: y"); }),
                  "Connection 'ping' BUG - addHeader called in illegal state = 4294967287");
    }
}

TEST(HTTPConnection, ConfigurationAndUseFollowTheStateRules) {
    RecordingPeer server(zebtest::okResponse("ok"));
    Fixture f;
    auto bad = f.connect("http://collect.example.com/req1");
    EXPECT_EQ(networkError([&] { bad->doPost("x", 1); }),
              "Connection 'ping' Failed to parse URL 'http://collect.example.com/req1'.");
    auto conn = f.connect("127.0.0.1:" + std::to_string(server.port()) + "/req1");
    EXPECT_EQ(networkError([&] { conn->addHeader(""); }), "Connection 'ping' BUG - adding empty header");
    auto used = f.connect("127.0.0.1:" + std::to_string(server.port()) + "/req1");
    used->doPost("x", 1);
    EXPECT_EQ(networkError([&] { used->doPost("x", 1); }),
              "Connection 'ping' BUG - doPost called in illegal state = 9");
    EXPECT_EQ(networkError([&] { used->setProxy("p", 1, "", ""); }),
              "Connection 'ping' BUG - setProxy called in illegal state = 4294967287");
}

}  // namespace
