// The routes an exchange takes: protocol modes and their fallback, the AES
// layer with its trailer, the headers of each attempt, certificates, and
// the proxy cases with the fallback to a direct connection.

#include <gtest/gtest.h>

#include "MessageTestSupport.h"

namespace zebtest {
namespace {

using Headers = std::vector<std::string>;
const Headers kTls = {"Content-Type: text/plain", "Connection: close"};
const Headers kAes = {"Content-Type: application/octet-stream", "Connection: close"};
const Headers kClear = {"Content-Type: text/plain", "Content-Cleartext: true", "Connection: close"};

TEST(MessageRoutes, ModeOneSendsOneEncryptedRequestAndReadsTheEncryptedAnswer) {
    MessageEnv env(1);
    FakeServer server;
    server.steps = {FakeServer::answer("STATUS:OK\nEXTRA:1\n")};
    ScriptedProbe message(server, &env.context);
    ASSERT_TRUE(message.exchange());
    ASSERT_EQ(server.requests.size(), 1u);
    const Request& r = server.requests[0];
    EXPECT_FALSE(r.useTls);
    EXPECT_EQ(r.headers, kAes);
    EXPECT_TRUE(r.certs.empty());
    // The receiver's own steps (key from the trailer) give the signed text.
    const std::string plain = FakeServer::plainText(r);
    std::string text;
    EXPECT_TRUE(isSignedEnvelope(plain, text));
    EXPECT_EQ(r.body.size(), plain.size() + 20);
    EXPECT_EQ(message.lines(), (std::vector<std::string>{"STATUS:OK", "EXTRA:1"}));
}

TEST(MessageRoutes, ModeTwoFallsBackFromTlsToPlainWithAes) {
    MessageEnv env(2);
    FakeServer server;
    server.steps = {FakeServer::fail(), FakeServer::answer("STATUS:OK\n")};
    ScriptedProbe message(server, &env.context);
    ASSERT_TRUE(message.exchange());
    ASSERT_EQ(server.requests.size(), 2u);
    const Request& tls = server.requests[0];
    const Request& plain = server.requests[1];
    EXPECT_TRUE(tls.useTls);
    EXPECT_EQ(tls.headers, kTls);
    EXPECT_FALSE(plain.useTls);
    EXPECT_EQ(plain.headers, kAes);
    // The same signed text, encrypted only for the plain attempt.
    EXPECT_EQ(FakeServer::plainText(plain), tls.body);
}

TEST(MessageRoutes, NoPlainAttemptInModeThreeOrWithoutProtocolFallback) {
    for (const uint32_t mode : {2u, 3u}) {
        MessageEnv env(mode);
        env.settings.USEPROTOCOLFALLBACK = mode == 3 ? 1 : 0;
        FakeServer server;
        server.steps = {FakeServer::fail()};
        ScriptedProbe message(server, &env.context);
        EXPECT_FALSE(message.exchange());
        ASSERT_EQ(server.requests.size(), 1u);
        EXPECT_TRUE(server.requests[0].useTls);
    }
}

TEST(MessageRoutes, ClearAttemptsSayTheyAreClearAndTheirAnswerIsText) {
    // Without HTTPS the first attempt of modes 2 and 3 goes out over plain
    // HTTP unencrypted; without AES so does the plain attempt. The server
    // answers those in clear.
    for (const uint32_t mode : {1u, 2u, 3u}) {
        MessageEnv env(mode);
        env.settings.USEHTTPSENCRYPTION = 0;
        env.settings.USEAESENCRYPTION = mode == 1 ? 0 : 1;
        FakeServer server;
        server.steps = {FakeServer::answer("STATUS:OK\n")};
        ScriptedProbe message(server, &env.context);
        EXPECT_TRUE(message.exchange()) << mode;
        ASSERT_EQ(server.requests.size(), 1u);
        EXPECT_FALSE(server.requests[0].useTls);
        EXPECT_EQ(server.requests[0].headers, kClear);
        std::string text;
        EXPECT_TRUE(isSignedEnvelope(server.requests[0].body, text));
    }
}

TEST(MessageRoutes, UploadsGoAsUploadsWithTheirOwnContentType) {
    struct Case {
        uint8_t aes, zip;
        const char* type;
    };
    for (const Case& c : {Case{1, 1, "Content-Type: application/octet-stream"},
                          Case{0, 1, "Content-Type: application/octet-stream"},
                          Case{0, 0, "Content-Type: text/plain"}}) {
        MessageEnv env(1);
        env.settings.USEAESENCRYPTION = c.aes;
        env.settings.USEZIP = c.zip;
        FakeServer server;
        ScriptedProbe message(server, &env.context, "upload");
        EXPECT_TRUE(message.exchange());
        const Request& r = server.requests[0];
        EXPECT_TRUE(r.upload);
        EXPECT_EQ(r.headers.front(), c.type);
        EXPECT_EQ(r.cleartext(), c.aes == 0);
        EXPECT_TRUE(env.stop.lastIsSyncOrUpload);
    }
}

TEST(MessageRoutes, TlsAttemptsTrustDiscoveredOrBuiltInCertificates) {
    MessageEnv env(3);
    FakeServer server;
    ScriptedProbe discovered(server, &env.context);
    EXPECT_TRUE(discovered.exchange());
    EXPECT_EQ(server.requests.back().certs, env.config->discoveredCAs());
    env.settings.USEDISCOVEREDCERTS = 0;
    ScriptedProbe builtIn(server, &env.context);
    EXPECT_TRUE(builtIn.exchange());
    EXPECT_EQ(server.requests.back().certs, Configuration::builtInCAs());
}

TEST(MessageRoutes, ProxySettingsGiveTheirConnectionForms) {
    struct Case {
        std::string host;
        uint16_t port;
        std::string user, password;
        bool set;
        std::string wantHost;
        uint16_t wantPort;
    };
    const std::vector<Case> cases = {
        {"", 0, "", "", false, "", 0},
        {"proxy.local", 3128, "", "", true, "proxy.local", 3128},
        {"proxy.local", 3128, "user", "secret", true, "proxy.local", 3128},
        {"", 3128, "user", "secret", true, "", 0},  // credentials alone: port 0
    };
    for (const Case& c : cases) {
        MessageEnv env(1);
        env.config->proxy().set(c.host, c.port, c.user, c.password);
        FakeServer server;
        ScriptedProbe message(server, &env.context);
        EXPECT_TRUE(message.exchange()) << c.host << c.user;
        ASSERT_EQ(server.requests.size(), 1u);
        const Request& r = server.requests[0];
        EXPECT_EQ(r.proxySet, c.set);
        EXPECT_EQ(r.proxyHost, c.wantHost);
        EXPECT_EQ(r.proxyPort, c.wantPort);
        EXPECT_EQ(r.proxyUser, c.user);
        EXPECT_EQ(r.proxyPassword, c.password);
    }
}

TEST(MessageRoutes, FailedProxyAttemptFallsBackToDirectOnlyWhenAllowed) {
    for (const uint8_t fallback : {1, 0}) {
        MessageEnv env(2);
        env.settings.USEPROXYFALLBACK = fallback;
        env.config->proxy().set("proxy.local", 3128, "user", "secret");
        FakeServer server;
        server.steps = {FakeServer::fail()};
        ScriptedProbe message(server, &env.context);
        EXPECT_FALSE(message.exchange());
        // TLS then plain, each through the proxy and, when allowed, direct.
        std::vector<std::pair<bool, bool>> routes;
        for (const Request& r : server.requests) routes.emplace_back(r.useTls, r.proxySet);
        const std::vector<std::pair<bool, bool>> expected =
            fallback ? std::vector<std::pair<bool, bool>>{{true, true},
                                                          {true, false},
                                                          {false, true},
                                                          {false, false}}
                     : std::vector<std::pair<bool, bool>>{{true, true}, {false, true}};
        EXPECT_EQ(routes, expected);
        // Encrypted once: both plain attempts carry the same bytes.
        if (fallback) {
            EXPECT_EQ(server.requests[2].body, server.requests[3].body);
        }
    }
}

TEST(MessageRoutes, DirectAnswerIsDecryptedAfterAProxyAnswerWasRead) {
    // The proxy route's answer is decrypted and then fails its signature;
    // the direct answer again continues the request's register and is read.
    MessageEnv env(1);
    env.config->proxy().set("proxy.local", 3128, "", "");
    FakeServer server;
    server.steps = {FakeServer::answer("STATUS:OK\n", false),
                    FakeServer::answer("STATUS:OK\nFROM:direct\n")};
    ScriptedProbe message(server, &env.context);
    EXPECT_TRUE(message.exchange());
    EXPECT_EQ(server.requests.size(), 2u);
    EXPECT_EQ(message.lines(), (std::vector<std::string>{"STATUS:OK", "FROM:direct"}));
}

}  // namespace
}  // namespace zebtest
