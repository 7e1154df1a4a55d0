#include "config/ConfigFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <utility>
#include <vector>

#include "config/ConfigFileNames.h"
#include "config/ConfigFileWriter.h"
#include "config/RuntimeSettings.h"
#include "threading/ZEBScopedLock.h"
#include "util/FileDescriptor.h"
#include "util/Files.h"
#include "util/Strings.h"

namespace ZEBInternal {

namespace {

// Another process may replace the chosen file between listing and reading;
// a few quick retries cover that without stalling the caller.
constexpr int kLoadAttempts = 5;

uint32_t nowSeconds() { return static_cast<uint32_t>(std::time(nullptr)); }

void sleepOneMillisecond() {
    struct timespec delay {0, 1000000};
    while (nanosleep(&delay, &delay) != 0 && errno == EINTR) {
    }
}

// Reads at most limit bytes. O_NONBLOCK: a FIFO planted under a candidate's
// name must not block the caller; only a regular file is read.
bool readBounded(const std::string& path, size_t limit, std::string& content) {
    content.clear();
    FileDescriptor fd(openRetrying(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) return false;
    struct stat st {};
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) > limit) return false;
    content.reserve(static_cast<size_t>(st.st_size));
    // The file may still grow after fstat, so the limit is checked as it is read.
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (got == 0) return true;
        if (content.size() + static_cast<size_t>(got) > limit) return false;
        content.append(buffer, static_cast<size_t>(got));
    }
}

bool containsLineFeed(const std::string& text) { return text.find('\n') != std::string::npos; }

}  // namespace

bool ConfigFile::isUsableClientID(const std::string& id) {
    if (id.empty() || id.size() > kMaxClientIDBytes || id == "." || id == "..") return false;
    for (const char c : id) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7F) return false;
    }
    return true;
}

ConfigFile::ConfigFile(const RuntimeSettings* settings, const std::string& dataDirectory,
                       const std::string& productID, const std::string& appName)
    : lock_(createMutex(true, "ConfigFile API lock")),
      saveLock_(createMutex(false, "ConfigFile save lock")),
      settings_(settings),
      dataDirectory_(dataDirectory),
      productID_(productID),
      appName_(appName),
      prefix_(configFilePrefix(productID, appName)) {
    ZEBScopedLock guard(lock_.get());
    setDefaults();
    fileState_ = kStateDefaults;
}

ConfigFile::~ConfigFile() {
    try {
        save();
    } catch (...) {
        // A destructor must not throw; a lock failure here only loses a
        // save that the next run's registration or sync makes again.
    }
}

void ConfigFile::setDefaults() {
    values_ = ConfigValues();
    newFeatureCount_ = 0;
    publishFlags();
}

void ConfigFile::resetToDefaults() {
    ZEBScopedLock guard(lock_.get());
    setDefaults();
}

bool ConfigFile::verifySignature(const ConfigValues& candidate) const {
    // The ID names every log file: one that is empty or could leave the data
    // directory makes the file unusable, whatever its signature says.
    if (!isUsableClientID(candidate.clientID)) return false;
    if (computeConfigSignature(serializeConfigBody(candidate)) == candidate.signature) return true;
    return settings_ != nullptr && settings_->USECONFIGSIGNATURE == 0;
}

int ConfigFile::loadOnce() {
    std::vector<std::pair<std::string, std::string>> candidates;  // stamp, name
    for (const std::string& name : listDirectory(dataDirectory_)) {
        if (isConfigCandidate(name, prefix_))
            candidates.emplace_back(configCandidateStamp(name), name);
    }
    // Newest first; of equal stamps the first listed stays first.
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    // A damaged or tampered newest file must not cost the client its
    // identity: it is passed over, left in place, and the next save goes
    // past its stamp and removes it.
    for (const auto& [stamp, name] : candidates) {
        const std::string path = dataDirectory_ + "/" + name;
        std::string text;
        ConfigValues candidate;
        if (readBounded(path, kMaxFileBytes, text) &&
            parseConfigText(text, nowSeconds(), candidate) && verifySignature(candidate)) {
            candidate.nameSuffix = stamp;
            {
                ZEBScopedLock guard(lock_.get());
                setDefaults();
                values_ = std::move(candidate);
                publishFlags();
                fileState_ = kStateInSync;
            }
            deleteOlderCandidates(stamp);
            return 1;
        }
        // Vanished: another process replaced it with a newer one.
        if (!isRegularFile(path)) return -1;
    }
    return 0;
}

bool ConfigFile::load() {
    // The directory is read under the save lock only, so that no caller of
    // a getter waits for the disk.
    ZEBScopedLock saving(saveLock_.get());
    for (int attempt = 1; attempt <= kLoadAttempts; ++attempt) {
        const int result = loadOnce();
        if (result == 1) return true;
        if (result == 0) break;
        if (attempt < kLoadAttempts) sleepOneMillisecond();
    }
    ZEBScopedLock guard(lock_.get());
    setDefaults();
    fileState_ = kStateNoValidFile;
    return false;
}

