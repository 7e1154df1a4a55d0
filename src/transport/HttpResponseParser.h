#pragma once
// Strict reading of the server's HTTP/1.1 answer and of a proxy's answer to
// CONNECT, from bytes alone so that both can be tested and fuzzed without a
// socket. Stateless; any thread.
//
// Both return false with `error` set to the failure text (without the
// connection's name) when the bytes are not acceptable.

#include <cstddef>
#include <cstdint>
#include <string>

namespace ZEBInternal {

struct HttpResponseHead {
    std::string headers;     // everything before the first CR LF CR LF
    int32_t code = 0;        // from the status line
    uint32_t bodyLength = 0; // from "Content-Length: "
    size_t bodyOffset = 0;   // first byte after CR LF CR LF
};

// Accepts only status 200 with a body whose length equals its
// "Content-Length: " header (exact case, one space). Chunked bodies and
// bodies that end at connection close are refused. `out` may be partly
// filled on failure.
bool parseHttpResponse(const char* data, size_t length, HttpResponseHead& out,
                       std::string& error);

// Accepts an answer whose first "HTTP/1.1 " or "HTTP/1.0 " is followed by
// a 2xx code. Empty bytes mean the proxy sent nothing.
bool checkConnectAnswer(const char* data, size_t length, std::string& error);

}  // namespace ZEBInternal
