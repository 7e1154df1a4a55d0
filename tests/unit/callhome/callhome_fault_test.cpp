// zeb-callhome's fault modes as the client sees them on the wire, and the
// server staying up and bounded under hostile or idle connections.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "WireClient.h"
#include "support/CallHomeServer.h"

namespace callhometest {
namespace {

using zebtest::CallHomeServer;
using Clock = std::chrono::steady_clock;

const std::string kClear = "Content-Type: text/plain\r\nContent-Cleartext: true\r\n";

CallHomeServer::Config withFault(const std::string& fault) {
    CallHomeServer::Config config;
    config.extraArgs = {"--fault", fault, "--hold-max", "5000"};
    return config;
}

WireReply newreg(const CallHomeServer& server, int timeoutMs = 5000) {
    return exchange(server.port(),
                    post("/req1", server.address(), signedBody(envelope("newreg")), kClear),
                    timeoutMs);
}

long announcedLength(const WireReply& reply) {
    std::string head, body;
    if (!reply.split(head, body)) return -1;
    const size_t at = head.find("Content-Length: ");
    return at == std::string::npos ? -1 : std::stol(head.substr(at + 16));
}

TEST(CallHomeFaults, AnswersBrokenTheWayEachFaultSays) {
    std::vector<std::string> lines;
    {
        CallHomeServer server(withFault("bad-signature"));
        const WireReply r = newreg(server);
        EXPECT_EQ(200, r.code());
        EXPECT_FALSE(verifyAnswer(r.body(), lines));
        EXPECT_FALSE(findValue(lines, "CLIENTID").empty());
        EXPECT_EQ("bad-signature", server.request(0)["fault"]);
    }
    {
        CallHomeServer server(withFault("no-server-header"));
        const WireReply r = newreg(server);
        EXPECT_FALSE(r.hasHeaderLine("Server: ZEB"));
        EXPECT_EQ(std::string::npos, r.raw.find("Server:"));
        EXPECT_TRUE(verifyAnswer(r.body(), lines));
    }
    {
        CallHomeServer server(withFault("wrong-length"));
        const WireReply r = newreg(server);
        EXPECT_TRUE(r.closed);
        EXPECT_EQ(static_cast<long>(r.body().size()) + 1, announcedLength(r));
    }
    {
        CallHomeServer server(withFault("http-500"));
        const WireReply r = newreg(server);
        EXPECT_EQ(500, r.code());
        EXPECT_EQ(static_cast<long>(r.body().size()), announcedLength(r));
    }
    {
        CallHomeServer server(withFault("http-204"));
        const WireReply r = newreg(server);
        EXPECT_EQ(204, r.code());
        EXPECT_TRUE(r.hasHeaderLine("Content-Length: 0"));
        EXPECT_EQ("", r.body());
    }
    {
        CallHomeServer server(withFault("empty-body"));
        const WireReply r = newreg(server);
        EXPECT_EQ(200, r.code());
        EXPECT_TRUE(r.hasHeaderLine("Server: ZEB"));
        EXPECT_EQ("", r.body());
    }
    {
        CallHomeServer server(withFault("garbage"));
        const WireReply r = newreg(server);
        EXPECT_TRUE(r.closed);
        EXPECT_EQ(256u, r.raw.size());
        EXPECT_EQ(std::string::npos, r.raw.find("\r\n\r\n"));
        EXPECT_EQ(0, r.code());
    }
    {
        CallHomeServer server(withFault("close"));
        const WireReply r = newreg(server);
        EXPECT_TRUE(r.closed);
        EXPECT_EQ("", r.raw);
        EXPECT_EQ("0", server.request(0)["http"]);
    }
    {
        CallHomeServer server(withFault("verification-error"));
        const WireReply r = newreg(server);
        ASSERT_TRUE(verifyAnswer(r.body(), lines));
        EXPECT_EQ((std::vector<std::string>{"STATUS:VERIFICATIONERROR"}), lines);
    }
}

TEST(CallHomeFaults, SlowHangingAndLingeringAnswers) {
    {
        CallHomeServer server(withFault("delay:400"));
        const auto start = Clock::now();
        const WireReply r = newreg(server);
        EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(400));
        std::vector<std::string> lines;
        EXPECT_TRUE(verifyAnswer(r.body(), lines)) << "a slow answer is still a good one";
    }
    {
        // The hang applies to ping only: other requests keep being served
        // while a hanging connection is open.
        CallHomeServer server(withFault("ping=hang"));
        const int fd = connectLoopback(server.port());
        ASSERT_GE(fd, 0);
        const std::string ping =
            post("/req1", server.address(), signedBody(envelope("ping", "C1")), kClear);
        ASSERT_EQ(static_cast<ssize_t>(ping.size()), ::write(fd, ping.data(), ping.size()));
        EXPECT_EQ(200, newreg(server).code());
        EXPECT_EQ("newreg", server.request(0)["type"]);
        const WireReply r = exchange(server.port(), ping, 500);
        EXPECT_TRUE(r.timedOut);
        EXPECT_EQ("", r.raw);
        ::close(fd);  // the server notices and finishes the hung connection
        ASSERT_TRUE(server.waitForRequests(3));
        EXPECT_EQ("hang", server.request(1)["fault"]);
    }
    {
        CallHomeServer server(withFault("no-close"));
        const WireReply r = newreg(server, 600);
        EXPECT_TRUE(r.timedOut) << "the answer is complete, but the connection stays open";
        EXPECT_EQ(static_cast<long>(r.body().size()), announcedLength(r));
        std::vector<std::string> lines;
        EXPECT_TRUE(verifyAnswer(r.body(), lines));
    }
}

TEST(CallHomeFaults, PerTypeFaultLeavesOtherTypesAlone) {
    CallHomeServer server(withFault("sync=http-500"));
    EXPECT_EQ(200, newreg(server).code());
    const WireReply r = exchange(
        server.port(), post("/req1", server.address(), signedBody(envelope("sync", "C1")), kClear));
    EXPECT_EQ(500, r.code());
}

TEST(CallHomeFaults, HostileAndIdleConnectionsAreBounded) {
    CallHomeServer::Config config;
    config.extraArgs = {"--idle-timeout", "300", "--max-body", "1000"};
    CallHomeServer server(config);

    WireReply r = exchange(server.port(), std::string("\x01\x02garbage\r\n\r\n", 13));
    EXPECT_EQ(400, r.code());
    EXPECT_EQ("malformed", server.request(0)["verdict"]);

    r = exchange(server.port(), "POST /req1 HTTP/1.1\r\nContent-Length: 5000\r\n\r\n");
    EXPECT_EQ(413, r.code());
    EXPECT_EQ("body-too-large", server.request(1)["verdict"]);

    r = exchange(server.port(), "POST /req1 HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n");
    EXPECT_EQ(400, r.code());

    // Silent, and silent half-way through a body: both closed by the server.
    const auto start = Clock::now();
    r = exchange(server.port(), "", 5000);
    EXPECT_TRUE(r.closed);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ("idle-timeout", server.request(3)["verdict"]);
    r = exchange(server.port(), "POST /req1 HTTP/1.1\r\nContent-Length: 100\r\n\r\nabc", 5000);
    EXPECT_TRUE(r.closed);
    EXPECT_EQ("idle-timeout", server.request(4)["verdict"]);

    // A TLS hello where no certificate was given.
    r = exchange(server.port(), std::string("\x16\x03\x01\x00\x05hello", 10));
    EXPECT_TRUE(r.closed);
    EXPECT_EQ("tls-not-configured", server.request(5)["verdict"]);

    // Still serving, and stops cleanly on SIGTERM.
    EXPECT_EQ(200, newreg(server).code());
    EXPECT_EQ(0, server.stop());
    EXPECT_EQ("STOPPED", server.lines().back());
}

}  // namespace
}  // namespace callhometest
