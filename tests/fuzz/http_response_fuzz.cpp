// The server's and the proxy's answers are untrusted bytes: any input must
// be accepted or refused with a text, without reading past the input, and
// an accepted response must be exactly a 200 head and its announced body.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "transport/HttpResponseParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly the input, so that a sanitizer catches any read
    // beyond it.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const char* begin = size == 0 ? nullptr : bytes.data();

    ZEBInternal::HttpResponseHead head;
    std::string error;
    if (ZEBInternal::parseHttpResponse(begin, size, head, error)) {
        const bool sane = error.empty() && head.code == 200 &&
                          head.bodyOffset == head.headers.size() + 4 &&
                          head.bodyOffset + head.bodyLength == size &&
                          bytes.compare(head.bodyOffset - 4, 4, "\r\n\r\n") == 0 &&
                          head.headers.find("\r\n\r\n") == std::string::npos &&
                          head.headers.find("Content-Length: ") != std::string::npos;
        if (!sane) abort();
    } else if (error.empty()) {
        abort();
    }

    error.clear();
    if (ZEBInternal::checkConnectAnswer(begin, size, error)) {
        if (!error.empty() || size < 10) abort();
    } else if (error.rfind("(HTTP CONNECT) ", 0) != 0) {
        abort();
    }
    return 0;
}
