// The exchange as a whole: every outcome code, the request as it goes on
// the wire, and the stop monitor between steps.

#include <gtest/gtest.h>

#include <ctime>

#include "MessageTestSupport.h"

namespace zebtest {
namespace {

Reply okWithHeaders(const std::string& headers) {
    Reply r;
    r.headers = headers;
    r.body = "STATUS:OK\n" + sha256Base64(std::string("STATUS:OK\n")) + "\n";
    return r;
}

TEST(MessageExchange, EveryOutcomeHasItsStatus) {
    Reply not200 = okWithHeaders("HTTP/1.1 500 x\r\nServer: ZEB");
    not200.code = 500;
    Reply nullBody;
    nullBody.bodyIsNull = true;
    Reply blank;
    blank.body = "\n \r\n\t\n";
    Reply badSignature;
    badSignature.body = "STATUS:OK\n" + sha256Base64(std::string("STATUS:KO\n")) + "\n";
    struct Case {
        const char* name;
        FakeServer::Step step;
        bool accept;
        uint32_t status;
    };
    const std::vector<Case> cases = {
        {"connection fails (also any code but 200)", FakeServer::fail(), true, 0},
        {"code 500 from a connection that did not throw", FakeServer::raw(not200), true, 0},
        {"no Server line", FakeServer::raw(okWithHeaders("HTTP/1.1 200 OK")), true, 5},
        {"lower case", FakeServer::raw(okWithHeaders("HTTP/1.1 200 OK\r\nserver: ZEB")), true, 5},
        {"inside a line", FakeServer::raw(okWithHeaders("HTTP/1.1 200 OK\r\nX-Server: ZEB")), true,
         5},
        {"padded", FakeServer::raw(okWithHeaders("HTTP/1.1 200 OK\r\nServer: ZEB \r\nA: b")), true,
         7},
        {"empty body", FakeServer::raw(Reply()), true, 6},
        {"no body", FakeServer::raw(nullBody), true, 6},
        {"blank lines only", FakeServer::raw(blank), true, 3},
        {"wrong signature", FakeServer::raw(badSignature), true, 4},
        {"verification error", FakeServer::answer("CLIENTID:1\nSTATUS:VERIFICATIONERROR\n"), true,
         6},
        {"refused by the message", FakeServer::answer("STATUS:OK\n"), false, 6},
        {"success", FakeServer::answer("STATUS:OK\n"), true, 7},
    };
    for (const Case& c : cases) {
        MessageEnv env(3);  // one TLS attempt, answered in clear
        FakeServer server;
        server.steps = {c.step};
        ScriptedProbe message(server, &env.context);
        message.accept = c.accept;
        EXPECT_EQ(message.exchange(), c.status == 7) << c.name;
        EXPECT_EQ(message.getStatus(), c.status) << c.name;
        EXPECT_EQ(server.requests.size(), 1u) << c.name;
        // The message reads only answers that passed every check and were
        // not refused by the server.
        EXPECT_EQ(message.parsed, c.status == 7 || !c.accept ? 1 : 0) << c.name;
    }
}

TEST(MessageExchange, EnvelopeWithAndWithoutIdentity) {
    MessageEnv env(3);
    env.config->file().setClientID("CLIENT42");
    FakeServer server;
    for (const bool identity : {true, false}) {
        ScriptedProbe message(server, &env.context, "ping", identity);
        ASSERT_TRUE(message.exchange());
        EXPECT_EQ(message.sentTo(), "collect.example.com:8080/app/req1");
        std::string text;
        ASSERT_TRUE(isSignedEnvelope(server.requests.back().body, text));
        std::vector<std::string> lines = split(text, "\n");
        ASSERT_EQ(lines.size(), identity ? 8u : 6u);
        const std::string stamp = lines[lines.size() - 3];
        ASSERT_TRUE(startsWith(stamp, "TIMESTAMP:"));
        EXPECT_NEAR(std::stod(stamp.substr(10)), static_cast<double>(std::time(nullptr)), 60.0);
        lines.erase(lines.end() - 3);
        std::vector<std::string> expected = {"****REQUESTINFO", "TYPE:ping",
                                             "PRODUCTID:0123456789"};
        if (identity) {
            expected.push_back("CLIENTID:CLIENT42");
            expected.push_back("CONFIGVERSION:" + env.config->file().getConfigVersion());
        }
        expected.push_back("SDKVERSION:" + env.config->version().shortVersion);
        expected.push_back("APPNAME:App");
        EXPECT_EQ(lines, expected);
    }
}

TEST(MessageExchange, StopMonitorIsAskedBetweenTheSteps) {
    // Asked before building, after signing and before the plain attempt.
    for (int stopAt : {1, 2, 3}) {
        MessageEnv env(2);
        env.stop.stopAtCall = stopAt;
        FakeServer server;
        server.steps = {FakeServer::fail()};
        ScriptedProbe message(server, &env.context, "sync");
        EXPECT_FALSE(message.exchange());
        EXPECT_EQ(env.stop.calls, stopAt);
        EXPECT_TRUE(env.stop.lastIsSyncOrUpload);
        EXPECT_EQ(server.requests.size(), stopAt == 3 ? 1u : 0u) << stopAt;
    }
    MessageEnv env(1);
    FakeServer server;
    ScriptedProbe message(server, &env.context, "ping");
    EXPECT_TRUE(message.exchange());
    EXPECT_EQ(env.stop.calls, 3);
    EXPECT_FALSE(env.stop.lastIsSyncOrUpload);
}

TEST(MessageExchange, FailuresOtherThanTheNetworkEndTheExchangeWithoutFallback) {
    MessageEnv env(2);
    FakeServer server;
    server.steps = {FakeServer::fail(Reply::kOtherFailure), FakeServer::answer("STATUS:OK\n")};
    ScriptedProbe message(server, &env.context);
    EXPECT_FALSE(message.exchange());
    EXPECT_EQ(server.requests.size(), 1u);
    EXPECT_EQ(message.getStatus(), 0u);

    SDKContext empty;  // a message needs a configuration
    EXPECT_THROW(ProbeMessage bug(&empty), ZEBException);
}

}  // namespace
}  // namespace zebtest
