#include "transport/SocketChannel.h"

#include <fcntl.h>
#include <mbedtls/error.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <ctime>

#include "config/RuntimeSettings.h"
#include "core/ZEBStopMonitor.h"
#include "util/TimeValue.h"
#include "util/ZEBException.h"

namespace ZEBInternal {

namespace {

constexpr uint32_t kRetryWaitMillis = 50;
constexpr size_t kReadChunk = 1024;

// Budgets bound the total time an operation spends waiting for its socket
// and are never reset by progress. 64-bit so that a huge setting cannot wrap
// to a small budget.
uint64_t retryBudgetMillis(uint32_t timeoutSeconds) {
    return uint64_t{timeoutSeconds} * 1000;
}

int64_t monotonicMillis() {
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

// One retry wait: until the socket is ready for `events`, for at most
// kRetryWaitMillis, so an answer is read as soon as it arrives rather than
// after a fixed sleep, and a stop request is still seen within one wait.
// Returns the milliseconds to charge to the budget: the time waited, at
// least 1, so that a socket reporting ready without progress cannot spin.
uint64_t waitForSocket(int fd, short events) {
    const int64_t start = monotonicMillis();
    pollfd p{fd, events, 0};
    if (::poll(&p, 1, static_cast<int>(kRetryWaitMillis)) < 0 && errno != EINTR) {
        // The descriptor cannot be watched: fall back to a plain wait.
        timeutil::sleepFor(TimeValue{0, kRetryWaitMillis * 1000});
    }
    const int64_t waited = monotonicMillis() - start;
    return waited > 0 ? static_cast<uint64_t>(waited) : 1;
}

std::string errorText(int code) {
    char buf[100] = {};
    mbedtls_strerror(code, buf, sizeof buf);
    return buf;
}

bool isWouldBlock(int result) {
    return result == MBEDTLS_ERR_SSL_WANT_READ || result == MBEDTLS_ERR_SSL_WANT_WRITE ||
           result == MBEDTLS_ERR_SSL_TIMEOUT;
}

// Replaces mbedtls_net_send for plain and TLS writes. A peer that has gone
// away makes write(2) raise SIGPIPE, whose default action would end the
// host process; send with MSG_NOSIGNAL reports EPIPE instead.
int sendNoSignal(void* ctx, const unsigned char* buf, size_t length) {
    const int fd = static_cast<mbedtls_net_context*>(ctx)->fd;
    if (fd < 0) return MBEDTLS_ERR_NET_INVALID_CONTEXT;
    const size_t chunk = length > INT_MAX ? size_t{INT_MAX} : length;
    const ssize_t n = ::send(fd, buf, chunk, MSG_NOSIGNAL);
    if (n >= 0) return static_cast<int>(n);
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return MBEDTLS_ERR_SSL_WANT_WRITE;
    if (errno == EPIPE || errno == ECONNRESET) return MBEDTLS_ERR_NET_CONN_RESET;
    return MBEDTLS_ERR_NET_SEND_FAILED;
}

// The descriptors of the attempts still pending; closed unless handed out.
struct PendingAttempts {
    std::vector<pollfd> fds;
    ~PendingAttempts() {
        for (const pollfd& p : fds) ::close(p.fd);
    }
};

}  // namespace

int connectFirstAnswering(const addrinfo* addresses, uint64_t budgetMillis,
                          const std::function<bool()>& keepGoing, ConnectOutcome& outcome,
                          int& lastError) {
    lastError = MBEDTLS_ERR_NET_CONNECT_FAILED;
    PendingAttempts pending;
    const addrinfo* next = addresses;
    // Starts the next address that gets as far as a pending connect; the
    // descriptor when one connects at once, else -1.
    const auto startNext = [&]() -> int {
        for (; next != nullptr; next = next->ai_next) {
            const addrinfo* a = next;
            const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                                    a->ai_protocol);
            if (fd < 0) {
                lastError = MBEDTLS_ERR_NET_SOCKET_FAILED;
                continue;
            }
            int result;
            do {
                result = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
            } while (result == EINTR);
            if (result == 0 || result == EINPROGRESS) {
                next = a->ai_next;
                if (result == 0) return fd;
                pending.fds.push_back(pollfd{fd, POLLOUT, 0});
                return -1;
            }
            ::close(fd);
            lastError = MBEDTLS_ERR_NET_CONNECT_FAILED;
        }
        return -1;
    };
    uint64_t waited = 0;
    uint64_t sinceStart = 0;
    int connected = startNext();
    while (connected < 0 && !pending.fds.empty()) {
        const int64_t start = monotonicMillis();
        if (::poll(pending.fds.data(), pending.fds.size(), static_cast<int>(kRetryWaitMillis)) <
                0 &&
            errno != EINTR) {
            timeutil::sleepFor(TimeValue{0, kRetryWaitMillis * 1000});
        }
        const int64_t elapsed = monotonicMillis() - start;
        const uint64_t charged = elapsed > 0 ? static_cast<uint64_t>(elapsed) : 1;
        waited += charged;
        sinceStart += charged;
        bool failedOne = false;
        for (size_t i = 0; i < pending.fds.size() && connected < 0;) {
            if (pending.fds[i].revents == 0) {
                ++i;
                continue;
            }
            int result = 0;
            socklen_t length = sizeof result;
            if (::getsockopt(pending.fds[i].fd, SOL_SOCKET, SO_ERROR, &result, &length) != 0)
                result = errno;
            if (result == EINPROGRESS || result == EINTR) {
                ++i;
                continue;
            }
            const int fd = pending.fds[i].fd;
            pending.fds.erase(pending.fds.begin() + static_cast<std::ptrdiff_t>(i));
            if (result == 0) {
                connected = fd;
            } else {
                ::close(fd);
                lastError = MBEDTLS_ERR_NET_CONNECT_FAILED;
                failedOne = true;
            }
        }
        if (connected >= 0) break;
        if (next != nullptr && (failedOne || sinceStart >= kNextAddressDelayMillis ||
                                pending.fds.empty())) {
            sinceStart = 0;
            connected = startNext();
            if (connected >= 0) break;
        }
        if (pending.fds.empty()) break;
        if (!keepGoing()) {
            outcome = ConnectOutcome::kStopped;
            return -1;
        }
        if (waited >= budgetMillis) {
            outcome = ConnectOutcome::kTimedOut;
            return -1;
        }
    }
    outcome = connected >= 0 ? ConnectOutcome::kConnected : ConnectOutcome::kFailed;
    return connected;
}

SocketChannel::SocketChannel(ZEBStopMonitor* monitor, const RuntimeSettings* runtimeSettings,
                             bool syncOrUpload, std::string endpointHost, uint16_t endpointPort,
                             std::string serverName)
    : stopMonitor(monitor),
      settings(runtimeSettings),
      isSyncOrUpload(syncOrUpload),
      host(std::move(endpointHost)),
      tlsName(std::move(serverName)),
      port(endpointPort),
      state(kCreated) {}

SocketChannel::~SocketChannel() {
    // Best effort: the peer learns the session ended on purpose. A full
    // socket buffer only loses the notification; the close follows anyway.
    if (tls && handshakeDone && socket.fd() >= 0) mbedtls_ssl_close_notify(&tls->ssl);
}

bool SocketChannel::continueRequest() {
    return stopMonitor == nullptr || !stopMonitor->shouldStop(isSyncOrUpload);
}

void SocketChannel::fail(const std::string& message) {
    state = kFailed;
    throw ZEBNetworkException("Socket to " + host + ":" + std::to_string(port) + "; " + message);
}

void SocketChannel::connect() {
    if (state != kCreated)
        fail("BUG - Connect called in illegal state (" + std::to_string(state) + ").");
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const std::string portText = std::to_string(port);
    if (::getaddrinfo(host.c_str(), portText.c_str(), &hints, &found) != 0 || found == nullptr)
        fail("Connect error " + errorText(MBEDTLS_ERR_NET_UNKNOWN_HOST) + ".");
    const std::unique_ptr<addrinfo, void (*)(addrinfo*)> addresses(found, ::freeaddrinfo);
    // A blocking connect to an address that never answers waits for the
    // kernel's SYN retries (about two minutes) and cannot see a stop, which
    // would hold a host's zebStopSDK or zebDestroyInstance that long. So the
    // socket connects non-blocking, in waits of at most 50 ms, within one
    // CONNECTTIMEOUTSEC budget for all of the host's addresses.
    ConnectOutcome outcome = ConnectOutcome::kFailed;
    int lastError = MBEDTLS_ERR_NET_CONNECT_FAILED;
    const int fd =
        connectFirstAnswering(addresses.get(), retryBudgetMillis(settings->CONNECTTIMEOUTSEC),
                              [this] { return continueRequest(); }, outcome, lastError);
    if (outcome == ConnectOutcome::kStopped) fail("Connect stopped: the SDK is stopping.");
    if (outcome == ConnectOutcome::kTimedOut)
        fail("Connect error: no answer within " + std::to_string(settings->CONNECTTIMEOUTSEC) +
             " s.");
    if (fd < 0) fail("Connect error " + errorText(lastError) + ".");
    socket.get()->fd = fd;  // closed by the context from here on
    // A request goes out whole and the answer is awaited at once: holding
    // back the last small TLS record for the peer's delayed acknowledgement
    // would only add tens of milliseconds to every exchange.
    const int noDelay = 1;
    setsockopt(socket.fd(), IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    state = kConnected;
}

void SocketChannel::initTls(const std::vector<std::string>& certs) {
    if (certs.empty()) fail("InitSSL error - empty certs.");
    tlsActive = true;
    tls = std::make_unique<TlsObjects>();
    const int seeded =
        mbedtls_ctr_drbg_seed(&tls->drbg, mbedtls_entropy_func, &tls->entropy, nullptr, 0);
    if (seeded != 0) fail("InitSSL error - DRBG seed " + errorText(seeded) + ".");

    std::string joined;
    for (const std::string& cert : certs) joined += cert;
    // The PEM parser recognises PEM only when the length covers the final
    // zero byte, which c_str() provides.
    const int parsed = mbedtls_x509_crt_parse(
        &tls->caChain, reinterpret_cast<const unsigned char*>(joined.c_str()), joined.size() + 1);
    if (parsed < 0) fail("InitSSL error - x509 parse " + errorText(parsed) + ".");
    // A positive result counts certificates that did not parse; trusting
    // the rest silently would hide a damaged list.
    if (parsed > 0)
        fail("InitSSL error - x509 parse partial results " + std::to_string(parsed) + ".");
}

void SocketChannel::connectTls() {
    if (!tls || (state != kConnected && state != kRead))
        fail("BUG - ConnectSSL called in illegal state (" + std::to_string(state) + ").");
    TlsObjects& t = *tls;
    const int defaults = mbedtls_ssl_config_defaults(
        &t.config, MBEDTLS_SSL_IS_CLIENT, MBEDTLS_SSL_TRANSPORT_STREAM, MBEDTLS_SSL_PRESET_DEFAULT);
    if (defaults != 0) fail("ConnectSSL error config defaults " + errorText(defaults) + ".");
    mbedtls_ssl_conf_authmode(&t.config, MBEDTLS_SSL_VERIFY_REQUIRED);
    mbedtls_ssl_conf_ca_chain(&t.config, &t.caChain, nullptr);
    mbedtls_ssl_conf_rng(&t.config, mbedtls_ctr_drbg_random, &t.drbg);
    const int setup = mbedtls_ssl_setup(&t.ssl, &t.config);
    if (setup != 0) fail("ConnectSSL error ssl setup " + errorText(setup) + ".");
    const int named = mbedtls_ssl_set_hostname(&t.ssl, tlsName.c_str());
    if (named != 0)
        fail("ConnectSSL error set hostname '" + tlsName + "': " + errorText(named) + ".");
    mbedtls_ssl_set_bio(&t.ssl, socket.get(), sendNoSignal, mbedtls_net_recv, nullptr);

    const uint64_t budget = retryBudgetMillis(settings->SSLHANDSHAKETIMEOUTSEC);
    uint64_t waited = 0;
    for (;;) {
        const int rc = mbedtls_ssl_handshake(&t.ssl);
        // With required verification mbedtls ends the handshake itself when
        // the chain or the name does not check out; the flags say why.
        const uint32_t flags = mbedtls_ssl_get_verify_result(&t.ssl);
        if ((rc == 0 || rc == MBEDTLS_ERR_X509_CERT_VERIFY_FAILED) && flags != 0 &&
            flags != UINT32_MAX) {
            char info[512] = {};
            mbedtls_x509_crt_verify_info(info, sizeof info, "  ! ", flags);
            fail(std::string("SSL handshake verification error: ") + info);
        }
        if (rc == 0) break;
        if (rc != MBEDTLS_ERR_SSL_WANT_READ && rc != MBEDTLS_ERR_SSL_WANT_WRITE)
            fail("ConnectSSL error handshake " + errorText(rc) + ".");
        if (!continueRequest()) fail("SSL handshake aborted - continue request is false.");
        if (waited >= budget) fail("SSL handshake timeout - max retries reached.");
        waited += waitForSocket(socket.fd(), rc == MBEDTLS_ERR_SSL_WANT_WRITE ? POLLOUT : POLLIN);
    }
    handshakeDone = true;
}

int SocketChannel::writeSome(const unsigned char* buf, size_t length) {
    if (tlsActive) return mbedtls_ssl_write(&tls->ssl, buf, length);
    return sendNoSignal(socket.get(), buf, length);
}

void SocketChannel::send(const void* bytes, size_t length) {
    if (state != kConnected && state != kRead)
        fail("BUG - Send called in illegal state (" + std::to_string(state) + ").");
    if (tlsActive && !handshakeDone) fail("BUG - Send called before the TLS handshake.");
    const auto* data = static_cast<const unsigned char*>(bytes);
    const uint64_t budget = retryBudgetMillis(settings->SENDTIMEOUTSEC);
    uint64_t waited = 0;
    size_t sent = 0;
    while (sent < length) {
        const int rc = writeSome(data + sent, length - sent);
        if (rc > 0) {
            sent += static_cast<size_t>(rc);
            continue;
        }
        // A socket never accepts zero bytes of a non-empty write; treating
        // it as the end would report an unsent request as sent.
        if (rc == 0) fail("Send error: the connection accepted no data.");
        if (!isWouldBlock(rc)) fail("Send error: " + errorText(rc) + ".");
        if (!continueRequest()) fail("Send aborted - continue request is false.");
        if (waited >= budget) fail("Send timeout - max retries reached.");
        // A TLS write may wait for the peer's data (renegotiation); either
        // readiness ends the wait.
        waited += waitForSocket(socket.fd(), rc == MBEDTLS_ERR_SSL_WANT_READ ? POLLIN : POLLOUT);
    }
    state = kSent;
}

int SocketChannel::readSome(unsigned char* buf, size_t length) {
    if (tlsActive) return mbedtls_ssl_read(&tls->ssl, buf, length);
    // poll rather than mbedtls_net_recv_timeout: its select() cannot watch a
    // descriptor above FD_SETSIZE, which a busy host process may well hand
    // out.
    pollfd p{socket.fd(), POLLIN, 0};
    const int ready = ::poll(&p, 1, 0);
    if (ready == 0 || (ready < 0 && errno == EINTR)) return MBEDTLS_ERR_SSL_TIMEOUT;
    if (ready < 0) return MBEDTLS_ERR_NET_POLL_FAILED;
    return mbedtls_net_recv(socket.get(), buf, length);
}

std::string SocketChannel::readResponse(bool stopAtHeaderEnd) {
    if (state != kSent)
        fail("BUG - ReadResponse called in illegal state (" + std::to_string(state) + ").");
    const uint64_t budget = retryBudgetMillis(isSyncOrUpload ? settings->REQ2RECEIVETIMEOUTSEC
                                                             : settings->REQ1RECEIVETIMEOUTSEC);
    uint64_t waited = 0;
    std::string data;
    data.reserve(kReadChunk + 1);
    unsigned char chunk[kReadChunk];
    for (;;) {
        const int rc = readSome(chunk, sizeof chunk);
        if (rc > 0) {
            if (data.size() + static_cast<size_t>(rc) > kMaxResponseBytes)
                fail("ReadResponse error: response larger than " +
                     std::to_string(kMaxResponseBytes) + " bytes.");
            data.append(reinterpret_cast<const char*>(chunk), static_cast<size_t>(rc));
            if (stopAtHeaderEnd && data.size() >= 4 &&
                data.compare(data.size() - 4, 4, "\r\n\r\n") == 0)
                break;
            continue;
        }
        if (rc == 0 || rc == MBEDTLS_ERR_SSL_PEER_CLOSE_NOTIFY) break;
        if (!isWouldBlock(rc)) fail("ReadResponse error: " + errorText(rc) + ".");
        if (!continueRequest()) fail("ReadResponse aborted - continue request is false.");
        if (waited >= budget) fail("ReadResponse timeout - max retries reached.");
        waited += waitForSocket(socket.fd(), rc == MBEDTLS_ERR_SSL_WANT_WRITE ? POLLOUT : POLLIN);
    }
    state = kRead;
    return data;
}

}  // namespace ZEBInternal
