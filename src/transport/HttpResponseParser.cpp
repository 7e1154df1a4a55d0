#include "transport/HttpResponseParser.h"

#include <algorithm>
#include <string_view>

#include "util/Strings.h"

namespace ZEBInternal {

namespace {

const char kHeaderEnd[] = "\r\n\r\n";
const char kStatusPrefix[] = "HTTP/1.1 ";
const char kConnectStatusPrefix10[] = "HTTP/1.0 ";
const char kLengthPrefix[] = "Content-Length: ";

// A decimal number read the way stream extraction reads an unsigned
// 32-bit value: leading white space, an optional "+", at least one digit,
// trailing characters ignored. A value that does not fit fails rather than
// wrapping, and a minus sign fails rather than turning into a huge length.
bool parseLength(const std::string& text, uint32_t& out) {
    size_t i = 0;
    while (i < text.size() && isAsciiSpace(text[i])) ++i;
    if (i < text.size() && text[i] == '+') ++i;
    uint64_t value = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
        if (value > UINT32_MAX) return false;
    }
    if (digits == 0) return false;
    out = static_cast<uint32_t>(value);
    return true;
}

}  // namespace

bool parseHttpResponse(const char* data, size_t length, HttpResponseHead& out,
                       std::string& error) {
    if (length < 4) {
        error = "Response length less than 4, won't find double newline marker.";
        return false;
    }
    // A view, not a copy: the response may be up to 16 MiB.
    const std::string_view text(data, length);
    const size_t headerEnd = text.find(kHeaderEnd);
    if (headerEnd == std::string::npos) {
        error = "Unfound HTTP double newline marker.";
        return false;
    }
    out.headers = std::string(text.substr(0, headerEnd));

    const size_t status = out.headers.find(kStatusPrefix);
    if (status == std::string::npos) {
        error = "Non-HTTP/1.1 response.";
        return false;
    }
    const std::string codeText = out.headers.substr(status + sizeof kStatusPrefix - 1, 3);
    if (!parseInt(codeText, out.code)) {
        error = "Non-numeric for response code = '" + codeText + "'.";
        return false;
    }

    const size_t lengthAt = out.headers.find(kLengthPrefix);
    if (lengthAt == std::string::npos) {
        error = "Unable to get content length.";
        return false;
    }
    const size_t valueAt = lengthAt + sizeof kLengthPrefix - 1;
    const size_t lineEnd = out.headers.find("\r\n", valueAt);
    const std::string lengthText =
        out.headers.substr(valueAt, lineEnd == std::string::npos ? std::string::npos
                                                                 : lineEnd - valueAt);
    if (!parseLength(lengthText, out.bodyLength)) {
        error = "Non-numeric for content length = '" + lengthText + "'.";
        return false;
    }

    if (out.code != 200) {
        error = "Unexpected response code to find response body data.";
        return false;
    }
    out.bodyOffset = headerEnd + 4;
    const size_t bodyBytes = length - out.bodyOffset;
    if (bodyBytes != out.bodyLength) {
        error = "Mismatch in response body data length (" + std::to_string(bodyBytes) +
                ") and content length header (" + std::to_string(out.bodyLength) + ").";
        return false;
    }
    return true;
}

bool checkConnectAnswer(const char* data, size_t length, std::string& error) {
    // The channel hands over no buffer at all when the proxy sent nothing.
    if (length == 0) {
        error = "(HTTP CONNECT) NULL response data.";
        return false;
    }
    const std::string_view text(data, length);
    // Proxies commonly answer CONNECT in HTTP/1.0 ("HTTP/1.0 200 Connection
    // established"); any 2xx opens the tunnel whatever the version, so
    // refusing 1.0 would make TLS through such a proxy impossible.
    const size_t status = std::min(text.find(kStatusPrefix), text.find(kConnectStatusPrefix10));
    if (status == std::string::npos) {
        error = "(HTTP CONNECT) Non-HTTP/1.1 response.";
        return false;
    }
    const std::string code(text.substr(status + sizeof kStatusPrefix - 1, 3));
    if (code.empty() || code[0] != '2') {
        error = "(HTTP CONNECT) Non-2xx response code = '" + code + "'.";
        return false;
    }
    return true;
}

}  // namespace ZEBInternal
