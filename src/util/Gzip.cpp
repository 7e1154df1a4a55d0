#include "util/Gzip.h"

#include <algorithm>
#include <climits>

namespace ZEBInternal {

namespace {
// On the stack of the calling worker: small enough for any host's stack size.
constexpr size_t kOutputChunk = size_t{1} << 15;
}  // namespace

GzipStream::GzipStream() {
    // Window bits 31 = a 32 KiB window with the gzip wrapper, so the
    // receiver gets a self-checking member with CRC-32 and length.
    open_ = deflateInit2(&zs_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY) ==
            Z_OK;
}

GzipStream::~GzipStream() {
    if (open_) deflateEnd(&zs_);
}

bool GzipStream::add(const char* data, size_t size, std::string& out) {
    return run(data, size, Z_NO_FLUSH, out);
}

bool GzipStream::finish(std::string& out) {
    return run(nullptr, 0, Z_FINISH, out);
}

bool GzipStream::run(const char* data, size_t size, int flush, std::string& out) {
    if (!open_ || failed_) return false;
    char buffer[kOutputChunk];
    const auto* next = reinterpret_cast<const Bytef*>(data);
    size_t remaining = size;
    for (;;) {
        // Fed in pieces that fit zlib's 32-bit counters.
        if (zs_.avail_in == 0 && remaining > 0) {
            const uInt piece = static_cast<uInt>(std::min<size_t>(remaining, UINT_MAX));
            // zlib's next_in is non-const in older headers; it never writes through it.
            zs_.next_in = const_cast<Bytef*>(next);
            zs_.avail_in = piece;
            next += piece;
            remaining -= piece;
        }
        zs_.next_out = reinterpret_cast<Bytef*>(buffer);
        zs_.avail_out = static_cast<uInt>(sizeof buffer);
        const int rc = deflate(&zs_, remaining == 0 ? flush : Z_NO_FLUSH);
        // Z_BUF_ERROR only means no progress was possible in this call,
        // which with fresh output space every round means the input is used
        // up.
        if (rc == Z_STREAM_ERROR) {
            failed_ = true;
            return false;
        }
        out.append(buffer, sizeof buffer - zs_.avail_out);
        if (rc == Z_STREAM_END) return true;
        if (flush == Z_NO_FLUSH && zs_.avail_in == 0 && remaining == 0 && zs_.avail_out != 0)
            return true;
        if (rc == Z_BUF_ERROR && zs_.avail_out == sizeof buffer) {
            failed_ = true;
            return false;
        }
    }
}

std::string gzipCompress(const std::string& input) {
    GzipStream stream;
    std::string out;
    if (!stream.ok() || !stream.add(input.data(), input.size(), out) || !stream.finish(out))
        return std::string();
    return out;
}

}  // namespace ZEBInternal
