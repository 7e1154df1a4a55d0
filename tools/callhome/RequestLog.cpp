#include "RequestLog.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "util/Files.h"

namespace ZEBCallHome {

namespace {

// Values come from the request, so they are made safe for a one-line,
// space-separated format: nothing outside printable ASCII, no spaces.
std::string field(const std::string& value) {
    if (value.empty()) return "-";
    std::string out = value.substr(0, 200);
    for (char& c : out)
        if (c <= ' ' || c >= 127) c = '_';
    return out;
}

void writeStdoutLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace

void RequestLog::print(const RequestRecord& r) {
    std::string line = "REQUEST seq=" + std::to_string(r.seq) + " type=" + field(r.type) +
                       " client=" + field(r.client) + " mode=" + field(r.mode) +
                       " form=" + field(r.form) + " path=" + field(r.path) +
                       " verdict=" + field(r.verdict) + " http=" + std::to_string(r.http) +
                       " answer=" + field(r.answer) + " fault=" + field(r.fault) +
                       " auth=" + field(r.auth);
    if (r.bodyBytes >= 0) line += " body=" + std::to_string(r.bodyBytes);
    if (r.textBytes >= 0) line += " text=" + std::to_string(r.textBytes);
    if (!r.newId.empty()) line += " newid=" + field(r.newId);
    if (!r.stored.empty()) line += " stored=" + field(r.stored);
    if (!r.detail.empty()) line += " detail=" + field(r.detail);
    std::lock_guard<std::mutex> lock(lock_);
    writeStdoutLine(line);
    appendToRequestLog(line);
}

void RequestLog::appendToRequestLog(const std::string& line) {
    if (outDir_.empty()) return;
    // Appended under lock_, so lines never interleave; a reader may see the
    // last line still growing, never two lines mixed.
    const std::string path = outDir_ + "/requests.log";
    if (!ZEBInternal::writeFile(path, line + "\n", true))
        std::fprintf(stderr, "zeb-callhome: appending to %s failed\n", path.c_str());
}

void RequestLog::printLine(const std::string& line) {
    std::lock_guard<std::mutex> lock(lock_);
    writeStdoutLine(line);
}

std::string RequestLog::store(const std::string& name, const std::string& content) {
    if (outDir_.empty()) return "";
    std::lock_guard<std::mutex> lock(lock_);
    const std::string temp = outDir_ + "/.incoming-" + std::to_string(::getpid()) + "-" +
                             std::to_string(++tempCounter_) + ".tmp";
    if (!ZEBInternal::writeFile(temp, content, false)) {
        std::fprintf(stderr, "zeb-callhome: writing %s failed\n", temp.c_str());
        ZEBInternal::removeFile(temp);
        return "";
    }
    // link(2) never replaces an existing file, so a name left by an earlier
    // run is kept and the new file gets the next free suffix.
    std::string stored;
    for (int n = 1; n < 1000 && stored.empty(); ++n) {
        std::string candidate = name;
        if (n > 1) {
            const size_t dot = name.rfind('.');
            const std::string suffix = "-" + std::to_string(n);
            candidate = dot == std::string::npos ? name + suffix
                                                 : name.substr(0, dot) + suffix + name.substr(dot);
        }
        if (::link(temp.c_str(), (outDir_ + "/" + candidate).c_str()) == 0) {
            stored = candidate;
        } else if (errno != EEXIST) {
            std::fprintf(stderr, "zeb-callhome: storing %s failed: %s\n", candidate.c_str(),
                         std::strerror(errno));
            break;
        }
    }
    ZEBInternal::removeFile(temp);
    return stored;
}

}  // namespace ZEBCallHome
