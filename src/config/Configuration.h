#pragma once
// Everything the rest of the library reads about this client: the values
// the host gave to zebCreateConfig and the server-controlled values of the
// signed configuration file. Owned by the SDK; each value is read under the
// configuration's own lock.
//
// This first version holds the host's values and the defaults of the
// server-controlled ones; the signed file store replaces the defaults with
// what was saved, and load() reports whether a valid file was found. Until
// that store exists no file is read, so every client starts unregistered.

#include <cstdint>
#include <memory>
#include <string>

#include "threading/ZEBMutex.h"

namespace ZEBInternal {

class ZEBStopMonitor;
struct RuntimeSettings;

struct ConfigArguments {
    std::string configFilePath;  // as the host gave it
    std::string dataDirectory;   // resolved absolute path
    std::string serverURL;
    uint32_t protocol = 0;
    std::string aesKeyHex;
    std::string productID;
    std::string appName;
    bool multiSessionEnabled = false;
    bool reachOutOnAutoSync = false;
    int32_t flavour = 0;
    std::string instanceID;
};

class Configuration {
public:
    // owner and settings are borrowed: the SDK owns both and outlives this.
    Configuration(ZEBStopMonitor* owner, const RuntimeSettings* settings, ConfigArguments args);
    Configuration(const Configuration&) = delete;
    Configuration& operator=(const Configuration&) = delete;

    // Loads the newest valid configuration file. False: no usable file, the
    // client must register.
    bool load();

    std::string getClientID() const;
    bool isBackoffActive() const;
    bool isDisabled() const;
    bool isOptedOut() const;
    bool isMultiSessionEnabled() const;
    uint32_t getManualSyncTimeThreshold() const;  // minutes
    uint32_t getMessageTimeThreshold() const;     // seconds
    bool setReachOutOnAutoSync(bool enabled);
    bool getReachOutOnAutoSync() const;

    const ConfigArguments& arguments() const { return args_; }  // fixed after construction
    ZEBStopMonitor* owner() const { return owner_; }
    const RuntimeSettings* settings() const { return settings_; }

private:
    ZEBStopMonitor* owner_;
    const RuntimeSettings* settings_;
    const ConfigArguments args_;
    std::unique_ptr<ZEBMutex> lock_;  // "ConfigAppVO API lock"
    // Guarded by lock_.
    std::string clientID_;
    bool backoffActive_ = false;
    bool disabled_ = false;
    bool optedOut_ = false;
    uint32_t manualSyncTimeThreshold_ = 5;
    uint32_t messageTimeThreshold_ = 1;
    bool reachOutOnAutoSync_ = false;
};

}  // namespace ZEBInternal
