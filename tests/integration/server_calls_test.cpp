// The calls a host makes that talk to the server on its own thread
// (zebTestConnection, zebCheckForReachOut, zebCheckForReachOutOfType), over
// plain HTTP with AES, TLS and a real proxy, and what every other call does
// meanwhile: tracking never waits behind an exchange or a stop.

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "LifecycleSupport.h"
#include "support/LoopbackPeer.h"
#include "support/TestCertificates.h"
#include "support/TinyproxyProcess.h"
#include "support/TrustedCa.h"

namespace {

using namespace zebtest;

TEST(ServerCalls, TestConnectionMapsEveryAnswerToItsCode) {
    const std::vector<std::pair<std::string, int32_t>> answers = {
        {"STATUS:OK", 0},
        {"STATUS:INVALIDPROD", ZEB_E_PRODUCT_INVALID},
        {"STATUS:URLMISMATCH", ZEB_E_URL_MISMATCH},
        {"@fault bad-signature", ZEB_E_SIGNATURE},
        // The server refusing our signature is an unusable answer, not a
        // bad signature on the answer.
        {"@fault verification-error", ZEB_E_EXCHANGE_FAILED},
        {"@fault http-500", ZEB_E_EXCHANGE_FAILED},
        {"@fault no-server-header", ZEB_E_EXCHANGE_FAILED},
        {"@fault wrong-length", ZEB_E_EXCHANGE_FAILED},
        {"@fault close", ZEB_E_EXCHANGE_FAILED},
        {"@fault garbage", ZEB_E_EXCHANGE_FAILED},
        {"@fault empty-body", ZEB_E_EXCHANGE_FAILED},
        {"STATUS:MAYBE", ZEB_E_EXCHANGE_FAILED},
    };
    CallHomeServer::Config config;
    config.aesKeyHex = kAesKey;
    for (const auto& a : answers) config.script += "[testconn]\n" + a.first + "\n";
    CallHomeServer server(config);
    Host host;
    EXPECT_EQ(zebTestConnection(host.zeb), ZEB_E_NOT_CONFIGURED);
    ASSERT_EQ(host.configure(server.address() + "/app"), 0);
    // Before start, with no client ID: the envelope goes without identity.
    for (size_t i = 0; i < answers.size(); ++i) {
        EXPECT_EQ(zebTestConnection(host.zeb), answers[i].second) << answers[i].first;
    }
    Fields first = waitForType(server, "testconn", 1);
    EXPECT_EQ(first["mode"], "aes");
    EXPECT_FALSE(contains(storedText(server, first), "CLIENTID:"));
    EXPECT_EQ(host.state(), 2);

    Host nobody;
    ASSERT_EQ(nobody.configure("127.0.0.1:" + std::to_string(TinyproxyProcess::freePort())), 0);
    EXPECT_EQ(zebTestConnection(nobody.zeb), ZEB_E_EXCHANGE_FAILED);
}

// A result code squeezed into a child's exit status.
int exitCodeOf(int32_t rc) {
    return rc == 0 ? 0 : 100 + (-rc) % 100;
}

class TlsServerCalls : public ::testing::Test {
protected:
    void SetUp() override {
        const IssuedCertificate cert = pki.issue("localhost");
        std::ofstream(files.file("server.crt")) << cert.certPem;
        std::ofstream(files.file("server.key")) << cert.keyPem;
        CallHomeServer::Config config;
        config.aesKeyHex = kAesKey;
        config.certFile = files.file("server.crt");
        config.keyFile = files.file("server.key");
        server = std::make_unique<CallHomeServer>(config);
    }
    std::string url() const { return "localhost:" + std::to_string(server->port()) + "/app"; }
    // zebTestConnection of a fresh client in `protocol`, as an exit code.
    int testConnection(int32_t protocol) {
        Host host;
        const int32_t rc = host.configure(url(), protocol);
        return rc != 0 ? 199 : exitCodeOf(zebTestConnection(host.zeb));
    }

