#include "WireClient.h"

#include <arpa/inet.h>
#include <mbedtls/ctr_drbg.h>
#include <mbedtls/entropy.h>
#include <mbedtls/net_sockets.h>
#include <mbedtls/ssl.h>
#include <mbedtls/x509_crt.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "util/Digest.h"
#include "util/Strings.h"

namespace callhometest {

using Clock = std::chrono::steady_clock;

bool WireReply::split(std::string& head, std::string& body) const {
    const size_t end = raw.find("\r\n\r\n");
    if (end == std::string::npos) return false;
    head = raw.substr(0, end);
    body = raw.substr(end + 4);
    return true;
}

int WireReply::code() const {
    if (raw.compare(0, 9, "HTTP/1.1 ") != 0 || raw.size() < 12) return 0;
    return std::atoi(raw.substr(9, 3).c_str());
}

bool WireReply::hasHeaderLine(const std::string& line) const {
    std::string head, body;
    if (!split(head, body)) return false;
    return ("\r\n" + head + "\r\n").find("\r\n" + line + "\r\n") != std::string::npos;
}

std::string WireReply::body() const {
    std::string head, body;
    split(head, body);
    return body;
}

int connectLoopback(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

WireReply exchange(uint16_t port, const std::string& request, int timeoutMs) {
    WireReply reply;
    const int fd = connectLoopback(port);
    if (fd < 0) {
        reply.error = "connect failed";
        return reply;
    }
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size()))
        reply.error = "send failed";
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    char buf[8192];
    while (reply.error.empty()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) {
            reply.timedOut = true;
            break;
        }
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            reply.closed = true;  // an orderly end or a reset: either way over
            break;
        }
        reply.raw.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return reply;
}

namespace {

// The mbedtls client objects of one TLS exchange, released together.
struct TlsClient {
    mbedtls_net_context net;
    mbedtls_entropy_context entropy;
    mbedtls_ctr_drbg_context drbg;
    mbedtls_ssl_context ssl;
    mbedtls_ssl_config conf;
    mbedtls_x509_crt ca;
    TlsClient() {
        mbedtls_net_init(&net);
        mbedtls_entropy_init(&entropy);
        mbedtls_ctr_drbg_init(&drbg);
        mbedtls_ssl_init(&ssl);
        mbedtls_ssl_config_init(&conf);
        mbedtls_x509_crt_init(&ca);
    }
    ~TlsClient() {
        mbedtls_ssl_free(&ssl);
        mbedtls_ssl_config_free(&conf);
        mbedtls_x509_crt_free(&ca);
        mbedtls_ctr_drbg_free(&drbg);
        mbedtls_entropy_free(&entropy);
        mbedtls_net_free(&net);
    }
    TlsClient(const TlsClient&) = delete;
    TlsClient& operator=(const TlsClient&) = delete;
};

}  // namespace

