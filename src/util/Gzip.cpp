#include "util/Gzip.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace ZEBInternal {

namespace {

// Ends the deflate stream on every return path once deflateInit2 succeeded.
class DeflateStream {
public:
    DeflateStream() = default;
    ~DeflateStream() {
        if (open_) deflateEnd(&zs_);
    }
    DeflateStream(const DeflateStream&) = delete;
    DeflateStream& operator=(const DeflateStream&) = delete;

    bool open() {
        // Window bits 31 = a 32 KiB window with the gzip wrapper, so the
        // receiver gets a self-checking member with CRC-32 and length.
        open_ = deflateInit2(&zs_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY) ==
                Z_OK;
        return open_;
    }
    z_stream& stream() { return zs_; }

private:
    z_stream zs_{};
    bool open_ = false;
};

}  // namespace

std::string gzipCompress(const std::string& input) {
    DeflateStream deflater;
    if (!deflater.open()) return std::string();
    z_stream& zs = deflater.stream();

    // Feed the input in pieces that fit zlib's 32-bit counters, and size the
    // output chunk from deflateBound, which (unlike compressBound) includes
    // the gzip header and trailer.
    const uLong chunk = std::min<uLong>(
        deflateBound(&zs, static_cast<uLong>(std::min<size_t>(input.size(), UINT_MAX))), 1u << 22);
    std::string out;
    std::string buffer(chunk, '\0');
    const auto* next = reinterpret_cast<const Bytef*>(input.data());
    size_t remaining = input.size();
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        if (zs.avail_in == 0 && remaining > 0) {
            const uInt piece = static_cast<uInt>(std::min<size_t>(remaining, UINT_MAX));
            // zlib's next_in is non-const in older headers; it never writes through it.
            zs.next_in = const_cast<Bytef*>(next);
            zs.avail_in = piece;
            next += piece;
            remaining -= piece;
        }
        const int flush = remaining == 0 ? Z_FINISH : Z_NO_FLUSH;
        zs.next_out = reinterpret_cast<Bytef*>(&buffer[0]);
        zs.avail_out = static_cast<uInt>(buffer.size());
        rc = deflate(&zs, flush);
        if (rc == Z_STREAM_ERROR) return std::string();
        // Z_BUF_ERROR only means no progress was possible in this call; with
        // fresh output space every round it cannot repeat, but guard anyway.
        if (rc == Z_BUF_ERROR && zs.avail_out == buffer.size()) return std::string();
        out.append(buffer, 0, buffer.size() - zs.avail_out);
    }
    return out;
}

}  // namespace ZEBInternal