void ConfigFile::deleteOlderCandidates(const std::string& stamp) const {
    for (const std::string& name : listDirectory(dataDirectory_)) {
        if (isConfigCandidate(name, prefix_) && configCandidateStamp(name) < stamp) {
            removeFile(dataDirectory_ + "/" + name);
        }
    }
}

bool ConfigFile::isSaveable() const {
    return fileState_ == kStateInSync || fileState_ == kStateChanged ||
           fileState_ == kStateSaveFailed;
}

bool ConfigFile::save() {
    // The save lock keeps saves and loads of this object in turn; lock_ is
    // held only to copy the values and to record the outcome, never across
    // the disk, which may take seconds to flush.
    ZEBScopedLock saving(saveLock_.get());
    {
        ZEBScopedLock guard(lock_.get());
        if (!isSaveable()) return false;
    }
    std::string stamp = nextConfigStamp(dataDirectory_, prefix_);
    std::string body;
    uint64_t changesSeen = 0;
    {
        ZEBScopedLock guard(lock_.get());
        if (!isSaveable()) return false;
        body = serializeConfigBody(values_);
        changesSeen = changeCount_;
    }
    const std::string signature = computeConfigSignature(body);
    if (beforeWriteHook_) beforeWriteHook_();
    // The new file reaches the disk before its name does, and its name before
    // the older files go: otherwise a power loss could leave an empty newest
    // file and no older one, and the client would register again under a new
    // ID. Older files whose replacement is not known to be on disk stay; the
    // next load removes them.
    const bool written =
        writeConfigFile(dataDirectory_, prefix_, stamp, "SIGNATURE:" + signature + "\n" + body);
    if (written && syncDirectory(dataDirectory_)) deleteOlderCandidates(stamp);

    ZEBScopedLock guard(lock_.get());
    if (!written) {
        fileState_ = kStateSaveFailed;
        return false;
    }
    values_.nameSuffix = stamp;
    values_.signature = signature;
    // A value changed while the file was written is not in it.
    fileState_ = changeCount_ == changesSeen ? kStateInSync : kStateChanged;
    return true;
}

void ConfigFile::setBeforeWriteHookForTest(std::function<void()> hook) {
    ZEBScopedLock saving(saveLock_.get());
    beforeWriteHook_ = std::move(hook);
}

bool ConfigFile::applyServerSetting(const std::string& key, const std::string& value) {
    ZEBScopedLock guard(lock_.get());
    ConfigValues& v = values_;
    std::string* text = key == "CONFIGVERSION:" ? &v.configVersion
                        : key == "CALLHOMEURL:" ? &v.callHomeURL
                        : key == "CLIENTID:"    ? &v.clientID
                                                : nullptr;
    uint32_t* number = key == "NAMESIZETHRESHOLD:"         ? &v.nameSizeThreshold
                       : key == "VALUESIZETHRESHOLD:"      ? &v.valueSizeThreshold
                       : key == "CUSTOMTEXTTHRESHOLD:"     ? &v.customTextThreshold
                       : key == "ETFLAG:"                  ? &v.exceptionTracking
                       : key == "EXCEPTIONTEXTTHRESHOLD:"  ? &v.exceptionTextThreshold
                       : key == "FEATLISTLIMIT:"           ? &v.featureListLimit
                       : key == "FILESIZETHRESHOLD:"       ? &v.fileSizeThreshold
                       : key == "MESSAGETIMETHRESHOLD:"    ? &v.messageTimeThreshold
                       : key == "AUTOSYNCTIMETHRESHOLD:"   ? &v.autoSyncTimeThreshold
                       : key == "MANUALSYNCTIMETHRESHOLD:" ? &v.manualSyncTimeThreshold
                                                           : nullptr;
    bool* flagValue = key == "FTFLAG:"     ? &v.featureTracking
                      : key == "DISABLED:" ? &v.disabled
                      : key == "OPTOUT:"   ? &v.optedOut
                                           : nullptr;
    bool applied = false;
    if (text != nullptr) {
        // A line feed would split the line in the file, and the file would
        // then fail its signature check: the client would lose its ID.
        // A client ID also becomes part of every log file name.
        if (!containsLineFeed(value) && (text != &v.clientID || isUsableClientID(value))) {
            *text = value;
            applied = true;
        }
    } else if (number != nullptr || flagValue != nullptr) {
        uint32_t converted = 0;
        if (parseConfigNumber(value, converted)) {
            if (number != nullptr) *number = converted;
            if (flagValue != nullptr) *flagValue = converted != 0;
            applied = true;
        }
    } else if (key == "BACKOFF:") {
        int32_t hours = 0;
        if (parseInt(value, hours)) {
            if (hours == 0) {
                v.backoffUntil = 0;
            } else {
                // Saturate instead of wrapping: a long back-off must not
                // turn into an end time in the past.
                const int64_t until =
                    static_cast<int64_t>(std::time(nullptr)) + static_cast<int64_t>(hours) * 3600;
                v.backoffUntil = until < 0 ? 0
                                 : until > static_cast<int64_t>(UINT32_MAX)
                                     ? UINT32_MAX
                                     : static_cast<uint32_t>(until);
            }
            v.backoffActive = true;
            applied = true;
        }
    } else if (key == "FTWHITELIST:") {
        v.featureWhitelist.clear();
        parseFeatureList(value, v.featureWhitelist);
        applied = true;
    } else if (key == "FTLIST:") {
        parseFeatureList(value, v.featureList);
        applied = true;
    }
    if (applied) {
        fileState_ = kStateChanged;
        ++changeCount_;
        publishFlags();
    }
    return applied;
}

