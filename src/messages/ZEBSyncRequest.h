#pragma once
// "sync": reports the client's data sections and carries back the server's
// configuration, a reach-out message and the instruction for the event
// log: keep it ("NOLOG"), discard it ("PURGELOG") or send it ("UPLOAD",
// with the upload's "URL:"). An upload runs inside the answer's handling
// (ZEBSyncUpload). After a successful exchange the caller deletes the log
// files named by getConsumedLogFiles().
//
// One exchange on the "SyncManager" thread; see ZEBMessageBase for
// ownership.

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
    // an upload leaves them out.
    ZEBSyncRequest(const SDKContext* context, ZEBLogFileSource* logSource, bool sendReachOut,
                   bool optOut, std::set<std::string> alreadySent = {});

    // The log files this sync uploaded (exactly those whose content went
    // out) or purged; meaningful only when exchange() returned true.
    virtual std::vector<std::string> getConsumedLogFiles() const;

protected:
    bool buildRequest() override;
    bool parseResponse() override;

private:
    ZEBLogFileSource* const logSource;
    const bool sendReachOut;
    const bool optOut;
    const std::set<std::string> alreadySent;
    std::vector<std::string> consumedLogFiles;
};

}  // namespace ZEBInternal
