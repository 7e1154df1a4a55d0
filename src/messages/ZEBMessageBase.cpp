#include "messages/ZEBMessageBase.h"

#include <mbedtls/platform_util.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <exception>

#include "core/Diagnostics.h"
#include "core/SDKContext.h"
#include "core/ZEBReachOutQueue.h"
#include "core/ZEBStopMonitor.h"
#include "config/Configuration.h"
#include "config/RuntimeSettings.h"
#include "transport/ZEBHTTPConnection.h"
#include "util/Digest.h"
#include "util/SectionLines.h"
#include "util/SecureWipe.h"
#include "util/ServerUrl.h"
#include "util/Strings.h"
#include "util/ZEBException.h"

namespace ZEBInternal {

namespace {

constexpr int32_t kHttpOk = 200;
constexpr const char* kServerLine = "Server: ZEB";
constexpr const char* kTextPlain = "Content-Type: text/plain";
constexpr const char* kOctetStream = "Content-Type: application/octet-stream";

Configuration* requireConfiguration(const SDKContext* context) {
    if (context == nullptr || context->configuration == nullptr)
        throw ZEBException("MessageException", "BUG - message built without a configuration");
    return context->configuration;
}

// The header block ends its lines with CR LF and a server may pad them, so
// lines are trimmed before the exact, case-sensitive comparison.
bool hasServerLine(const std::string& headers) {
    for (const std::string& line : split(headers, "\n")) {
        if (line == kServerLine) return true;
    }
    return false;
}

}  // namespace

ZEBMessageBase::ZEBMessageBase(const SDKContext* context, std::string url, std::string messageType)
    : context(context),
      configuration(requireConfiguration(context)),
      stopMonitor(configuration->owner()),
      settings(configuration->settings()),
      url(std::move(url)),
      messageType(std::move(messageType)),
      isUpload(this->messageType == "upload"),
      isSyncOrUpload(this->messageType == "upload" || this->messageType == "sync") {
    if (settings == nullptr)
        throw ZEBException("MessageException", "BUG - message built without runtime settings");
}

ZEBMessageBase::~ZEBMessageBase() {
    mbedtls_platform_zeroize(salt, sizeof salt);
    mbedtls_platform_zeroize(iv, sizeof iv);
    mbedtls_platform_zeroize(registerAfterRequest, sizeof registerAfterRequest);
}

bool ZEBMessageBase::exchange() {
    try {
        return runExchange();
    } catch (const std::exception&) {
        // Any failure while building, sending or reading is an outcome the
        // caller reads from getStatus(); nothing may reach a worker's loop.
        return false;
    } catch (...) {
        // Same contract for anything not derived from std::exception.
        return false;
    }
}

ZEBMessageBase::ProxyChoice::~ProxyChoice() {
    secureWipe(password);
}

uint32_t ZEBMessageBase::getStatus() const {
    return status;
}

bool ZEBMessageBase::runExchange() {
    if (stopRequested() || !buildRequest() || !finaliseBody()) return false;
    if (settings->USEMESSAGESIGNATURE) {
        // The text already ends with a line feed, so the signature becomes
        // the last line, without a line feed of its own.
        body += sha256Base64(body);
    }
    if (stopRequested()) return false;

    const uint32_t protocol = configuration->appValues().getProtocol();
    if (protocol == 2 || protocol == 3) {
        if (attempt(settings->USEHTTPSENCRYPTION != 0)) return true;
        // An answer that was read has had its effects (configuration,
        // reach-out, an upload): sent again, the server would see the
        // request twice and the client apply them twice.
        if (answerProcessed || protocol == 3 || !settings->USEPROTOCOLFALLBACK) return false;
        report(context->diagnostics, LogLevel::kWarning, [&] {
            return messageType + ": the TLS attempt failed (" + failure +
                   "); falling back to plain HTTP with AES";
        });
    } else if (protocol != 1) {
        // Validated at configuration; an unknown mode sends nothing rather
        // than guess which protection the host wanted.
        return false;
    }
    if (stopRequested()) return false;
    // Encrypted once: a proxy attempt and its direct fallback send the
    // same bytes under the same key.
    if (settings->USEAESENCRYPTION && !encryptBody()) return false;
    return attempt(false);
}

bool ZEBMessageBase::stopRequested() const {
    return stopMonitor != nullptr && stopMonitor->shouldStop(isSyncOrUpload);
}

bool ZEBMessageBase::finaliseBody() {
    body = std::move(requestText);
    requestText.clear();
    return true;
}

bool ZEBMessageBase::attempt(bool useTls) {
    ProxyChoice proxy;
    if (settings->USEPROXY &&
        configuration->proxy().get(proxy.host, proxy.port, proxy.user, proxy.password)) {
        if (proxy.user.empty() || proxy.password.empty()) {
            proxy.user.clear();
            proxy.password.clear();
        } else if (proxy.host.empty()) {
            // Credentials without a proxy host: the connection goes to the
            // server itself but still writes the proxy form of the request
            // with its "Proxy-Authorization" line.
            proxy.port = 0;
        }
        if (tryRoute(useTls, &proxy)) return true;
        // An answer that came through the proxy is the server's: only a
        // proxy that gave none is passed by.
        if (routeAnswered || !settings->USEPROXYFALLBACK) return false;
        report(context->diagnostics, LogLevel::kWarning, [&] {
            return messageType + ": the attempt through the proxy failed (" + failure +
                   "); trying the server directly";
        });
    }
    return tryRoute(useTls, nullptr);
}

bool ZEBMessageBase::tryRoute(bool useTls, const ProxyChoice* proxy) {
    const auto started = std::chrono::steady_clock::now();
    failure.clear();
    routeAnswered = connectOnce(useTls, proxy);
    const bool accepted = routeAnswered && processResponse();
    reportRoute(useTls, proxy, accepted, started);
    return accepted;
}

void ZEBMessageBase::reportRoute(bool useTls, const ProxyChoice* proxy, bool accepted,
                                 std::chrono::steady_clock::time_point started) const {
    report(context->diagnostics, accepted ? LogLevel::kInfo : LogLevel::kWarning, [&] {
        ServerUrl server;
        std::string where = url;
        if (parseServerUrl(url, useTls ? 443 : 80, server))
            where = server.host + ":" + std::to_string(server.port);
        std::string text = messageType + " to " + where;
        text += useTls ? " over TLS" : bodyEncrypted ? " over HTTP with AES" : " over plain HTTP";
        if (proxy == nullptr) {
            text += ", directly";
        } else if (proxy->host.empty()) {
            text += ", directly with proxy credentials";
        } else {
            text += ", through the proxy " + proxy->host + ":" + std::to_string(proxy->port);
        }
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - started)
                            .count();
        uint32_t received = 0;
        if (connection && connection->getResponseCode() > 0) connection->getResponseBody(received);
        std::string verdict;
        if (accepted && findValue("STATUS:", verdict)) verdict = " (STATUS:" + verdict + ")";
        text += accepted ? ": accepted" + verdict
                         : ": failed: " + (failure.empty() ? "refused" : failure);
        if (connection && connection->getResponseCode() > 0)
            text += "; HTTP " + std::to_string(connection->getResponseCode());
        text += "; body " + std::to_string(body.size()) + " bytes, answer " +
                std::to_string(received) + " bytes, " + std::to_string(ms) + " ms";
        return text;
    });
}