bool ConfigFile::setClientID(const std::string& id) {
    ZEBScopedLock guard(lock_.get());
    if (!isUsableClientID(id)) return false;
    values_.clientID = id;
    fileState_ = kStateChanged;
    ++changeCount_;
    return true;
}

bool ConfigFile::isFeatureTracked(const std::string& category, const std::string& name) {
    ZEBScopedLock guard(lock_.get());
    if (!values_.featureTracking) return false;
    if (!name.empty()) {
        const FeaturePair pair(category, name);
        for (const FeaturePair& p : values_.featureWhitelist) {
            if (p == pair) return true;
        }
        for (const FeaturePair& p : values_.featureList) {
            if (p == pair) return false;
        }
    }
    const uint64_t known =
        static_cast<uint64_t>(values_.featureList.size()) + newFeatureCount_;
    if (values_.featureListLimit <= known) return false;
    if (!name.empty()) ++newFeatureCount_;
    return true;
}

int32_t ConfigFile::featureListCount() const {
    ZEBScopedLock guard(lock_.get());
    return static_cast<int32_t>(values_.featureList.size());
}

int32_t ConfigFile::newFeatureCount() const {
    ZEBScopedLock guard(lock_.get());
    return static_cast<int32_t>(newFeatureCount_);
}

void ConfigFile::clearNewFeatures() {
    ZEBScopedLock guard(lock_.get());
    newFeatureCount_ = 0;
}

std::string ConfigFile::filePrefix() const { return prefix_; }

std::string ConfigFile::fileName() const {
    ZEBScopedLock guard(lock_.get());
    return prefix_ + values_.nameSuffix + ".cfg";
}

std::string ConfigFile::serializeBody() const {
    ZEBScopedLock guard(lock_.get());
    return serializeConfigBody(values_);
}

std::string ConfigFile::computeSignature(const std::string& body) {
    return computeConfigSignature(body);
}

// Getters: a copy of one value under the lock.
#define ZEB_CONFIG_GETTER(type, getter, field) \
    type ConfigFile::getter() const {          \
        ZEBScopedLock guard(lock_.get());      \
        return values_.field;                  \
    }

ZEB_CONFIG_GETTER(std::string, getClientID, clientID)
ZEB_CONFIG_GETTER(std::string, getCallHomeURL, callHomeURL)
ZEB_CONFIG_GETTER(std::string, getConfigVersion, configVersion)
ZEB_CONFIG_GETTER(std::string, getNameSuffix, nameSuffix)
ZEB_CONFIG_GETTER(std::string, getSignature, signature)
ZEB_CONFIG_GETTER(uint32_t, getNameSizeThreshold, nameSizeThreshold)
ZEB_CONFIG_GETTER(uint32_t, getValueSizeThreshold, valueSizeThreshold)
ZEB_CONFIG_GETTER(uint32_t, getCustomTextThreshold, customTextThreshold)
ZEB_CONFIG_GETTER(uint32_t, getExceptionTracking, exceptionTracking)
ZEB_CONFIG_GETTER(uint32_t, getExceptionTextThreshold, exceptionTextThreshold)
ZEB_CONFIG_GETTER(uint32_t, getFeatureListLimit, featureListLimit)
ZEB_CONFIG_GETTER(uint32_t, getFileSizeThreshold, fileSizeThreshold)
ZEB_CONFIG_GETTER(uint32_t, getMessageTimeThreshold, messageTimeThreshold)
ZEB_CONFIG_GETTER(uint32_t, getAutoSyncTimeThreshold, autoSyncTimeThreshold)
ZEB_CONFIG_GETTER(uint32_t, getManualSyncTimeThreshold, manualSyncTimeThreshold)
ZEB_CONFIG_GETTER(uint32_t, getBackoffUntil, backoffUntil)
ZEB_CONFIG_GETTER(bool, getFeatureTracking, featureTracking)
ZEB_CONFIG_GETTER(bool, isOptedOut, optedOut)
ZEB_CONFIG_GETTER(FeatureList, getFeatureWhitelist, featureWhitelist)
ZEB_CONFIG_GETTER(FeatureList, getFeatureList, featureList)

#undef ZEB_CONFIG_GETTER

bool ConfigFile::isBackoffActive() const { return backoffActiveFlag_.load(std::memory_order_acquire); }

bool ConfigFile::isDisabled() const { return disabledFlag_.load(std::memory_order_acquire); }

void ConfigFile::publishFlags() {
    backoffActiveFlag_.store(values_.backoffActive, std::memory_order_release);
    disabledFlag_.store(values_.disabled, std::memory_order_release);
}

int32_t ConfigFile::getFileState() const {
    ZEBScopedLock guard(lock_.get());
    return fileState_;
}

}  // namespace ZEBInternal
