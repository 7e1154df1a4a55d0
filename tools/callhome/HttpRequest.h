#pragma once
// Reading and parsing one HTTP/1.1 request from a Stream, within limits.
// Stateless functions; each connection thread calls them on its own stream.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "Socket.h"

namespace ZEBCallHome {

struct HttpRequest {
    std::string method;
    std::string target;
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers;  // value trimmed
    std::string body;

    // The first header of that name, compared without case; false if absent.
    bool header(const std::string& name, std::string& value) const;
};

struct ReadLimits {
    size_t maxHead = 64 * 1024;
    size_t maxBody = 16 * 1024 * 1024;
    unsigned idleMs = 10000;    // longest wait for the next bytes
    unsigned totalMs = 120000;  // longest time for the whole request
};

enum class ReadOutcome {
    kOk,
    kNothing,       // the peer closed before sending a byte
    kClosed,        // the peer closed in the middle of the request
    kTimeout,       // no progress within idleMs, or totalMs passed
    kFailed,        // socket or TLS error, or the server is stopping
    kMalformed,     // not an HTTP/1.x request we can read
    kHeadTooLarge,  // no end of head within maxHead bytes
    kBodyTooLarge,  // Content-Length above maxBody; the head is parsed
};

const char* outcomeName(ReadOutcome outcome);

// Reads a request head and, by its Content-Length, the body. Bytes that
// arrived after the request are returned in leftover. `why` explains a
// kMalformed outcome.
ReadOutcome readRequest(Stream& stream, const ReadLimits& limits, HttpRequest& out,
                        std::string& leftover, std::string& why);

// Parses a head (without the final empty line). Exposed for reuse.
bool parseHead(const std::string& head, HttpRequest& out, std::string& why);

}  // namespace ZEBCallHome
