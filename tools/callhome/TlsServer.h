#pragma once
// The server side of TLS: one TlsServer holds the certificate, key and
// configuration shared by every connection; each connection makes its own
// TlsStream over its non-blocking socket.
//
// TlsServer is built once by main() and only read afterwards; its random
// generator is the one mutable part and is reached through a lock, so
// connection threads may handshake at the same time.

#include <mbedtls/ctr_drbg.h>
#include <mbedtls/entropy.h>
#include <mbedtls/pk.h>
#include <mbedtls/ssl.h>
#include <mbedtls/x509_crt.h>

#include <atomic>
#include <mutex>
#include <string>

#include "Socket.h"

namespace ZEBCallHome {

// The mbedtls error text for code, as "-0x7780 (SSL - ...)".
std::string tlsErrorText(int code);

class TlsServer {
public:
    TlsServer();
    ~TlsServer();
    TlsServer(const TlsServer&) = delete;
    TlsServer& operator=(const TlsServer&) = delete;
    TlsServer(TlsServer&&) = delete;
    TlsServer& operator=(TlsServer&&) = delete;

    // Reads the PEM certificate file (the server certificate first, then any
    // chain) and the PEM private key. False with a message on failure.
    bool load(const std::string& certFile, const std::string& keyFile, std::string& error);

    const mbedtls_ssl_config* config() const { return &conf_; }

private:
    static int randomBytes(void* self, unsigned char* out, size_t n);

    mbedtls_entropy_context entropy_;
    mbedtls_ctr_drbg_context drbg_;
    std::mutex drbgLock_;  // guards drbg_ once connections run
    mbedtls_x509_crt cert_;
    mbedtls_pk_context key_;
    mbedtls_ssl_config conf_;
};

// TLS over a borrowed non-blocking descriptor. `pending` holds bytes already
// read from the socket (after a CONNECT, or while telling TLS from plain
// HTTP); the handshake consumes them first.
class TlsStream : public Stream {
public:
    TlsStream(const TlsServer& server, int fd, std::string pending, const std::atomic<bool>& stop);
    ~TlsStream() override;
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    // Runs the handshake; false with the mbedtls text on failure.
    bool handshake(Deadline deadline, std::string& error);

    long read(char* buf, size_t n, Deadline deadline) override;
    bool writeAll(const std::string& bytes, Deadline deadline) override;
    void finish(Deadline deadline) override;

private:
    static int bioSend(void* self, const unsigned char* buf, size_t n);
    static int bioRecv(void* self, unsigned char* buf, size_t n);
    // Waits as mbedtls asks (want-read or want-write); false on deadline,
    // stop or error.
    bool waitAsAsked(int rc, Deadline deadline);

    int fd_;
    std::string pending_;
    const std::atomic<bool>& stop_;
    mbedtls_ssl_context ssl_;
    bool setUp_ = false;
};

}  // namespace ZEBCallHome
