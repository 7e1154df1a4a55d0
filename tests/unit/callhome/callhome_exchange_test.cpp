// zeb-callhome answering well-formed requests: plain, AES, TLS, proxy forms,
// uploads, scripts, and refusals of requests it cannot trust.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "WireClient.h"
#include "support/CallHomeServer.h"
#include "support/TempDir.h"
#include "support/OpenSslCertificates.h"
#include "util/Digest.h"
#include "util/Files.h"
#include "util/Gzip.h"
#include "util/MessageCipher.h"
#include "util/Strings.h"

namespace callhometest {
namespace {

using ZEBInternal::MessageCipher;
using zebtest::CallHomeServer;

const std::string kClear = "Content-Type: text/plain\r\nContent-Cleartext: true\r\n";
const std::string kOctets = "Content-Type: application/octet-stream\r\n";

std::string key() {
    return ZEBInternal::hexDecode(kAesKeyHex);
}

const uint8_t* keyBytes(const std::string& k) {
    return reinterpret_cast<const uint8_t*>(k.data());
}

CallHomeServer::Config aesConfig() {
    CallHomeServer::Config config;
    config.aesKeyHex = kAesKeyHex;
    return config;
}

// Sends text signed and AES-encrypted; returns the decrypted answer lines
// (signature checked) or fails the test.
std::vector<std::string> aesExchange(const CallHomeServer& server, const std::string& target,
                                     const std::string& payload, WireReply* replyOut = nullptr) {
    MessageCipher cipher;
    const std::string k = key();
    std::string body;
    EXPECT_TRUE(
        cipher.encryptWithTrailer(keyBytes(k), payload + ZEBInternal::sha256Base64(payload), body));
    const WireReply reply = exchange(server.port(), post(target, server.address(), body, kOctets));
    if (replyOut) *replyOut = reply;
    EXPECT_EQ(200, reply.code()) << reply.raw;
    std::string plain;
    EXPECT_TRUE(cipher.decrypt(reply.body(), plain));
    std::vector<std::string> lines;
    EXPECT_TRUE(verifyAnswer(plain, lines)) << plain;
    return lines;
}

TEST(CallHomeExchange, PlainNewRegIsSignedStoredAndGetsFreshIds) {
    CallHomeServer server;
    const std::string text = envelope("newreg");
    const WireReply reply =
        exchange(server.port(), post("/req1", server.address(), signedBody(text), kClear));
    ASSERT_TRUE(reply.closed) << "the client reads until the server closes";
    EXPECT_EQ(200, reply.code());
    EXPECT_TRUE(reply.hasHeaderLine("Server: ZEB"));
    EXPECT_TRUE(reply.hasHeaderLine("Content-Length: " + std::to_string(reply.body().size())));
    std::vector<std::string> lines;
    ASSERT_TRUE(verifyAnswer(reply.body(), lines)) << reply.body();
    const std::string id = findValue(lines, "CLIENTID");
    EXPECT_EQ(32u, id.size());

    auto line = server.request(0);
    EXPECT_EQ("newreg", line["type"]);
    EXPECT_EQ("plain", line["mode"]);
    EXPECT_EQ("origin", line["form"]);
    EXPECT_EQ("/req1", line["path"]);
    EXPECT_EQ("ok", line["verdict"]);
    EXPECT_EQ(id, line["newid"]);
    EXPECT_EQ(text, ZEBInternal::readFile(server.outDir() + "/" + line["stored"]));

    const WireReply again =
        exchange(server.port(), post("/req1", server.address(), signedBody(text), kClear));
    ASSERT_TRUE(verifyAnswer(again.body(), lines));
    EXPECT_NE(id, findValue(lines, "CLIENTID"));
}

TEST(CallHomeExchange, AesSyncAndGzipUploadRoundTrip) {
    CallHomeServer server(aesConfig());
    WireReply reply;
    const auto sync = aesExchange(server, "/req1", envelope("sync", "CID42"), &reply);
    EXPECT_TRUE(reply.hasHeaderLine("Content-Type: application/octet-stream"));
    EXPECT_EQ("UPLOAD", findValue(sync, "INSTRUCTION"));
    // The upload URL names this server as the client addressed it.
    EXPECT_EQ(server.address() + "/upload", findValue(sync, "URL"));
    auto line = server.request(0);
    EXPECT_EQ("sync", line["type"]);
    EXPECT_EQ("CID42", line["client"]);
    EXPECT_EQ("aes", line["mode"]);

    std::string log = "20240101$S1$0020$first\n++0--===--0++\n";
    for (int i = 0; i < 2000; ++i) log += "line " + std::to_string(i) + " $ \xc3\xa9\n";
    const auto upload = aesExchange(server, "/upload", ZEBInternal::gzipCompress(log));
    EXPECT_EQ("OK", findValue(upload, "STATUS"));
    line = server.request(1);
    EXPECT_EQ("upload", line["type"]);
    EXPECT_EQ("/upload", line["path"]);
    ASSERT_EQ("upload-000002.log", line["stored"]);
    EXPECT_EQ(log, ZEBInternal::readFile(server.outDir() + "/upload-000002.log"));

    // An upload sent without compression is stored as it came.
    const std::string raw = "plain log\n";
    EXPECT_EQ("OK", findValue(aesExchange(server, "/upload", raw), "STATUS"));
    EXPECT_EQ(raw, ZEBInternal::readFile(server.outDir() + "/" + server.request(2)["stored"]));
    EXPECT_EQ(0, server.stop()) << "a clean exit, also under the sanitizers";
}

TEST(CallHomeExchange, TlsAndPlainShareThePortAndTunnelThroughConnect) {
    zebtest::OpenSslCertificates certs;
    CallHomeServer::Config config = aesConfig();
    config.certFile = certs.serverCert();
    config.keyFile = certs.serverKey();
    CallHomeServer server(config);
    const std::string host = "localhost:" + std::to_string(server.port());

    WireReply reply = exchangeTls(server.port(), certs.caCert(),
                                  post("/req1", host, signedBody(envelope("testconn")), kClear));
    ASSERT_EQ("", reply.error);
    EXPECT_EQ(200, reply.code());
    std::vector<std::string> lines;
    ASSERT_TRUE(verifyAnswer(reply.body(), lines)) << "a TLS answer is never AES-encrypted";
    EXPECT_EQ("OK", findValue(lines, "STATUS"));
    EXPECT_EQ("tls", server.request(0)["mode"]);

    // TLS through a proxy: CONNECT in clear, then TLS inside the tunnel.
    reply = exchangeTls(server.port(), certs.caCert(),
                        post("/req1", host, signedBody(envelope("ping", "C1")), ""), 5000,
                        "CONNECT " + host + " HTTP/1.1\r\nHost: localhost\r\n\r\n");
    ASSERT_EQ("", reply.error);
    ASSERT_TRUE(verifyAnswer(reply.body(), lines));
    auto line = server.request(1);
    EXPECT_EQ("tunnel", line["form"]);
    EXPECT_EQ("tls", line["mode"]);
    EXPECT_EQ("ping", line["type"]);

    // The protocol fallback reaches the same port without TLS.
    EXPECT_EQ("OK", findValue(aesExchange(server, "/req1", envelope("ping", "C1")), "STATUS"));
    EXPECT_EQ("aes", server.request(2)["mode"]);
    EXPECT_EQ(0, server.stop());
}

TEST(CallHomeExchange, AbsoluteFormAndConnectNeedTheProxyPassword) {
    CallHomeServer::Config config;
    config.extraArgs = {"--proxy-auth", "user:secret"};
    CallHomeServer server(config);
    const std::string target = "http://" + server.address() + "/req1";
    const std::string body = signedBody(envelope("testconn"));
    const std::string good =
        "Proxy-Authorization: Basic " + ZEBInternal::base64Encode("user:secret") + "\r\n";

    WireReply reply = exchange(server.port(), post(target, "", body, kClear));
    EXPECT_EQ(407, reply.code());
    EXPECT_EQ("missing", server.request(0)["auth"]);
    reply = exchange(server.port(), post(target, "", body,
                                         kClear + "Proxy-Authorization: Basic " +
                                             ZEBInternal::base64Encode("user:wrong") + "\r\n"));
    EXPECT_EQ(407, reply.code());
    EXPECT_EQ("wrong", server.request(1)["auth"]);

    reply = exchange(server.port(), post(target, "", body, kClear + good));
    EXPECT_EQ(200, reply.code());
    auto line = server.request(2);
    EXPECT_EQ("absolute", line["form"]);
    EXPECT_EQ("/req1", line["path"]);
    EXPECT_EQ("ok", line["auth"]);
    EXPECT_EQ("ok", line["verdict"]);

    // A plain tunnel: CONNECT, then an ordinary request in the same stream.
    reply = exchange(server.port(), "CONNECT " + server.address() + " HTTP/1.1\r\n" + good +
                                        "Host: 127.0.0.1\r\n\r\n" +
                                        post("/req1", server.address(), body, kClear));
    EXPECT_EQ(0u, reply.raw.find("HTTP/1.1 200 Connection established\r\n\r\nHTTP/1.1 200 OK"));
    EXPECT_EQ("tunnel", server.request(3)["form"]);

    // Origin form is not proxy traffic and needs no password.
    reply = exchange(server.port(), post("/req1", server.address(), body, kClear));
    EXPECT_EQ(200, reply.code());
}

TEST(CallHomeExchange, UntrustedRequestsAreRefused) {
    CallHomeServer server(aesConfig());
    // A body changed after signing.
    std::string tampered = signedBody(envelope("ping", "C7"));
    tampered[20] ^= 1;
    WireReply reply = exchange(server.port(), post("/req1", server.address(), tampered, kClear));
    std::vector<std::string> lines;
    ASSERT_TRUE(verifyAnswer(reply.body(), lines));
    EXPECT_EQ("VERIFICATIONERROR", findValue(lines, "STATUS"));
    EXPECT_EQ("bad-signature", server.request(0)["verdict"]);

    // Encrypted under another key: decrypts to noise, which fails the
    // signature check; the refusal still continues the request's register.
    MessageCipher cipher;
    const std::string other = ZEBInternal::hexDecode("FFEEDDCCBBAA99887766554433221100");
    std::string body;
    ASSERT_TRUE(
        cipher.encryptWithTrailer(keyBytes(other), signedBody(envelope("ping", "C7")), body));
    reply = exchange(server.port(), post("/req1", server.address(), body, kOctets));
    EXPECT_EQ(200, reply.code());
    EXPECT_EQ("bad-signature", server.request(1)["verdict"]);

    // Shorter than a key trailer: nothing to decrypt and no key to answer with.
    reply = exchange(server.port(), post("/req1", server.address(), "short", kOctets));
    EXPECT_EQ(400, reply.code());
    EXPECT_EQ("decrypt-failed", server.request(2)["verdict"]);

    // A signed envelope of a type the server does not know.
    reply = exchange(server.port(),
                     post("/req1", server.address(), signedBody(envelope("reboot")), kClear));
    ASSERT_TRUE(verifyAnswer(reply.body(), lines));
    EXPECT_EQ("VERIFICATIONERROR", findValue(lines, "STATUS"));
    EXPECT_EQ("unknown-type", server.request(3)["verdict"]);
}

TEST(CallHomeExchange, EncryptedRequestWithoutServerKeyGetsAPlainRefusal) {
    CallHomeServer server;
    MessageCipher cipher;
    const std::string k = key();
    std::string body;
    ASSERT_TRUE(cipher.encryptWithTrailer(keyBytes(k), signedBody(envelope("ping", "C1")), body));
    const WireReply reply = exchange(server.port(), post("/req1", server.address(), body, kOctets));
    EXPECT_EQ(400, reply.code());
    EXPECT_EQ("no-aes-key", server.request(0)["verdict"]);
}

TEST(CallHomeExchange, ScriptSequencesAnswersAndNormalisesLines) {
    CallHomeServer::Config config;
    config.script =
        "# two quiet syncs with a configuration change, then failures\n"
        "[sync]\n"
        "@times 2\n"
        "INSTRUCTION:NOLOG\n"
        "****CONFIG\n"
        "AUTOSYNCTIMETHRESHOLD:5\n"
        "[sync]\n"
        "@fault http-500\n"
        "[msgcheck]\n"
        "   COUNT:1   \n"
        "\n"
        "TYPE:2\n"
        "MESSAGE:Hello ${CLIENTID}\n"
        "****REACHOUT\n"
        "DIMENSIONS:400x300\n";
    CallHomeServer server(config);
    const std::string sync = signedBody(envelope("sync", "CIDX"));
    for (int i = 0; i < 2; ++i) {
        const WireReply reply =
            exchange(server.port(), post("/req1", server.address(), sync, kClear));
        std::vector<std::string> lines;
        ASSERT_TRUE(verifyAnswer(reply.body(), lines));
        EXPECT_EQ((std::vector<std::string>{"INSTRUCTION:NOLOG", "****CONFIG",
                                            "AUTOSYNCTIMETHRESHOLD:5"}),
                  lines);
        EXPECT_EQ("script:2", server.request(i)["answer"]);
    }
    for (int i = 2; i < 4; ++i) {  // the last entry repeats
        const WireReply reply =
            exchange(server.port(), post("/req1", server.address(), sync, kClear));
        EXPECT_EQ(500, reply.code());
        EXPECT_EQ("http-500", server.request(i)["fault"]);
    }
    const WireReply reply =
        exchange(server.port(),
                 post("/req1", server.address(), signedBody(envelope("msgcheck", "CIDX")), kClear));
    std::vector<std::string> lines;
    ASSERT_TRUE(verifyAnswer(reply.body(), lines))
        << "blank lines and spaces never reach the signature";
    EXPECT_EQ((std::vector<std::string>{"COUNT:1", "TYPE:2", "MESSAGE:Hello CIDX", "****REACHOUT",
                                        "DIMENSIONS:400x300"}),
              lines);
    // Types without script entries keep their defaults.
    const WireReply ping =
        exchange(server.port(),
                 post("/req1", server.address(), signedBody(envelope("ping", "CIDX")), kClear));
    ASSERT_TRUE(verifyAnswer(ping.body(), lines));
    EXPECT_EQ("OK", findValue(lines, "STATUS"));
}

TEST(CallHomeExchange, DevModeAddsSyncThresholdsUnlessTheScriptSetsThem) {
    CallHomeServer::Config config;
    config.extraArgs = {"--dev"};
    config.script = "[newreg]\nCLIENTID:C1\n****CONFIG\nMANUALSYNCTIMETHRESHOLD:3\n"
                    "****REACHOUT\nDIMENSIONS:1x1\n";
    CallHomeServer server(config);
    const auto answer = [&](const std::string& type) {
        const WireReply reply = exchange(
            server.port(), post("/req1", server.address(), signedBody(envelope(type)), kClear));
        std::vector<std::string> lines;
        EXPECT_TRUE(verifyAnswer(reply.body(), lines)) << reply.raw;
        return lines;
    };
    EXPECT_EQ((std::vector<std::string>{"CLIENTID:C1", "****CONFIG", "MANUALSYNCTIMETHRESHOLD:3",
                                        "AUTOSYNCTIMETHRESHOLD:1", "****REACHOUT",
                                        "DIMENSIONS:1x1"}),
              answer("newreg"));
    EXPECT_EQ((std::vector<std::string>{"INSTRUCTION:UPLOAD", "URL:" + server.address() + "/upload",
                                        "****CONFIG", "MANUALSYNCTIMETHRESHOLD:0",
                                        "AUTOSYNCTIMETHRESHOLD:1"}),
              answer("sync"));
    EXPECT_EQ((std::vector<std::string>{"STATUS:OK"}), answer("ping"));
    ASSERT_GE(server.lines().size(), 2u);
    EXPECT_EQ("dev mode: manual syncs allowed at once, automatic sync every minute",
              server.lines()[1]);
}

TEST(CallHomeExchange, PortFileAndUnsignedRequestsWhenAllowed) {
    zebtest::TempDir dir;
    CallHomeServer::Config config;
    config.extraArgs = {"--port-file", dir.file("port"), "--allow-unsigned"};
    CallHomeServer server(config);
    EXPECT_EQ(std::to_string(server.port()) + "\n", ZEBInternal::readFile(dir.file("port")));

    const std::string text = envelope("ping", "C9");
    const WireReply reply = exchange(server.port(), post("/req1", server.address(), text, kClear));
    std::vector<std::string> lines;
    ASSERT_TRUE(verifyAnswer(reply.body(), lines));
    EXPECT_EQ("OK", findValue(lines, "STATUS"));
    auto line = server.request(0);
    EXPECT_EQ("ok", line["verdict"]);
    EXPECT_EQ(text, ZEBInternal::readFile(server.outDir() + "/" + line["stored"]))
        << "an unsigned body is kept whole";
}

TEST(CallHomeExchange, BadScriptOrOptionsStopTheStart) {
    CallHomeServer::Config config;
    config.script = "[sync]\n@fault explode\n";
    EXPECT_THROW(CallHomeServer{config}, std::runtime_error);
    config.script = "INSTRUCTION:NOLOG\n";  // before any [type]
    EXPECT_THROW(CallHomeServer{config}, std::runtime_error);
    config.script = "[reboot]\n";
    EXPECT_THROW(CallHomeServer{config}, std::runtime_error);
    config.script.clear();
    config.extraArgs = {"--aes-key", "0011"};
    EXPECT_THROW(CallHomeServer{config}, std::runtime_error);
}

}  // namespace
}  // namespace callhometest
