#include "config/ConfigFileWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "config/ConfigFileNames.h"
#include "util/FileDescriptor.h"
#include "util/Files.h"
#include "util/Strings.h"

namespace ZEBInternal {

namespace {

// Each taken stamp costs one failed open or rename; another saver takes at
// most a few, so running out means something else is wrong.
constexpr int kStampAttempts = 64;

enum class Outcome { kDone, kTaken, kFailed };

Outcome writeTemporary(const std::string& path, const std::string& text) {
    FileDescriptor fd(
        openRetrying(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd.valid()) return errno == EEXIST ? Outcome::kTaken : Outcome::kFailed;
    bool ok = writeFully(fd.get(), text.data(), text.size());
    int rc = -1;
    while (ok && (rc = ::fdatasync(fd.get())) != 0 && errno == EINTR) {
    }
    ok = ok && rc == 0;
    ok = fd.close() && ok;
    if (!ok) ::unlink(path.c_str());
    return ok ? Outcome::kDone : Outcome::kFailed;
}

// rename(2) would silently replace a file another process put under the same
// name. Only a file system that can neither rename without replacing nor
// link gets a plain rename.
Outcome renameNoReplace(const std::string& dir, const std::string& from, const std::string& to) {
    const int error = renameNoReplaceInDirectory(dir, from, to);
    if (error == 0) return Outcome::kDone;
    if (error == EEXIST) return Outcome::kTaken;
    if (error != EPERM && error != ENOTSUP) return Outcome::kFailed;
    return renameInDirectory(dir, from, to) ? Outcome::kDone : Outcome::kFailed;
}

}  // namespace

bool decodeConfigStamp(const std::string& stamp, uint64_t& value) {
    if (stamp.size() != 13) return false;
    uint64_t v = 0;
    for (const char c : stamp) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'A' && c <= 'V') {
            digit = c - 'A' + 10;
        } else {
            return false;
        }
        if (v > (UINT64_MAX >> 5)) return false;
        v = (v << 5) | static_cast<uint64_t>(digit);
    }
    value = v;
    return true;
}

std::string nextConfigStamp(const std::string& dir, const std::string& prefix) {
    std::string stamp = timeStamp32();
    uint64_t fresh = 0;
    if (!decodeConfigStamp(stamp, fresh)) return stamp;
    uint64_t newest = 0;
    for (const std::string& name : listDirectory(dir)) {
        uint64_t value = 0;
        if (isConfigCandidate(name, prefix) &&
            decodeConfigStamp(configCandidateStamp(name), value) && value > newest) {
            newest = value;
        }
    }
    return newest >= fresh && newest < UINT64_MAX ? toBase32(newest + 1) : stamp;
}

bool writeConfigFile(const std::string& dir, const std::string& prefix, std::string& stamp,
                     const std::string& text) {
    // An application name holding "/" would put the file outside the data
    // directory: refuse rather than write there.
    if (prefix.find('/') != std::string::npos) return false;
    for (int attempt = 0; attempt < kStampAttempts; ++attempt) {
        const std::string name = prefix + stamp + ".cfg";
        const std::string temporary = name + "tmp";
        const std::string temporaryPath = dir + "/" + temporary;
        Outcome outcome = writeTemporary(temporaryPath, text);
        if (outcome == Outcome::kDone) {
            outcome = renameNoReplace(dir, temporary, name);
            if (outcome != Outcome::kDone) ::unlink(temporaryPath.c_str());
        }
        if (outcome == Outcome::kDone) return true;
        if (outcome == Outcome::kFailed) return false;
        uint64_t value = 0;
        if (!decodeConfigStamp(stamp, value) || value == UINT64_MAX) return false;
        stamp = toBase32(value + 1);
    }
    return false;
}

}  // namespace ZEBInternal
