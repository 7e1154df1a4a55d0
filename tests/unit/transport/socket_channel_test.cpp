// The socket channel against scripted loopback peers: the send and receive
// budgets, stop requests, the response size limit and a peer that resets.

#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "support/LoopbackPeer.h"
#include "support/TinyproxyProcess.h"
#include "transport/SocketChannel.h"
#include "unit/transport/TransportTestSupport.h"

namespace {

using ZEBInternal::RuntimeSettings;
using ZEBInternal::SocketChannel;
using zebtest::FlagStopMonitor;
using zebtest::LoopbackPeer;
using zebtest::networkError;
using zebtest::PeerStream;
using zebtest::secondsSince;

const std::string kRequest = "POST /req1 HTTP/1.1\r\nContent-Length: 0\r\n\r\n";

std::string prefix(uint16_t port) {
    return "Socket to 127.0.0.1:" + std::to_string(port) + "; ";
}

struct Fixture {
    FlagStopMonitor monitor;
    RuntimeSettings settings = zebtest::fastSettings();
};

TEST(SocketChannel, SendGivesUpAtTheBudgetWhenThePeerNeverReads) {
    LoopbackPeer peer(nullptr);  // never accepts: the kernel buffers fill up
    const std::string big(24u << 20, 'x');
    Fixture f;
    for (uint32_t seconds : {0u, 1u}) {
        f.settings.SENDTIMEOUTSEC = seconds;
        SocketChannel channel(&f.monitor, &f.settings, false, "127.0.0.1", peer.port(), "");
        channel.connect();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(networkError([&] { channel.send(big.data(), big.size()); }),
                  prefix(peer.port()) + "Send timeout - max retries reached.");
        const double elapsed = secondsSince(start);
        // A budget of 0 ends at the first would-block; 1 s allows 1 s of waiting.
        EXPECT_GE(elapsed, seconds == 0 ? 0.0 : 0.9);
        EXPECT_LT(elapsed, seconds == 0 ? 0.5 : 5.0);
        EXPECT_EQ(channel.getState(), SocketChannel::kFailed);
    }
    // A stop ends the wait instead of the budget.
    f.settings.SENDTIMEOUTSEC = 30;
    f.monitor.stop = true;
    SocketChannel channel(&f.monitor, &f.settings, false, "127.0.0.1", peer.port(), "");
    channel.connect();
    EXPECT_EQ(networkError([&] { channel.send(big.data(), big.size()); }),
              prefix(peer.port()) + "Send aborted - continue request is false.");
}

TEST(SocketChannel, ReadWaitsForTheCloseWithinTheBudgetOfItsKind) {
    // The whole answer arrives but the peer keeps the connection open: the
    // read only ends at the budget, the sync one here.
    LoopbackPeer peer([](PeerStream& s, const std::atomic<bool>& stop) {
        s.readRequest();
        s.write(zebtest::okResponse("x"));
        s.holdOpen(stop);
    });
    Fixture f;
    f.settings.REQ1RECEIVETIMEOUTSEC = 0;
    f.settings.REQ2RECEIVETIMEOUTSEC = 1;
    SocketChannel channel(&f.monitor, &f.settings, true, "127.0.0.1", peer.port(), "");
    channel.connect();
    channel.send(kRequest.data(), kRequest.size());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(networkError([&] { channel.readResponse(false); }),
              prefix(peer.port()) + "ReadResponse timeout - max retries reached.");
    EXPECT_GE(secondsSince(start), 0.9);
    EXPECT_LT(secondsSince(start), 5.0);
}

TEST(SocketChannel, StopAbortsAWaitingReadPromptly) {
    Fixture f;
    f.settings.REQ1RECEIVETIMEOUTSEC = 30;
    LoopbackPeer peer([&f](PeerStream& s, const std::atomic<bool>& stop) {
        s.readRequest();
        f.monitor.stop = true;  // the SDK begins to stop while the client waits
        s.holdOpen(stop);
    });
    SocketChannel channel(&f.monitor, &f.settings, false, "127.0.0.1", peer.port(), "");
    channel.connect();
    const auto start = std::chrono::steady_clock::now();
    channel.send(kRequest.data(), kRequest.size());
    EXPECT_EQ(networkError([&] { channel.readResponse(false); }),
              prefix(peer.port()) + "ReadResponse aborted - continue request is false.");
    EXPECT_LT(secondsSince(start), 1.0);
}

TEST(SocketChannel, ResponsesAreLimitedTo16MiB) {
    for (size_t size : {SocketChannel::kMaxResponseBytes, SocketChannel::kMaxResponseBytes + 1}) {
        LoopbackPeer peer([size](PeerStream& s, const std::atomic<bool>&) {
            s.readRequest();
            s.write(std::string(size, 'z'));
        });
        Fixture f;
        f.settings.REQ1RECEIVETIMEOUTSEC = 10;
        SocketChannel channel(&f.monitor, &f.settings, false, "127.0.0.1", peer.port(), "");
        channel.connect();
        channel.send(kRequest.data(), kRequest.size());
        if (size == SocketChannel::kMaxResponseBytes) {
            EXPECT_EQ(channel.readResponse(false).size(), size);
            EXPECT_EQ(channel.getState(), SocketChannel::kRead);
        } else {
            EXPECT_EQ(
                networkError([&] { channel.readResponse(false); }),
                prefix(peer.port()) + "ReadResponse error: response larger than 16777216 bytes.");
        }
    }
}

TEST(SocketChannel, APeerThatHangsUpMidSendIsAnErrorNotASignal) {
    // The peer closes with unread data, which resets the connection; a
    // plain write(2) would then raise SIGPIPE and end the test process.
    LoopbackPeer peer([](PeerStream& s, const std::atomic<bool>&) {
        char buf[1024];
        s.read(buf, sizeof buf, 2000);
    });
    Fixture f;
    SocketChannel channel(&f.monitor, &f.settings, false, "127.0.0.1", peer.port(), "");
    channel.connect();
    const std::string big(24u << 20, 'x');
    EXPECT_EQ(networkError([&] { channel.send(big.data(), big.size()); }),
              prefix(peer.port()) + "Send error: NET - Connection was reset by peer.");
}

TEST(SocketChannel, RefusedConnectAndMisuseAreReported) {
    Fixture f;
    const uint16_t deadPort = zebtest::TinyproxyProcess::freePort();
    SocketChannel channel(&f.monitor, &f.settings, false, "127.0.0.1", deadPort, "");
    EXPECT_EQ(networkError([&] { channel.send("x", 1); }),
              prefix(deadPort) + "BUG - Send called in illegal state (0).");
    SocketChannel fresh(&f.monitor, &f.settings, false, "127.0.0.1", deadPort, "");
    EXPECT_EQ(networkError([&] { fresh.readResponse(false); }),
              prefix(deadPort) + "BUG - ReadResponse called in illegal state (0).");
    SocketChannel refused(&f.monitor, &f.settings, false, "127.0.0.1", deadPort, "");
    EXPECT_EQ(
        networkError([&] { refused.connect(); }),
        prefix(deadPort) + "Connect error NET - The connection to the given server / port failed.");
    EXPECT_EQ(networkError([&] { refused.connect(); }),
              prefix(deadPort) + "BUG - Connect called in illegal state (-9).");
}

// A loopback listener that never accepts, its one-place queue taken: the
// kernel drops every further SYN, as a host that has gone from the network
// would, so a connect to it stays pending until the client gives up.
class Unanswered {
public:
    Unanswered() : listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(listener_, 0) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length) != 0)
            throw std::runtime_error("loopback listener");
        port_ = ntohs(a.sin_port);
        filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(filler_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            throw std::runtime_error("filling the queue");
    }
    ~Unanswered() {
        ::close(filler_);
        ::close(listener_);
    }
    uint16_t port() const { return port_; }

