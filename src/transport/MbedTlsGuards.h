#pragma once
// Scope guards for the mbedtls objects a socket channel owns. mbedtls
// contexts are plain C structures with init/free pairs; these classes make
// the free happen on every path, exceptions included. Each is owned by one
// SocketChannel and used by the one thread driving it.

#include <mbedtls/ctr_drbg.h>
#include <mbedtls/entropy.h>
#include <mbedtls/net_sockets.h>
#include <mbedtls/ssl.h>
#include <mbedtls/x509_crt.h>

namespace ZEBInternal {

// The TCP socket; the descriptor is -1 until connected. mbedtls_net_free
// shuts the socket down in both directions and closes it.
class NetContext {
public:
    NetContext() { mbedtls_net_init(&ctx_); }
    ~NetContext() { mbedtls_net_free(&ctx_); }
    NetContext(const NetContext&) = delete;
    NetContext& operator=(const NetContext&) = delete;
    NetContext(NetContext&&) = delete;
    NetContext& operator=(NetContext&&) = delete;

    mbedtls_net_context* get() { return &ctx_; }
    int fd() const { return ctx_.fd; }

private:
    mbedtls_net_context ctx_;
};

// Everything one TLS client session needs. Members are freed in reverse
// order of declaration, so the session goes before the configuration it
// points to, and the configuration before the chain and generator it uses.
class TlsObjects {
public:
    TlsObjects() {
        mbedtls_entropy_init(&entropy);
        mbedtls_ctr_drbg_init(&drbg);
        mbedtls_x509_crt_init(&caChain);
        mbedtls_ssl_config_init(&config);
        mbedtls_ssl_init(&ssl);
    }
    ~TlsObjects() {
        mbedtls_ssl_free(&ssl);
        mbedtls_ssl_config_free(&config);
        mbedtls_x509_crt_free(&caChain);
        mbedtls_ctr_drbg_free(&drbg);
        mbedtls_entropy_free(&entropy);
    }
    TlsObjects(const TlsObjects&) = delete;
    TlsObjects& operator=(const TlsObjects&) = delete;
    TlsObjects(TlsObjects&&) = delete;
    TlsObjects& operator=(TlsObjects&&) = delete;

    mbedtls_entropy_context entropy;
    mbedtls_ctr_drbg_context drbg;
    mbedtls_x509_crt caChain;
    mbedtls_ssl_config config;
    mbedtls_ssl_context ssl;
};

}  // namespace ZEBInternal
