#pragma once
// gzip compression of upload bodies. Stateless; any thread.

#include <string>

namespace ZEBInternal {

// One complete gzip member (header, deflate data at the default level, CRC-32
// and length trailer) holding input; the empty input gives a complete member
// too, so an empty result always means failure (zlib could not set up or
// run its stream, e.g. out of memory).
std::string gzipCompress(const std::string& input);

}  // namespace ZEBInternal