    TempDir files;
    TestPki pki;
    std::unique_ptr<CallHomeServer> server;
};

TEST_F(TlsServerCalls, TlsModesWithAndWithoutTrustAndTheirFallback) {
    // The machine does not trust the test CA: mode 2 falls back to AES,
    // mode 3 has nothing to fall back to.
    EXPECT_EQ(testConnection(ZEB_PROTOCOL_TLS_FALLBACK), 0);
    EXPECT_EQ(waitForType(*server, "testconn", 1)["mode"], "aes");
    EXPECT_EQ(testConnection(ZEB_PROTOCOL_TLS_ONLY), exitCodeOf(ZEB_E_EXCHANGE_FAILED));
    EXPECT_EQ(requestsOf(*server, "testconn").size(), 1u);

    if (geteuid() != 0) GTEST_SKIP() << "trusting the test CA needs root (a private bind)";
    const int three = runWithTrustedCa(pki.caPem(), [&] { return testConnection(3); });
    if (three == kNoNamespace) GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(three, 0);
    EXPECT_EQ(runWithTrustedCa(pki.caPem(), [&] { return testConnection(2); }), 0);
    EXPECT_EQ(waitForType(*server, "testconn", 2)["mode"], "tls");
    EXPECT_EQ(waitForType(*server, "testconn", 3)["mode"], "tls");
    EXPECT_EQ(requestsOf(*server, "testconn").size(), 3u) << "a trusted mode 2 fell back";
}

TEST(ServerCalls, TestConnectionThroughARealProxyWithAndWithoutCredentials) {
    CallHomeServer server(aesServer());
    for (const std::string user : {"", "alice"}) {
        TempDir proxyDir;
        TinyproxyProcess proxy(proxyDir.path(), user, user.empty() ? "" : "s3cret");
        ASSERT_EQ(proxy.failure(), "");
        Host host;
        ASSERT_EQ(host.configure(server.address() + "/app"), 0);
        EXPECT_EQ(zebSetProxy(host.zeb, "127.0.0.1", proxy.port(), user.c_str(),
                              user.empty() ? "" : "s3cret"),
                  0);
        EXPECT_EQ(zebTestConnection(host.zeb), 0) << user;
        // The proxy carried it: tinyproxy logs every request it forwards.
        EXPECT_TRUE(contains(fileText(proxyDir.file("tinyproxy.log")),
                             "POST http://" + server.address() + "/app/req1"))
            << user;
    }
}

TEST(ServerCalls, ReachOutChecksReturnWhatTheServerHolds) {
    CallHomeServer server(
        aesServer("[msgcheck]\nCOUNT:2\nTYPE:1\nMESSAGE:Hello there: read me\n"
                  "[msgcheck]\nCOUNT:0\n"
                  "[msgcheck]\n@fault bad-signature\n"
                  "[msgcheck]\nCOUNT:3\nTYPE:2\n"
                  "[msgcheck]\nCOUNT:1\nTYPE:2\nMESSAGE:last\n****CONFIG\n"
                  "MESSAGETIMETHRESHOLD:3600\n"));
    Host host;
    writeRegisteredConfig(host.dir(), {{"MESSAGETIMETHRESHOLD:", "0"}});
    ASSERT_EQ(host.configure(server.address() + "/app"), 0);
    char* text = nullptr;
    int32_t count = -7;
    int32_t type = -7;
    EXPECT_EQ(zebCheckForReachOut(host.zeb, &text, &count, &type), ZEB_E_NOT_RUNNING);
    zebFree(text);
    ASSERT_EQ(zebStartSDK(host.zeb), 0);

    auto check = [&](int32_t ofType, std::string& message) {
        text = nullptr;
        const int32_t rc = ofType < 0 ? zebCheckForReachOut(host.zeb, &text, &count, &type)
                                      : zebCheckForReachOutOfType(host.zeb, &text, &count,
                                                                  static_cast<uint32_t>(ofType));
        message = text != nullptr ? text : "<null>";
        zebFree(text);
        return rc;
    };
    std::string message;
    EXPECT_EQ(check(-1, message), 0);
    EXPECT_EQ(message, "Hello there: read me");
    EXPECT_EQ(count, 2);
    EXPECT_EQ(type, 1);
    EXPECT_EQ(check(1, message), 0);
    EXPECT_EQ(message, "");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(check(-1, message), ZEB_E_SIGNATURE);
    EXPECT_EQ(message, "");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(check(2, message), ZEB_E_EXCHANGE_FAILED) << "a count without its message";
    EXPECT_EQ(count, 0);
    EXPECT_EQ(check(2, message), 0);
    EXPECT_EQ(message, "last");
    // That answer set a one-hour interval, in force at once.
    EXPECT_EQ(check(-1, message), ZEB_E_TOO_SOON);
    EXPECT_EQ(check(3, message), ZEB_E_MESSAGE_TYPE);

    waitForType(server, "msgcheck", 5);
    auto checks = requestsOf(server, "msgcheck");
    ASSERT_EQ(checks.size(), 5u);
    EXPECT_EQ(checks[0]["client"], kClientID);
    EXPECT_TRUE(contains(storedText(server, checks[0]), "****REQUESTDATA\nMSGTYPE:0\n"));
    EXPECT_TRUE(contains(storedText(server, checks[1]), "****REQUESTDATA\nMSGTYPE:1\n"));
    EXPECT_EQ(zebStopSDK(host.zeb, -1), 0);
}

// Holds the second connection it gets unanswered until released; the first
// (the registered client's start-up sync) is closed at once.
class HoldingPeer {
public:
    HoldingPeer()
        : peer_([this](PeerStream& s, const std::atomic<bool>& stop) {
              s.readRequest();
              std::unique_lock<std::mutex> lock(mutex_);
              if (++connections_ == 1) {
                  changed_.notify_all();
                  return;
              }
              changed_.notify_all();
              changed_.wait_for(lock, 20s, [&] { return released_ || stop.load(); });
          }) {}
    ~HoldingPeer() {
        release();
        peer_.stop();
    }
    uint16_t port() const { return peer_.port(); }
    bool waitForConnections(int n) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return connections_ >= n; });
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int connections_ = 0;
    bool released_ = false;
    LoopbackPeer peer_;  // last: its thread uses the members above
};

