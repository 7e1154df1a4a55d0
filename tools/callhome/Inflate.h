#pragma once
// gzip decompression of upload bodies. Stateless; any thread.

#include <cstddef>
#include <string>

namespace ZEBCallHome {

// True when `data` starts with the gzip magic bytes 1f 8b.
bool looksGzipped(const std::string& data);

// Inflates exactly one complete gzip member. False, with a message, when the
// data is not gzip, is truncated or corrupt (CRC-32 and length are checked
// by zlib), has bytes after the member, or would inflate beyond maxOutput
// bytes (a small body must not be allowed to fill the memory).
bool gunzip(const std::string& data, size_t maxOutput, std::string& out, std::string& error);

}  // namespace ZEBCallHome
