#include "util/ServerUrl.h"

#include "util/Strings.h"

namespace ZEBInternal {

bool parseServerUrl(const std::string& url, uint16_t defaultPort, ServerUrl& out) {
    // A scheme is refused outright rather than stripped: the protocol mode
    // alone chooses TLS, and a URL saying otherwise would be misleading.
    if (url.empty() || hasWhitespace(url)) return false;
    if (startsWith(url, "http") || startsWith(url, "HTTP")) return false;
    if (url.find("://") != std::string::npos) return false;

    // The path starts at the first "/" or "?", whichever comes first, so a
    // query that itself holds a "/" ("host?a=/b") cannot leak into the host.
    const size_t slash = url.find_first_of("/?");
    size_t colon = url.find(':');
    // A colon inside the path or query ("host/a:b") is not a port separator.
    if (colon != std::string::npos && slash != std::string::npos && colon > slash)
        colon = std::string::npos;
    if (colon == 0) return false;

    uint16_t port = defaultPort;
    if (colon != std::string::npos) {
        const size_t end = slash == std::string::npos ? url.size() : slash;
        int32_t value = 0;
        if (!parseInt(url.substr(colon + 1, end - colon - 1), value)) return false;
        // Out-of-range ports are refused rather than cut to 16 bits, which
        // would silently connect somewhere else.
        if (value < 1 || value > 65535) return false;
        port = static_cast<uint16_t>(value);
    }

    const size_t hostEnd = colon != std::string::npos   ? colon
                           : slash != std::string::npos ? slash
                                                        : url.size();
    if (hostEnd == 0) return false;

    out.host = url.substr(0, hostEnd);
    out.port = port;
    out.path = slash == std::string::npos ? std::string() : url.substr(slash);
    return true;
}

}  // namespace ZEBInternal
