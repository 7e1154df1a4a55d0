#include "ConnectionHandler.h"

#include <poll.h>
#include <strings.h>
#include <sys/socket.h>

#include <cstdio>
#include <exception>
#include <thread>

#include "util/SecureRandom.h"
#include "util/Strings.h"

namespace ZEBCallHome {

using ZEBInternal::startsWith;

namespace {

constexpr unsigned char kTlsHandshakeRecord = 0x16;
constexpr unsigned kSendTimeoutMs = 10000;
constexpr unsigned kDrainMs = 1000;

std::string freshClientId() {
    unsigned char bytes[16];
    if (!ZEBInternal::secureRandomBytes(bytes, sizeof bytes)) return "";
    return ZEBInternal::hexEncode(bytes, sizeof bytes);
}

// Characters a host and port may hold; anything else in a Host header is
// not copied into an answer.
bool plausibleAuthority(const std::string& text) {
    return !text.empty() && text.size() <= 255 &&
           text.find_first_not_of(
               "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
               "0123456789.-:[]") == std::string::npos;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t pos = text.find(from); pos != std::string::npos;
         pos = text.find(from, pos + to.size()))
        text.replace(pos, from.size(), to);
    return text;
}

// The body bytes of the garbage fault: every byte value once, which holds
// no CR LF CR LF and does not start like an HTTP status line.
std::string garbageBytes() {
    std::string bytes(256, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i);
    return bytes;
}

}  // namespace

std::string defaultAnswer(const std::string& type) {
    if (type == "newreg") return "CLIENTID:${NEWID}\n";
    if (type == "msgcheck") return "COUNT:0\n";
    if (type == "sync") return "INSTRUCTION:UPLOAD\nURL:${SELF}/upload\n";
    return "STATUS:OK\n";  // ping, testconn, upload
}

ConnectionHandler::ConnectionHandler(ServerContext& context, int fd) : ctx_(context), socket_(fd) {}

void ConnectionHandler::run() {
    record_.seq = ++ctx_.lastSeq;
    try {
        serve("", false);
        if (stream_) stream_->finish(deadlineIn(kSendTimeoutMs));
        // Half-close, then read what the client may still send, so that
        // closing with unread bytes does not reset the connection and throw
        // away an answer the client has not read yet.
        ::shutdown(socket_.get(), SHUT_WR);
        char sink[4096];
        const Deadline drainEnd = deadlineIn(kDrainMs);
        PlainStream raw(socket_.get(), "", ctx_.stop);
        while (raw.read(sink, sizeof sink, drainEnd) > 0) {
        }
    } catch (const std::exception& e) {
        record_.verdict = "internal-error";
        record_.detail = e.what();
    } catch (...) {
        record_.verdict = "internal-error";
    }
    stream_.reset();
    socket_.reset();
    if (record_.verdict.empty()) record_.verdict = "no-request";
    ctx_.log.print(record_);
}

void ConnectionHandler::serve(std::string pending, bool tunnelled) {
    const int fd = socket_.get();
    if (pending.empty()) {
        // The first byte decides: a TLS handshake record or an HTTP method.
        char buf[4096];
        PlainStream probe(fd, "", ctx_.stop);
        const long n = probe.read(buf, sizeof buf, deadlineIn(ctx_.limits.idleMs));
        if (n <= 0) {
            record_.verdict = n == 0             ? "no-request"
                              : probe.timedOut() ? "idle-timeout"
                                                 : "read-failed";
            return;
        }
        pending.assign(buf, static_cast<size_t>(n));
    }
    if (static_cast<unsigned char>(pending[0]) == kTlsHandshakeRecord) {
        record_.mode = "tls";
        if (ctx_.tls == nullptr) {
            record_.verdict = "tls-not-configured";
            return;
        }
        auto tls = std::make_unique<TlsStream>(*ctx_.tls, fd, std::move(pending), ctx_.stop);
        std::string error;
        if (!tls->handshake(deadlineIn(ctx_.limits.idleMs), error)) {
            record_.verdict = "tls-handshake-failed";
            record_.detail = error;
            return;
        }
        stream_ = std::move(tls);
    } else {
        stream_ = std::make_unique<PlainStream>(fd, std::move(pending), ctx_.stop);
    }

    HttpRequest request;
    std::string leftover;
    std::string why;
    const ReadOutcome outcome = readRequest(*stream_, ctx_.limits, request, leftover, why);
    record_.verdict = outcomeName(outcome);
    record_.detail = why;
    switch (outcome) {
        case ReadOutcome::kOk: break;
        case ReadOutcome::kBodyTooLarge:
            respond(413, "Payload Too Large", "request body over the server's limit\n");
            return;
        case ReadOutcome::kHeadTooLarge:
            respond(431, "Request Header Fields Too Large", "request head too large\n");
            return;
        case ReadOutcome::kMalformed: respond(400, "Bad Request", why + "\n"); return;
        default: return;  // nothing usable arrived; nobody to answer
    }
    record_.verdict.clear();
    record_.detail.clear();

    if (request.method == "CONNECT") {
        record_.form = "tunnel";
        record_.path = request.target;
        if (tunnelled || record_.mode == "tls") {
            record_.verdict = "nested-connect";
            respond(400, "Bad Request", "CONNECT inside a tunnel\n");
            return;
        }
        if (!proxyAuthorised(request)) return;
        // This server is its own proxy: the tunnel always leads back to it,
        // whatever host the client named, and never to another machine.
        if (!send("HTTP/1.1 200 Connection established\r\n\r\n")) {
            record_.verdict = "send-failed";
            return;
        }
        stream_.reset();
        serve(std::move(leftover), true);
        return;
    }
    if (request.method != "POST") {
        record_.verdict = "method-not-allowed";
        respond(405, "Method Not Allowed", "only POST and CONNECT are served\n", "Allow: POST\r\n");
        return;
    }
    servePost(request, tunnelled);
}

