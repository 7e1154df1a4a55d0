#pragma once
// The configured server URL: a host name, optionally ":" and a port, then
// the path, with no scheme ("collect.example.com:8443/req1"). The protocol
// mode, not the URL, decides between TLS and plain HTTP.

#include <cstdint>
#include <string>

namespace ZEBInternal {

struct ServerUrl {
    std::string host;
    uint16_t port = 0;
    std::string path;  // starts with "/" or "?", or is empty
};

// Splits url into host, port and path; defaultPort applies when the URL
// names none (443 for TLS, 80 otherwise). False, with `out` untouched, when
// the text is empty, holds white space, starts with "http" or "HTTP",
// contains "://", starts with ":", has an empty host, or names a port that
// is not a number from 1 to 65535.
bool parseServerUrl(const std::string& url, uint16_t defaultPort, ServerUrl& out);

}  // namespace ZEBInternal