TEST(ServerCalls, TrackingGoesOnWhileAnotherThreadWaitsOnTheServer) {
    HoldingPeer peer;
    Host host;
    ASSERT_EQ(host.startRegistered("127.0.0.1:" + std::to_string(peer.port()) + "/app",
                                   {{"FEATLISTLIMIT:", "4000000000"}}),
              0);
    ASSERT_TRUE(peer.waitForConnections(1));  // the start-up sync, refused

    std::atomic<bool> testDone{false};
    std::thread tester([&] {
        EXPECT_EQ(zebTestConnection(host.zeb), ZEB_E_EXCHANGE_FAILED);
        testDone = true;
    });
    ASSERT_TRUE(peer.waitForConnections(2));  // held: the tester is inside the exchange
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(host.track("while-waiting"), 0);
    EXPECT_EQ(zebTrackEventNumeric(host.zeb, "c", "n", 1.5, nullptr), 0);
    EXPECT_EQ(zebSetProductVersion(host.zeb, "2.0"), 0);
    EXPECT_EQ(zebSetCustomProperty(host.zeb, 1, "v"), 0);
    EXPECT_EQ(host.state(), 4);
    EXPECT_EQ(host.clientID(), kClientID);
    EXPECT_FALSE(testDone) << "the calls above waited for the exchange";
    peer.release();
    tester.join();
    EXPECT_EQ(zebStopSDK(host.zeb, -1), 0);
    size_t written = 0;
    for (const auto& lines : logFiles(host.dir())) {
        for (const auto& line : lines) written += contains(line, "$while-waiting") ? 1 : 0;
    }
    EXPECT_EQ(written, 1000u);
}

TEST(ServerCalls, StopEndsAnotherThreadsExchangeAndStartRecordsTheSessionFirst) {
    HoldingPeer peer;
    Host host;
    ASSERT_EQ(host.startRegistered("127.0.0.1:" + std::to_string(peer.port()) + "/app"), 0);
    ASSERT_TRUE(peer.waitForConnections(1));
    std::thread tester([&] { EXPECT_EQ(zebTestConnection(host.zeb), ZEB_E_EXCHANGE_FAILED); });
    ASSERT_TRUE(peer.waitForConnections(2));
    const auto start = Clock::now();
    EXPECT_EQ(zebStopSDK(host.zeb, -1), 0);
    // Well inside the 10 s the held exchange would wait for its answer.
    EXPECT_LT(secondsSince(start), 3.0);
    tester.join();

    // Tracking threads racing the start: the application session's records
    // come first in the log whenever the first event is accepted.
    const std::string nobody = "127.0.0.1:" + std::to_string(TinyproxyProcess::freePort());
    for (int round = 0; round < 20; ++round) {
        Host racer;
        writeRegisteredConfig(racer.dir());
        ASSERT_EQ(racer.configure(nobody), 0);
        std::vector<std::thread> trackers;
        for (int t = 0; t < 2; ++t) {
            trackers.emplace_back([&] {
                const auto deadline = Clock::now() + 10s;
                while (racer.track("Racing") != 0 && Clock::now() < deadline) {
                }
            });
        }
        ASSERT_EQ(zebStartSDK(racer.zeb), 0);
        for (auto& t : trackers) t.join();
        ASSERT_EQ(zebStopSDK(racer.zeb, -1), 0);
        const auto files = logFiles(racer.dir());
        ASSERT_FALSE(files.empty());
        ASSERT_GE(files[0].size(), 4u);
        EXPECT_EQ(eventFields(files[0][1])[2], "0001") << "round " << round;
        EXPECT_EQ(eventFields(files[0][2])[2], "0012") << "round " << round;
    }
}

