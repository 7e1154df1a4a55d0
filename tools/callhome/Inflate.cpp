#include "Inflate.h"

#include <zlib.h>

#include <climits>

namespace ZEBCallHome {

namespace {

// Ends the inflate stream on every return path once inflateInit2 succeeded.
class InflateStream {
public:
    InflateStream() = default;
    ~InflateStream() {
        if (open_) inflateEnd(&zs_);
    }
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;

    bool open() {
        // 16 + 15: a 32 KiB window and only the gzip wrapper accepted.
        open_ = inflateInit2(&zs_, 16 + MAX_WBITS) == Z_OK;
        return open_;
    }
    z_stream& stream() { return zs_; }

private:
    z_stream zs_{};
    bool open_ = false;
};

}  // namespace

bool looksGzipped(const std::string& data) {
    return data.size() >= 2 && static_cast<unsigned char>(data[0]) == 0x1f &&
           static_cast<unsigned char>(data[1]) == 0x8b;
}

bool gunzip(const std::string& data, size_t maxOutput, std::string& out, std::string& error) {
    out.clear();
    if (data.size() > UINT_MAX) {
        error = "compressed body too large";
        return false;
    }
    InflateStream inflater;
    if (!inflater.open()) {
        error = "zlib inflateInit2 failed";
        return false;
    }
    z_stream& zs = inflater.stream();
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    char chunk[65536];
    for (;;) {
        zs.next_out = reinterpret_cast<Bytef*>(chunk);
        zs.avail_out = sizeof chunk;
        const int rc = inflate(&zs, Z_NO_FLUSH);
        out.append(chunk, sizeof chunk - zs.avail_out);
        if (out.size() > maxOutput) {
            error = "inflated body exceeds " + std::to_string(maxOutput) + " bytes";
            out.clear();
            return false;
        }
        if (rc == Z_STREAM_END) break;
        if (rc == Z_OK) continue;
        // Z_BUF_ERROR with all input consumed: the member ends early.
        error = rc == Z_BUF_ERROR ? std::string("truncated gzip data")
                                  : "zlib inflate error " + std::to_string(rc) +
                                        (zs.msg ? std::string(" (") + zs.msg + ")" : "");
        out.clear();
        return false;
    }
    if (zs.avail_in != 0) {
        error = std::to_string(zs.avail_in) + " bytes after the gzip member";
        out.clear();
        return false;
    }
    return true;
}

}  // namespace ZEBCallHome
