#pragma once
// The byte transport under one HTTP connection: a TCP connection to one
// endpoint (the server or the proxy), optionally TLS over it, and sends and
// reads on a non-blocking socket. Between attempts the channel waits at most
// 50 ms for the socket to become ready, and every time-out bounds the total
// of those waits, so data is taken as soon as it arrives and a stop of the
// SDK ends any wait within about 50 ms.
//
// Owned by the ZEBHTTPConnectionNix of one exchange and used by the one
// thread running that exchange; no locks. The only cross-thread call is the
// stop monitor's shouldStop, which is thread-safe on its side.
//
// Every failure sets the state to kFailed and throws ZEBNetworkException
// whose text starts "Socket to " + host + ":" + port + "; ".

#include <netdb.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "transport/MbedTlsGuards.h"

namespace ZEBInternal {

class ZEBStopMonitor;
struct RuntimeSettings;

class SocketChannel {
public:
    static constexpr int32_t kFailed = -9;
    static constexpr int32_t kCreated = 0;
    static constexpr int32_t kConnected = 1;
    static constexpr int32_t kSent = 2;
    static constexpr int32_t kRead = 3;

    // A response or proxy answer may not exceed this many bytes: a peer
    // that keeps sending would otherwise grow the buffer without bound,
    // since the receive budget only counts waits.
    static constexpr size_t kMaxResponseBytes = size_t{16} << 20;

    // stopMonitor and settings are borrowed from the SDK and outlive the
    // channel; a null stop monitor never asks to stop. host and port name
    // the endpoint; tlsName is the server name TLS sends and verifies
    // (the server's host even when the endpoint is a proxy).
    SocketChannel(ZEBStopMonitor* stopMonitor, const RuntimeSettings* settings,
                  bool isSyncOrUpload, std::string host, uint16_t port, std::string tlsName);
    // Sends a TLS close notification when a session is up (one attempt, no
    // wait), then shuts the socket down and closes it.
    ~SocketChannel();
    SocketChannel(const SocketChannel&) = delete;
    SocketChannel& operator=(const SocketChannel&) = delete;
    SocketChannel(SocketChannel&&) = delete;
    SocketChannel& operator=(SocketChannel&&) = delete;

    int32_t getState() const { return state; }

    // False once the stop monitor says the SDK is stopping.
    bool continueRequest();

    // REQUIRES: state kCreated. Resolves host (the system resolver's own
    // time-outs apply) and connects to the first of its addresses that
    // answers (connectFirstAnswering) on a non-blocking, close-on-exec
    // socket, waiting at most CONNECTTIMEOUTSEC in total and ending early
    // when the SDK stops. State kConnected.
    void connect();

    // Parses certs (PEM texts, each ending with a line end) as the only
    // trust anchors and seeds the random generator. Any certificate that
    // fails to parse fails the set-up. Does not change the state.
    void initTls(const std::vector<std::string>& certs);

    // REQUIRES: initTls done, state kConnected or kRead. Runs the handshake
    // with required peer verification against tlsName, waiting at most
    // SSLHANDSHAKETIMEOUTSEC. The state is unchanged.
    void connectTls();

    // REQUIRES: state kConnected or kRead. Sends all bytes, waiting at most
    // SENDTIMEOUTSEC in total for a full socket buffer. State kSent.
    void send(const void* bytes, size_t length);

    // REQUIRES: state kSent. Reads until the peer ends the data (close or
    // TLS close notification) or, with stopAtHeaderEnd, until the bytes so
    // far end with CR LF CR LF; waits at most REQ1RECEIVETIMEOUTSEC (or
    // REQ2RECEIVETIMEOUTSEC for a sync or upload) in total. Returns the
    // bytes, empty when the peer sent none. State kRead.
    std::string readResponse(bool stopAtHeaderEnd);

private:
    [[noreturn]] void fail(const std::string& message);
    // One read of at most length bytes: a count, 0 at end of data, or an
    // mbedtls error code (want-read and time-out mean "nothing yet").
    int readSome(unsigned char* buf, size_t length);
    // One write: a count or an mbedtls error code.
    int writeSome(const unsigned char* buf, size_t length);

    ZEBStopMonitor* const stopMonitor;     // borrowed from the SDK
    const RuntimeSettings* const settings;  // borrowed from the SDK
    const bool isSyncOrUpload;
    const std::string host;
    const std::string tlsName;
    const uint16_t port;
    bool tlsActive = false;    // reads and writes pass through TLS
    bool handshakeDone = false;
    int32_t state = kFailed;
    NetContext socket;                 // declared before tls: freed after it
    std::unique_ptr<TlsObjects> tls;  // made by initTls
};

enum class ConnectOutcome { kConnected, kStopped, kTimedOut, kFailed };

// An address that drops SYNs must not starve the others: each further
// address is tried kNextAddressDelayMillis after the previous attempt began
// while that one is still pending (at once when it fails), the attempts run
// side by side, and the first to connect wins. Waits at most budgetMillis
// in all and ends within one wait once keepGoing answers false. Returns the
// connected non-blocking descriptor, every other one closed; -1 otherwise,
// with the outcome (and for kFailed the mbedtls error of the last failure).
constexpr uint64_t kNextAddressDelayMillis = 250;
int connectFirstAnswering(const addrinfo* addresses, uint64_t budgetMillis,
                          const std::function<bool()>& keepGoing, ConnectOutcome& outcome,
                          int& lastError);

}  // namespace ZEBInternal
