// The configured server URL is host input that reaches the transport: any
// text must parse or be refused, and an accepted one must make sense.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "util/ServerUrl.h"
#include "util/Strings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ZEBInternal::ServerUrl url;
    url.port = 0;
    if (!ZEBInternal::parseServerUrl(text, 999, url)) return 0;
    const bool sane = !url.host.empty() && url.port != 0 &&
                      !ZEBInternal::hasWhitespace(url.host) &&
                      url.host.find_first_of(":/?") == std::string::npos &&
                      (url.path.empty() || url.path[0] == '/' || url.path[0] == '?') &&
                      text.compare(0, url.host.size(), url.host) == 0 &&
                      (url.path.empty() ||
                       text.compare(text.size() - url.path.size(), url.path.size(), url.path) == 0);
    if (!sane) std::abort();
    return 0;
}