bool ConnectionHandler::proxyAuthorised(const HttpRequest& request) {
    std::string given;
    const bool present = request.header("Proxy-Authorization", given);
    if (ctx_.proxyAuthorization.empty()) {
        record_.auth = present ? "given" : "-";
        return true;
    }
    record_.auth = !present ? "missing" : given == ctx_.proxyAuthorization ? "ok" : "wrong";
    if (record_.auth == "ok") return true;
    record_.verdict = "proxy-auth-" + record_.auth;
    respond(407, "Proxy Authentication Required", "proxy authorisation required\n",
            "Proxy-Authenticate: Basic realm=\"zeb-callhome\"\r\n");
    return false;
}

void ConnectionHandler::servePost(const HttpRequest& request, bool tunnelled) {
    const std::string& target = request.target;
    if (tunnelled) {
        record_.path = target;
    } else if (target.size() > 7 && ::strncasecmp(target.c_str(), "http://", 7) == 0) {
        // The absolute form a client writes for a plain-HTTP proxy.
        record_.form = "absolute";
        const size_t pathStart = target.find_first_of("/?", 7);
        record_.path = pathStart == std::string::npos ? "/" : target.substr(pathStart);
        if (!proxyAuthorised(request)) return;
    } else if (startsWith(target, "/")) {
        record_.form = "origin";
        record_.path = target;
    } else {
        record_.verdict = "bad-target";
        respond(400, "Bad Request", "request target is neither a path nor an http:// URL\n");
        return;
    }
    if (tunnelled) record_.form = "tunnel";

    std::string clear;
    const bool markedClear =
        request.header("Content-Cleartext", clear) && ::strcasecmp(clear.c_str(), "true") == 0;
    const bool encrypted = record_.mode != "tls" && !markedClear;
    if (record_.mode != "tls") record_.mode = encrypted ? "aes" : "plain";

    DecodedRequest decoded;
    record_.bodyBytes = static_cast<long>(request.body.size());
    decodeRequest(request.body, encrypted, ctx_.decode, decoded);
    if (decoded.verdict == "ok") record_.textBytes = static_cast<long>(decoded.text.size());
    record_.type = decoded.type;
    record_.client = decoded.clientId;
    if (!decoded.answerable) {
        // Without the request's key there is no way to write an answer the
        // client could read; a plain refusal at least ends its wait.
        record_.verdict = decoded.verdict;
        record_.detail = decoded.detail;
        respond(400, "Bad Request", decoded.detail + "\n");
        return;
    }
    if (decoded.verdict != "ok") {
        record_.verdict = decoded.verdict;
        record_.detail = decoded.detail;
        deliver("STATUS:VERIFICATIONERROR\n", Fault(), decoded);
        return;
    }

    const AnswerPlan plan = ctx_.script.next(decoded.type);
    record_.answer = plan.source;
    record_.fault = faultName(plan.fault.kind);
    if (plan.fault.delayMs > 0) record_.fault += "+delay:" + std::to_string(plan.fault.delayMs);
    std::string newId;
    std::string text = substitute(plan.text.empty() ? defaultAnswer(decoded.type) : plan.text,
                                  selfAddress(request), decoded.clientId, newId);
    // Every client of a normal run reads these two answers, and keeps what
    // they set in its configuration file; the others need not repeat it.
    if (ctx_.devMode && (decoded.type == "newreg" || decoded.type == "sync"))
        text = withDevSettings(text);
    if (decoded.type == "newreg") {
        for (const auto& line : ZEBInternal::split(text, "\n"))
            if (startsWith(line, "CLIENTID:")) record_.newId = line.substr(9);
    }

    char name[64];
    if (decoded.type == "upload")
        std::snprintf(name, sizeof name, "upload-%06lu.log", record_.seq);
    else
        std::snprintf(name, sizeof name, "request-%06lu-%s.txt", record_.seq, decoded.type.c_str());
    record_.stored = ctx_.log.store(name, decoded.text);
    record_.verdict = "ok";
    deliver(text, plan.fault, decoded);
}

