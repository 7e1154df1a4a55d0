#pragma once
// The values the host gave to zebCreateConfig, fixed for the life of the
// configuration except the reach-out-on-automatic-sync flag. Owned by
// Configuration; read by the host's thread and every worker. Each getter
// returns a copy taken under the recursive "ConfigAppVO API lock", so no
// caller ever holds a reference into the record.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "config/ProductIDEncoding.h"
#include "threading/ZEBMutex.h"

namespace ZEBInternal {

class ConfigAppVO {
public:
    // Copies every value; encodes the product ID and decodes aesKeyHex into
    // the 16-byte key (all zero unless the text decodes to exactly 16 bytes).
    // Throws ZEBConcurrencyException when the lock cannot be created.
    ConfigAppVO(const std::string& configFilePath, const std::string& dataDirectory,
                const std::string& serverURL, uint32_t protocol, const std::string& aesKeyHex,
                const std::string& productID, const std::string& appName,
                bool multiSessionEnabled, bool reachOutOnAutoSync, const std::string& instanceID);
    ~ConfigAppVO();  // wipes the key and its text
    ConfigAppVO(const ConfigAppVO&) = delete;
    ConfigAppVO& operator=(const ConfigAppVO&) = delete;
    ConfigAppVO(ConfigAppVO&&) = delete;
    ConfigAppVO& operator=(ConfigAppVO&&) = delete;

    std::string getConfigFilePath() const;  // as the host gave it
    std::string getDataDirectory() const;   // resolved absolute path
    std::string getServerURL() const;
    uint32_t getProtocol() const;           // 1, 2 or 3
    // The key and its text (empty in protocol 3): the caller wipes its copy
    // (secureWipe) once it has used it.
    std::string getAesKeyHex() const;
    std::array<uint8_t, 16> getAesKey() const;
    std::string getProductID() const;
    std::string getEncodedProductID() const;
    std::string getAppName() const;
    bool isMultiSessionEnabled() const;
    std::string getInstanceID() const;      // this run's application session ID

    void setReachOutOnAutoSync(bool enabled);
    bool getReachOutOnAutoSync() const;

    // dataDirectory + "/" + name.
    std::string pathInDataDirectory(const std::string& name) const;

private:
    std::unique_ptr<ZEBMutex> lock_;  // "ConfigAppVO API lock", recursive
    // Fixed after construction, still read under lock_ for one rule everywhere.
    const std::string configFilePath_;
    const std::string dataDirectory_;
    const std::string serverURL_;
    const uint32_t protocol_;
    std::string aesKeyHex_;  // fixed; not const only so that the destructor may wipe it
    std::array<uint8_t, 16> aesKey_{};
    const std::string productID_;
    const std::string encodedProductID_;
    const std::string appName_;
    const bool multiSessionEnabled_;
    bool reachOutOnAutoSync_;  // guarded by lock_
    const std::string instanceID_;
};

}  // namespace ZEBInternal