private:
    int listener_;
    int filler_ = -1;
    uint16_t port_ = 0;
};

TEST(SocketChannel, AConnectNobodyAnswersEndsAtItsBudgetOrWhenTheSdkStops) {
    Fixture f;
    Unanswered nobody;
    f.settings.CONNECTTIMEOUTSEC = 1;
    SocketChannel timed(&f.monitor, &f.settings, false, "127.0.0.1", nobody.port(), "");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(networkError([&] { timed.connect(); }),
              prefix(nobody.port()) + "Connect error: no answer within 1 s.");
    EXPECT_GE(secondsSince(start), 0.9);
    EXPECT_LT(secondsSince(start), 2.0);

    f.settings.CONNECTTIMEOUTSEC = 60;
    SocketChannel stopped(&f.monitor, &f.settings, false, "127.0.0.1", nobody.port(), "");
    std::thread stopper([&f] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        f.monitor.stop = true;
    });
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(networkError([&] { stopped.connect(); }),
              prefix(nobody.port()) + "Connect stopped: the SDK is stopping.");
    EXPECT_LT(secondsSince(start), 1.0);
    stopper.join();
}

// A host name whose first address drops SYNs: the second one still gets its
// turn within the budget, and the first attempt is closed.
TEST(SocketChannel, AnAddressThatNeverAnswersDoesNotStarveTheNext) {
    Unanswered nobody;
    LoopbackPeer peer(nullptr);
    sockaddr_in target[2] = {};
    addrinfo node[2] = {};
    for (int i = 0; i < 2; ++i) {
        target[i].sin_family = AF_INET;
        target[i].sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        target[i].sin_port = htons(i == 0 ? nobody.port() : peer.port());
        node[i].ai_family = AF_INET;
        node[i].ai_socktype = SOCK_STREAM;
        node[i].ai_addr = reinterpret_cast<sockaddr*>(&target[i]);
        node[i].ai_addrlen = sizeof target[i];
    }
    node[0].ai_next = &node[1];
    ZEBInternal::ConnectOutcome outcome{};
    int error = 0;
    const int fd =
        ZEBInternal::connectFirstAnswering(node, 5000, [] { return true; }, outcome, error);
    ASSERT_EQ(outcome, ZEBInternal::ConnectOutcome::kConnected);
    sockaddr_in got{};
    socklen_t length = sizeof got;
    ASSERT_EQ(::getpeername(fd, reinterpret_cast<sockaddr*>(&got), &length), 0);
    EXPECT_EQ(ntohs(got.sin_port), peer.port());
    ::close(fd);
}

}  // namespace