void ConnectionHandler::deliver(const std::string& text, const Fault& fault,
                                DecodedRequest& decoded) {
    if (fault.delayMs > 0) {
        // A slow server, not a dead one: the wait ends early only when the
        // server stops.
        const Deadline until = deadlineIn(fault.delayMs);
        for (auto now = Clock::now(); now < until && !ctx_.stop.load(); now = Clock::now())
            std::this_thread::sleep_for(
                std::min<Clock::duration>(until - now, std::chrono::milliseconds(kStopSliceMs)));
    }
    switch (fault.kind) {
        case FaultKind::kHang: holdOpen(ctx_.holdMaxMs); return;
        case FaultKind::kClose: return;
        case FaultKind::kGarbage: send(garbageBytes()); return;
        case FaultKind::kHttp500:
            respond(500, "Internal Server Error", "internal server error\n");
            return;
        case FaultKind::kHttp204:
            if (send("HTTP/1.1 204 No Content\r\nServer: ZEB\r\nContent-Length: 0\r\n"
                     "Connection: close\r\n\r\n"))
                record_.http = 204;
            return;
        case FaultKind::kEmptyBody:
            if (send("HTTP/1.1 200 OK\r\nServer: ZEB\r\nContent-Length: 0\r\n"
                     "Connection: close\r\n\r\n"))
                record_.http = 200;
            return;
        default: break;
    }
    const std::string& answerText =
        fault.kind == FaultKind::kVerificationError ? "STATUS:VERIFICATIONERROR\n" : text;
    std::string body;
    if (!encodeAnswer(answerText, fault.kind == FaultKind::kBadSignature, decoded, body)) {
        record_.verdict = "encrypt-failed";
        respond(500, "Internal Server Error", "answer encryption failed\n");
        return;
    }
    const size_t announced = body.size() + (fault.kind == FaultKind::kWrongLength ? 1 : 0);
    std::string head = "HTTP/1.1 200 OK\r\n";
    if (fault.kind != FaultKind::kNoServerHeader) head += "Server: ZEB\r\n";
    head += decoded.encrypted ? "Content-Type: application/octet-stream\r\n"
                              : "Content-Type: text/plain\r\n";
    head += "Content-Length: " + std::to_string(announced) + "\r\nConnection: close\r\n\r\n";
    if (!send(head + body)) return;
    record_.http = 200;
    if (fault.kind == FaultKind::kNoClose) holdOpen(ctx_.holdMaxMs);
}

void ConnectionHandler::respond(int code, const char* reason, const std::string& text,
                                const std::string& extraHeaders) {
    const std::string message = "HTTP/1.1 " + std::to_string(code) + " " + reason +
                                "\r\nServer: ZEB\r\nContent-Type: text/plain\r\n" + extraHeaders +
                                "Content-Length: " + std::to_string(text.size()) +
                                "\r\nConnection: close\r\n\r\n" + text;
    if (send(message)) record_.http = code;
}

bool ConnectionHandler::send(const std::string& bytes) {
    if (!stream_) return false;
    if (stream_->writeAll(bytes, deadlineIn(kSendTimeoutMs))) return true;
    if (record_.detail.empty()) record_.detail = "sending the answer failed";
    return false;
}

void ConnectionHandler::holdOpen(unsigned ms) {
    if (!stream_) return;
    const Deadline until = deadlineIn(ms);
    char sink[4096];
    while (stream_->read(sink, sizeof sink, until) > 0) {
    }
}

std::string ConnectionHandler::selfAddress(const HttpRequest& request) const {
    std::string authority;
    if (request.target.size() > 7 && ::strncasecmp(request.target.c_str(), "http://", 7) == 0) {
        const size_t end = request.target.find_first_of("/?", 7);
        authority = request.target.substr(7, end == std::string::npos ? end : end - 7);
    } else {
        request.header("Host", authority);
    }
    if (plausibleAuthority(authority)) return authority;
    return "127.0.0.1:" + std::to_string(ctx_.port);
}

std::string ConnectionHandler::substitute(const std::string& text, const std::string& self,
                                          const std::string& clientId, std::string& newId) const {
    std::string out = replaceAll(text, "${SELF}", self);
    out = replaceAll(out, "${PORT}", std::to_string(ctx_.port));
    out = replaceAll(out, "${CLIENTID}", clientId);
    if (out.find("${NEWID}") != std::string::npos) {
        newId = freshClientId();
        out = replaceAll(out, "${NEWID}", newId);
    }
    return out;
}

}  // namespace ZEBCallHome
