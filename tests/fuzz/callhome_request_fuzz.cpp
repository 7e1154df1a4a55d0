// zeb-callhome reads requests from any client that connects: whatever bytes
// arrive, in whatever pieces, the reader must end with an outcome, and an
// accepted request must be exactly its head, its announced body and the
// bytes left over. The body then goes through the server's decoding (AES,
// signature, envelope, gzip), and an answer signed for it must pass the
// client's own signature check.
//
// Input: one flag byte, then the bytes the client sends. Flag bit 0: the
// body is AES-encrypted; bit 1: unsigned requests are accepted; bit 2: the
// server knows the AES key; bits 3 to 7: the size of the pieces the
// stream hands out, less one.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "HttpRequest.h"
#include "MessageCodec.h"
#include "messages/ResponseReaders.h"
#include "util/Digest.h"
#include "util/Strings.h"

namespace {

using namespace ZEBCallHome;

// The connection's bytes in pieces of a fixed size, then the peer's close.
class ReplayStream : public Stream {
public:
    ReplayStream(const std::string& bytes, size_t piece) : bytes_(bytes), piece_(piece) {}
    long read(char* buf, size_t n, Deadline) override {
        const size_t count = std::min({n, piece_, bytes_.size() - pos_});
        std::memcpy(buf, bytes_.data() + pos_, count);
        pos_ += count;
        return static_cast<long>(count);
    }
    bool writeAll(const std::string&, Deadline) override { return true; }

private:
    const std::string& bytes_;
    const size_t piece_;
    size_t pos_ = 0;
};

bool isKnownVerdict(const std::string& verdict) {
    for (const char* v : {"ok", "bad-signature", "no-aes-key", "decrypt-failed", "bad-gzip",
                          "no-type", "unknown-type"})
        if (verdict == v) return true;
    return false;
}

void checkRequest(const std::string& bytes, const HttpRequest& request,
                  const std::string& leftover) {
    // The stream stops being read once the body is complete, so what was
    // taken is a prefix of the bytes.
    const size_t headEnd = bytes.find("\r\n\r\n");
    if (headEnd == std::string::npos ||
        !ZEBInternal::startsWith(bytes, bytes.substr(0, headEnd + 4) + request.body + leftover) ||
        request.method.empty() || request.target.empty() ||
        !ZEBInternal::startsWith(request.version, "HTTP/1."))
        std::abort();
    for (const auto& header : request.headers) {
        if (header.first.empty() || header.first.find_first_of(": \t") != std::string::npos ||
            header.second != ZEBInternal::trim(header.second))
            std::abort();
    }
}

// The client's reading of a clear answer body: the last line is the
// signature of the lines before it, joined and ended by line feeds.
bool clientAcceptsSignature(const std::string& answer) {
    std::vector<std::string> lines = ZEBInternal::splitResponseLines(answer);
    if (lines.empty()) return false;
    const std::string signature = lines.back();
    lines.pop_back();
    return ZEBInternal::sha256Base64(ZEBInternal::join(lines, "\n") + "\n") == signature;
}

void checkDecoding(const std::string& body, uint8_t flags) {
    DecodeSettings settings;
    settings.haveKey = (flags & 4) != 0;
    for (size_t i = 0; i < sizeof settings.key; ++i) settings.key[i] = static_cast<uint8_t>(i);
    settings.allowUnsigned = (flags & 2) != 0;
    settings.maxInflated = 1u << 20;
    DecodedRequest decoded;
    const bool encrypted = (flags & 1) != 0;
    decodeRequest(body, encrypted, settings, decoded);
    if (!isKnownVerdict(decoded.verdict) || (decoded.verdict == "ok") != decoded.detail.empty() ||
        decoded.encrypted != encrypted || (!decoded.answerable && !encrypted) ||
        decoded.text.size() > settings.maxInflated ||
        (decoded.verdict == "ok" && !decoded.isSigned && !settings.allowUnsigned))
        std::abort();
    if (!decoded.answerable) return;
    std::string answer;
    if (!encodeAnswer(body, false, decoded, answer) ||
        (!encrypted && !clientAcceptsSignature(answer)))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t flags = data[0];
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    ReplayStream stream(bytes, 1 + (flags >> 3));
    ReadLimits limits;
    limits.maxHead = 2048;
    limits.maxBody = 8192;
    HttpRequest request;
    std::string leftover;
    std::string why;
    const ReadOutcome outcome = readRequest(stream, limits, request, leftover, why);
    if (outcome == ReadOutcome::kMalformed && why.empty()) std::abort();
    if (outcome == ReadOutcome::kTimeout || outcome == ReadOutcome::kFailed) std::abort();
    if (outcome != ReadOutcome::kOk) return 0;
    checkRequest(bytes, request, leftover);
    checkDecoding(request.body, flags);
    return 0;
}
