#include "messages/ZEBSyncUpload.h"

#include "config/Configuration.h"
#include "config/RuntimeSettings.h"
#include "util/Files.h"
#include "util/Gzip.h"

namespace ZEBInternal {

namespace {
constexpr const char* kSeparator = "++0--===--0++\n";
constexpr size_t kSeparatorRoom = 15;
}  // namespace

ZEBSyncUpload::ZEBSyncUpload(const SDKContext* context, std::string url,
                             std::vector<std::string> files)
    : ZEBMessageBase(context, std::move(url), "upload"), files(std::move(files)) {}

bool ZEBSyncUpload::buildRequest() {
    const ConfigAppVO& app = configuration->appValues();
    size_t room = 0;
    for (const std::string& name : files) {
        room += fileSize(app.pathInDataDirectory(name)) + kSeparatorRoom;
    }
    requestText.clear();
    requestText.reserve(room);
    sentFiles.clear();
    std::string content;
    for (const std::string& name : files) {
        // A file that vanished, cannot be read or is empty adds nothing, not
        // even a separator; only what was read counts as sent.
        if (!readFile(app.pathInDataDirectory(name), content)) continue;
        sentFiles.push_back(name);
        if (content.empty()) continue;
        if (!requestText.empty()) requestText += kSeparator;
        requestText += content;
        requestText += '\n';
    }
    return !requestText.empty();
}

const std::vector<std::string>& ZEBSyncUpload::getSentFiles() const {
    return sentFiles;
}

bool ZEBSyncUpload::finaliseBody() {
    if (!settings->USEZIP) return ZEBMessageBase::finaliseBody();
    body = gzipCompress(requestText);
    requestText.clear();
    requestText.shrink_to_fit();
    return !body.empty();
}

bool ZEBSyncUpload::parseResponse() {
    std::string value;
    if (!findValue("STATUS:", value) || value != "OK") return false;
    applyConfig();
    return true;
}

}  // namespace ZEBInternal