std::unique_ptr<ZEBHTTPConnection> ZEBMessageBase::makeConnection(bool useTls) {
    return createConnection(url, useTls, messageType, stopMonitor, settings, isSyncOrUpload);
}

void ZEBMessageBase::addBodyHeaders(bool useTls) {
    if (isUpload) {
        connection->addHeader(!settings->USEAESENCRYPTION && !settings->USEZIP ? kTextPlain
                                                                               : kOctetStream);
    } else {
        connection->addHeader(bodyEncrypted ? kOctetStream : kTextPlain);
    }
    // The server decrypts every body that arrives without TLS unless this
    // line says otherwise, so it follows what this attempt really sends.
    if (!useTls && !bodyEncrypted) connection->addHeader("Content-Cleartext: true");
    connection->addHeader("Connection: close");
}

bool ZEBMessageBase::connectOnce(bool useTls, const ProxyChoice* proxy) {
    status = kStatusNoResponse;
    responseLines.clear();
    connection.reset();
    connection = makeConnection(useTls);
    if (!connection) return false;

    addBodyHeaders(useTls);
    if (proxy != nullptr)
        connection->setProxy(proxy->host, proxy->port, proxy->user, proxy->password);
    if (useTls) {
        connection->setCerts(settings->USEDISCOVEREDCERTS ? configuration->discoveredCAs()
                                                          : Configuration::builtInCAs());
    }
    try {
        if (isUpload) {
            connection->doUpload(body.data(), body.size());
        } else {
            connection->doPost(body.data(), body.size());
        }
    } catch (const ZEBNetworkException& e) {
        // Refused, timed out, not HTTP 200, malformed: this attempt is over
        // and the caller may fall back to another route.
        failure = e.what();
        return false;
    }
    // The connection only returns for an accepted HTTP 200; a connection
    // that says otherwise is not trusted either.
    if (connection->getResponseCode() != kHttpOk) {
        failure = "the answer is not HTTP 200";
        return false;
    }

    status = kStatusHttpOk;
    if (!hasServerLine(connection->getResponseHeaders())) {
        status = kStatusNotOurServer;
        failure = "the answer has no \"Server: ZEB\" line: not a call-home server";
        return false;
    }
    uint32_t length = 0;
    const char* data = connection->getResponseBody(length);
    if (data == nullptr || length == 0) {
        status = kStatusUnusable;
        failure = "the answer is empty";
        return false;
    }
    std::string text(data, length);
    // Only an answer to an encrypted body is encrypted: the server answers
    // a clear request in clear, and no key exists before encryption.
    if (bodyEncrypted) {
        std::string plain;
        if (!decryptResponse(text, plain) || plain.size() != text.size()) {
            status = kStatusUnusable;
            failure = "the answer could not be decrypted";
            return false;
        }
        text.swap(plain);
    }
    responseLines = splitResponseLines(text);
    return !settings->USEMESSAGESIGNATURE || checkResponseSignature();
}

