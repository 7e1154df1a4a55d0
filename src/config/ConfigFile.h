#pragma once
// The server-controlled values of this client (client ID, limits, timers,
// switches, feature lists), persisted in a signed text file in the data
// directory and reloaded at the next start.
//
// Owned by Configuration. The host's thread and every worker call it; each
// operation holds the recursive "ConfigFile API lock" for its whole length,
// except that load and save hold it only while they copy values in or out:
// they read and write the disk under the "ConfigFile save lock", which no
// getter takes, so a slow disk never stalls a caller that only reads.
// Lock order: a caller may hold the log writer's and the log file's locks
// when it enters; the save lock comes before the API lock; this class takes
// no other lock while holding its own.
//
// Files: "zebconfigV5_" + encoded product ID + "_" + appName + "_" + stamp +
// ".cfg" (ConfigFileNames.h). Several processes may share the directory:
// a save writes a fresh stamped name through a temporary file and a rename,
// so a reader sees an old or a new file, always complete, and the newest
// stamp wins.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "config/ConfigLists.h"
#include "config/ConfigValues.h"
#include "threading/ZEBMutex.h"
#include "threading/ZEBScopedLock.h"

namespace ZEBInternal {

struct RuntimeSettings;

class ConfigFile {
public:
    // fileState values.
    static constexpr int32_t kStateConstructing = 0;
    static constexpr int32_t kStateDefaults = 1;   // nothing read yet
    static constexpr int32_t kStateNoValidFile = 2;
    static constexpr int32_t kStateInSync = 3;     // values equal the file on disk
    static constexpr int32_t kStateChanged = 4;
    static constexpr int32_t kStateSaveFailed = 5;

    // A configuration file larger than this is refused as invalid without
    // being read: real files are a few KiB, and a huge one is damage or an
    // attack that must not exhaust memory.
    static constexpr size_t kMaxFileBytes = 16u * 1024u * 1024u;

    // settings is borrowed (the SDK owns it and outlives this); it is read
    // for USECONFIGSIGNATURE. Nothing is read from disk. Throws
    // ZEBConcurrencyException when the lock cannot be created.
    ConfigFile(const RuntimeSettings* settings, const std::string& dataDirectory,
               const std::string& productID, const std::string& appName);
    // Saves when the values changed (states 3 to 5); never throws.
    ~ConfigFile();
    ConfigFile(const ConfigFile&) = delete;
    ConfigFile& operator=(const ConfigFile&) = delete;
    ConfigFile(ConfigFile&&) = delete;
    ConfigFile& operator=(ConfigFile&&) = delete;

    // Every value to its default, signature and name suffix emptied, the
    // three lists emptied; the file state is unchanged.
    void resetToDefaults();

    // Loads the newest configuration file of this product and application
    // that is valid; newer ones that are not (unreadable, incomplete, too
    // large, badly signed or without a client ID) stay untouched and unused.
    // True: state 3, older files deleted. False: defaults in use, state 2.
    // Retries a few times, 1 ms apart, when a file vanishes because another
    // process replaced it.
    bool load();

    // Writes the values under a fresh stamp (one past any later stamp already
    // on disk, so the save is what the next load finds), flushed to stable
    // storage before the rename and the directory after it, and only then
    // deletes the older files; only from states 3, 4 and 5
    // (otherwise false, nothing changes). True: state 3 and older files
    // deleted. False: state 5, the previous name and file kept, no
    // temporary file left behind. A value changed while the file is
    // written leaves state 4, so that the next save writes it.
    bool save();

    // Tests only: runs on the saving thread after the text is made and
    // before it is written, with only the save lock held.
    void setBeforeWriteHookForTest(std::function<void()> hook);

    // Applies one key of the server's configuration section (key with its
    // colon, compared exactly). True when a value was applied (state 4);
    // false for an unknown key, a number that does not convert, a text
    // holding a line feed (it would break the file's line format) or a
    // "CLIENTID:" that is not usable.
    bool applyServerSetting(const std::string& key, const std::string& value);