TEST(ServerCalls, TrackingRacingAStopLosesNoAcceptedEvent) {
    Host host;
    ASSERT_EQ(
        host.startRegistered("127.0.0.1:" + std::to_string(TinyproxyProcess::freePort()),
                             {{"FEATLISTLIMIT:", "4000000000"}, {"FILESIZETHRESHOLD:", "4000000"}}),
        0);
    constexpr int kThreads = 4;
    std::vector<int> accepted(kThreads, 0);
    std::atomic<int> misordered{0};
    std::atomic<int> started{0};  // threads with at least one accepted event
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const std::string who = "T" + std::to_string(t);
            for (int i = 0;; ++i) {
                const int32_t rc =
                    zebTrackEvent(host.zeb, who.c_str(), std::to_string(i).c_str(), nullptr);
                if (rc == ZEB_E_STOPPED) break;
                if (rc != 0 || i != accepted[t]) ++misordered;
                if (++accepted[t] == 1) ++started;
            }
            // Once the stop has begun, every call is refused.
            for (int i = 0; i < 100; ++i) {
                if (zebTrackEvent(host.zeb, who.c_str(), "after", nullptr) != ZEB_E_STOPPED)
                    ++misordered;
            }
        });
    }
    // Every thread is tracking when the stop comes.
    ASSERT_TRUE(eventually([&] { return started == kThreads; }));
    EXPECT_EQ(zebStopSDK(host.zeb, -1), 0);
    for (auto& t : threads) t.join();
    EXPECT_EQ(misordered, 0);

    std::map<std::string, int> written;
    for (const auto& lines : logFiles(host.dir())) {
        for (const auto& line : lines) {
            const auto f = eventFields(line);
            if (f.size() == 5 && f[2] == "0021") {
                EXPECT_EQ(std::stoi(f[4]), written[f[3]]) << line;
                ++written[f[3]];
            }
        }
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_GT(accepted[t], 0);
        EXPECT_EQ(written["T" + std::to_string(t)], accepted[t]) << "thread " << t;
    }
}

// What the host's log handler hears through one life: each cause of a
// failure named, and never a secret.
struct LogRecorder {
    static void record(void* self, int32_t level, const char* message) {
        auto* recorder = static_cast<LogRecorder*>(self);
        std::lock_guard<std::mutex> guard(recorder->lock);
        recorder->lines.push_back(std::to_string(level) + " " + message);
    }
    // Waits for a line holding every part; the lines so far on failure.
    std::string find(const std::vector<std::string>& parts) {
        std::string found;
        eventually([&] {
            std::lock_guard<std::mutex> guard(lock);
            for (const std::string& line : lines) {
                bool all = true;
                for (const std::string& part : parts) all = all && contains(line, part);
                if (all) found = line;
            }
            return !found.empty();
        });
        return found;
    }
    std::string all() {
        std::lock_guard<std::mutex> guard(lock);
        std::string text;
        for (const std::string& line : lines) text += line + "\n";
        return text;
    }
    std::mutex lock;
    std::vector<std::string> lines;
};

