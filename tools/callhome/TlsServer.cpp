#include "TlsServer.h"

#include <mbedtls/error.h>
#include <mbedtls/net_sockets.h>
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace ZEBCallHome {

std::string tlsErrorText(int code) {
    char text[160];
    mbedtls_strerror(code, text, sizeof text);
    char hex[16];
    std::snprintf(hex, sizeof hex, "-0x%04X", static_cast<unsigned>(-code));
    return std::string(hex) + " (" + text + ")";
}

TlsServer::TlsServer() {
    mbedtls_entropy_init(&entropy_);
    mbedtls_ctr_drbg_init(&drbg_);
    mbedtls_x509_crt_init(&cert_);
    mbedtls_pk_init(&key_);
    mbedtls_ssl_config_init(&conf_);
}

TlsServer::~TlsServer() {
    mbedtls_ssl_config_free(&conf_);
    mbedtls_pk_free(&key_);
    mbedtls_x509_crt_free(&cert_);
    mbedtls_ctr_drbg_free(&drbg_);
    mbedtls_entropy_free(&entropy_);
}

int TlsServer::randomBytes(void* self, unsigned char* out, size_t n) {
    auto* server = static_cast<TlsServer*>(self);
    std::lock_guard<std::mutex> lock(server->drbgLock_);
    return mbedtls_ctr_drbg_random(&server->drbg_, out, n);
}

bool TlsServer::load(const std::string& certFile, const std::string& keyFile, std::string& error) {
    int rc = mbedtls_ctr_drbg_seed(&drbg_, mbedtls_entropy_func, &entropy_, nullptr, 0);
    if (rc != 0) {
        error = "seeding the TLS random generator failed: " + tlsErrorText(rc);
        return false;
    }
    rc = mbedtls_x509_crt_parse_file(&cert_, certFile.c_str());
    if (rc != 0) {
        // A positive result counts certificates that did not parse: serving
        // a partial chain would only move the failure to the client.
        error = "reading certificate file '" + certFile + "' failed: " +
                (rc > 0 ? std::to_string(rc) + " certificates did not parse" : tlsErrorText(rc));
        return false;
    }
    rc = mbedtls_pk_parse_keyfile(&key_, keyFile.c_str(), nullptr);
    if (rc != 0) {
        error = "reading key file '" + keyFile + "' failed: " + tlsErrorText(rc);
        return false;
    }
    rc = mbedtls_ssl_config_defaults(&conf_, MBEDTLS_SSL_IS_SERVER, MBEDTLS_SSL_TRANSPORT_STREAM,
                                     MBEDTLS_SSL_PRESET_DEFAULT);
    if (rc != 0) {
        error = "TLS configuration defaults failed: " + tlsErrorText(rc);
        return false;
    }
    mbedtls_ssl_conf_rng(&conf_, &TlsServer::randomBytes, this);
    rc = mbedtls_ssl_conf_own_cert(&conf_, &cert_, &key_);
    if (rc != 0) {
        error = "certificate and key do not go together: " + tlsErrorText(rc);
        return false;
    }
    return true;
}

TlsStream::TlsStream(const TlsServer& server, int fd, std::string pending,
                     const std::atomic<bool>& stop)
    : fd_(fd), pending_(std::move(pending)), stop_(stop) {
    mbedtls_ssl_init(&ssl_);
    setUp_ = mbedtls_ssl_setup(&ssl_, server.config()) == 0;
    if (setUp_) mbedtls_ssl_set_bio(&ssl_, this, &TlsStream::bioSend, &TlsStream::bioRecv, nullptr);
}

TlsStream::~TlsStream() {
    mbedtls_ssl_free(&ssl_);
}

int TlsStream::bioSend(void* self, const unsigned char* buf, size_t n) {
    auto* s = static_cast<TlsStream*>(self);
    const long rc = sendNow(s->fd_, reinterpret_cast<const char*>(buf), n);
    if (rc == -2) return MBEDTLS_ERR_SSL_WANT_WRITE;
    if (rc < 0) return MBEDTLS_ERR_NET_SEND_FAILED;
    return static_cast<int>(rc);
}

int TlsStream::bioRecv(void* self, unsigned char* buf, size_t n) {
    auto* s = static_cast<TlsStream*>(self);
    if (!s->pending_.empty()) {
        const size_t k = std::min(n, s->pending_.size());
        std::memcpy(buf, s->pending_.data(), k);
        s->pending_.erase(0, k);
        return static_cast<int>(k);
    }
    const long rc = recvNow(s->fd_, reinterpret_cast<char*>(buf), n);
    if (rc == -2) return MBEDTLS_ERR_SSL_WANT_READ;
    if (rc < 0) return MBEDTLS_ERR_NET_RECV_FAILED;
    return static_cast<int>(rc);
}

bool TlsStream::waitAsAsked(int rc, Deadline deadline) {
    const short events = rc == MBEDTLS_ERR_SSL_WANT_WRITE ? POLLOUT : POLLIN;
    const WaitResult w = waitFor(fd_, events, deadline, stop_);
    if (w == WaitResult::kTimeout) timedOut_ = true;
    return w == WaitResult::kReady;
}

bool TlsStream::handshake(Deadline deadline, std::string& error) {
    if (!setUp_) {
        error = "TLS context setup failed";
        return false;
    }
    for (;;) {
        const int rc = mbedtls_ssl_handshake(&ssl_);
        if (rc == 0) return true;
        if (rc == MBEDTLS_ERR_SSL_WANT_READ || rc == MBEDTLS_ERR_SSL_WANT_WRITE) {
            if (!waitAsAsked(rc, deadline)) {
                error = timedOut_ ? "handshake timed out" : "handshake stopped";
                return false;
            }
            continue;
        }
        error = tlsErrorText(rc);
        return false;
    }
}

long TlsStream::read(char* buf, size_t n, Deadline deadline) {
    timedOut_ = false;
    for (;;) {
        const int rc = mbedtls_ssl_read(&ssl_, reinterpret_cast<unsigned char*>(buf), n);
        if (rc > 0) return rc;
        if (rc == 0 || rc == MBEDTLS_ERR_SSL_PEER_CLOSE_NOTIFY) return 0;
        if (rc == MBEDTLS_ERR_SSL_WANT_READ || rc == MBEDTLS_ERR_SSL_WANT_WRITE) {
            if (!waitAsAsked(rc, deadline)) return -1;
            continue;
        }
        return -1;
    }
}

bool TlsStream::writeAll(const std::string& bytes, Deadline deadline) {
    size_t done = 0;
    while (done < bytes.size()) {
        const int rc =
            mbedtls_ssl_write(&ssl_, reinterpret_cast<const unsigned char*>(bytes.data()) + done,
                              bytes.size() - done);
        if (rc > 0) {
            done += static_cast<size_t>(rc);
            continue;
        }
        if (rc == MBEDTLS_ERR_SSL_WANT_READ || rc == MBEDTLS_ERR_SSL_WANT_WRITE) {
            if (!waitAsAsked(rc, deadline)) return false;
            continue;
        }
        return false;
    }
    return true;
}

void TlsStream::finish(Deadline deadline) {
    // Best effort: the client also accepts a plain end of the connection.
    for (;;) {
        const int rc = mbedtls_ssl_close_notify(&ssl_);
        if (rc != MBEDTLS_ERR_SSL_WANT_READ && rc != MBEDTLS_ERR_SSL_WANT_WRITE) return;
        if (!waitAsAsked(rc, deadline)) return;
    }
}

}  // namespace ZEBCallHome
