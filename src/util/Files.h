#pragma once
// File-system helpers for the data directory. Stateless free functions: no
// locks of their own; callers that share a directory serialise through their
// own store locks. Paths are texts with "/" as the separator. Every
// descriptor is opened close-on-exec, so a host that forks and execs never
// inherits one, and every call is retried when a signal interrupts it.

#include <cstdint>
#include <string>
#include <vector>

namespace ZEBInternal {

// By stat(2), following symbolic links; false when stat fails.
bool isDirectory(const std::string& path);
bool isRegularFile(const std::string& path);
// A regular file or a directory.
bool exists(const std::string& path);

// Size of a regular file, capped at UINT32_MAX; 0 for anything else.
uint32_t fileSize(const std::string& path);
// Seconds since a regular file's last modification, never below 0 (a file
// stamped in the future is 0 seconds old); 0 for anything else.
uint32_t fileAgeSeconds(const std::string& path);
// Sets a regular file's access and modification times to now.
bool touch(const std::string& path);
// True when no regular file is at path (nothing to do) or it was unlinked.
bool removeFile(const std::string& path);

// Absolute path with links and "." / ".." resolved; empty when it cannot be
// resolved (for example a missing component).
std::string realPath(const std::string& path);
// The text after the last "/" (all of it when there is none; empty for a
// path ending in "/").
std::string baseName(const std::string& path);
// The text before the last "/" without trailing separators; "/" for an
// entry of the root directory and empty when the path has no "/".
std::string dirName(const std::string& path);

// Whole content as bytes. The first form returns empty text when the file
// cannot be read; the second tells an empty file from a failure.
std::string readFile(const std::string& path);
bool readFile(const std::string& path, std::string& content);
// Creates or truncates (append false) or appends to (append true) the file
// and writes all of text. False when the file cannot be opened, when any
// write fails or falls short (a full disk), or when closing reports an
// error. A failed truncating write can leave a partial file: data files are
// therefore written under a fresh name and renamed into place by callers.
bool writeFile(const std::string& path, const std::string& text, bool append);

// Creates or truncates the file, writes all of text and flushes it to stable
// storage (fdatasync) before closing. The first step of a durable replace:
// the file is complete on disk before a rename can make it the current one.
bool writeFileDurably(const std::string& path, const std::string& text);
// Appends all of text or nothing: when a write fails or falls short (a full
// disk), the file is cut back to its size before the call, and a file this
// call created is removed, so that no partial line is ever left behind.
bool appendWhole(const std::string& path, const std::string& text);
// Flushes a regular file's data to stable storage (fdatasync). False when it
// cannot be opened or the flush fails.
bool syncFileData(const std::string& path);
// Flushes the directory itself (fsync on its descriptor), which makes the
// renames and removals done in it durable. True as well on a file system
// that cannot sync a directory (EINVAL): there is nothing more to be done.
bool syncDirectory(const std::string& dir);

// Names (not paths) of the regular files directly in dir, in directory
// order; sub-directories, links and other entries are skipped. Empty when
// the directory cannot be opened.
std::vector<std::string> listDirectory(const std::string& dir);
// Renames dir/from to dir/to. All three must be non-empty, from and to plain
// names without "/", and dir/from a regular file.
bool renameInDirectory(const std::string& dir, const std::string& from, const std::string& to);
// The same, but never replaces a file already at dir/to: 0 when renamed,
// EEXIST when the name is taken, another errno value when the rename
// failed. Where the file system cannot rename without replacing, the file
// is linked under the new name and its old name removed.
int renameNoReplaceInDirectory(const std::string& dir, const std::string& from,
                               const std::string& to);

// An existing regular file: it opens for appending. Otherwise path must end
// in a file name, and a file written there and removed again proves it.
bool isWritableFile(const std::string& path);
// Creates and removes a uniquely named probe file in dir; true when both
// succeed. A data directory whose files cannot be removed is no use, since
// uploaded logs must be deleted.
bool isWritableDirectory(const std::string& dir);

}  // namespace ZEBInternal
