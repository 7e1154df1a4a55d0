#pragma once
// A scripted server on 127.0.0.1 with an ephemeral port, for transport
// tests and benchmarks: every accepted connection is handed, one at a time
// on the peer's own thread, to a handler that reads and writes through a
// PeerStream, over plain TCP or as an mbedtls TLS server. Every wait is
// bounded, so a handler cannot hang a test. No GoogleTest dependency.
//
// Data a handler records must be read by the test only after stop() (which
// joins the thread), or under the test's own lock.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <mbedtls/ctr_drbg.h>
#include <mbedtls/entropy.h>
#include <mbedtls/net_sockets.h>
#include <mbedtls/pk.h>
#include <mbedtls/ssl.h>
#include <mbedtls/x509_crt.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

namespace zebtest {

// One accepted connection as a handler sees it.
class PeerStream {
public:
    virtual ~PeerStream() = default;
    // A count, 0 when the client closed, -1 on an error or after timeoutMs.
    virtual int read(char* buf, size_t n, int timeoutMs) = 0;
    // Writes everything; false when the client is gone.
    virtual bool write(const std::string& data) = 0;

    // One HTTP request: the head up to CR LF CR LF plus as many body bytes
    // as its "Content-Length: " names, or whatever came before the client
    // closed or timeoutMs passed.
    std::string readRequest(int timeoutMs = 5000) {
        std::string data;
        char buf[16384];
        size_t want = std::string::npos;
        while (data.size() < want) {
            const int n = read(buf, sizeof buf, timeoutMs);
            if (n <= 0) break;
            data.append(buf, static_cast<size_t>(n));
            const size_t end = data.find("\r\n\r\n");
            if (want == std::string::npos && end != std::string::npos) {
                const size_t at = data.find("Content-Length: ");
                const size_t length =
                    at != std::string::npos && at < end ? std::stoul(data.substr(at + 16)) : 0;
                want = end + 4 + length;
            }
        }
        return data;
    }
    // Keeps the connection open, reading and dropping, until the client
    // closes or the peer stops.
    void holdOpen(const std::atomic<bool>& stop) {
        char buf[4096];
        while (!stop.load()) {
            const int n = read(buf, sizeof buf, 20);
            if (n == 0) return;
        }
    }
};

// The TLS server's certificate and key, PEM.
struct TlsIdentity {
    std::string certPem;
    std::string keyPem;
};

class LoopbackPeer {
public:
    using Handler = std::function<void(PeerStream&, const std::atomic<bool>& stop)>;

    // A null handler never accepts: clients connect through the kernel's
    // backlog and are never read from. With tls, each connection first
    // completes a TLS handshake; a failed one just closes the connection.
    explicit LoopbackPeer(Handler handler, const TlsIdentity* tls = nullptr)
        : handler_(std::move(handler)) {
        if (tls != nullptr) {
            tls_ = std::make_unique<TlsServer>(*tls);
            if (!tls_->ok) throw std::runtime_error("loopback peer: TLS set-up failed");
        }
        listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
            ::listen(listenFd_, 16) != 0 ||
            ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            if (listenFd_ >= 0) ::close(listenFd_);
            throw std::runtime_error("loopback peer: cannot listen");
        }
        port_ = ntohs(addr.sin_port);
        if (handler_) thread_ = std::thread([this] { serve(); });
    }
    ~LoopbackPeer() {
        stop();
        ::close(listenFd_);
    }
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    uint16_t port() const { return port_; }
    // Ends the current handler's waits and joins the peer thread.
    void stop() {
        stop_.store(true);
        if (thread_.joinable()) thread_.join();
    }

private:
    // Sends with MSG_NOSIGNAL: a client that hangs up must not raise
    // SIGPIPE in the test process.
    static int sendBio(void* ctx, const unsigned char* buf, size_t len) {
        const ssize_t n = ::send(*static_cast<int*>(ctx), buf, len, MSG_NOSIGNAL);
        if (n >= 0) return static_cast<int>(n);
        return errno == EAGAIN || errno == EINTR ? MBEDTLS_ERR_SSL_WANT_WRITE
                                                 : MBEDTLS_ERR_NET_SEND_FAILED;
    }
    static int recvTimeoutBio(void* ctx, unsigned char* buf, size_t len, uint32_t timeoutMs) {
        pollfd p{*static_cast<int*>(ctx), POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(timeoutMs));
        if (ready == 0) return MBEDTLS_ERR_SSL_TIMEOUT;
        if (ready < 0) return MBEDTLS_ERR_NET_RECV_FAILED;
        const ssize_t n = ::recv(p.fd, buf, len, 0);
        if (n >= 0) return static_cast<int>(n);
        return errno == ECONNRESET ? MBEDTLS_ERR_NET_CONN_RESET : MBEDTLS_ERR_NET_RECV_FAILED;
    }