bool ZEBMessageBase::checkResponseSignature() {
    if (responseLines.empty()) {
        status = kStatusNoSignature;
        failure = "the answer carries no signature";
        return false;
    }
    const std::string signature = responseLines.back();
    responseLines.pop_back();
    if (sha256Base64(join(responseLines, "\n") + "\n") != signature) {
        status = kStatusBadSignature;
        failure = "the answer's signature is wrong (do server and client have the same AES key?)";
        return false;
    }
    return true;
}

bool ZEBMessageBase::encryptBody() {
    std::array<uint8_t, MessageCipher::kKeySize> key = configuration->appValues().getAesKey();
    uint8_t messageKey[MessageCipher::kKeySize];
    std::string encrypted;
    const bool ok = MessageCipher::deriveMessageKey(key.data(), messageKey, salt, iv) &&
                    cipher.setKey(messageKey, iv) && cipher.encrypt(body, encrypted);
    secureWipe(key.data(), key.size());
    mbedtls_platform_zeroize(messageKey, sizeof messageKey);
    if (!ok) {
        cipher.clear();
        return false;
    }
    // CFB-8 shifts every ciphertext byte into the register, so after the
    // request it holds the last 16 bytes of IV followed by the ciphertext.
    std::string tail(reinterpret_cast<const char*>(iv), MessageCipher::kIvSize);
    const size_t n = encrypted.size();
    tail += n > MessageCipher::kIvSize ? encrypted.substr(n - MessageCipher::kIvSize) : encrypted;
    std::memcpy(registerAfterRequest, tail.data() + tail.size() - MessageCipher::kIvSize,
                MessageCipher::kIvSize);
    body = std::move(encrypted);
    body += MessageCipher::keyTrailer(salt, iv);
    bodyEncrypted = true;
    return true;
}

bool ZEBMessageBase::decryptResponse(const std::string& encrypted, std::string& plain) {
    std::array<uint8_t, MessageCipher::kKeySize> key = configuration->appValues().getAesKey();
    uint8_t messageKey[MessageCipher::kKeySize];
    MessageCipher::buildMessageKey(key.data(), salt, messageKey);
    secureWipe(key.data(), key.size());
    const bool ok =
        cipher.setKey(messageKey, registerAfterRequest) && cipher.decrypt(encrypted, plain);
    mbedtls_platform_zeroize(messageKey, sizeof messageKey);
    return ok;
}

bool ZEBMessageBase::processResponse() {
    std::string value;
    if (findValue("STATUS:", value) && value == "VERIFICATIONERROR") {
        status = kStatusUnusable;
        failure =
            "the server could not verify the request (STATUS:VERIFICATIONERROR: do server and "
            "client have the same AES key?)";
        return false;
    }
    answerProcessed = true;
    const bool accepted = parseResponse();
    status = accepted ? kStatusSuccess : kStatusUnusable;
    if (!accepted) {
        failure = "the server's answer was refused";
        if (findValue("STATUS:", value)) failure += " (STATUS:" + value + ")";
    }
    return accepted;
}

