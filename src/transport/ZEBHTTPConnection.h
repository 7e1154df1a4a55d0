#pragma once
// One HTTP/1.1 POST to the call-home server, directly, through an HTTP
// proxy, or through a proxy's CONNECT tunnel when TLS is wanted. A message
// creates a connection for one attempt, configures it (headers, trusted
// certificates, proxy), sends one body and reads the result; a connection
// is never reused.
//
// Used by the one thread running the message's exchange; no locks. Every
// failure sets the state to kStateFailed and throws ZEBNetworkException
// whose text is "Connection '" + name + "' " + the cause.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ZEBInternal {

class ZEBStopMonitor;
struct RuntimeSettings;

class ZEBHTTPConnection {
public:
    static constexpr int32_t kStateCreated = 0;     // may be configured; a request may start
    static constexpr int32_t kStateTunnelling = 1;  // connected to the proxy, CONNECT next
    static constexpr int32_t kStateSending = 2;
    static constexpr int32_t kStateConnectSent = 5; // reading the proxy's answer
    static constexpr int32_t kStateReading = 6;
    static constexpr int32_t kStateDone = 9;        // response received and accepted
    static constexpr int32_t kStateFailed = -9;

    virtual ~ZEBHTTPConnection() = default;

    virtual int32_t getState() const = 0;
    // REQUIRES (all four): state kStateCreated.
    // Appends one header line, given without its line end; never empty.
    virtual void addHeader(const std::string& line) = 0;
    // Replaces the trusted certificates (PEM texts) for TLS.
    virtual void setCerts(const std::vector<std::string>& certs) = 0;
    // An empty host means no proxy endpoint. user and password are kept
    // only when both are non-empty.
    virtual void setProxy(const std::string& host, uint16_t port, const std::string& user,
                          const std::string& password) = 0;
    // Sends body (length bytes, not kept) and reads the response. Returns
    // only when a response was accepted (state kStateDone); blocks for at
    // most the settings' handshake, send and receive budgets plus the
    // connect call.
    virtual void doPost(const void* body, size_t length) = 0;
    virtual void doUpload(const void* body, size_t length) = 0;

    // Valid after an accepted response.
    virtual int32_t getResponseCode() const = 0;
    // Points into the connection's buffer; valid while the connection
    // lives and no new request runs. Null with length 0 when there is none.
    virtual const char* getResponseBody(uint32_t& length) const = 0;
    virtual const std::string& getResponseHeaders() const = 0;
    virtual void resetResponse() = 0;
};

// A connection in state kStateCreated with no headers, certificates or
// proxy, owned by the caller. url is host, optional ":" port and path, with
// no scheme; the port defaults to 443 with TLS and 80 without. name (the
// message type) names the connection in every error text. stopMonitor and
// settings are borrowed and must outlive the connection; isSyncOrUpload
// selects the receive budget and is passed to the stop monitor.
std::unique_ptr<ZEBHTTPConnection> createConnection(const std::string& url, bool useTls,
                                                    const std::string& name,
                                                    ZEBStopMonitor* stopMonitor,
                                                    const RuntimeSettings* settings,
                                                    bool isSyncOrUpload);

}  // namespace ZEBInternal
