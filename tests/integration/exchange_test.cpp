// Whole message exchanges over the real transport against zeb-callhome:
// plain HTTP with AES, TLS with and without the fall-back to AES, TLS only,
// the request heads on the wire, a real proxy (tinyproxy) with and without
// Basic authentication and its fall-back to a direct connection, every
// status a server can provoke, and a stop during a waiting read.
//
// The server's REQUEST lines tell what reached it. Their "seq" counts the
// connections it accepted, so a follow-up request (the "sentinel" below)
// proves that nothing else arrived in between. TLS succeeds only where the
// test CA is trusted, which needs root (see runWithTrustedCa).

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "ExchangeTestSupport.h"
#include "support/CallHomeServer.h"
#include "support/LoopbackPeer.h"
#include "support/TempDir.h"
#include "support/TestCertificates.h"
#include "support/TinyproxyProcess.h"
#include "util/Digest.h"
#include "util/Files.h"

namespace {

using zebtest::CallHomeServer;
using zebtest::Client;
using zebtest::RecordingRelay;
using Fields = std::map<std::string, std::string>;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kNoResponse = 0;
constexpr uint32_t kBadSignature = 4;
constexpr uint32_t kNotOurServer = 5;
constexpr uint32_t kUnusable = 6;
constexpr uint32_t kSuccess = 7;

// "alice:s3cret" in Base64.
constexpr const char* kAliceAuth = "Proxy-Authorization: Basic YWxpY2U6czNjcmV0";

std::string port(uint16_t p) {
    return std::to_string(p);
}

// A field of a REQUEST line, "" when absent.
std::string value(const Fields& line, const std::string& key) {
    const auto it = line.find(key);
    return it == line.end() ? std::string() : it->second;
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The first REQUEST line, in arrival order, that match accepts; empty when
// none comes within 10 s.
Fields waitForLine(const CallHomeServer& server, const std::function<bool(const Fields&)>& match) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    for (size_t n = 0;;) {
        const std::vector<std::string> lines = server.requestLines();
        for (; n < lines.size(); ++n) {
            Fields f = CallHomeServer::fields(lines[n]);
            if (match(f)) return f;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !server.waitForRequests(n + 1, left)) return {};
    }
}

// The line of the seq-th connection the server accepted (from 1).
Fields connection(const CallHomeServer& server, unsigned seq) {
    return waitForLine(server,
                       [&](const Fields& f) { return value(f, "seq") == std::to_string(seq); });
}

// A ping from a fresh mode-1 client; the connection number the server gave
// it, or 0 when it failed. Every connection accepted before it has a lower
// number, so "sentinel == n + 1" means exactly n connections came first.
unsigned sentinel(const CallHomeServer& server) {
    Client c(1, server.address() + "/app");
    if (c.ping() != kSuccess) return 0;
    Fields f = waitForLine(server, [](const Fields& l) { return value(l, "type") == "ping"; });
    return f.empty() ? 0 : static_cast<unsigned>(std::stoul(value(f, "seq")));
}

CallHomeServer::Config aesServer(const std::string& script = "",
                                 std::vector<std::string> extra = {}) {
    CallHomeServer::Config config;
    config.aesKeyHex = zebtest::kAesKeyHex;
    config.script = script;
    config.extraArgs = std::move(extra);
    return config;
}

// The exact head a plain (non-proxy) request carries.
std::string originHead(uint16_t to, const std::string& bodyHeaders, size_t length) {
    return "POST /app/req1 HTTP/1.1\r\nHost: localhost:" + port(to) + "\r\n" + bodyHeaders +
           "Connection: close\r\nContent-Length: " + std::to_string(length);
}

const std::string kOctets = "Content-Type: application/octet-stream\r\n";
const std::string kClearText = "Content-Type: text/plain\r\nContent-Cleartext: true\r\n";

std::string storedText(const CallHomeServer& server, const Fields& line) {
    std::string text;
    ZEBInternal::readFile(server.outDir() + "/" + value(line, "stored"), text);
    return text;
}

// ---------------------------------------------------------------------------
// Mode 1: plain HTTP, body signed and AES-encrypted.

TEST(PlainHttpExchange, AesTestconnAndPingSucceedAndTheServerReadsThem) {
    CallHomeServer server(aesServer());
    RecordingRelay relay(server.port());
    Client client(1, "localhost:" + port(relay.port()) + "/app");

    EXPECT_EQ(client.testconn(), kSuccess);
    EXPECT_EQ(client.ping(), kSuccess);

    Fields testconn = connection(server, 1);
    EXPECT_EQ(testconn["type"], "testconn");
    EXPECT_EQ(testconn["mode"], "aes");
    EXPECT_EQ(testconn["form"], "origin");
    EXPECT_EQ(testconn["path"], "/app/req1");
    EXPECT_EQ(testconn["verdict"], "ok");
    // Decrypted and with the signature checked and removed, the server
    // holds the envelope the client built.
    const std::string request = storedText(server, testconn);
    EXPECT_EQ(request.rfind("****REQUESTINFO\nTYPE:testconn\nPRODUCTID:0123456789\nTIMESTAMP:", 0),
              0u)
        << request;
    EXPECT_EQ(request.find("CLIENTID:"), std::string::npos);

    Fields ping = connection(server, 2);
    EXPECT_EQ(ping["type"], "ping");
    EXPECT_EQ(ping["mode"], "aes");
    EXPECT_EQ(ping["verdict"], "ok");
    EXPECT_EQ(ping["client"], "0A1B2C3D4E5F60718293A4B5C6D7E8F9");
    const std::string pingText = storedText(server, ping);
    EXPECT_NE(pingText.find("\nCLIENTID:0A1B2C3D4E5F60718293A4B5C6D7E8F9\nCONFIGVERSION:"),
              std::string::npos)
        << pingText;
    EXPECT_EQ(pingText.substr(pingText.size() - 17), "FINGERPRINT1:ABC\n");

    ASSERT_TRUE(relay.waitFor(2));
    for (const auto& c : relay.conversations()) {
        EXPECT_EQ(zebtest::headOf(c.sent),
                  originHead(relay.port(), kOctets, zebtest::bodySizeOf(c.sent)));
        // Neither the request nor the answer crosses in clear.
        EXPECT_EQ(c.sent.find("REQUESTINFO"), std::string::npos);
        EXPECT_NE(c.answered.find("Server: ZEB"), std::string::npos);
        EXPECT_EQ(c.answered.find("STATUS:"), std::string::npos);
    }
}

TEST(PlainHttpExchange, UnencryptedBodyIsMarkedCleartextAndAnsweredInClear) {
    CallHomeServer server(aesServer());
    RecordingRelay relay(server.port());
    Client client(1, "localhost:" + port(relay.port()) + "/app");
    client.settings.USEAESENCRYPTION = 0;

    EXPECT_EQ(client.testconn(), kSuccess);
    Fields line = connection(server, 1);
    EXPECT_EQ(line["mode"], "plain");
    EXPECT_EQ(line["verdict"], "ok");
    ASSERT_TRUE(relay.waitFor(1));
    const auto c = relay.conversations().at(0);
    EXPECT_EQ(zebtest::headOf(c.sent),
              originHead(relay.port(), kClearText, zebtest::bodySizeOf(c.sent)));
    EXPECT_NE(c.answered.find("STATUS:OK\n"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Every outcome a server can cause. (Status 3, a signed answer without any
// line, cannot come from this server: it always appends a signature.)

TEST(ExchangeOutcomes, EachServerFaultGivesItsStatus) {
    struct Case {
        const char* fault;
        uint32_t status;
    };
    const std::vector<Case> cases = {
        {"bad-signature", kBadSignature},
        {"no-server-header", kNotOurServer},
        {"wrong-length", kNoResponse},
        {"http-500", kNoResponse},
        {"http-204", kNoResponse},
        {"garbage", kNoResponse},
        {"close", kNoResponse},
        {"verification-error", kUnusable},
        {"empty-body", kUnusable},
        {"hang", kNoResponse},
        {"none", kSuccess},
    };
    std::string script;
    for (const Case& c : cases) script += std::string("[testconn]\n@fault ") + c.fault + "\n";
    CallHomeServer server(aesServer(script));
    Client client(1, server.address() + "/app");

    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string fault = cases[i].fault;
        SCOPED_TRACE(fault);
        const bool silent = fault == "hang";
        client.settings.REQ1RECEIVETIMEOUTSEC = silent ? 1 : 5;
        const auto start = Clock::now();
        EXPECT_EQ(client.testconn(), cases[i].status);
        if (silent) {
            // The receive budget, not a failure of its own, ended the wait.
            EXPECT_GE(secondsSince(start), 0.9);
            EXPECT_LT(secondsSince(start), 5.0);
        }
        // One connection per exchange, answered with the scripted fault.
        Fields line = connection(server, static_cast<unsigned>(i + 1));
        EXPECT_EQ(line["fault"], fault);
        EXPECT_EQ(line["mode"], "aes");
    }
}

TEST(ExchangeOutcomes, AnAnswerReadInModeTwoIsNeverSentAgainWithoutTls) {
    CallHomeServer server(aesServer("[testconn]\nSTATUS:MAYBE\n"));
    Client client(2, server.address() + "/app");
    // The first attempt goes without TLS here, so the server reads it; its
    // answer is refused after it was read.
    client.settings.USEHTTPSENCRYPTION = 0;
    EXPECT_EQ(client.testconn(), kUnusable);
    EXPECT_EQ(connection(server, 1)["mode"], "plain");
    EXPECT_EQ(sentinel(server), 2u) << "the request was sent again over AES";
}

TEST(ExchangeOutcomes, StopRequestEndsAWaitingRead) {
    CallHomeServer server(aesServer("[testconn]\n@fault hang\n"));
    Client client(1, server.address() + "/app");
    client.settings.REQ1RECEIVETIMEOUTSEC = 30;

    Clock::time_point stoppedAt;
    // The host's thread asks for the stop while the exchange waits; the
    // delay stands for the host's own timing.
    std::thread host([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stoppedAt = Clock::now();
        client.stop.stop = true;
    });
    const uint32_t status = client.testconn();
    const auto returnedAt = Clock::now();
    host.join();
    EXPECT_EQ(status, kNoResponse);
    EXPECT_LT(std::chrono::duration<double>(returnedAt - stoppedAt).count(), 2.0);
    // The request had been read and was being held when the stop came.
    EXPECT_EQ(connection(server, 1)["fault"], "hang");
}

// ---------------------------------------------------------------------------
// TLS: modes 2 and 3.

class TlsExchange : public ::testing::Test {
protected:
    void SetUp() override {
        const zebtest::IssuedCertificate cert = pki.issue("localhost");
        identity = {cert.certPem, cert.keyPem};
        ASSERT_TRUE(ZEBInternal::writeFile(files.file("server.crt"), cert.certPem, false));
        ASSERT_TRUE(ZEBInternal::writeFile(files.file("server.key"), cert.keyPem, false));
        CallHomeServer::Config config = aesServer();
        config.certFile = files.file("server.crt");
        config.keyFile = files.file("server.key");
        server = std::make_unique<CallHomeServer>(config);
    }

    // fn's status from a child that trusts the test CA, or
    // zebtest::kNoNamespace (the test then skips).
    int trusted(const std::function<int()>& fn) {
        return zebtest::runWithTrustedCa(pki.caPem(), fn);
    }
    std::string serverUrl() const { return "localhost:" + port(server->port()) + "/app"; }

    zebtest::TempDir files;
    zebtest::TestPki pki;
    zebtest::TlsIdentity identity;
    std::unique_ptr<CallHomeServer> server;
};

constexpr const char* kNeedsRoot =
    "trusting the test CA needs root (a private bind over /etc/ssl/certs)";
constexpr const char* kNoNamespaceReason = "no private mount namespace here";

TEST_F(TlsExchange, ModeTwoFallsBackToAesWhenTlsFailsUnlessFallbackIsOff) {
    RecordingRelay relay(server->port());
    Client client(2, "localhost:" + port(relay.port()) + "/app");
    // Only the built-in root is trusted, not the test CA.
    client.settings.USEDISCOVEREDCERTS = 0;

    EXPECT_EQ(client.testconn(), kSuccess);
    Fields tls = connection(*server, 1);
    EXPECT_EQ(tls["mode"], "tls");
    EXPECT_EQ(tls["verdict"], "tls-handshake-failed");
    Fields aes = connection(*server, 2);
    EXPECT_EQ(aes["type"], "testconn");
    EXPECT_EQ(aes["mode"], "aes");
    EXPECT_EQ(aes["verdict"], "ok");
    ASSERT_TRUE(relay.waitFor(2));
    const auto talks = relay.conversations();
    ASSERT_FALSE(talks[0].sent.empty());
    EXPECT_EQ(talks[0].sent[0], '\x16') << "the first attempt starts a TLS handshake";
    EXPECT_EQ(zebtest::headOf(talks[1].sent),
              originHead(relay.port(), kOctets, zebtest::bodySizeOf(talks[1].sent)));

    client.settings.USEPROTOCOLFALLBACK = 0;
    EXPECT_EQ(client.testconn(), kNoResponse);
    EXPECT_EQ(connection(*server, 3)["verdict"], "tls-handshake-failed");
    EXPECT_EQ(sentinel(*server), 4u) << "a request after the failed TLS attempt reached the server";
}

TEST_F(TlsExchange, ModeThreeNeverSendsWithoutTls) {
    Client client(3, serverUrl());
    client.settings.USEDISCOVEREDCERTS = 0;
    EXPECT_EQ(client.testconn(), kNoResponse);
    EXPECT_EQ(connection(*server, 1)["verdict"], "tls-handshake-failed");
    EXPECT_EQ(sentinel(*server), 2u) << "a request after the failed TLS attempt reached the server";
}

TEST_F(TlsExchange, TrustedCertificateCarriesModesTwoAndThreeOverTls) {
    if (geteuid() != 0) GTEST_SKIP() << kNeedsRoot;
    const std::string url = serverUrl();
    const int two = trusted([&] { return static_cast<int>(Client(2, url).testconn()); });
    if (two == zebtest::kNoNamespace) GTEST_SKIP() << kNoNamespaceReason;
    EXPECT_EQ(two, 7);
    EXPECT_EQ(trusted([&] { return static_cast<int>(Client(3, url).ping()); }), 7);

    Fields first = connection(*server, 1);
    EXPECT_EQ(first["type"], "testconn");
    EXPECT_EQ(first["mode"], "tls");
    EXPECT_EQ(first["verdict"], "ok");
    Fields second = connection(*server, 2);
    EXPECT_EQ(second["type"], "ping");
    EXPECT_EQ(second["mode"], "tls");
    EXPECT_EQ(second["verdict"], "ok");
    EXPECT_EQ(second["client"], "0A1B2C3D4E5F60718293A4B5C6D7E8F9");
}

TEST_F(TlsExchange, TlsRequestHeadCarriesAClearBodyWithoutTheCleartextMark) {
    if (geteuid() != 0) GTEST_SKIP() << kNeedsRoot;
    // A TLS peer that keeps the decrypted request and answers as the
    // server would, so the head can be read exactly.
    std::string request;
    zebtest::LoopbackPeer peer(
        [&](zebtest::PeerStream& s, const std::atomic<bool>&) {
            request = s.readRequest();
            const std::string text = "STATUS:OK\n";
            const std::string body = text + ZEBInternal::sha256Base64(text) + "\n";
            s.write("HTTP/1.1 200 OK\r\nServer: ZEB\r\nContent-Length: " +
                    std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        },
        &identity);
    const std::string url = "localhost:" + port(peer.port()) + "/app";
    const int status = trusted([&] { return static_cast<int>(Client(3, url).testconn()); });
    peer.stop();
    if (status == zebtest::kNoNamespace) GTEST_SKIP() << kNoNamespaceReason;
    EXPECT_EQ(status, 7);
    EXPECT_EQ(zebtest::headOf(request), originHead(peer.port(), "Content-Type: text/plain\r\n",
                                                   zebtest::bodySizeOf(request)));
    EXPECT_NE(request.find("\r\n\r\n****REQUESTINFO\nTYPE:testconn\n"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Through a proxy. A relay in front of tinyproxy keeps exactly what the
// client sent the proxy; tinyproxy itself forwards to the server in origin
// form, so the server's line shows only the outcome.

class ProxyExchange : public TlsExchange {
protected:
    // A mode-1 client of the server whose proxy is the relay.
    std::unique_ptr<Client> proxiedClient(uint32_t protocol, const std::string& user,
                                          const std::string& password) {
        auto c = std::make_unique<Client>(protocol, serverUrl());
        c->config->proxy().set("127.0.0.1", relay->port(), user, password);
        return c;
    }
    void startProxy(const std::string& user = "", const std::string& password = "") {
        proxy = std::make_unique<zebtest::TinyproxyProcess>(proxyDir.path(), user, password);
        ASSERT_EQ(proxy->failure(), "");
        relay = std::make_unique<RecordingRelay>(proxy->port());
    }
    std::string absoluteHead(const std::string& auth, size_t length) const {
        return "POST http://localhost:" + port(server->port()) + "/app/req1 HTTP/1.1\r\n" + auth +
               kOctets + "Connection: close\r\nContent-Length: " + std::to_string(length);
    }
    std::string connectHead(const std::string& auth) const {
        return "CONNECT localhost:" + port(server->port()) + " HTTP/1.1\r\n" + auth +
               "Host: localhost";
    }

    zebtest::TempDir proxyDir;
    std::unique_ptr<zebtest::TinyproxyProcess> proxy;
    std::unique_ptr<RecordingRelay> relay;
};

TEST_F(ProxyExchange, OpenProxyCarriesAbsoluteFormAndTunnels) {
    startProxy();
    EXPECT_EQ(proxiedClient(1, "", "")->testconn(), kSuccess);
    EXPECT_EQ(connection(*server, 1)["mode"], "aes");
    ASSERT_TRUE(relay->waitFor(1));
    const auto plain = relay->conversations().at(0);
    EXPECT_EQ(zebtest::headOf(plain.sent), absoluteHead("", zebtest::bodySizeOf(plain.sent)));

    if (geteuid() != 0) GTEST_SKIP() << "tunnel half: " << kNeedsRoot;
    const int status =
        trusted([&] { return static_cast<int>(proxiedClient(3, "", "")->testconn()); });
    if (status == zebtest::kNoNamespace) GTEST_SKIP() << "tunnel half: " << kNoNamespaceReason;
    EXPECT_EQ(status, 7);
    EXPECT_EQ(connection(*server, 2)["mode"], "tls");
    EXPECT_EQ(connection(*server, 2)["verdict"], "ok");
    ASSERT_TRUE(relay->waitFor(2));
    EXPECT_EQ(zebtest::headOf(relay->conversations().at(1).sent), connectHead(""));
}

TEST_F(ProxyExchange, AuthenticatingProxyGetsTheCredentials) {
    startProxy("alice", "s3cret");
    const std::string auth = std::string(kAliceAuth) + "\r\n";
    EXPECT_EQ(proxiedClient(1, "alice", "s3cret")->testconn(), kSuccess);
    EXPECT_EQ(connection(*server, 1)["verdict"], "ok");
    ASSERT_TRUE(relay->waitFor(1));
    const auto plain = relay->conversations().at(0);
    EXPECT_EQ(zebtest::headOf(plain.sent), absoluteHead(auth, zebtest::bodySizeOf(plain.sent)));

    if (geteuid() != 0) GTEST_SKIP() << "tunnel half: " << kNeedsRoot;
    const int status =
        trusted([&] { return static_cast<int>(proxiedClient(3, "alice", "s3cret")->testconn()); });
    if (status == zebtest::kNoNamespace) GTEST_SKIP() << "tunnel half: " << kNoNamespaceReason;
    EXPECT_EQ(status, 7);
    EXPECT_EQ(connection(*server, 2)["mode"], "tls");
    ASSERT_TRUE(relay->waitFor(2));
    EXPECT_EQ(zebtest::headOf(relay->conversations().at(1).sent), connectHead(auth));
}

TEST_F(ProxyExchange, RefusedCredentialsFallBackToDirectOnlyWhenAllowed) {
    startProxy("alice", "s3cret");
    auto client = proxiedClient(1, "alice", "wrong");
    EXPECT_EQ(client->testconn(), kSuccess);
    ASSERT_TRUE(relay->waitFor(1));
    // The proxy refused, so the answer came over the direct connection:
    // the only one the server saw.
    EXPECT_EQ(relay->conversations().at(0).answered.find("Server: ZEB"), std::string::npos);
    EXPECT_EQ(connection(*server, 1)["verdict"], "ok");

    client->settings.USEPROXYFALLBACK = 0;
    EXPECT_EQ(client->testconn(), kNoResponse);
    ASSERT_TRUE(relay->waitFor(2));
    EXPECT_EQ(sentinel(*server), 2u) << "the refused exchange still reached the server";
}

TEST_F(ProxyExchange, DeadProxyFallsBackToDirectOnlyWhenAllowed) {
    Client client(1, serverUrl());
    client.config->proxy().set("127.0.0.1", zebtest::TinyproxyProcess::freePort(), "", "");
    EXPECT_EQ(client.testconn(), kSuccess);
    EXPECT_EQ(connection(*server, 1)["form"], "origin");

    client.settings.USEPROXYFALLBACK = 0;
    EXPECT_EQ(client.testconn(), kNoResponse);
    EXPECT_EQ(sentinel(*server), 2u);
}

// zeb-callhome can check proxy credentials itself and tells the request
// forms apart. Credentials without a proxy host still write the proxy form
// to the server's own address; a refusal there falls back to the plain
// direct form.
TEST(ProxyForm, CredentialsWithoutAProxyHostUseTheProxyFormDirectly) {
    CallHomeServer server(aesServer("", {"--proxy-auth", "alice:s3cret"}));
    Client client(1, server.address() + "/app");
    client.config->proxy().set("", 0, "alice", "s3cret");
    EXPECT_EQ(client.testconn(), kSuccess);
    Fields line = connection(server, 1);
    EXPECT_EQ(line["form"], "absolute");
    EXPECT_EQ(line["auth"], "ok");
    EXPECT_EQ(line["verdict"], "ok");

    client.config->proxy().set("", 0, "alice", "wrong");
    EXPECT_EQ(client.testconn(), kSuccess);
    EXPECT_EQ(connection(server, 2)["verdict"], "proxy-auth-wrong");
    EXPECT_EQ(connection(server, 3)["form"], "origin");
    EXPECT_EQ(connection(server, 3)["verdict"], "ok");
}

}  // namespace