bool ZEBMessageBase::applyConfig() {
    ConfigFile& file = configuration->file();
    if (!applyConfigSection(file)) return false;
    if (file.save()) return true;
    const int err = errno;
    report(context->diagnostics, LogLevel::kError, [&] {
        return "could not save the configuration file in " +
               configuration->appValues().getDataDirectory() + ": " + errnoText(err);
    });
    return false;
}

std::string ZEBMessageBase::requestUrl(const SDKContext* context) {
    return requireConfiguration(context)->effectiveCallHomeURL() + "/req1";
}

void ZEBMessageBase::appendField(std::string& text, const std::string& key,
                                 const std::string& value) {
    appendSectionLine(text, key, value);
}

std::string ZEBMessageBase::buildRequestInfo(const std::string& type, bool withIdentity) const {
    const ConfigAppVO& app = configuration->appValues();
    std::string text;
    text.reserve(1024);
    text += "****REQUESTINFO\n";
    appendField(text, "TYPE:", type);
    appendField(text, "PRODUCTID:", app.getProductID());
    if (withIdentity) {
        appendField(text, "CLIENTID:", configuration->file().getClientID());
        appendField(text, "CONFIGVERSION:", configuration->file().getConfigVersion());
    }
    appendField(text, "TIMESTAMP:", toDecimal(static_cast<uint64_t>(std::time(nullptr))));
    appendField(text, "SDKVERSION:", configuration->version().shortVersion);
    appendField(text, "APPNAME:", app.getAppName());
    return text;
}

bool ZEBMessageBase::findValue(const std::string& key, std::string& value) const {
    return findResponseValue(responseLines, key, value);
}

bool ZEBMessageBase::splitField(const std::string& line, std::string& key, std::string& value) {
    return ZEBInternal::splitField(line, key, value);
}

bool ZEBMessageBase::applyConfigSection(ConfigFile& file) const {
    Diagnostics* diagnostics = context->diagnostics;
    if (diagnostics == nullptr || !diagnostics->enabled(LogLevel::kWarning))
        return ZEBInternal::applyConfigSection(responseLines, file);
    const std::vector<std::string> before = split(file.serializeBody(), "\n");
    const bool found = ZEBInternal::applyConfigSection(responseLines, file);
    for (const std::string& line : split(file.serializeBody(), "\n")) {
        if (line.empty() || std::find(before.begin(), before.end(), line) != before.end()) continue;
        // The three orders that end or pause all reporting are warnings: the
        // host's events stop arriving because of them.
        const bool order = startsWith(line, "DISABLED:1") || startsWith(line, "OPTOUT:1") ||
                           (startsWith(line, "BACKOFF") && !startsWith(line, "BACKOFF:0"));
        diagnostics->report(order ? LogLevel::kWarning : LogLevel::kInfo, [&] {
            if (startsWith(line, "DISABLED:1"))
                return std::string("the server disabled this client: it will not contact the "
                                   "server again and records nothing (DISABLED:1)");
            if (startsWith(line, "OPTOUT:1"))
                return std::string("the server opted this client out: it records nothing (OPTOUT:1)");
            if (startsWith(line, "BACKOFF:")) {
                const std::time_t until = static_cast<std::time_t>(std::stoull(line.substr(8)));
                std::tm utc{};
                char when[32] = "";
                if (gmtime_r(&until, &utc) != nullptr)
                    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &utc);
                return "the server ordered a back-off until " + std::string(when) +
                       ": only a daily ping goes out, and what is logged is discarded";
            }
            // A feature list may be long; its first part tells enough.
            return "the server set " + (line.size() > 200 ? line.substr(0, 200) + "..." : line);
        });
    }
    return found;
}

bool ZEBMessageBase::parseReachOut(ReachOutMessage& out) const {
    return ZEBInternal::parseReachOut(responseLines, out);
}

bool ZEBMessageBase::queueReachOut() const {
    ReachOutMessage message;
    if (context->reachOutManager == nullptr || !parseReachOut(message)) return false;
    context->reachOutManager->addMessage(message.width, message.height, message.position,
                                         message.content);
    return true;
}

}  // namespace ZEBInternal
