#include "messages/ZEBSyncRequest.h"

#include "core/Diagnostics.h"
#include "core/SDKContext.h"
#include "core/ZEBLogFileSource.h"
#include "data/ReportSections.h"
#include "messages/ZEBSyncUpload.h"

namespace ZEBInternal {

ZEBSyncRequest::ZEBSyncRequest(const SDKContext* context, ZEBLogFileSource* logSource,
                               bool sendReachOut, bool optOut, std::set<std::string> alreadySent,
                               Consumer consume)
    : ZEBMessageBase(context, requestUrl(context), "sync"),
      logSource(logSource),
      sendReachOut(sendReachOut),
      optOut(optOut),
      alreadySent(std::move(alreadySent)),
      consume(std::move(consume)) {}

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
    report(context->diagnostics, LogLevel::kInfo,
           [&] { return "sync: the server's instruction is " + instruction; });
    if (instruction == "NOLOG") return true;
    if (instruction == "PURGELOG") {
        consumed(logSource->getLogFiles(true, true));
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
    return upload(url, std::move(files));
}

bool ZEBSyncRequest::upload(const std::string& url, std::vector<std::string> files) {
    for (bool first = true; first || !files.empty(); first = false) {
        ZEBSyncUpload piece(context, url, std::move(files));
        if (!piece.exchange()) {
            // Nothing left that this process may send (peers claimed the
            // rest) ends the sync as done; the first upload having nothing
            // at all fails it, as a sync without an upload always did.
            return !first && !piece.builtBody();
        }
        // Only what went out may be deleted: a file that could not be read
        // keeps its events for a later upload. The piece still holds the
        // claims while its files are consumed.
        consumed(piece.getSentFiles());
        files = piece.getRemainingFiles();
        report(context->diagnostics, LogLevel::kInfo, [&] {
            return "upload: " + std::to_string(piece.getSentFiles().size()) +
                   " log files acknowledged and deleted, " + std::to_string(files.size()) +
                   " left for the next upload";
        });
    }
    return true;
}

void ZEBSyncRequest::consumed(const std::vector<std::string>& names) {
    consumedLogFiles.insert(consumedLogFiles.end(), names.begin(), names.end());
    if (consume) consume(names);
}

}  // namespace ZEBInternal
