#pragma once
// "sync": reports the client's data sections and carries back the server's
// configuration, a reach-out message and the instruction for the event
// log: keep it ("NOLOG"), discard it ("PURGELOG") or send it ("UPLOAD",
// with the upload's "URL:"). An upload runs inside the answer's handling
// (ZEBSyncUpload), in several uploads in a row when the backlog is larger
// than one upload's piece. The files of each upload are handed to the
// caller's consumer as soon as the server acknowledged them, while that
// upload still holds their claims, so the caller deletes them before any
// other process could send them again; purged files go the same way.
//
// One exchange on the "SyncManager" thread; see ZEBMessageBase for
// ownership.

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "messages/ZEBMessageBase.h"

namespace ZEBInternal {

class ZEBLogFileSource;

class ZEBSyncRequest : public ZEBMessageBase {
public:
    // REQUIRES as for ZEBMessageBase, and context->appData non-null (the
    // exchange fails without it). logSource (the log writer) is borrowed.
    // alreadySent: files this run uploaded before and could not delete;
    // an upload leaves them out. consume (may be empty) is called on this
    // thread with each acknowledged upload's files and with purged files.
    using Consumer = std::function<void(const std::vector<std::string>&)>;
    ZEBSyncRequest(const SDKContext* context, ZEBLogFileSource* logSource, bool sendReachOut,
                   bool optOut, std::set<std::string> alreadySent = {}, Consumer consume = {});

    // Every log file this sync uploaded (exactly those whose content went
    // out and was acknowledged) or purged, also when a later upload of the
    // sync failed.
    virtual std::vector<std::string> getConsumedLogFiles() const;

protected:
    bool buildRequest() override;
    bool parseResponse() override;

private:
    void consumed(const std::vector<std::string>& names);
    // Uploads the files in pieces; false when an upload failed or the first
    // had nothing to send.
    bool upload(const std::string& url, std::vector<std::string> files);

    ZEBLogFileSource* const logSource;
    const bool sendReachOut;
    const bool optOut;
    const std::set<std::string> alreadySent;
    const Consumer consume;
    std::vector<std::string> consumedLogFiles;
};

}  // namespace ZEBInternal
