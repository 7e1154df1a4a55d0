#include "messages/ZEBSyncRequest.h"

#include "core/SDKContext.h"
#include "core/ZEBLogFileSource.h"
#include "data/ReportSections.h"
#include "messages/ZEBSyncUpload.h"

namespace ZEBInternal {

ZEBSyncRequest::ZEBSyncRequest(const SDKContext* context, ZEBLogFileSource* logSource,
                               bool sendReachOut, bool optOut, std::set<std::string> alreadySent)
    : ZEBMessageBase(context, requestUrl(context), "sync"),
      logSource(logSource),
      sendReachOut(sendReachOut),
      optOut(optOut),
      alreadySent(std::move(alreadySent)) {}

std::vector<std::string> ZEBSyncRequest::getConsumedLogFiles() const {
    return consumedLogFiles;
}

bool ZEBSyncRequest::buildRequest() {
    if (context->appData == nullptr || logSource == nullptr) return false;
    requestText = buildRequestInfo(messageType, true);
    requestText += reportSections(*context->appData, sendReachOut, optOut);
    return true;
}

bool ZEBSyncRequest::parseResponse() {
    // Configuration and reach-out count whatever the instruction says.
    applyConfig();
    queueReachOut();
    std::string instruction;
    if (!findValue("INSTRUCTION:", instruction)) return false;
    if (instruction == "NOLOG") return true;
    if (instruction == "PURGELOG") {
        consumedLogFiles = logSource->getLogFiles(true, true);
        return true;
    }
    if (instruction != "UPLOAD") return false;
    std::string url;
    if (!findValue("URL:", url)) return false;
    // Closing the active file first puts every event written so far into
    // a file that can be sent whole.
    logSource->flush();
    std::vector<std::string> files;
    for (std::string& name : logSource->getLogFiles(true, true)) {
        if (alreadySent.count(name) == 0) files.push_back(std::move(name));
    }
    ZEBSyncUpload upload(context, url, std::move(files));
    if (!upload.exchange()) return false;
    // Only what went out may be deleted: a file that could not be read
    // keeps its events for a later upload.
    consumedLogFiles = upload.getSentFiles();
    return true;
}

}  // namespace ZEBInternal