TEST(ServerCalls, TheLogHandlerNamesEachCauseAndNoSecret) {
    // The first sync is the one right after the start, the second flushes
    // the log, the third disables the client.
    CallHomeServer server(aesServer("[sync]\nINSTRUCTION:NOLOG\n"
                                    "[sync]\nINSTRUCTION:UPLOAD\nURL:${SELF}/log\n"
                                    "[sync]\nINSTRUCTION:NOLOG\n****CONFIG\nDISABLED:1\n"));
    const std::string url = server.address() + "/app";
    const std::string otherKey = "FFEEDDCCBBAA99887766554433221100";
    LogRecorder log;

    Host wrongKey;
    ASSERT_EQ(zebSetLogHandler(wrongKey.zeb, ZEB_LOG_DEBUG, &LogRecorder::record, &log), 0);
    ASSERT_EQ(zebCreateConfig(wrongKey.zeb, wrongKey.dir().c_str(), kProductID, "App",
                              url.c_str(), ZEB_PROTOCOL_HTTP_AES, otherKey.c_str(), false, false),
              0);
    EXPECT_EQ(zebTestConnection(wrongKey.zeb), ZEB_E_SIGNATURE);
    EXPECT_NE(log.find({"testconn to 127.0.0.1:", "over HTTP with AES", "signature is wrong",
                        "same AES key"}),
              "");

    // Mode 2 against a server without TLS, through a proxy nobody runs.
    Host fallback;
    ASSERT_EQ(zebSetLogHandler(fallback.zeb, ZEB_LOG_INFO, &LogRecorder::record, &log), 0);
    ASSERT_EQ(fallback.configure(url, ZEB_PROTOCOL_TLS_FALLBACK), 0);
    const std::string proxyPort = std::to_string(TinyproxyProcess::freePort());
    ASSERT_EQ(zebSetProxy(fallback.zeb, "127.0.0.1", static_cast<uint16_t>(std::stoi(proxyPort)),
                          "proxyuser", "proxysecret"),
              0);
    EXPECT_EQ(zebTestConnection(fallback.zeb), 0);
    EXPECT_NE(log.find({"trusted certificates"}), "");
    EXPECT_NE(log.find({"over TLS, through the proxy 127.0.0.1:" + proxyPort, "failed: "}), "");
    EXPECT_NE(log.find({"through the proxy failed (", "Connect error", "); trying the server"}), "");
    EXPECT_NE(log.find({"TLS attempt failed (", "ConnectSSL", "); falling back to plain HTTP"}), "");
    EXPECT_NE(log.find({"testconn to", "over HTTP with AES, directly: accepted (STATUS:OK)",
                        "HTTP 200", "body "}),
              "");

    // A registered client whose log holds 1 KiB, then a server that
    // disables it.
    Host full;
    ASSERT_EQ(zebSetLogHandler(full.zeb, ZEB_LOG_INFO, &LogRecorder::record, &log), 0);
    ASSERT_EQ(full.startRegistered(url, {{"FILESIZETHRESHOLD:", "1"},
                                         {"CUSTOMTEXTTHRESHOLD:", "4"},
                                         {"MANUALSYNCTIMETHRESHOLD:", "0"}}),
              0);
    waitForType(server, "sync", 1);
    EXPECT_EQ(zebTrackEventText(full.zeb, "Menu", "Search", "longer than four", nullptr), 0);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(full.track("Event" + std::to_string(i)), 0);
    EXPECT_EQ(full.sync(), 0);
    EXPECT_NE(log.find({"sync due: requested"}), "");
    EXPECT_NE(log.find({"instruction is UPLOAD"}), "");
    EXPECT_NE(log.find({"events dropped: the event logs reached 1 KiB (FILESIZETHRESHOLD)"}), "")
        << log.all();
    EXPECT_NE(log.find({"1 event fields cut to the server's limits (CUSTOMTEXTTHRESHOLD"}), "");
    EXPECT_NE(log.find({"log files acknowledged and deleted"}), "");
    EXPECT_EQ(full.sync(), 0);
    EXPECT_NE(log.find({"the server disabled this client"}), "");
    EXPECT_TRUE(eventually([&] { return full.state() == ZEB_STATE_DISABLED; }));
    full.destroy();
    fallback.destroy();
    wrongKey.destroy();

    std::lock_guard<std::mutex> guard(log.lock);
    for (const std::string& line : log.lines) {
        for (const std::string& secret : {std::string(kAesKey), otherKey, std::string("proxysecret"),
                                          std::string("cHJveHl1c2VyOnByb3h5c2VjcmV0")})
            EXPECT_FALSE(contains(line, secret)) << line;
    }
}

}  // namespace
