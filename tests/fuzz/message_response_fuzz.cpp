// Call-home responses come from the network: whatever bytes a server (or
// anything posing as one) sends, the exchange must end with a status and
// the readers must stay inside the lines they were given.
//
// Input: one flag byte (bit 0: signatures on, bit 1: a "Server: ZEB" header
// line), then the response body.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/SDKContext.h"
#include "config/ConfigFile.h"
#include "config/Configuration.h"
#include "config/RuntimeSettings.h"
#include "messages/ResponseReaders.h"
#include "messages/ZEBCheckMessage.h"
#include "messages/ZEBMessageBase.h"
#include "transport/ZEBHTTPConnection.h"

namespace {

using namespace ZEBInternal;

class CannedConnection : public ZEBHTTPConnection {
public:
    CannedConnection(std::string headers, std::string body)
        : headers_(std::move(headers)), body_(std::move(body)) {}
    int32_t getState() const override { return kStateDone; }
    void addHeader(const std::string&) override {}
    void setCerts(const std::vector<std::string>&) override {}
    void setProxy(const std::string&, uint16_t, const std::string&, const std::string&) override {}
    void doPost(const void*, size_t) override {}
    void doUpload(const void*, size_t) override {}
    int32_t getResponseCode() const override { return 200; }
    const char* getResponseBody(uint32_t& length) const override {
        length = static_cast<uint32_t>(body_.size());
        return body_.data();
    }
    const std::string& getResponseHeaders() const override { return headers_; }
    void resetResponse() override {}

private:
    const std::string headers_;
    const std::string body_;
};

class ReadingMessage : public ZEBMessageBase {
public:
    ReadingMessage(const SDKContext* context, std::string headers, std::string body)
        : ZEBMessageBase(context, "localhost/req1", "sync"),
          headers_(std::move(headers)),
          body_(std::move(body)) {}

protected:
    bool buildRequest() override {
        requestText = buildRequestInfo(messageType, true);
        return true;
    }
    bool parseResponse() override {
        std::string value;
        const bool hasInstruction = findValue("INSTRUCTION:", value);
        applyConfig();
        ReachOutMessage reachOut;
        parseReachOut(reachOut);
        return hasInstruction;
    }
    std::unique_ptr<ZEBHTTPConnection> makeConnection(bool) override {
        return std::make_unique<CannedConnection>(headers_, body_);
    }

private:
    const std::string headers_;
    const std::string body_;
};

// A real message type on the same canned answer.
class CannedCheck : public ZEBCheckMessage {
public:
    CannedCheck(const SDKContext* context, std::string headers, std::string body)
        : ZEBCheckMessage(context, 1), headers_(std::move(headers)), body_(std::move(body)) {}

protected:
    std::unique_ptr<ZEBHTTPConnection> makeConnection(bool) override {
        return std::make_unique<CannedConnection>(headers_, body_);
    }

private:
    const std::string headers_;
    const std::string body_;
};

bool isTrimmed(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

struct Environment {
    RuntimeSettings settings;
    std::unique_ptr<Configuration> configuration;
    SDKContext context;

    Environment() {
        settings.USEAESENCRYPTION = 0;  // keeps every run reproducible
        ConfigArguments args;
        // A directory that does not exist: applied sections never reach a disk.
        args.dataDirectory = "/nonexistent/zeb-message-fuzz";
        args.serverURL = "localhost";
        args.protocol = 1;
        args.productID = "0123456789";
        args.appName = "Fuzz";
        configuration = std::make_unique<Configuration>(nullptr, &settings, args);
        context.configuration = configuration.get();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Environment env;
    if (size == 0) return 0;
    const uint8_t flags = data[0];
    const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
    env.settings.USEMESSAGESIGNATURE = flags & 1;
    const std::string headers =
        (flags & 2) ? "HTTP/1.1 200 OK\r\nServer: ZEB\r\n" : "HTTP/1.1 200 OK\r\n";

    ReadingMessage message(&env.context, headers, body);
    const bool ok = message.exchange();
    const uint32_t status = message.getStatus();
    if (status > ZEBMessageBase::kStatusSuccess || status == 2) std::abort();
    if (ok != (status == ZEBMessageBase::kStatusSuccess)) std::abort();

    CannedCheck check(&env.context, headers, body);
    // A failed check never leaves a count behind for the host.
    if (!check.exchange() && check.getMessageCount() > 0) std::abort();

    // The readers on their own, past the checks that usually guard them.
    const std::vector<std::string> lines = splitResponseLines(body);
    for (const std::string& line : lines) {
        // Lines come trimmed and never empty.
        if (line.empty() || isTrimmed(line.front()) || isTrimmed(line.back())) std::abort();
        std::string key;
        std::string value;
        if (splitField(line, key, value) && (key.size() < 2 || key.back() != ':')) std::abort();
    }
    std::string value;
    findResponseValue(lines, "STATUS:", value);
    ReachOutMessage reachOut;
    if (parseReachOut(lines, reachOut) && (reachOut.width.empty() || reachOut.height.empty()))
        std::abort();
    applyConfigSection(lines, env.configuration->file());
    // Whatever the answers said, the client ID stays one file-name part.
    const std::string id = env.configuration->file().getClientID();
    if (!id.empty() && !ConfigFile::isUsableClientID(id)) std::abort();
    return 0;
}
