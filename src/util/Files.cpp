#include "util/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "util/FileDescriptor.h"
#include "util/Guid.h"

namespace ZEBInternal {

namespace {

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};

bool statPath(const std::string& path, struct stat& st) {
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

// A name that stays inside its directory.
bool isPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// The directory is opened through a close-on-exec descriptor; fdopendir
// takes the descriptor over only when it succeeds.
DirHandle openDirectory(const std::string& dir) {
    const int fd = openRetrying(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return DirHandle();
    DIR* d = fdopendir(fd);
    if (d == nullptr) {
        ::close(fd);
        return DirHandle();
    }
    return DirHandle(d);
}

}  // namespace

bool isDirectory(const std::string& path) {
    struct stat st {};
    return statPath(path, st) && S_ISDIR(st.st_mode);
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return statPath(path, st) && S_ISREG(st.st_mode);
}

bool exists(const std::string& path) {
    struct stat st {};
    return statPath(path, st) && (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode));
}

uint32_t fileSize(const std::string& path) {
    struct stat st {};
    if (!statPath(path, st) || !S_ISREG(st.st_mode) || st.st_size < 0) return 0;
    // Capped rather than wrapped, so a huge file never looks small.
    if (static_cast<uint64_t>(st.st_size) > UINT32_MAX) return UINT32_MAX;
    return static_cast<uint32_t>(st.st_size);
}

uint32_t fileAgeSeconds(const std::string& path) {
    struct stat st {};
    if (!statPath(path, st) || !S_ISREG(st.st_mode)) return 0;
    const int64_t age = static_cast<int64_t>(time(nullptr)) - static_cast<int64_t>(st.st_mtime);
    if (age <= 0) return 0;
    return age > static_cast<int64_t>(UINT32_MAX) ? UINT32_MAX : static_cast<uint32_t>(age);
}

bool touch(const std::string& path) {
    if (!isRegularFile(path)) return false;
    return utimensat(AT_FDCWD, path.c_str(), nullptr, 0) == 0;
}

bool removeFile(const std::string& path) {
    if (!isRegularFile(path)) return true;
    return ::unlink(path.c_str()) == 0;
}

std::string realPath(const std::string& path) {
    if (path.empty()) return std::string();
    // Let realpath allocate: no fixed buffer to overrun, whatever PATH_MAX is.
    std::unique_ptr<char, FreeDeleter> resolved(::realpath(path.c_str(), nullptr));
    return resolved ? std::string(resolved.get()) : std::string();
}

std::string baseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string dirName(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    while (slash > 0 && path[slash - 1] == '/') --slash;
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool readFile(const std::string& path, std::string& content) {
    content.clear();
    FileDescriptor fd(openRetrying(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return false;
    char buf[16384];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buf, sizeof buf);
        if (got < 0) {
            if (errno == EINTR) continue;
            content.clear();
            return false;
        }
        if (got == 0) return true;
        content.append(buf, static_cast<size_t>(got));
    }
}

std::string readFile(const std::string& path) {
    std::string content;
    readFile(path, content);
    return content;
}

bool writeFile(const std::string& path, const std::string& text, bool append) {
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    FileDescriptor fd(openRetrying(path.c_str(), flags, 0666));
    if (!fd.valid()) return false;
    const bool written = writeFully(fd.get(), text.data(), text.size());
    const bool closed = fd.close();
    return written && closed;
}

namespace {

int dataSyncRetrying(int fd) {
    int rc;
    do {
        rc = ::fdatasync(fd);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

}  // namespace

bool writeFileDurably(const std::string& path, const std::string& text) {
    FileDescriptor fd(openRetrying(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!fd.valid()) return false;
    const bool written = writeFully(fd.get(), text.data(), text.size());
    const bool synced = written && dataSyncRetrying(fd.get()) == 0;
    const bool closed = fd.close();
    return synced && closed;
}

bool appendWhole(const std::string& path, const std::string& text) {
    // O_EXCL first, so that the call knows whether the file is its own.
    int raw = openRetrying(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0666);
    const bool created = raw >= 0;
    if (!created && errno == EEXIST)
        raw = openRetrying(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    FileDescriptor fd(raw);
    if (!fd.valid()) return false;
    struct stat st {};
    if (fstat(fd.get(), &st) != 0) return false;
    if (writeFully(fd.get(), text.data(), text.size()) && fd.close()) return true;
    // A reader would otherwise find a line cut short, and the next append
    // would glue its first line onto it.
    if (created) {
        ::unlink(path.c_str());
    } else if (fd.valid()) {
        while (::ftruncate(fd.get(), st.st_size) != 0 && errno == EINTR) {
        }
    } else {
        while (::truncate(path.c_str(), st.st_size) != 0 && errno == EINTR) {
        }
    }
    return false;
}

bool syncFileData(const std::string& path) {
    // Linux flushes through a read-only descriptor as well; no write access
    // is needed, and O_NONBLOCK keeps a FIFO planted under the name from
    // blocking.
    FileDescriptor fd(openRetrying(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) return false;
    struct stat st {};
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return dataSyncRetrying(fd.get()) == 0;
}

bool syncDirectory(const std::string& dir) {
    FileDescriptor fd(openRetrying(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) return false;
    int rc;
    do {
        rc = ::fsync(fd.get());
    } while (rc != 0 && errno == EINTR);
    return rc == 0 || errno == EINVAL;
}

std::vector<std::string> listDirectory(const std::string& dir) {
    std::vector<std::string> names;
    DirHandle d = openDirectory(dir);
    if (!d) return names;
    while (struct dirent* entry = readdir(d.get())) {
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN) {
            // Some file systems do not fill d_type; ask for the entry itself,
            // not what a link points to.
            struct stat st {};
            regular = fstatat(dirfd(d.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                      S_ISREG(st.st_mode);
        }
        if (regular) names.emplace_back(entry->d_name);
    }
    return names;
}

bool renameInDirectory(const std::string& dir, const std::string& from, const std::string& to) {
    if (dir.empty() || !isPlainName(from) || !isPlainName(to)) return false;
    const std::string source = dir + "/" + from;
    if (!isRegularFile(source)) return false;
    return ::rename(source.c_str(), (dir + "/" + to).c_str()) == 0;
}

int renameNoReplaceInDirectory(const std::string& dir, const std::string& from,
                               const std::string& to) {
    if (dir.empty() || !isPlainName(from) || !isPlainName(to)) return EINVAL;
    const std::string source = dir + "/" + from;
    const std::string target = dir + "/" + to;
    if (!isRegularFile(source)) return ENOENT;
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // No RENAME_NOREPLACE here: a hard link is just as exclusive.
    if (::link(source.c_str(), target.c_str()) != 0) return errno;
    if (::unlink(source.c_str()) != 0) {
        const int error = errno;
        ::unlink(target.c_str());
        return error;
    }
    return 0;
}

bool isWritableFile(const std::string& path) {
    if (isRegularFile(path)) {
        FileDescriptor fd(openRetrying(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
        return fd.valid();
    }
    if (baseName(path).empty()) return false;
    if (!writeFile(path, "temp", false)) return false;
    return ::unlink(path.c_str()) == 0;
}

bool isWritableDirectory(const std::string& dir) {
    if (dir.empty()) return false;
    const std::string probe = dir + "/zebv5test_" + makeGuid() + ".txt";
    if (isRegularFile(probe)) return ::unlink(probe.c_str()) == 0;
    {
        // O_EXCL: never write through a link that someone planted under the
        // probe's name.
        FileDescriptor fd(
            openRetrying(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!fd.valid()) return false;
    }
    return ::unlink(probe.c_str()) == 0;
}

}  // namespace ZEBInternal
