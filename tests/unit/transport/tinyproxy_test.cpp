// Through a real HTTP proxy (tinyproxy, started privately on loopback):
// plain HTTP in absolute form and TLS through a CONNECT tunnel, without and
// with Basic authentication; wrong credentials and a dead proxy fail with
// their texts.

#include <gtest/gtest.h>

#include <string>

#include "support/LoopbackPeer.h"
#include "support/TempDir.h"
#include "support/TestCertificates.h"
#include "support/TinyproxyProcess.h"
#include "unit/transport/TransportTestSupport.h"
#include "transport/ZEBHTTPConnection.h"

namespace {

using ZEBInternal::createConnection;
using zebtest::LoopbackPeer;
using zebtest::networkError;
using zebtest::PeerStream;

// Answers with the request's body, so a success proves the body crossed.
void echoBody(PeerStream& s, const std::atomic<bool>&) {
    const std::string request = s.readRequest();
    const size_t end = request.find("\r\n\r\n");
    s.write(zebtest::okResponse(end == std::string::npos ? "" : request.substr(end + 4)));
}

class ProxyTest : public ::testing::Test {
protected:
    void SetUp() override {
        const zebtest::IssuedCertificate cert = pki.issue("localhost");
        identity = {cert.certPem, cert.keyPem};
        plainServer = std::make_unique<LoopbackPeer>(echoBody);
        tlsServer = std::make_unique<LoopbackPeer>(echoBody, &identity);
    }

    // A POST of "payload" to the given server through the proxy; the
    // failure text or the echoed body.
    std::string post(bool tls, uint16_t proxyPort, const std::string& user,
                     const std::string& password, const std::string& body = "payload") {
        const uint16_t port = tls ? tlsServer->port() : plainServer->port();
        // The proxy resolves the name; "localhost" is what the certificate names.
        auto conn = createConnection("localhost:" + std::to_string(port) + "/req1", tls, "sync",
                                     &monitor, &settings, true);
        conn->addHeader("Connection: close");
        conn->setCerts({pki.caPem()});
        conn->setProxy("127.0.0.1", proxyPort, user, password);
        const std::string error = networkError([&] { conn->doPost(body.data(), body.size()); });
        if (error != "no error") return error;
        uint32_t length = 0;
        const char* echoed = conn->getResponseBody(length);
        return std::string(echoed, length);
    }

    zebtest::TempDir dir;
    zebtest::TestPki pki;
    zebtest::TlsIdentity identity;
    zebtest::FlagStopMonitor monitor;
    ZEBInternal::RuntimeSettings settings = zebtest::fastSettings();
    std::unique_ptr<LoopbackPeer> plainServer;
    std::unique_ptr<LoopbackPeer> tlsServer;
};

TEST_F(ProxyTest, OpenProxyCarriesPlainAndTunnelledRequests) {
    settings.REQ2RECEIVETIMEOUTSEC = 5;
    zebtest::TinyproxyProcess proxy(dir.path());
    ASSERT_EQ(proxy.failure(), "");
    EXPECT_EQ(post(false, proxy.port(), "", ""), "payload");
    EXPECT_EQ(post(true, proxy.port(), "", ""), "payload");
}

TEST_F(ProxyTest, AuthenticatingProxyNeedsTheRightCredentials) {
    settings.REQ2RECEIVETIMEOUTSEC = 5;
    zebtest::TinyproxyProcess proxy(dir.path(), "alice", "s3cret");
    ASSERT_EQ(proxy.failure(), "");
    EXPECT_EQ(post(false, proxy.port(), "alice", "s3cret"), "payload");
    EXPECT_EQ(post(true, proxy.port(), "alice", "s3cret"), "payload");
    // The proxy refuses in HTTP/1.0: 401 for wrong credentials, 407 for
    // none. It does so without
    // reading a request body, and closing on unread bytes resets the
    // connection, which may drop the answer: the refused post sends none.
    EXPECT_EQ(post(false, proxy.port(), "alice", "wrong", ""),
              "Connection 'sync' Non-HTTP/1.1 response.");
    EXPECT_EQ(post(true, proxy.port(), "alice", "wrong"),
              "Connection 'sync' (HTTP CONNECT) Non-2xx response code = '401'.");
    EXPECT_EQ(post(true, proxy.port(), "", ""),
              "Connection 'sync' (HTTP CONNECT) Non-2xx response code = '407'.");
}

TEST_F(ProxyTest, DeadProxyIsAConnectError) {
    const uint16_t port = zebtest::TinyproxyProcess::freePort();
    for (bool tls : {false, true})
        EXPECT_EQ(post(tls, port, "alice", "s3cret"),
                  "Connection 'sync' Socket to 127.0.0.1:" + std::to_string(port) +
                      "; Connect error NET - The connection to the given server / port failed.");
}

}  // namespace
