#include "events/LogFile.h"

#include <algorithm>
#include <cerrno>

#include "config/ConfigFile.h"
#include "config/Configuration.h"
#include "config/RuntimeSettings.h"
#include "core/Diagnostics.h"
#include "events/ZEBEventLifecycle.h"
#include "threading/ZEBScopedLock.h"
#include "util/Files.h"
#include "util/Guid.h"
#include "util/Strings.h"

namespace ZEBInternal {

namespace {

constexpr const char* kClosedExtension = ".log";
constexpr const char* kActiveExtension = ".logtmp";
// A batch's text is written in pieces of about this size; a piece may pass
// it by one line, which the buffer has room for unless the line is long. A
// small batch reserves about 96 bytes a record.
constexpr size_t kWritePieceBytes = size_t{1} << 20;
constexpr size_t kLineRoom = 4096;

// A file of ours: the prefix, and the first occurrence of the extension
// after the prefix ends the name. ".log" therefore never matches an active
// ".logtmp" name.
bool matches(const std::string& name, const std::string& prefix, const std::string& extension) {
    if (!startsWith(name, prefix) || name.size() < prefix.size() + extension.size()) return false;
    return name.find(extension, prefix.size()) == name.size() - extension.size();
}

// A file this application wrote under an earlier client ID: "zeblogV5_",
// any client ID but the current one, then "_" + encoded product ID + "_" +
// application name + "_", a stamp without "_" and the extension. Within one
// product and application the data directory holds one client identity
// (the configuration file is theirs alone), so when the server hands out a
// new client ID these files are still this client's events.
bool isEarlierClients(const std::string& name, const std::string& clientID,
                      const std::string& productAndApp, const std::string& extension) {
    static const std::string kHead = "zeblogV5_";
    if (!startsWith(name, kHead) || name.size() <= kHead.size() + extension.size()) return false;
    const size_t extensionAt = name.size() - extension.size();
    if (name.find(extension, kHead.size()) != extensionAt) return false;
    const size_t stampAt = name.rfind('_', extensionAt) + 1;
    if (stampAt == 0 || stampAt == extensionAt) return false;
    // stampAt - 1 is the "_" before the stamp.
    if (stampAt - 1 < kHead.size() + productAndApp.size()) return false;
    const size_t tailAt = stampAt - 1 - productAndApp.size();
    if (name.compare(tailAt, productAndApp.size(), productAndApp) != 0) return false;
    return name.compare(kHead.size(), tailAt - kHead.size(), clientID) != 0 ||
           tailAt - kHead.size() != clientID.size();
}

std::string closedNameOf(const std::string& active) {
    return active.substr(0, active.size() - std::char_traits<char>::length(kActiveExtension)) +
           kClosedExtension;
}

// The stamp between a name's last "_" and its extension: byte order is
// time order.
std::string stampOf(const std::string& name) {
    const size_t underscore = name.rfind('_');
    return underscore == std::string::npos ? name : name.substr(underscore + 1);
}

// Oldest first, so that an upload carries events in the order they were
// written; the directory's own order is arbitrary.
void sortByStamp(std::vector<std::string>& names, size_t from) {
    std::stable_sort(names.begin() + static_cast<std::ptrdiff_t>(from), names.end(),
                     [](const std::string& a, const std::string& b) {
                         return stampOf(a) < stampOf(b);
                     });
}

}  // namespace

LogFile::LogFile(Configuration* configuration, Diagnostics* diagnostics)
    : lock_(createMutex(true, "LogFile API lock")),
      configuration_(configuration),
      diagnostics_(diagnostics),
      nameSuffix_(timeStamp32()) {}

std::string LogFile::prefix() const {
    return "zeblogV5_" + configuration_->file().getClientID() + "_" +
           configuration_->appValues().getEncodedProductID() + "_";
}

std::string LogFile::stem() const {
    return prefix() + configuration_->appValues().getAppName() + "_";
}

std::string LogFile::activeFileName() {
    ZEBScopedLock guard(lock_.get());
    return activeFileOpen_ ? openName_ : stem() + nameSuffix_ + kActiveExtension;
}

std::string LogFile::closedFileName() {
    ZEBScopedLock guard(lock_.get());
    return closedNameOf(activeFileName());
}

bool LogFile::appendEvents(Batch& batch) {
    ZEBScopedLock guard(lock_.get());
    bool result = true;
    const uint64_t limit = uint64_t{configuration_->file().getFileSizeThreshold()} * 1024u;
    dropVanishedActiveFile();
    const uint64_t used = totalSizeBytes();
    if (used < limit) {
        result = writeBatch(batch, limit - used);
    } else {
        // Log full: dropped until uploads make room. A run that has not
        // started its file yet leaves it unstarted, so the file begun once
        // there is room still opens with its "0051" line.
        reportFull(batch.size());
        touchActiveFile();
    }
    batch.clear();
    if (!result) closeActiveFile();
    return result;
}

void LogFile::dropVanishedActiveFile() {
    if (!activeFileOpen_) return;
    const std::string path = configuration_->appValues().pathInDataDirectory(openName_);
    if (claim_.valid() ? claim_.isAt(path) : isRegularFile(path)) return;
    claim_.release();
    activeFileOpen_ = false;
    nameSuffix_ = timeStamp32();
}

void LogFile::startedAs(const std::string& name, const std::string& path) {
    if (activeFileOpen_) return;
    openName_ = name;
    activeFileOpen_ = true;
    // Claimed right after its creation: a peer's sync leaves a file that
    // young alone anyway, and from now on whatever its age.
    claim_ = FileClaim::take(path);
}

bool LogFile::writeBatch(Batch& batch, uint64_t room) {
    ConfigFile& configFile = configuration_->file();
    // The name is fixed when the file is started: a client ID the server
    // replaces meanwhile must not move the appends, or the close, to a file
    // that does not exist.
    const std::string name = activeFileName();
    const std::string path = configuration_->appValues().pathInDataDirectory(name);
    std::string buffer;
    buffer.reserve(std::min(batch.size() * 96 + kLineRoom, kWritePieceBytes + kLineRoom));
    if (!activeFileOpen_) {
        ZEBEventNewFile first(makeGuid(), configuration_->appValues().getInstanceID(),
                              configuration_->appValues().getAppName());
        first.serializeInto(configFile, buffer);
        buffer.push_back('\n');
    }
    // The text goes out in pieces: a piece stays in the cache while it is
    // built, and a large batch never holds its whole text in memory. Each
    // piece is appended whole or not at all, so a failed write never leaves
    // half a line. After a failed write the rest is still serialised (for
    // the feature count) but not written.
    //
    // The server's limit holds for the files as written, not only before a
    // batch: a batch bigger than the room left keeps its oldest lines that
    // fit and drops the rest, as if the log had filled between two events.
    takeFieldCuts();  // counts from before this batch are not its own
    bool full = false;
    size_t dropped = 0;
    size_t refused = 0;
    bool ok = true;
    bool wrote = false;
    uint64_t written = 0;
    size_t recordLines = 0;
    size_t next = 0;
    size_t pieceFrom = 0;
    const auto writePiece = [&] {
        if (ok && !appendWhole(path, buffer)) {
            ok = false;
            const int err = errno;
            report(diagnostics_, LogLevel::kError, [&] {
                return "could not write the event log " + name + ": " + errnoText(err);
            });
        }
        written += buffer.size();
        wrote = true;
        startedAs(name, path);
        buffer.clear();
        // Freed once their piece is out, so a large batch never holds both
        // its records and its text at their full size, and an exception
        // (memory, a lock) leaves the records not yet written in the batch.
        for (; pieceFrom < next; ++pieceFrom) batch[pieceFrom].reset();
    };
    while (next < batch.size()) {
        {
            ConfigFile::Hold decisions(configFile);
            for (; next < batch.size() && buffer.size() < kWritePieceBytes; ++next) {
                std::unique_ptr<ZEBEventInfo>& record = batch[next];
                const size_t before = buffer.size();
                if (!record) continue;
                if (full) {
                    ++dropped;
                } else if (record->serializeInto(configFile, buffer)) {
                    buffer.push_back('\n');
                    if (written + buffer.size() > room) {
                        buffer.resize(before);
                        full = true;
                        ++dropped;
                    } else {
                        ++recordLines;
                    }
                } else {
                    ++refused;
                }
            }
        }
        if (buffer.size() >= kWritePieceBytes) writePiece();
    }
    if (dropped > 0) reportFull(dropped);
    else fullReported_ = false;
    if (const size_t cuts = takeFieldCuts()) {
        report(diagnostics_, LogLevel::kInfo, [&] {
            return std::to_string(cuts) +
                   " event fields cut to the server's limits (CUSTOMTEXTTHRESHOLD, "
                   "NAMESIZETHRESHOLD, VALUESIZETHRESHOLD, EXCEPTIONTEXTTHRESHOLD, ETFLAG)";
        });
    }
    if (refused > 0) {
        report(diagnostics_, refusalsReported_ ? LogLevel::kDebug : LogLevel::kWarning, [&] {
            return std::to_string(refused) +
                   " events not written: the server switched feature tracking or exception "
                   "tracking off, or FEATLISTLIMIT features were written since the last upload";
        });
        refusalsReported_ = true;
    }
    if (full && recordLines == 0 && !activeFileOpen_) {
        // Not even one event fits: no file made of its first line alone.
        if (isRegularFile(path)) touch(path);
        return true;
    }
    if (!buffer.empty()) writePiece();
    startedAs(name, path);
    if (!wrote && isRegularFile(path)) touch(path);
    return ok;
}

void LogFile::reportFull(size_t dropped) {
    report(diagnostics_, fullReported_ ? LogLevel::kDebug : LogLevel::kWarning, [&] {
        return std::to_string(dropped) + " events dropped: the event logs reached " +
               std::to_string(configuration_->file().getFileSizeThreshold()) +
               " KiB (FILESIZETHRESHOLD); events are dropped until an upload makes room";
    });
    fullReported_ = true;
}

void LogFile::touchActiveFile() {
    ZEBScopedLock guard(lock_.get());
    const std::string path = configuration_->appValues().pathInDataDirectory(activeFileName());
    if (exists(path)) touch(path);
}

bool LogFile::closeActiveFile() {
    ZEBScopedLock guard(lock_.get());
    bool result = true;
    if (activeFileOpen_) {
        // The closed file is what the sync uploads and then deletes: its lines
        // reach the disk before it takes its closed name, and the name before
        // anyone acts on it, so a power loss never leaves a closed file cut
        // short or empty.
        const std::string dir = configuration_->appValues().getDataDirectory();
        const std::string active = openName_;
        const bool synced = syncFileData(configuration_->appValues().pathInDataDirectory(active));
        result = renameUnderFreeName(dir, active) && synced;
        if (!result) {
            const int err = errno;
            report(diagnostics_, LogLevel::kError, [&] {
                return "could not close the event log " + active + ": " + errnoText(err);
            });
        }
        if (result) result = syncDirectory(dir);
        // Only once it has its closed name: until then no sync may take it.
        claim_.release();
        activeFileOpen_ = false;
    }
    nameSuffix_ = timeStamp32();
    return result;
}

bool LogFile::renameUnderFreeName(const std::string& dir, const std::string& active) {
    // A closed name already taken belongs to another writer (a forked child
    // shares our stamp): a rename over it would delete its lines. The file
    // then closes under a fresh stamp.
    const std::string closedStem = active.substr(0, active.rfind('_') + 1);
    std::string closed = closedNameOf(active);
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int error = renameNoReplaceInDirectory(dir, active, closed);
        if (error != EEXIST) return error == 0;
        closed = closedStem + timeStamp32() + kClosedExtension;
    }
    return false;
}