    class PlainStream : public PeerStream {
    public:
        explicit PlainStream(int fd) : fd_(fd) {}
        int read(char* buf, size_t n, int timeoutMs) override {
            const int rc = recvTimeoutBio(&fd_, reinterpret_cast<unsigned char*>(buf), n,
                                          static_cast<uint32_t>(timeoutMs));
            return rc >= 0 ? rc : -1;
        }
        bool write(const std::string& data) override {
            size_t done = 0;
            while (done < data.size()) {
                const int n = sendBio(&fd_, reinterpret_cast<const unsigned char*>(data.data()) + done,
                                      data.size() - done);
                if (n <= 0) return false;
                done += static_cast<size_t>(n);
            }
            return true;
        }

    private:
        int fd_;
    };

    // The server's configuration, shared by its connections.
    struct TlsServer {
        explicit TlsServer(const TlsIdentity& id) {
            mbedtls_entropy_init(&entropy);
            mbedtls_ctr_drbg_init(&drbg);
            mbedtls_x509_crt_init(&cert);
            mbedtls_pk_init(&key);
            mbedtls_ssl_config_init(&config);
            ok = mbedtls_ctr_drbg_seed(&drbg, mbedtls_entropy_func, &entropy, nullptr, 0) == 0;
            ok = ok && mbedtls_x509_crt_parse(&cert,
                                              reinterpret_cast<const unsigned char*>(id.certPem.c_str()),
                                              id.certPem.size() + 1) == 0;
            ok = ok && mbedtls_pk_parse_key(&key, reinterpret_cast<const unsigned char*>(id.keyPem.c_str()),
                                            id.keyPem.size() + 1, nullptr, 0) == 0;
            ok = ok && mbedtls_ssl_config_defaults(&config, MBEDTLS_SSL_IS_SERVER,
                                                   MBEDTLS_SSL_TRANSPORT_STREAM,
                                                   MBEDTLS_SSL_PRESET_DEFAULT) == 0;
            if (ok) {
                mbedtls_ssl_conf_rng(&config, mbedtls_ctr_drbg_random, &drbg);
                mbedtls_ssl_conf_read_timeout(&config, 2000);
                ok = mbedtls_ssl_conf_own_cert(&config, &cert, &key) == 0;
            }
        }
        ~TlsServer() {
            mbedtls_ssl_config_free(&config);
            mbedtls_pk_free(&key);
            mbedtls_x509_crt_free(&cert);
            mbedtls_ctr_drbg_free(&drbg);
            mbedtls_entropy_free(&entropy);
        }
        mbedtls_entropy_context entropy;
        mbedtls_ctr_drbg_context drbg;
        mbedtls_x509_crt cert;
        mbedtls_pk_context key;
        mbedtls_ssl_config config;
        bool ok = false;
    };

    class TlsStream : public PeerStream {
    public:
        TlsStream(TlsServer& server, int fd) : server_(server), fd_(fd) {
            mbedtls_ssl_init(&ssl_);
            if (mbedtls_ssl_setup(&ssl_, &server.config) == 0) {
                mbedtls_ssl_set_bio(&ssl_, &fd_, sendBio, nullptr, recvTimeoutBio);
                int rc;
                do rc = mbedtls_ssl_handshake(&ssl_);
                while (rc == MBEDTLS_ERR_SSL_WANT_READ || rc == MBEDTLS_ERR_SSL_WANT_WRITE);
                ready_ = rc == 0;
            }
        }
        ~TlsStream() override {
            if (ready_) mbedtls_ssl_close_notify(&ssl_);
            mbedtls_ssl_free(&ssl_);
        }
        TlsStream(const TlsStream&) = delete;
        TlsStream& operator=(const TlsStream&) = delete;
        bool ready() const { return ready_; }
        int read(char* buf, size_t n, int timeoutMs) override {
            mbedtls_ssl_conf_read_timeout(&server_.config, static_cast<uint32_t>(timeoutMs));
            const int rc = mbedtls_ssl_read(&ssl_, reinterpret_cast<unsigned char*>(buf), n);
            if (rc == MBEDTLS_ERR_SSL_PEER_CLOSE_NOTIFY) return 0;
            return rc >= 0 ? rc : -1;
        }
        bool write(const std::string& data) override {
            size_t done = 0;
            while (done < data.size()) {
                const int n = mbedtls_ssl_write(
                    &ssl_, reinterpret_cast<const unsigned char*>(data.data()) + done,
                    data.size() - done);
                if (n == MBEDTLS_ERR_SSL_WANT_WRITE) continue;
                if (n <= 0) return false;
                done += static_cast<size_t>(n);
            }
            return true;
        }

    private:
        TlsServer& server_;
        int fd_;
        mbedtls_ssl_context ssl_;
        bool ready_ = false;
    };

    void serve() {
        while (!stop_.load()) {
            pollfd p{listenFd_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            if (tls_) {
                TlsStream stream(*tls_, fd);
                if (stream.ready()) handler_(stream, stop_);
            } else {
                PlainStream stream(fd);
                handler_(stream, stop_);
            }
            ::close(fd);
        }
    }

    Handler handler_;
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::unique_ptr<TlsServer> tls_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace zebtest
