#pragma once
// An exclusive advisory claim (flock) on one file of the data directory,
// held through a descriptor of its own. Several processes share the data
// directory: a log writer claims its active file for as long as it writes
// it, and an upload claims each file it sends until the file is deleted or
// the upload failed, so that no two processes ever send the same file and
// no sync takes a file somebody still writes. The kernel drops the claim
// when its holder dies, so a crash never strands a file.
//
// The claim belongs to the open file description: a forked child shares it
// until release() unlocks it explicitly, which also frees the child's copy.
// One owner, one thread; movable, not copyable.

#include <cstdint>
#include <string>

namespace ZEBInternal {

class FileClaim {
public:
    FileClaim() = default;
    ~FileClaim();
    FileClaim(FileClaim&& other) noexcept;
    FileClaim& operator=(FileClaim&& other) noexcept;
    FileClaim(const FileClaim&) = delete;
    FileClaim& operator=(const FileClaim&) = delete;

    // Opens the regular file at path read-only and claims it without
    // waiting. Invalid when the file is missing or no regular file, when
    // somebody else holds a claim on it, or when it was removed or replaced
    // while the claim was being taken (a peer that sent it deletes it
    // before it lets go). errno tells why an open failed. Where the file
    // system has no locks the claim is valid but holds nothing.
    static FileClaim take(const std::string& path);
    // True when a claim on the regular file at path could be taken now;
    // the probe's claim is dropped at once.
    static bool isUnclaimed(const std::string& path);

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    // The claimed file is still the one at path (not removed, not
    // replaced by another file of that name).
    bool isAt(const std::string& path) const;
    // Size of the claimed file now; 0 when it cannot be told.
    uint64_t size() const;
    // Unlocks and closes; the claim is then invalid.
    void release();

private:
    explicit FileClaim(int fd) : fd_(fd) {}

    int fd_ = -1;
};

}  // namespace ZEBInternal