WireReply exchangeTls(uint16_t port, const std::string& caFile, const std::string& request,
                      int timeoutMs, const std::string& connectFirst) {
    WireReply reply;
    TlsClient c;
    if (mbedtls_ctr_drbg_seed(&c.drbg, mbedtls_entropy_func, &c.entropy, nullptr, 0) != 0 ||
        mbedtls_x509_crt_parse_file(&c.ca, caFile.c_str()) != 0 ||
        mbedtls_ssl_config_defaults(&c.conf, MBEDTLS_SSL_IS_CLIENT, MBEDTLS_SSL_TRANSPORT_STREAM,
                                    MBEDTLS_SSL_PRESET_DEFAULT) != 0) {
        reply.error = "TLS client setup failed";
        return reply;
    }
    mbedtls_ssl_conf_authmode(&c.conf, MBEDTLS_SSL_VERIFY_REQUIRED);
    mbedtls_ssl_conf_ca_chain(&c.conf, &c.ca, nullptr);
    mbedtls_ssl_conf_rng(&c.conf, mbedtls_ctr_drbg_random, &c.drbg);
    mbedtls_ssl_conf_read_timeout(&c.conf, static_cast<uint32_t>(timeoutMs));
    const std::string portText = std::to_string(port);
    if (mbedtls_ssl_setup(&c.ssl, &c.conf) != 0 ||
        mbedtls_ssl_set_hostname(&c.ssl, "localhost") != 0 ||
        mbedtls_net_connect(&c.net, "127.0.0.1", portText.c_str(), MBEDTLS_NET_PROTO_TCP) != 0) {
        reply.error = "TLS connect failed";
        return reply;
    }
    if (!connectFirst.empty()) {
        std::string answer;
        unsigned char ch = 0;
        if (mbedtls_net_send(&c.net, reinterpret_cast<const unsigned char*>(connectFirst.data()),
                             connectFirst.size()) != static_cast<int>(connectFirst.size())) {
            reply.error = "CONNECT send failed";
            return reply;
        }
        // Byte by byte, so that nothing after the answer head is consumed.
        while (answer.find("\r\n\r\n") == std::string::npos) {
            if (mbedtls_net_recv_timeout(&c.net, &ch, 1, static_cast<uint32_t>(timeoutMs)) != 1) {
                reply.error = "CONNECT answer incomplete: " + answer;
                return reply;
            }
            answer += static_cast<char>(ch);
        }
        if (answer.compare(0, 12, "HTTP/1.1 200") != 0) {
            reply.error = "CONNECT refused: " + answer;
            return reply;
        }
    }
    mbedtls_ssl_set_bio(&c.ssl, &c.net, mbedtls_net_send, nullptr, mbedtls_net_recv_timeout);
    const int hs = mbedtls_ssl_handshake(&c.ssl);
    if (hs != 0) {
        reply.error = "handshake failed " + std::to_string(hs);
        return reply;
    }
    size_t done = 0;
    while (done < request.size()) {
        const int n =
            mbedtls_ssl_write(&c.ssl, reinterpret_cast<const unsigned char*>(request.data()) + done,
                              request.size() - done);
        if (n <= 0) {
            reply.error = "TLS write failed";
            return reply;
        }
        done += static_cast<size_t>(n);
    }
    unsigned char buf[8192];
    for (;;) {
        const int n = mbedtls_ssl_read(&c.ssl, buf, sizeof buf);
        if (n > 0) {
            reply.raw.append(reinterpret_cast<char*>(buf), static_cast<size_t>(n));
            continue;
        }
        if (n == MBEDTLS_ERR_SSL_TIMEOUT)
            reply.timedOut = true;
        else
            reply.closed = true;
        break;
    }
    return reply;
}

std::string envelope(const std::string& type, const std::string& clientId) {
    std::string text = "****REQUESTINFO\nTYPE:" + type + "\nPRODUCTID:1234567890\n";
    if (!clientId.empty()) text += "CLIENTID:" + clientId + "\nCONFIGVERSION:3\n";
    text += "TIMESTAMP:1700000000\nSDKVERSION:5.6.0\nAPPNAME:CallHomeTest\n";
    return text;
}

std::string signedBody(const std::string& text) {
    return text + ZEBInternal::sha256Base64(text);
}

std::string post(const std::string& target, const std::string& host, const std::string& body,
                 const std::string& extraHeaders) {
    std::string head = "POST " + target + " HTTP/1.1\r\n";
    if (!host.empty()) head += "Host: " + host + "\r\n";
    return head + extraHeaders +
           "Connection: close\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
           body;
}

bool verifyAnswer(const std::string& text, std::vector<std::string>& lines) {
    lines = ZEBInternal::split(text, "\n");
    if (lines.empty()) return false;
    const std::string signature = lines.back();
    lines.pop_back();
    return ZEBInternal::sha256Base64(ZEBInternal::join(lines, "\n") + "\n") == signature;
}

std::string findValue(const std::vector<std::string>& lines, const std::string& key) {
    for (const auto& line : lines)
        if (line.compare(0, key.size() + 1, key + ":") == 0) return line.substr(key.size() + 1);
    return "";
}

}  // namespace callhometest
