#pragma once
// "upload": posts log files to the URL that a sync answer named. The body
// is the files' contents joined by "++0--===--0++" lines, gzip-compressed
// when USEZIP is on, then signed and (without TLS) encrypted like any other
// message; there is no envelope, since every log file starts with its own
// line naming it. The server answers "STATUS:OK".
//
// One upload carries a piece of the backlog: whole files in the given
// order while their text stays within kPieceBytes (a larger file goes
// alone) and at most kPieceFiles files, so that a host offline for weeks
// never holds its whole backlog in memory; the sync sends the rest in
// further uploads. Each file is claimed (FileClaim) before it is read and
// stays claimed until the upload is destroyed, so the caller deletes the
// sent files while no other process can take them; files claimed by
// another process are skipped. The text is read and compressed file by
// file.
//
// Made and run by ZEBSyncRequest while it handles its answer, on the same
// thread; see ZEBMessageBase for ownership.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "messages/ZEBMessageBase.h"
#include "util/FileClaim.h"

namespace ZEBInternal {

class ZEBSyncUpload : public ZEBMessageBase {
public:
    static constexpr uint64_t kPieceBytes = uint64_t{8} << 20;
    static constexpr size_t kPieceFiles = 64;

    // url: host, optional port and path, as the server wrote it; files:
    // names in the data directory, in the order they are to be sent.
    // REQUIRES as for ZEBMessageBase.
    ZEBSyncUpload(const SDKContext* context, std::string url, std::vector<std::string> files);

    // The files whose whole content went into the body (an empty one
    // included); a file that could not be claimed or read is not among
    // them and must stay for a later upload. Meaningful once exchange() has
    // built the body.
    const std::vector<std::string>& getSentFiles() const;
    // The files after this upload's piece, for the next upload.
    std::vector<std::string> getRemainingFiles() const;
    // A body was built: false when nothing could be sent at all.
    bool builtBody() const { return bodyBuilt; }

protected:
    // False when no claimed file has content: nothing is sent. A file that
    // cannot be read (no descriptor left, an I/O error, another user's
    // file) is left out, not sent empty.
    bool buildRequest() override;
    bool finaliseBody() override;
    bool parseResponse() override;

private:
    void claimPiece();
    // The body from every claimed file. false with failedAt set: that file
    // could not be read; with failedAt == claimed.size(): compression failed.
    bool buildBody(size_t& failedAt);

    const std::vector<std::string> files;
    size_t considered = 0;
    std::vector<std::pair<std::string, FileClaim>> claimed;
    std::vector<std::string> sentFiles;
    bool bodyBuilt = false;
};

}  // namespace ZEBInternal
