#pragma once
// Request composition, state and response parsing of a connection; the
// network exchange itself (performRequest) belongs to the subclass. See
// ZEBHTTPConnection for ownership and threading.

#include <string>
#include <vector>

#include "transport/ZEBHTTPConnection.h"

namespace ZEBInternal {

class ZEBHTTPConnectionBase : public ZEBHTTPConnection {
public:
    ZEBHTTPConnectionBase(std::string url, bool useTls, std::string name,
                          ZEBStopMonitor* stopMonitor, const RuntimeSettings* settings,
                          bool isSyncOrUpload);
    ~ZEBHTTPConnectionBase() override;  // wipes the proxy password
    ZEBHTTPConnectionBase(const ZEBHTTPConnectionBase&) = delete;
    ZEBHTTPConnectionBase& operator=(const ZEBHTTPConnectionBase&) = delete;

    int32_t getState() const override { return state; }
    void addHeader(const std::string& line) override;
    void setCerts(const std::vector<std::string>& list) override;
    void setProxy(const std::string& host, uint16_t port, const std::string& user,
                  const std::string& password) override;
    void doPost(const void* body, size_t length) override;
    void doUpload(const void* body, size_t length) override;
    int32_t getResponseCode() const override { return responseCode; }
    const char* getResponseBody(uint32_t& length) const override;
    const std::string& getResponseHeaders() const override { return responseHeaders; }
    void resetResponse() override;

protected:
    // The network exchange: from connect to an accepted response.
    virtual void performRequest(const char* body, size_t length) = 0;

    // Sets the failed state and throws "Connection '<name>' " + message.
    [[noreturn]] void fail(const std::string& message);
    // Fills host, port and path from url, or fails.
    void parseUrl();
    // True when the endpoint is the proxy rather than the server.
    bool viaProxy() const { return !proxyHost.empty(); }
    bool hasProxyCredentials() const { return !proxyUser.empty() || !proxyPassword.empty(); }
    // The whole request, head and body, for one send. With proxy
    // credentials it carries them: the caller wipes it after sending.
    std::string composeRequest(const char* body, size_t length) const;
    // The CONNECT request that opens a tunnel to host and port; as above.
    std::string composeConnect() const;
    // Checks the proxy's answer to CONNECT, or fails.
    void acceptConnectAnswer(const std::string& answer);
    // Takes the raw response, parses it and enters kStateDone, or fails.
    void acceptResponse(std::string raw);

    const std::string url;
    const bool useTls;
    const std::string name;
    ZEBStopMonitor* const stopMonitor;     // borrowed from the SDK
    const RuntimeSettings* const settings;  // borrowed from the SDK
    const bool isSyncOrUpload;
    int32_t state = kStateCreated;
    std::string host;
    uint16_t port = 0;
    std::string path;
    bool isUpload = false;
    std::vector<std::string> headers;
    std::vector<std::string> certs;
    std::string proxyHost;
    uint16_t proxyPort = 0;
    std::string proxyUser;
    std::string proxyPassword;
    std::string received;  // the raw response
    std::string responseHeaders;
    int32_t responseCode = 0;
    uint32_t bodyLength = 0;
    size_t bodyOffset = 0;  // of the body within received

private:
    void requireCreated(const char* operation);
    // "Proxy-Authorization: Basic " + Base64 of user:password + CR LF. The
    // caller wipes it; the copies made on the way are wiped here.
    std::string proxyAuthorizationLine() const;
    void startRequest(const void* body, size_t length);
};

}  // namespace ZEBInternal