    // Stores the client ID from registration; state 4. False, nothing
    // stored, when the ID is not usable (isUsableClientID).
    bool setClientID(const std::string& id);
    // The ID becomes part of every log file name, so it must be one name
    // that fits: not empty, "." or "..", at most kMaxClientIDBytes (a log
    // file name then stays well under the 255 bytes a name may have), and
    // without "/", backslash or control bytes.
    static constexpr size_t kMaxClientIDBytes = 128;
    static bool isUsableClientID(const std::string& id);

    std::string getClientID() const;
    std::string getCallHomeURL() const;
    std::string getConfigVersion() const;
    std::string getNameSuffix() const;
    std::string getSignature() const;
    uint32_t getNameSizeThreshold() const;
    uint32_t getValueSizeThreshold() const;
    uint32_t getCustomTextThreshold() const;
    uint32_t getExceptionTracking() const;
    uint32_t getExceptionTextThreshold() const;
    uint32_t getFeatureListLimit() const;
    uint32_t getFileSizeThreshold() const;        // KiB
    uint32_t getMessageTimeThreshold() const;     // seconds
    uint32_t getAutoSyncTimeThreshold() const;    // minutes
    uint32_t getManualSyncTimeThreshold() const;  // minutes
    uint32_t getBackoffUntil() const;             // seconds since the epoch
    bool getFeatureTracking() const;
    bool isBackoffActive() const;
    bool isDisabled() const;
    bool isOptedOut() const;
    int32_t getFileState() const;
    FeatureList getFeatureWhitelist() const;
    FeatureList getFeatureList() const;

    // Keeps the lock taken for its lifetime, so that a run of calls (the
    // feature decisions of a batch of records) takes it once instead of
    // once per call. REQUIRE: the holder takes no other lock meanwhile.
    class Hold {
    public:
        explicit Hold(const ConfigFile& file) : lock_(file.lock_.get()) {}

    private:
        ZEBScopedLock lock_;
    };

    // Whether an event of this category and name is written. Tracking off:
    // false; whitelisted: true; listed: false; otherwise true while the
    // listed plus newly seen features stay below FEATLISTLIMIT, recording
    // the pair as newly seen.
    bool isFeatureTracked(const std::string& category, const std::string& name);
    int32_t featureListCount() const;
    int32_t newFeatureCount() const;
    // Forgets the newly seen features; called after a sync.
    void clearNewFeatures();

    // "zebconfigV5_" + encoded product ID + "_" + appName + "_".
    std::string filePrefix() const;
    // filePrefix() + nameSuffix + ".cfg".
    std::string fileName() const;

    // The file text without its "SIGNATURE:" line, from the current values.
    std::string serializeBody() const;
    // Upper-case hex SHA-256 of "518204937" + body + "518204937".
    static std::string computeSignature(const std::string& body);

private:
    // One attempt of load(): 1 loaded; 0 no candidate or the chosen file is
    // bad; -1 the chosen file vanished (worth another attempt).
    int loadOnce();
    // REQUIRE: lock_ held.
    bool isSaveable() const;
    bool verifySignature(const ConfigValues& candidate) const;
    void deleteOlderCandidates(const std::string& stamp) const;
    void setDefaults();
    // REQUIRE: lock_ held.
    void publishFlags();

    std::unique_ptr<ZEBMutex> lock_;  // "ConfigFile API lock", recursive
    std::unique_ptr<ZEBMutex> saveLock_;  // "ConfigFile save lock"
    std::function<void()> beforeWriteHook_;  // guarded by saveLock_
    const RuntimeSettings* settings_;  // borrowed, owned by the SDK
    const std::string dataDirectory_;
    const std::string productID_;
    const std::string appName_;
    const std::string prefix_;
    // Guarded by lock_.
    int32_t fileState_ = kStateConstructing;
    uint64_t changeCount_ = 0;  // values changed by setters, for save
    ConfigValues values_;
    // Copies of values_.backoffActive and values_.disabled, stored under the
    // lock whenever values_ changes: every host call checks both, and an
    // atomic read keeps that check off the lock.
    std::atomic<bool> backoffActiveFlag_{false};
    std::atomic<bool> disabledFlag_{false};
    // Features newly seen since the last sync, repeats included; not
    // persisted. Only their number is ever asked for, so the pairs
    // themselves are not kept.
    uint64_t newFeatureCount_ = 0;
};

}  // namespace ZEBInternal
