#include "HttpRequest.h"

#include <strings.h>

#include <algorithm>

#include "util/Strings.h"

namespace ZEBCallHome {

using ZEBInternal::trim;

bool HttpRequest::header(const std::string& name, std::string& value) const {
    for (const auto& h : headers) {
        if (h.first.size() == name.size() &&
            ::strncasecmp(h.first.c_str(), name.c_str(), name.size()) == 0) {
            value = h.second;
            return true;
        }
    }
    return false;
}

const char* outcomeName(ReadOutcome outcome) {
    switch (outcome) {
        case ReadOutcome::kOk: return "ok";
        case ReadOutcome::kNothing: return "no-request";
        case ReadOutcome::kClosed: return "truncated-request";
        case ReadOutcome::kTimeout: return "idle-timeout";
        case ReadOutcome::kFailed: return "read-failed";
        case ReadOutcome::kMalformed: return "malformed";
        case ReadOutcome::kHeadTooLarge: return "head-too-large";
        case ReadOutcome::kBodyTooLarge: return "body-too-large";
    }
    return "unknown";
}

bool parseHead(const std::string& head, HttpRequest& out, std::string& why) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos <= head.size()) {
        size_t end = head.find("\r\n", pos);
        if (end == std::string::npos) end = head.size();
        lines.push_back(head.substr(pos, end - pos));
        pos = end + 2;
    }
    const std::string& requestLine = lines.front();
    const size_t sp1 = requestLine.find(' ');
    const size_t sp2 = sp1 == std::string::npos ? sp1 : requestLine.find(' ', sp1 + 1);
    if (sp2 == std::string::npos || requestLine.find(' ', sp2 + 1) != std::string::npos) {
        why = "request line is not 'METHOD TARGET VERSION'";
        return false;
    }
    out.method = requestLine.substr(0, sp1);
    out.target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
    out.version = requestLine.substr(sp2 + 1);
    if (out.method.empty() || out.target.empty() ||
        !ZEBInternal::startsWith(out.version, "HTTP/1.")) {
        why = "not an HTTP/1.x request line";
        return false;
    }
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0 || line.find_first_of(" \t") < colon) {
            why = "header line without a name and colon";
            return false;
        }
        out.headers.emplace_back(line.substr(0, colon), trim(line.substr(colon + 1)));
    }
    return true;
}

namespace {

// Content-Length as digits only: a server must not guess at "12abc".
bool readContentLength(const HttpRequest& req, bool& present, size_t& length, std::string& why) {
    present = false;
    length = 0;
    for (const auto& h : req.headers) {
        if (::strcasecmp(h.first.c_str(), "Content-Length") != 0) continue;
        if (h.second.empty() || h.second.size() > 12 ||
            h.second.find_first_not_of("0123456789") != std::string::npos) {
            why = "Content-Length is not a number";
            return false;
        }
        const size_t value = std::stoull(h.second);
        if (present && value != length) {
            why = "two different Content-Length headers";
            return false;
        }
        present = true;
        length = value;
    }
    return true;
}

}  // namespace

ReadOutcome readRequest(Stream& stream, const ReadLimits& limits, HttpRequest& out,
                        std::string& leftover, std::string& why) {
    const Deadline total = deadlineIn(limits.totalMs);
    auto nextDeadline = [&] { return std::min(total, deadlineIn(limits.idleMs)); };
    std::string data;
    char buf[16384];
    size_t headEnd = std::string::npos;
    while (headEnd == std::string::npos) {
        const long n = stream.read(buf, sizeof buf, nextDeadline());
        if (n == 0) return data.empty() ? ReadOutcome::kNothing : ReadOutcome::kClosed;
        if (n < 0) return stream.timedOut() ? ReadOutcome::kTimeout : ReadOutcome::kFailed;
        const size_t from = data.size() >= 3 ? data.size() - 3 : 0;
        data.append(buf, static_cast<size_t>(n));
        headEnd = data.find("\r\n\r\n", from);
        if (headEnd == std::string::npos && data.size() > limits.maxHead)
            return ReadOutcome::kHeadTooLarge;
    }
    if (headEnd > limits.maxHead) return ReadOutcome::kHeadTooLarge;
    if (!parseHead(data.substr(0, headEnd), out, why)) return ReadOutcome::kMalformed;

    std::string ignored;
    if (out.header("Transfer-Encoding", ignored)) {
        why = "Transfer-Encoding is not accepted; send a Content-Length";
        return ReadOutcome::kMalformed;
    }
    bool present = false;
    size_t length = 0;
    if (!readContentLength(out, present, length, why)) return ReadOutcome::kMalformed;
    if (!present && out.method == "POST") {
        why = "POST without Content-Length";
        return ReadOutcome::kMalformed;
    }
    if (length > limits.maxBody) return ReadOutcome::kBodyTooLarge;

    std::string rest = data.substr(headEnd + 4);
    while (rest.size() < length) {
        const long n = stream.read(buf, std::min(sizeof buf, length - rest.size()), nextDeadline());
        if (n == 0) return ReadOutcome::kClosed;
        if (n < 0) return stream.timedOut() ? ReadOutcome::kTimeout : ReadOutcome::kFailed;
        rest.append(buf, static_cast<size_t>(n));
    }
    out.body = rest.substr(0, length);
    leftover = rest.substr(length);
    return ReadOutcome::kOk;
}

}  // namespace ZEBCallHome
