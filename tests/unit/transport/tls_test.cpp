// TLS with certificates made at test time: a trusted chain and matching
// name succeed; a wrong name, an unknown CA and an expired certificate fail
// verification; a damaged trust list, a silent server and a server that
// does not speak TLS fail with their own texts.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "support/LoopbackPeer.h"
#include "support/TestCertificates.h"
#include "support/TinyproxyProcess.h"
#include "unit/transport/TransportTestSupport.h"
#include "transport/ZEBHTTPConnection.h"

namespace {

using ZEBInternal::createConnection;
using zebtest::LoopbackPeer;
using zebtest::networkError;
using zebtest::PeerStream;
using zebtest::TestPki;
using zebtest::TlsIdentity;

void answerOk(PeerStream& s, const std::atomic<bool>&) {
    if (s.readRequest().find("Host: localhost:") != std::string::npos)
        s.write(zebtest::okResponse("secure"));
}

struct Fixture {
    zebtest::FlagStopMonitor monitor;
    ZEBInternal::RuntimeSettings settings = zebtest::fastSettings();
    // A TLS POST to localhost:port trusting certs; the failure text or the body.
    std::string post(uint16_t port, const std::vector<std::string>& certs) {
        auto conn = createConnection("localhost:" + std::to_string(port) + "/req1", true, "sync",
                                     &monitor, &settings, true);
        conn->setCerts(certs);
        const std::string error = networkError([&] { conn->doPost("data", 4); });
        if (error != "no error") return error;
        uint32_t length = 0;
        const char* body = conn->getResponseBody(length);
        return std::string(body, length);
    }
    static std::string prefix(uint16_t port) {
        return "Connection 'sync' Socket to localhost:" + std::to_string(port) + "; ";
    }
};

TEST(Tls, TrustedChainAndMatchingNameCarryTheExchange) {
    TestPki pki;
    const zebtest::IssuedCertificate cert = pki.issue("localhost");
    const TlsIdentity id{cert.certPem, cert.keyPem};
    LoopbackPeer server(answerOk, &id);
    Fixture f;
    // Other trusted roots beside the right one do no harm.
    TestPki other("Other CA");
    EXPECT_EQ(f.post(server.port(), {other.caPem(), pki.caPem()}), "secure");
}

TEST(Tls, VerificationFailuresNameTheirCause) {
    TestPki pki;
    TestPki stranger("Stranger CA");
    const struct {
        zebtest::IssuedCertificate cert;
        std::string trusted;
        std::string cause;
    } cases[] = {
        {pki.issue("collect.example.com"), pki.caPem(),
         "  ! The certificate Common Name (CN) does not match with the expected CN\n"},
        {stranger.issue("localhost"), pki.caPem(),
         "  ! The certificate is not correctly signed by the trusted CA\n"},
        {pki.issue("localhost", "20200101000000", "20210101000000"), pki.caPem(),
         "  ! The certificate validity has expired\n"},
    };
    for (const auto& c : cases) {
        const TlsIdentity id{c.cert.certPem, c.cert.keyPem};
        LoopbackPeer server(answerOk, &id);
        Fixture f;
        EXPECT_EQ(f.post(server.port(), {c.trusted}),
                  Fixture::prefix(server.port()) + "SSL handshake verification error: " + c.cause);
    }
}

TEST(Tls, ADamagedOrEmptyTrustListFailsBeforeAnyExchange) {
    TestPki pki;
    std::string damaged = pki.caPem();
    damaged.replace(damaged.find('\n') + 10, 8, "!!!!!!!!");
    // Nothing listens on the port: the trust list is checked first.
    const uint16_t port = zebtest::TinyproxyProcess::freePort();
    Fixture f;
    EXPECT_EQ(f.post(port, {pki.caPem(), damaged}),
              Fixture::prefix(port) + "InitSSL error - x509 parse partial results 1.");
    EXPECT_EQ(f.post(port, {}), Fixture::prefix(port) + "InitSSL error - empty certs.");
}

TEST(Tls, HandshakeBudgetStopAndNonTlsPeers) {
    TestPki pki;
    Fixture f;
    {
        // Accepts but never answers the client's hello.
        LoopbackPeer silent([](PeerStream& s, const std::atomic<bool>& stop) { s.holdOpen(stop); });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(f.post(silent.port(), {pki.caPem()}),
                  Fixture::prefix(silent.port()) + "SSL handshake timeout - max retries reached.");
        EXPECT_GE(zebtest::secondsSince(start), 0.9);
        EXPECT_LT(zebtest::secondsSince(start), 5.0);

        f.settings.SSLHANDSHAKETIMEOUTSEC = 30;
        f.monitor.stop = true;
        EXPECT_EQ(f.post(silent.port(), {pki.caPem()}),
                  Fixture::prefix(silent.port()) + "SSL handshake aborted - continue request is false.");
        f.monitor.stop = false;
    }
    {
        // A plain HTTP server answers the hello with text.
        LoopbackPeer plain([](PeerStream& s, const std::atomic<bool>&) {
            char buf[512];
            s.read(buf, sizeof buf, 2000);
            s.write("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n");
        });
        const std::string error = f.post(plain.port(), {pki.caPem()});
        EXPECT_EQ(error.rfind(Fixture::prefix(plain.port()) + "ConnectSSL error handshake SSL - ", 0), 0u)
            << error;
    }
}

}  // namespace