std::vector<std::string> LogFile::listLogFiles(bool includeActive, bool onlyStale) {
    ZEBScopedLock guard(lock_.get());
    const std::string ours = prefix();
    const std::string clientID = configuration_->file().getClientID();
    const std::string productAndApp = "_" + configuration_->appValues().getEncodedProductID() +
                                      "_" + configuration_->appValues().getAppName();
    const auto isOurs = [&](const std::string& name, const char* extension) {
        return matches(name, ours, extension) ||
               isEarlierClients(name, clientID, productAndApp, extension);
    };
    const std::vector<std::string> names =
        listDirectory(configuration_->appValues().getDataDirectory());
    std::vector<std::string> result;
    for (const std::string& name : names) {
        if (isOurs(name, kClosedExtension)) result.push_back(name);
    }
    sortByStamp(result, 0);
    if (!includeActive) return result;
    const size_t closedCount = result.size();
    const uint32_t staleAfter = configuration_->settings()->SYNCSTALLEDACTIVEFILETHRESHOLDSEC;
    for (const std::string& name : names) {
        if (!isOurs(name, kActiveExtension)) continue;
        const std::string path = configuration_->appValues().pathInDataDirectory(name);
        // The age first: it is the cheap test, and a file just created is
        // young until its writer has claimed it.
        if (onlyStale && (fileAgeSeconds(path) <= staleAfter || !FileClaim::isUnclaimed(path)))
            continue;
        result.push_back(name);
    }
    sortByStamp(result, closedCount);
    return result;
}

uint64_t LogFile::totalSizeBytes() {
    ZEBScopedLock guard(lock_.get());
    uint64_t total = 0;
    for (const std::string& name : listLogFiles(true, false)) {
        total += fileSize(configuration_->appValues().pathInDataDirectory(name));
    }
    return total;
}

uint32_t LogFile::totalSizeKiB() {
    ZEBScopedLock guard(lock_.get());
    uint32_t total = 0;
    for (const std::string& name : listLogFiles(true, false)) {
        total += fileSize(configuration_->appValues().pathInDataDirectory(name));
    }
    return total / 1024;
}

}  // namespace ZEBInternal
