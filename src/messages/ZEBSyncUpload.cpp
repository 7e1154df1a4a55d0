#include "messages/ZEBSyncUpload.h"

#include <unistd.h>

#include <cerrno>
#include <memory>

#include "config/Configuration.h"
#include "config/RuntimeSettings.h"
#include "core/Diagnostics.h"
#include "core/SDKContext.h"
#include "util/Gzip.h"

namespace ZEBInternal {

namespace {
constexpr char kSeparator[] = "++0--===--0++\n";
constexpr size_t kReadChunk = size_t{256} << 10;
}  // namespace

ZEBSyncUpload::ZEBSyncUpload(const SDKContext* context, std::string url,
                             std::vector<std::string> files)
    : ZEBMessageBase(context, std::move(url), "upload"), files(std::move(files)) {}

void ZEBSyncUpload::claimPiece() {
    const ConfigAppVO& app = configuration->appValues();
    uint64_t bytes = 0;
    while (considered < files.size() && claimed.size() < kPieceFiles) {
        const std::string& name = files[considered];
        FileClaim claim = FileClaim::take(app.pathInDataDirectory(name));
        if (claim.valid()) {
            const uint64_t size = claim.size();
            // Left for the next upload, which claims it again.
            if (!claimed.empty() && bytes + size > kPieceBytes) break;
            bytes += size;
            claimed.emplace_back(name, std::move(claim));
        }
        // A file another process claimed is in its upload or still being
        // written; one that cannot be opened stays for a later sync.
        ++considered;
    }
}

bool ZEBSyncUpload::buildRequest() {
    claimPiece();
    for (;;) {
        size_t failedAt = 0;
        if (buildBody(failedAt)) break;
        const int err = errno;  // from the failed read, when one failed
        if (failedAt >= claimed.size()) return false;
        report(context->diagnostics, LogLevel::kError, [&] {
            return "could not read the event log " + claimed[failedAt].first +
                   " for an upload: " + errnoText(err) + "; it stays for a later upload";
        });
        // The unreadable file is let go and stays for a later upload; what
        // went into the stream cannot be taken back, so the body starts over.
        claimed.erase(claimed.begin() + static_cast<std::ptrdiff_t>(failedAt));
    }
    bodyBuilt = !body.empty();
    return bodyBuilt;
}

bool ZEBSyncUpload::buildBody(size_t& failedAt) {
    body.clear();
    sentFiles.clear();
    failedAt = claimed.size();
    std::unique_ptr<GzipStream> zip;
    if (settings->USEZIP) {
        zip = std::make_unique<GzipStream>();
        if (!zip->ok()) return false;
    }
    const auto put = [&](const char* data, size_t size) {
        if (zip) return zip->add(data, size, body);
        body.append(data, size);
        return true;
    };
    std::string chunk(kReadChunk, '\0');
    bool any = false;
    for (size_t i = 0; i < claimed.size(); ++i) {
        const int fd = claimed[i].second.fd();
        off_t offset = 0;
        for (;;) {
            const ssize_t got = ::pread(fd, &chunk[0], chunk.size(), offset);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                failedAt = i;
                return false;
            }
            if (got == 0) break;
            // An empty file adds nothing, not even a separator.
            if (offset == 0 && any && !put(kSeparator, sizeof kSeparator - 1)) return false;
            any = true;
            if (!put(chunk.data(), static_cast<size_t>(got))) return false;
            offset += got;
        }
        if (offset > 0 && !put("\n", 1)) return false;
        sentFiles.push_back(claimed[i].first);
    }
    if (!any) {
        body.clear();
        return true;
    }
    return !zip || zip->finish(body);
}

const std::vector<std::string>& ZEBSyncUpload::getSentFiles() const {
    return sentFiles;
}

std::vector<std::string> ZEBSyncUpload::getRemainingFiles() const {
    return std::vector<std::string>(files.begin() + static_cast<std::ptrdiff_t>(considered),
                                    files.end());
}

bool ZEBSyncUpload::finaliseBody() {
    // The body was built in place, compressed as it was read; a request
    // text (a test's own) is sent as it is.
    if (body.empty()) ZEBMessageBase::finaliseBody();
    return !body.empty();
}

bool ZEBSyncUpload::parseResponse() {
    std::string value;
    if (!findValue("STATUS:", value) || value != "OK") return false;
    applyConfig();
    return true;
}

}  // namespace ZEBInternal
