#pragma once
// A scripted call-home server for the message tests. Messages reach it
// through a fake connection that records what the message set up (headers,
// proxy, certificates, body) and answers with the test's script. The server
// follows the wire rules: it decrypts a body sent without TLS and not marked
// clear with the key from its trailer, signs its answer and encrypts it by
// continuing the request's CFB-8 register.

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/SDKContext.h"
#include "core/ZEBStopMonitor.h"
#include "config/Configuration.h"
#include "config/RuntimeSettings.h"
#include "messages/ZEBMessageBase.h"
#include "support/TempDir.h"
#include "transport/ZEBHTTPConnection.h"
#include "util/Digest.h"
#include "util/MessageCipher.h"
#include "util/Strings.h"
#include "util/ZEBException.h"

namespace zebtest {

using namespace ZEBInternal;

struct Request {
    bool useTls = false;
    std::vector<std::string> headers, certs;
    bool proxySet = false;
    std::string proxyHost, proxyUser, proxyPassword;
    uint16_t proxyPort = 0;
    bool upload = false;
    std::string body;

    bool cleartext() const {
        return std::count(headers.begin(), headers.end(), "Content-Cleartext: true") != 0;
    }
    bool encrypted() const { return !useTls && !cleartext(); }
};

struct Reply {
    enum Kind { kAnswer, kNetworkFailure, kOtherFailure } kind = kAnswer;
    int32_t code = 200;
    std::string headers = "HTTP/1.1 200 OK\r\nServer: ZEB\r\nContent-Length: 1";
    std::string body;
    bool bodyIsNull = false;
};

// A cipher keyed from an encrypted request's trailer, register advanced
// past its ciphertext; plain receives the request text.
inline void serverCipher(const Request& r, MessageCipher& cipher, std::string& plain) {
    if (r.body.size() < MessageCipher::kTrailerSize) throw std::runtime_error("no trailer");
    const size_t n = r.body.size() - MessageCipher::kTrailerSize;
    const std::array<uint8_t, 16> k{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    uint8_t key[16];
    uint8_t iv[16];
    if (!MessageCipher::keyFromTrailer(k.data(), r.body.substr(n), key, iv) ||
        !cipher.setKey(key, iv) || !cipher.decrypt(r.body.substr(0, n), plain))
        throw std::runtime_error("bad trailer");
}

class FakeServer {
public:
    using Step = std::function<Reply(const Request&)>;
    std::vector<Step> steps;  // one per connection; the last one repeats
    std::vector<Request> requests;

    Reply respond(const Request& r) {
        requests.push_back(r);
        if (steps.empty()) return answerText(r, "STATUS:OK\n");
        return steps[std::min(requests.size(), steps.size()) - 1](r);
    }
    static std::string plainText(const Request& r) {
        if (!r.encrypted()) return r.body;
        MessageCipher cipher;
        std::string plain;
        serverCipher(r, cipher, plain);
        return plain;
    }
    static Reply answerText(const Request& r, const std::string& text, bool sign = true) {
        Reply reply;
        reply.body = sign ? text + sha256Base64(text) + "\n" : text;
        if (r.encrypted()) {
            MessageCipher cipher;
            std::string ignored;
            serverCipher(r, cipher, ignored);
            std::string encrypted;
            cipher.encrypt(reply.body, encrypted);
            reply.body = encrypted;
        }
        return reply;
    }
    static Step answer(const std::string& text, bool sign = true) {
        return [text, sign](const Request& r) { return answerText(r, text, sign); };
    }
    static Step raw(Reply reply) {
        return [reply](const Request&) { return reply; };
    }
    static Step fail(Reply::Kind kind = Reply::kNetworkFailure) {
        Reply r;
        r.kind = kind;
        return raw(r);
    }
};

class FakeConnection : public ZEBHTTPConnection {
public:
    FakeConnection(FakeServer& server, bool useTls) : server_(server) { request_.useTls = useTls; }
    int32_t getState() const override { return state_; }
    void addHeader(const std::string& line) override { created().headers.push_back(line); }
    void setCerts(const std::vector<std::string>& certs) override { created().certs = certs; }
    void setProxy(const std::string& host, uint16_t port, const std::string& user,
                  const std::string& password) override {
        Request& r = created();
        r.proxySet = true;
        r.proxyHost = host;
        r.proxyPort = port;
        r.proxyUser = user;
        r.proxyPassword = password;
    }
    void doPost(const void* body, size_t length) override { send(body, length, false); }
    void doUpload(const void* body, size_t length) override { send(body, length, true); }
    int32_t getResponseCode() const override { return reply_.code; }
    const char* getResponseBody(uint32_t& length) const override {
        length = static_cast<uint32_t>(reply_.body.size());
        return reply_.bodyIsNull ? nullptr : reply_.body.data();
    }
    const std::string& getResponseHeaders() const override { return reply_.headers; }
    void resetResponse() override { reply_ = Reply(); }

private:
    Request& created() {
        if (state_ != kStateCreated) throw ZEBException("Test", "BUG - used twice");
        return request_;
    }
    void send(const void* body, size_t length, bool upload) {
        created().upload = upload;
        request_.body.assign(static_cast<const char*>(body), length);
        reply_ = server_.respond(request_);
        state_ = reply_.kind == Reply::kAnswer ? kStateDone : kStateFailed;
        if (reply_.kind == Reply::kNetworkFailure) throw ZEBNetworkException("refused");
        if (reply_.kind == Reply::kOtherFailure) throw std::runtime_error("unexpected");
    }
    FakeServer& server_;
    Request request_;
    Reply reply_;
    int32_t state_ = kStateCreated;
};

class FakeStopMonitor : public ZEBStopMonitor {
public:
    bool shouldStop(bool isSyncOrUpload) override {
        lastIsSyncOrUpload = isSyncOrUpload;
        return ++calls == stopAtCall;
    }
    int stopAtCall = 0;  // 0: never
    int calls = 0;
    bool lastIsSyncOrUpload = false;
};

// A data directory, settings, stop monitor and configuration.
struct MessageEnv {
    TempDir dir;
    RuntimeSettings settings;
    FakeStopMonitor stop;
    std::unique_ptr<Configuration> config;
    SDKContext context;

    explicit MessageEnv(uint32_t protocol = 1) {
        ConfigArguments a;
        a.dataDirectory = dir.path();
        a.serverURL = "collect.example.com:8080/app";
        a.protocol = protocol;
        a.aesKeyHex = protocol == 3 ? "" : "000102030405060708090a0b0c0d0e0f";
        a.productID = "0123456789";
        a.appName = "App";
        // Only what the TLS attempts are handed matters here, not its content.
        a.discoveredCAs = {"-----BEGIN CERTIFICATE-----\r\nDISCOVERED\r\n-----END CERTIFICATE-----\r\n"};
        config = std::make_unique<Configuration>(&stop, &settings, a);
        context.configuration = config.get();
    }
};

// Message M with every connection going to a FakeServer.
template <class M>
class Scripted : public M {
public:
    template <class... Args>
    explicit Scripted(FakeServer& server, Args&&... args)
        : M(std::forward<Args>(args)...), server_(server) {}
    const std::string& sentTo() const { return this->url; }

protected:
    std::unique_ptr<ZEBHTTPConnection> makeConnection(bool useTls) override {
        return std::make_unique<FakeConnection>(server_, useTls);
    }

private:
    FakeServer& server_;
};

// A message with a chosen type and verdict; exposes the readers.
class ProbeMessage : public ZEBMessageBase {
public:
    explicit ProbeMessage(const SDKContext* context, std::string type = "testconn",
                          bool withIdentity = false)
        : ZEBMessageBase(context, requestUrl(context), std::move(type)), identity_(withIdentity) {}
    using ZEBMessageBase::applyConfig;
    using ZEBMessageBase::applyConfigSection;
    using ZEBMessageBase::findValue;
    using ZEBMessageBase::parseReachOut;
    using ZEBMessageBase::splitField;
    std::vector<std::string>& lines() { return responseLines; }
    bool accept = true;
    int parsed = 0;

protected:
    bool buildRequest() override {
        requestText = buildRequestInfo(messageType, identity_);
        return true;
    }
    bool parseResponse() override {
        ++parsed;
        return accept;
    }

private:
    const bool identity_;
};

using ScriptedProbe = Scripted<ProbeMessage>;

// True when text is an envelope followed by its 44-character signature;
// the envelope goes to unsignedText.
inline bool isSignedEnvelope(const std::string& text, std::string& unsignedText) {
    if (text.size() < 44) return false;
    unsignedText = text.substr(0, text.size() - 44);
    return startsWith(unsignedText, "****REQUESTINFO\n") && unsignedText.back() == '\n' &&
           sha256Base64(unsignedText) == text.substr(text.size() - 44);
}

}  // namespace zebtest
