// Call-home answers come from the network: whatever bytes a server (or
// anything posing as one) sends, each message type's exchange must end
// with a status that matches its result, accept only what its reader
// checked, and leave the configuration file with a usable client ID and a
// body that reads back under its signature.
//
// Input: one flag byte, then the answer body. Flag bit 0: signatures on;
// bit 1: a "Server: ZEB" header line; bits 2 to 4 choose the message:
// sync, newreg, ping, testconn, msgcheck, upload (modulo 6).

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "config/Configuration.h"
#include "config/RuntimeSettings.h"
#include "core/SDKContext.h"
#include "core/ZEBLogFileSource.h"
#include "core/ZEBReachOutQueue.h"
#include "fuzz_invariants.h"
#include "messages/ResponseReaders.h"
#include "messages/ZEBCheckMessage.h"
#include "messages/ZEBNewRegistration.h"
#include "messages/ZEBPingMessage.h"
#include "messages/ZEBSyncRequest.h"
#include "messages/ZEBSyncUpload.h"
#include "messages/ZEBTestConnMessage.h"
#include "unit/messages/MessageTestSupport.h"

namespace {

using namespace ZEBInternal;
using zebtest::FakeServer;

class LogSource : public ZEBLogFileSource {
public:
    void flush() override { ++flushes; }
    std::vector<std::string> getLogFiles(bool, bool) override { return files; }
    // Names in a data directory that cannot exist: an upload finds nothing
    // to send and never opens a connection.
    const std::vector<std::string> files{"zeblogV5_a.log", "zeblogV5_b.logtmp"};
    int flushes = 0;
};

class ReachOutQueue : public ZEBReachOutQueue {
public:
    void addMessage(const std::string& width, const std::string& height, int32_t,
                    const std::string&) override {
        if (width.empty() || height.empty()) std::abort();
        ++messages;
    }
    bool hasHandler() override { return false; }
    bool isMessageDone() override { return false; }
    bool isReady() override { return false; }
    int messages = 0;
};

// Message M answered by the fuzz input; its request is the envelope alone
// (the report sections describe the machine, not the answer).
template <class M>
class Canned : public zebtest::Scripted<M> {
public:
    using zebtest::Scripted<M>::Scripted;

protected:
    bool buildRequest() override {
        this->requestText = this->buildRequestInfo(this->messageType, true);
        return true;
    }
};

struct Environment {
    RuntimeSettings settings;
    std::unique_ptr<Configuration> configuration;
    LogSource logSource;
    ReachOutQueue reachOut;
    SDKContext context;
    FakeServer server;

    Environment(bool signatures, bool serverLine, const std::string& body) {
        // No AES: the per-message key is random, and an answer decrypted
        // with it would be noise that no run could reproduce.
        settings.USEAESENCRYPTION = 0;
        settings.USEMESSAGESIGNATURE = signatures;
        ConfigArguments args;
        // A directory that cannot exist: saved sections never reach a disk.
        args.dataDirectory = "/dev/null/zeb-fuzz";
        args.serverURL = "localhost";
        args.protocol = 1;
        args.productID = "0123456789";
        args.appName = "Fuzz";
        configuration = std::make_unique<Configuration>(nullptr, &settings, args);
        context.configuration = configuration.get();
        context.reachOutManager = &reachOut;
        zebtest::Reply reply;
        reply.headers = serverLine ? "HTTP/1.1 200 OK\r\nServer: ZEB\r\n" : "HTTP/1.1 200 OK\r\n";
        reply.body = body;
        server.steps = {FakeServer::raw(reply)};
    }
};

// The answer as the messages meet it.
struct Answer {
    // The lines a message reads once the checks passed: without the
    // signature line when answers are signed.
    std::vector<std::string> lines;
    bool serverLine = false;

