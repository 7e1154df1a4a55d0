#pragma once
// Bounded reads of the files, links and directories the probes look at.
// /proc, /sys and /etc belong to the machine, not to us: a file may be huge,
// binary, a FIFO or a device, a directory may hold links that loop. Every
// read here is capped, opens without blocking, accepts regular files only
// and never follows a link it only needs to name. Stateless; any thread.

#include <cstddef>
#include <string>
#include <vector>

namespace ZEBInternal {

constexpr size_t kProbeFileLimit = 4u << 20;   // bytes read from one probe file
constexpr size_t kProbeDirectoryLimit = 4096;  // entries looked at in one directory
constexpr size_t kLinkTargetLimit = 1024;      // bytes of a link target

// The first `limit` bytes of a regular file; empty when it cannot be opened
// or read, or is not a regular file (a FIFO would block, a device would
// never end). For probes that scan lines near the start.
std::string readProbePrefix(const std::string& path, size_t limit = kProbeFileLimit);
// The same, telling an empty file (true) from one that cannot be read.
bool readProbePrefix(const std::string& path, size_t limit, std::string& content);

// The whole content of a regular file of at most `limit` bytes. False, with
// `content` empty, when it cannot be read or is longer: for probes that use
// all of a file, a longer one is not what they expect.
bool readProbeWhole(const std::string& path, std::string& content, size_t limit);

// The first line of a file as fgets(3) reads it into a buffer of
// `bufferSize` bytes: at most bufferSize - 1 bytes, the line feed included
// when it fits. Empty when the file cannot be read.
std::string readFirstLine(const std::string& path, size_t bufferSize);

// The target of a symbolic link, at most kLinkTargetLimit bytes; false when
// `path` is not a link or cannot be read.
bool readLinkTarget(const std::string& path, std::string& target);

struct DirectoryEntry {
    std::string name;
    bool isLink = false;  // the entry itself is a symbolic link
};

// Entries of `dir` in directory order, "." and ".." left out, at most
// kProbeDirectoryLimit of them; empty when it cannot be opened. Links are
// reported, never followed.
std::vector<DirectoryEntry> listEntries(const std::string& dir);

}  // namespace ZEBInternal
