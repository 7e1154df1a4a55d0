#pragma once
// One exchange with the call-home server: a text request posted to the
// server and one text response read back. The base class owns everything
// the message types share: the "****REQUESTINFO" envelope, the signature,
// the AES layer with its key trailer, the choice between TLS and plain HTTP
// and between proxy and direct connection, the headers that describe the
// body, the checks on the response and the two sections any response may
// carry ("****CONFIG" and "****REACHOUT"). Subclasses add their request
// data (buildRequest) and read their own fields (parseResponse).
//
// A message is made by a worker or an SDK call for one exchange and
// destroyed afterwards; one thread uses it, so it has no lock. The context,
// configuration, stop monitor and settings are borrowed from the SDK, which
// outlives every message.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <chrono>
#include <string>
#include <vector>

#include "messages/ResponseReaders.h"
#include "util/MessageCipher.h"

namespace ZEBInternal {

struct SDKContext;
struct RuntimeSettings;
class Configuration;
class ConfigFile;
class ZEBHTTPConnection;
class ZEBStopMonitor;

class ZEBMessageBase {
public:
    // Outcome codes read through getStatus().
    static constexpr uint32_t kStatusNoResponse = 0;   // no connection or no HTTP 200
    static constexpr uint32_t kStatusHttpOk = 1;       // answered, checks not yet passed
    static constexpr uint32_t kStatusNoSignature = 3;  // signed answer expected, no line
    static constexpr uint32_t kStatusBadSignature = 4;
    static constexpr uint32_t kStatusNotOurServer = 5;  // no "Server: ZEB" header line
    static constexpr uint32_t kStatusUnusable = 6;      // empty, undecryptable or refused
    static constexpr uint32_t kStatusSuccess = 7;

    virtual ~ZEBMessageBase();
    ZEBMessageBase(const ZEBMessageBase&) = delete;
    ZEBMessageBase& operator=(const ZEBMessageBase&) = delete;
    ZEBMessageBase(ZEBMessageBase&&) = delete;
    ZEBMessageBase& operator=(ZEBMessageBase&&) = delete;

    // Builds, signs, encrypts and sends the request and checks the answer,
    // falling back from TLS to plain HTTP and from proxy to direct as the
    // protocol mode and settings allow: at most four connections. Blocks
    // for the transport's time-outs of each attempt; gives up between
    // steps when the stop monitor says so. Never throws. Call once.
    virtual bool exchange();
    // The outcome of the last attempt (kStatus...).
    virtual uint32_t getStatus() const;

protected:
    // REQUIRES: context and context->configuration non-null; throws a
    // "BUG - " ZEBException otherwise. url is host, optional port and path
    // without scheme; messageType is the wire name ("ping", "sync", ...).
    ZEBMessageBase(const SDKContext* context, std::string url, std::string messageType);

    // Fills requestText. False ends the exchange before any connection.
    virtual bool buildRequest() = 0;
    // Turns requestText into body and empties requestText. The base copies
    // the bytes unchanged. False ends the exchange.
    virtual bool finaliseBody();
    // The answer passed every check: refuses "STATUS:VERIFICATIONERROR",
    // then lets parseResponse decide (status 7 or 6).
    virtual bool processResponse();
    // Applies the "****CONFIG" section to the configuration file and saves
    // it. False when there is no such section or the save failed.
    virtual bool applyConfig();
    // Reads the message's own fields from responseLines; true accepts.
    virtual bool parseResponse() = 0;

    // Makes the connection of one attempt. Tests substitute a scripted
    // connection here; null counts as a failed attempt.
    virtual std::unique_ptr<ZEBHTTPConnection> makeConnection(bool useTls);

    // The configured (or server-replaced) call-home URL plus "/req1".
    // REQUIRES as for the constructor.
    static std::string requestUrl(const SDKContext* context);

    // The "****REQUESTINFO" envelope for type; withIdentity adds
    // "CLIENTID:" and "CONFIGVERSION:". Every line ends with a line feed.
    std::string buildRequestInfo(const std::string& type, bool withIdentity) const;
    // key, a colon unless key already ends with one, value (line breaks in
    // it become blanks) and a line feed.
    static void appendField(std::string& text, const std::string& key, const std::string& value);

    // Readers of responseLines (see ResponseReaders.h).
    bool findValue(const std::string& key, std::string& value) const;
    static bool splitField(const std::string& line, std::string& key, std::string& value);
    bool applyConfigSection(ConfigFile& file) const;
    bool parseReachOut(ReachOutMessage& out) const;
    // parseReachOut, and a message found goes to the context's reach-out
    // manager (when there is one) for display. True when one was queued.
    bool queueReachOut() const;

    const SDKContext* const context;        // borrowed from the SDK
    Configuration* const configuration;     // borrowed: context->configuration
    ZEBStopMonitor* const stopMonitor;      // borrowed: the configuration's owner; may be null
    const RuntimeSettings* const settings;  // borrowed: the configuration's settings
    const std::string url;
    const std::string messageType;
    const bool isUpload;
    const bool isSyncOrUpload;
    std::string requestText;
    std::string body;  // what is sent; its size is the body length
    uint32_t status = kStatusNoResponse;
    std::vector<std::string> responseLines;

private:
    struct ProxyChoice {
        ~ProxyChoice();  // wipes the password

        std::string host;
        uint16_t port = 0;
        std::string user;
        std::string password;
    };

    bool runExchange();
    bool stopRequested() const;
    // Proxy first when one is configured, then direct as the fallback
    // allows; processResponse judges the answer that passed the checks.
    bool attempt(bool useTls);
    // One route: connectOnce, then processResponse, reported to the
    // host's log handler as one exchange.
    bool tryRoute(bool useTls, const ProxyChoice* proxy);
    // One connection: send body, read and check the answer into
    // responseLines. False leaves status at the step that failed, and the
    // reason in `failure`.
    bool connectOnce(bool useTls, const ProxyChoice* proxy);
    void reportRoute(bool useTls, const ProxyChoice* proxy, bool accepted,
                     std::chrono::steady_clock::time_point started) const;
    void addBodyHeaders(bool useTls);
    bool checkResponseSignature();
    bool encryptBody();
    bool decryptResponse(const std::string& encrypted, std::string& plain);

    std::unique_ptr<ZEBHTTPConnection> connection;  // of the current attempt
    MessageCipher cipher;
    uint8_t salt[MessageCipher::kSaltSize] = {};
    uint8_t iv[MessageCipher::kIvSize] = {};
    // The CFB-8 register as the request's encryption left it. Every answer
    // to the encrypted body starts from here, also when a proxy attempt
    // already decrypted an answer of its own.
    uint8_t registerAfterRequest[MessageCipher::kIvSize] = {};
    bool bodyEncrypted = false;
    // parseResponse has run on an answer: no other route may be tried.
    bool answerProcessed = false;
    // Why the current attempt failed, in words for the host's log handler.
    std::string failure;
    // The current route's connection gave an answer that passed its checks.
    bool routeAnswered = false;
};

}  // namespace ZEBInternal
