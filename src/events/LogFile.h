#pragma once
// The event log files of this client in the data directory. Lines are
// appended to one active file per run (".logtmp"); closing renames it to
// ".log" so that a sync can upload it, and the next batch starts a new file
// whose first line names the file (type "0051").
//
// Names: "zeblogV5_" + client ID + "_" + encoded product ID + "_" + app name
// + "_" + stamp + extension. Every process writes only its own active file
// (its stamp is its own) and renames are atomic and never replace a file,
// so several processes can share one data directory. The writer claims its
// active file (FileClaim) for as long as it is open, so another process's
// sync never takes it however old its modification time looks (a host
// suspended for an hour); only an unclaimed active file, whose writer is
// gone, can be stale. Listing ignores the
// application name for the current client ID: every application of the same
// product and client uploads all files; files of this application under an
// earlier client ID (the server may hand out a new one) are listed as well.
// An active file keeps the name it was started with until it is closed.
//
// Lock order: log file, then configuration file (taken while records are
// serialised).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "events/ZEBEventInfo.h"
#include "threading/ZEBMutex.h"
#include "util/FileClaim.h"

namespace ZEBInternal {

class Diagnostics;

class Configuration;

class LogFile {
public:
    using Batch = std::vector<std::unique_ptr<ZEBEventInfo>>;

    // configuration is borrowed: the SDK deletes it after this.
    // `diagnostics` may be null: nothing is reported.
    explicit LogFile(Configuration* configuration, Diagnostics* diagnostics = nullptr);
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Writes the batch to the active file, or drops it while the log files
    // together reach the server's size limit; of a batch larger than the
    // room left, the oldest events that fit are written and the rest
    // dropped, so the files never grow past the limit. The records are always
    // destroyed and the batch emptied. false: the write failed and left
    // nothing of the batch in the file; the active file is then closed so
    // that the next batch starts a new one.
    bool appendEvents(Batch& batch);
    // Sets the active file's modification time to now, if it exists, so
    // that a running process's file never counts as stale.
    void touchActiveFile();
    // Renames the active file to its closed name if this run started one
    // (a fresh stamp when that name is taken), flushing the file before and
    // the directory after, and takes a new stamp either way. false: the
    // flush or the rename failed.
    bool closeActiveFile();
    // Closed files, then (includeActive) active files, each oldest stamp
    // first, of the current client ID (any application) and of earlier
    // client IDs (this application); onlyStale keeps the active files that
    // no live writer claims and that were not modified for more than
    // SYNCSTALLEDACTIVEFILETHRESHOLDSEC seconds.
    std::vector<std::string> listLogFiles(bool includeActive, bool onlyStale);
    // Size of every listed file, active ones included, in whole KiB.
    uint32_t totalSizeKiB();
    std::string activeFileName();
    std::string closedFileName();

private:
    // Events dropped because the logs reached FILESIZETHRESHOLD.
    void reportFull(size_t dropped);
    std::string prefix() const;
    // prefix() + application name + "_": a name without its stamp.
    std::string stem() const;
    // Renames the active file to its closed name, or to one with a fresh
    // stamp when that is taken; never over an existing file.
    bool renameUnderFreeName(const std::string& dir, const std::string& active);
    // An active file that vanished or was replaced under its name (a peer
    // of an older version took it) is given up, so that the next write
    // starts a new file with its first line.
    void dropVanishedActiveFile();
    // Records that the file at path (name) was started by a write, and
    // claims it.
    void startedAs(const std::string& name, const std::string& path);
    // room: bytes the log files may still grow by. Sets activeFileOpen_
    // unless nothing of the batch fits in a file not yet started.
    bool writeBatch(Batch& batch, uint64_t room);
    // The sizes of every listed file, summed without wrapping.
    uint64_t totalSizeBytes();

    std::unique_ptr<ZEBMutex> lock_;  // "LogFile API lock"
    Configuration* configuration_;
    Diagnostics* diagnostics_;
    // Reported once each until the condition ends, not every batch.
    bool fullReported_ = false;
    bool refusalsReported_ = false;
    // Guarded by lock_.
    std::string nameSuffix_;
    bool activeFileOpen_ = false;
    // The active file's full name, fixed when the file was started.
    std::string openName_;
    // Held from the file's first write until it is closed; invalid when it
    // could not be taken (no descriptor left), the name then being the
    // only protection.
    FileClaim claim_;
};

}  // namespace ZEBInternal
