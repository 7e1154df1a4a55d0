#pragma once
// "upload": posts log files to the URL that a sync answer named. The body
// is the files' contents joined by "++0--===--0++" lines, gzip-compressed
// when USEZIP is on, then signed and (without TLS) encrypted like any other
// message; there is no envelope, since every log file starts with its own
// line naming it. The server answers "STATUS:OK".
//
// Made and run by ZEBSyncRequest while it handles its answer, on the same
// thread; see ZEBMessageBase for ownership.

#include <string>
#include <vector>

#include "messages/ZEBMessageBase.h"

namespace ZEBInternal {

class ZEBSyncUpload : public ZEBMessageBase {
public:
    // url: host, optional port and path, as the server wrote it; files:
    // names in the data directory. REQUIRES as for ZEBMessageBase.
    ZEBSyncUpload(const SDKContext* context, std::string url, std::vector<std::string> files);

    // The files whose whole content went into the body (an empty one
    // included); a file that could not be read is not among them and must
    // stay for a later upload. Meaningful once exchange() has built the body.
    const std::vector<std::string>& getSentFiles() const;

protected:
    // False when no file has content: nothing is sent. A file that cannot
    // be read (no descriptor left, an I/O error, another user's file) is
    // left out, not sent empty.
    bool buildRequest() override;
    bool finaliseBody() override;
    bool parseResponse() override;

private:
    const std::vector<std::string> files;
    std::vector<std::string> sentFiles;
};

}  // namespace ZEBInternal
