#pragma once
// gzip compression of upload bodies. Stateless functions; a GzipStream has
// one owner and one thread.

#include <zlib.h>

#include <cstddef>
#include <string>

namespace ZEBInternal {

// One gzip member (header, deflate data at the default level, CRC-32 and
// length trailer) built from text given in pieces, so that a large body
// never has to exist uncompressed in memory. Output is appended to the
// caller's string as it comes.
class GzipStream {
public:
    GzipStream();
    ~GzipStream();
    GzipStream(const GzipStream&) = delete;
    GzipStream& operator=(const GzipStream&) = delete;

    // False when zlib could not set up its stream (out of memory); nothing
    // else may then be called.
    bool ok() const { return open_; }
    bool add(const char* data, size_t size, std::string& out);
    // Ends the member. False on any failure of this or an earlier add.
    bool finish(std::string& out);

private:
    bool run(const char* data, size_t size, int flush, std::string& out);

    z_stream zs_{};
    bool open_ = false;
    bool failed_ = false;
};

// One complete gzip member holding input; the empty input gives a complete
// member too, so an empty result always means failure (zlib could not set
// up or run its stream, e.g. out of memory).
std::string gzipCompress(const std::string& input);

}  // namespace ZEBInternal
