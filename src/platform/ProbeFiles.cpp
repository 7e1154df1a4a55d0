#include "platform/ProbeFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "util/FileDescriptor.h"

namespace ZEBInternal {

namespace {

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

// Reads at most limit + 1 bytes, so the caller can tell "exactly limit"
// from "longer". False on any failure to open or read.
bool readCapped(const std::string& path, size_t limit, std::string& content) {
    content.clear();
    if (path.empty()) return false;
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    FileDescriptor fd(openRetrying(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.valid()) return false;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    char buffer[16384];
    while (content.size() <= limit) {
        const size_t want = std::min(sizeof buffer, limit + 1 - content.size());
        const ssize_t got = ::read(fd.get(), buffer, want);
        if (got < 0) {
            if (errno == EINTR) continue;
            content.clear();
            return false;
        }
        if (got == 0) break;
        content.append(buffer, static_cast<size_t>(got));
    }
    return true;
}

}  // namespace

bool readProbePrefix(const std::string& path, size_t limit, std::string& content) {
    if (!readCapped(path, limit, content)) return false;
    if (content.size() > limit) content.resize(limit);
    return true;
}

std::string readProbePrefix(const std::string& path, size_t limit) {
    std::string content;
    readProbePrefix(path, limit, content);
    return content;
}

bool readProbeWhole(const std::string& path, std::string& content, size_t limit) {
    if (readCapped(path, limit, content) && content.size() <= limit) return true;
    content.clear();
    return false;
}

std::string readFirstLine(const std::string& path, size_t bufferSize) {
    if (bufferSize < 2) return std::string();
    std::string content = readProbePrefix(path, bufferSize - 1);
    const size_t lineFeed = content.find('\n');
    if (lineFeed != std::string::npos) content.resize(lineFeed + 1);
    return content;
}

bool readLinkTarget(const std::string& path, std::string& target) {
    target.clear();
    if (path.empty()) return false;
    char buffer[kLinkTargetLimit];
    const ssize_t got = ::readlink(path.c_str(), buffer, sizeof buffer);
    if (got < 0) return false;
    target.assign(buffer, static_cast<size_t>(got));
    return true;
}

std::vector<DirectoryEntry> listEntries(const std::string& dir) {
    std::vector<DirectoryEntry> entries;
    if (dir.empty()) return entries;
    const int fd = openRetrying(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return entries;
    std::unique_ptr<DIR, DirCloser> handle(fdopendir(fd));
    if (!handle) {
        ::close(fd);
        return entries;
    }
    while (entries.size() < kProbeDirectoryLimit) {
        const struct dirent* entry = readdir(handle.get());
        if (entry == nullptr) break;
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        DirectoryEntry out;
        out.name = entry->d_name;
        if (entry->d_type == DT_UNKNOWN) {
            // Some file systems leave d_type empty: ask about the entry
            // itself, not what it points to.
            struct stat st {};
            out.isLink =
                fstatat(dirfd(handle.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(st.st_mode);
        } else {
            out.isLink = entry->d_type == DT_LNK;
        }
        entries.push_back(std::move(out));
    }
    return entries;
}

}  // namespace ZEBInternal
