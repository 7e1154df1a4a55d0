#include "transport/ZEBHTTPConnectionBase.h"

#include "transport/HttpResponseParser.h"
#include "util/Digest.h"
#include "util/SecureWipe.h"
#include "util/ServerUrl.h"
#include "util/ZEBException.h"

namespace ZEBInternal {

namespace {

const char kCrLf[] = "\r\n";

// Misuse texts carry the state as an unsigned 32-bit number, so the failed
// state -9 reads 4294967287.
std::string stateText(int32_t state) { return std::to_string(static_cast<uint32_t>(state)); }

}  // namespace

ZEBHTTPConnectionBase::ZEBHTTPConnectionBase(std::string serverUrl, bool tls,
                                             std::string connectionName,
                                             ZEBStopMonitor* monitor,
                                             const RuntimeSettings* runtimeSettings,
                                             bool syncOrUpload)
    : url(std::move(serverUrl)),
      useTls(tls),
      name(std::move(connectionName)),
      stopMonitor(monitor),
      settings(runtimeSettings),
      isSyncOrUpload(syncOrUpload) {}

ZEBHTTPConnectionBase::~ZEBHTTPConnectionBase() {
    secureWipe(proxyPassword);
}

void ZEBHTTPConnectionBase::fail(const std::string& message) {
    state = kStateFailed;
    throw ZEBNetworkException("Connection '" + name + "' " + message);
}

void ZEBHTTPConnectionBase::requireCreated(const char* operation) {
    if (state != kStateCreated)
        fail(std::string("BUG - ") + operation + " called in illegal state = " + stateText(state));
}

void ZEBHTTPConnectionBase::addHeader(const std::string& line) {
    requireCreated("addHeader");
    if (line.empty()) fail("BUG - adding empty header");
    headers.push_back(line);
}

void ZEBHTTPConnectionBase::setCerts(const std::vector<std::string>& list) {
    requireCreated("setCerts");
    certs = list;
}

void ZEBHTTPConnectionBase::setProxy(const std::string& proxy, uint16_t proxyPortNumber,
                                     const std::string& user, const std::string& password) {
    requireCreated("setProxy");
    proxyHost = proxy;
    proxyPort = proxyPortNumber;
    // Half a credential is no credential: sending "user:" would only earn
    // a refusal from the proxy.
    proxyUser.clear();
    secureWipe(proxyPassword);
    if (!user.empty() && !password.empty()) {
        proxyUser = user;
        proxyPassword = password;
    }
}

void ZEBHTTPConnectionBase::doPost(const void* body, size_t length) {
    requireCreated("doPost");
    isUpload = false;
    startRequest(body, length);
}

void ZEBHTTPConnectionBase::doUpload(const void* body, size_t length) {
    requireCreated("doUpload");
    isUpload = true;
    startRequest(body, length);
}

void ZEBHTTPConnectionBase::startRequest(const void* body, size_t length) {
    performRequest(static_cast<const char*>(body), body == nullptr ? 0 : length);
}

const char* ZEBHTTPConnectionBase::getResponseBody(uint32_t& length) const {
    if (state != kStateDone) {
        length = 0;
        return nullptr;
    }
    length = bodyLength;
    return received.data() + bodyOffset;
}

void ZEBHTTPConnectionBase::resetResponse() {
    received.clear();
    received.shrink_to_fit();
    responseHeaders.clear();
    responseCode = 0;
    bodyLength = 0;
    bodyOffset = 0;
}

void ZEBHTTPConnectionBase::parseUrl() {
    ServerUrl parsed;
    if (!parseServerUrl(url, useTls ? 443 : 80, parsed)) fail("Failed to parse URL '" + url + "'.");
    host = parsed.host;
    port = parsed.port;
    // The request target must start with "/": a URL without a path would
    // otherwise give the request line "POST  HTTP/1.1", and one with only a
    // query "POST ?a HTTP/1.1", both of which servers reject.
    path = parsed.path.empty() ? "/" : parsed.path[0] == '?' ? "/" + parsed.path : parsed.path;
}

std::string ZEBHTTPConnectionBase::proxyAuthorizationLine() const {
    static const char kPrefix[] = "Proxy-Authorization: Basic ";
    // Every buffer is reserved at its final size, so none is moved (and
    // left behind unwiped) while it grows.
    std::string credentials;
    const ScopedWipe wipeCredentials(credentials);
    credentials.reserve(proxyUser.size() + 1 + proxyPassword.size());
    credentials += proxyUser;
    credentials += ':';
    credentials += proxyPassword;
    std::string encoded = base64Encode(credentials);
    const ScopedWipe wipeEncoded(encoded);
    std::string line;
    line.reserve(sizeof kPrefix - 1 + encoded.size() + 2);
    line += kPrefix;
    line += encoded;
    line += kCrLf;
    return line;
}

std::string ZEBHTTPConnectionBase::composeRequest(const char* body, size_t length) const {
    const std::string hostPort = host + ":" + std::to_string(port);
    // Through a TLS tunnel the proxy only relays bytes, so the server gets
    // an ordinary request. Plain HTTP through a proxy uses the absolute
    // form, also when only credentials are set (the proxy is then reached
    // at the server's own address).
    const bool proxyForm = !useTls && (viaProxy() || hasProxyCredentials());
    std::string start;
    std::string auth;
    const ScopedWipe wipeAuth(auth);
    if (proxyForm) {
        start = "POST http://" + hostPort + path + " HTTP/1.1" + kCrLf;
        if (hasProxyCredentials()) auth = proxyAuthorizationLine();
    } else {
        start = "POST " + path + " HTTP/1.1" + kCrLf + "Host: " + hostPort + kCrLf;
    }
    std::string rest;
    for (const std::string& line : headers) rest += line + kCrLf;
    rest += "Content-Length: " + std::to_string(length) + kCrLf + kCrLf;
    std::string request;
    request.reserve(start.size() + auth.size() + rest.size() + length);
    request += start;
    request += auth;
    request += rest;
    if (length > 0) request.append(body, length);
    return request;
}

std::string ZEBHTTPConnectionBase::composeConnect() const {
    const std::string start = "CONNECT " + host + ":" + std::to_string(port) + " HTTP/1.1" + kCrLf;
    std::string auth;
    const ScopedWipe wipeAuth(auth);
    if (hasProxyCredentials()) auth = proxyAuthorizationLine();
    const std::string rest = "Host: " + host + kCrLf + kCrLf;
    std::string request;
    request.reserve(start.size() + auth.size() + rest.size());
    request += start;
    request += auth;
    request += rest;
    return request;
}

void ZEBHTTPConnectionBase::acceptConnectAnswer(const std::string& answer) {
    std::string error;
    if (!checkConnectAnswer(answer.data(), answer.size(), error)) fail(error);
}

void ZEBHTTPConnectionBase::acceptResponse(std::string raw) {
    received = std::move(raw);
    if (received.empty()) fail("Empty response data.");
    HttpResponseHead head;
    std::string error;
    const bool accepted = parseHttpResponse(received.data(), received.size(), head, error);
    responseHeaders = std::move(head.headers);
    responseCode = head.code;
    bodyLength = head.bodyLength;
    if (!accepted) fail(error);
    bodyOffset = head.bodyOffset;
    state = kStateDone;
}

}  // namespace ZEBInternal
