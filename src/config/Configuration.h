#pragma once
// Everything the rest of the library reads about this client: the host's
// values (ConfigAppVO), the server-controlled values of the signed
// configuration file (ConfigFile), the proxy (ConfigProxy), the trusted CA
// certificates and the version record.
//
// Owned by the SDK, built by zebCreateConfig and read by the host's thread
// and every worker. It has no lock of its own: each record guards itself,
// and the CA list, version and arguments are fixed after construction.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "core/VersionInfo.h"
#include "config/ConfigAppVO.h"
#include "config/ConfigFile.h"
#include "config/ConfigProxy.h"

namespace ZEBInternal {

class ZEBStopMonitor;
struct RuntimeSettings;

struct ConfigArguments {
    ConfigArguments() = default;
    ConfigArguments(const ConfigArguments&) = default;
    ConfigArguments(ConfigArguments&&) = default;
    ConfigArguments& operator=(const ConfigArguments&) = default;
    ConfigArguments& operator=(ConfigArguments&&) = default;
    ~ConfigArguments();  // wipes the key text

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
    // The machine's CA certificates (PEM), found by the caller; kept only
    // when the protocol uses TLS.
    std::vector<std::string> discoveredCAs;
};

class Configuration {
public:
    // owner and settings are borrowed: the SDK owns both and outlives this.
    // Reads no file (the SDK calls load() next). Throws
    // ZEBConcurrencyException when a lock cannot be created.
    Configuration(ZEBStopMonitor* owner, const RuntimeSettings* settings, ConfigArguments args);
    Configuration(const Configuration&) = delete;
    Configuration& operator=(const Configuration&) = delete;
    Configuration(Configuration&&) = delete;
    Configuration& operator=(Configuration&&) = delete;

    ConfigAppVO& appValues() { return appValues_; }
    const ConfigAppVO& appValues() const { return appValues_; }
    ConfigFile& file() { return file_; }
    const ConfigFile& file() const { return file_; }
    ConfigProxy& proxy() { return proxy_; }
    const ConfigProxy& proxy() const { return proxy_; }

    // PEM texts of the machine's CA certificates; empty with protocol 1.
    std::vector<std::string> discoveredCAs() const { return discoveredCAs_; }
    // A new list holding the one built-in root certificate (PEM, CR LF).
    static std::vector<std::string> builtInCAs();

    const VersionInfo& version() const { return version_; }
    ZEBStopMonitor* owner() const { return owner_; }
    const RuntimeSettings* settings() const { return settings_; }
    const ConfigArguments& arguments() const { return args_; }  // fixed after construction

    // Stores the flag here and in ConfigAppVO; true.
    bool setReachOutOnAutoSync(bool enabled);
    bool getReachOutOnAutoSync() const;

    // The file's CALLHOMEURL when the server set one, else the host's URL.
    std::string effectiveCallHomeURL() const;

    // Forwarding conveniences for the SDK.
    // Loads the newest valid configuration file. False: no usable file, the
    // client must register.
    bool load() { return file_.load(); }
    std::string getClientID() const { return file_.getClientID(); }
    bool isBackoffActive() const { return file_.isBackoffActive(); }
    bool isDisabled() const { return file_.isDisabled(); }
    bool isOptedOut() const { return file_.isOptedOut(); }
    bool isMultiSessionEnabled() const { return appValues_.isMultiSessionEnabled(); }
    uint32_t getManualSyncTimeThreshold() const { return file_.getManualSyncTimeThreshold(); }
    uint32_t getMessageTimeThreshold() const { return file_.getMessageTimeThreshold(); }

private:
    ZEBStopMonitor* const owner_;            // borrowed, the SDK
    const RuntimeSettings* const settings_;  // borrowed, the SDK's
    const ConfigArguments args_;
    ConfigAppVO appValues_;
    ConfigFile file_;
    ConfigProxy proxy_;
    const std::vector<std::string> discoveredCAs_;
    const VersionInfo version_;
    std::atomic<bool> reachOutOnAutoSync_;  // also kept in appValues_
};

}  // namespace ZEBInternal
