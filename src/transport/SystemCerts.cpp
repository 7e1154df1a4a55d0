#include "transport/SystemCerts.h"

#include <dirent.h>

#include "util/Files.h"
#include "util/Strings.h"

namespace ZEBInternal {

namespace {

const char kSystemCertDir[] = "/etc/ssl/certs";
const char kBeginLine[] = "-----BEGIN CERTIFICATE-----";
const char kEndLine[] = "-----END CERTIFICATE-----";

class DirHandle {
public:
    explicit DirHandle(const std::string& path) : dir(opendir(path.c_str())) {}
    ~DirHandle() {
        if (dir != nullptr) closedir(dir);
    }
    DirHandle(const DirHandle&) = delete;
    DirHandle& operator=(const DirHandle&) = delete;
    DIR* get() const { return dir; }

private:
    DIR* dir;
};

// Every entry name, links included: the certificate folder is mostly
// symbolic links into the package's own folder.
std::vector<std::string> entryNames(const std::string& dir) {
    std::vector<std::string> names;
    DirHandle handle(dir);
    if (handle.get() == nullptr) return names;
    while (const dirent* entry = readdir(handle.get())) {
        const std::string entryName = entry->d_name;
        if (entryName != "." && entryName != "..") names.push_back(entryName);
    }
    return names;
}

}  // namespace

std::vector<std::string> splitPemCertificates(const std::string& text) {
    const std::vector<std::string> lines = split(text, "\n");
    std::vector<std::string> certs;
    for (size_t begin = 0; begin < lines.size(); ++begin) {
        if (lines[begin] != kBeginLine) continue;
        size_t end = begin + 1;
        while (end < lines.size() && lines[end] != kEndLine) ++end;
        if (end == lines.size()) break;
        std::string cert;
        for (size_t i = begin; i <= end; ++i) cert += lines[i] + "\r\n";
        certs.push_back(std::move(cert));
    }
    return certs;
}

std::vector<std::string> discoverSystemCerts(const std::string& certDir, std::string* from) {
    for (const char* bundle : {"/ca-bundle.crt", "/ca-certificates.crt"}) {
        std::vector<std::string> certs = splitPemCertificates(readFile(certDir + bundle));
        if (from != nullptr) *from = certDir + bundle;
        if (!certs.empty()) return certs;
    }
    if (from != nullptr) *from = "the .crt files of " + certDir;
    std::vector<std::string> certs;
    for (const std::string& entry : entryNames(certDir)) {
        if (entry.find(".crt") == std::string::npos) continue;
        for (std::string& cert : splitPemCertificates(readFile(certDir + "/" + entry)))
            certs.push_back(std::move(cert));
    }
    return certs;
}

std::vector<std::string> discoverSystemCerts(std::string* from) {
    return discoverSystemCerts(kSystemCertDir, from);
}

}  // namespace ZEBInternal