    // The first value of key, as the readers see it.
    std::string valueOf(const char* key) const {
        std::string value;
        findResponseValue(lines, key, value);
        return value;
    }
    bool has(const char* key) const {
        std::string value;
        return findResponseValue(lines, key, value);
    }
};

// Runs the exchange; its result and status must agree, and an answer that
// is not from our server or that the server marked as refused never counts.
bool run(ZEBMessageBase& message, const Answer& answer) {
    const bool ok = message.exchange();
    const uint32_t status = message.getStatus();
    if (status < ZEBMessageBase::kStatusNoSignature || status > ZEBMessageBase::kStatusSuccess ||
        ok != (status == ZEBMessageBase::kStatusSuccess) ||
        (!answer.serverLine && status != ZEBMessageBase::kStatusNotOurServer) ||
        (ok && answer.valueOf("STATUS:") == "VERIFICATIONERROR"))
        std::abort();
    return ok;
}

void checkSync(Environment& env, const Answer& answer) {
    Canned<ZEBSyncRequest> sync(env.server, &env.context, &env.logSource, false, false);
    const bool ok = run(sync, answer);
    const std::string instruction = answer.valueOf("INSTRUCTION:");
    const std::vector<std::string> consumed = sync.getConsumedLogFiles();
    // The upload reads files that cannot exist, so only the two
    // instructions without one can succeed here.
    if (ok &&
        (instruction == "NOLOG" ? !consumed.empty()
                                : instruction != "PURGELOG" || consumed != env.logSource.files))
        std::abort();
    // The log is closed for an upload only.
    if (env.logSource.flushes > 0 && instruction != "UPLOAD") std::abort();
}

void checkNewReg(Environment& env, const Answer& answer) {
    Canned<ZEBNewRegistration> reg(env.server, &env.context, false, false);
    // A failed registration keeps nothing; a successful one keeps a usable
    // ID (checked for every message at the end).
    if (run(reg, answer) ? answer.valueOf("CLIENTID:").empty()
                         : !env.configuration->file().getClientID().empty())
        std::abort();
}

void checkStatusOk(ZEBMessageBase& message, const Answer& answer) {
    if (run(message, answer) && answer.valueOf("STATUS:") != "OK") std::abort();
}

void checkTestConn(Environment& env, const Answer& answer) {
    Canned<ZEBTestConnection> test(env.server, &env.context);
    const bool ok = run(test, answer);
    const std::string status = answer.valueOf("STATUS:");
    const bool valid = test.isProductValid();
    const bool matches = test.isUrlMatching();
    if (ok ? !((status == "OK" && valid && matches) ||
               (status == "INVALIDPROD" && !valid && !matches) ||
               (status == "URLMISMATCH" && valid && !matches))
           : valid || matches)
        std::abort();
}

void checkMessageCheck(Environment& env, const Answer& answer) {
    Canned<ZEBCheckMessage> check(env.server, &env.context, 1);
    // A failed check never leaves a count behind for the host, and a
    // message counted is one whose text came with it.
    if (run(check, answer)
            ? check.getMessageCount() != 0 &&
                  (!answer.has("MESSAGE:") || answer.valueOf("MESSAGE:") != check.getMessageText())
            : check.getMessageCount() > 0)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t flags = data[0];
    const bool signatures = (flags & 1) != 0;
    const bool serverLine = (flags & 2) != 0;
    const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
    Environment env(signatures, serverLine, body);
    Answer answer;
    answer.serverLine = serverLine;
    answer.lines = splitResponseLines(body);
    if (signatures && !answer.lines.empty()) answer.lines.pop_back();

    switch ((flags >> 2) % 6) {
        case 0: checkSync(env, answer); break;
        case 1: checkNewReg(env, answer); break;
        case 2: {
            Canned<ZEBPing> ping(env.server, &env.context, "");
            checkStatusOk(ping, answer);
            break;
        }
        case 3: checkTestConn(env, answer); break;
        case 4: checkMessageCheck(env, answer); break;
        default: {
            Canned<ZEBSyncUpload> upload(env.server, &env.context, "localhost/upload",
                                         std::vector<std::string>{"zeblogV5_a.log"});
            checkStatusOk(upload, answer);
        }
    }
    if (!zebfuzz::fileStaysUsable(env.configuration->file())) std::abort();
    return 0;
}
