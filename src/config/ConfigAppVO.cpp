#include "config/ConfigAppVO.h"

#include <algorithm>

#include "threading/ZEBScopedLock.h"
#include "util/SecureWipe.h"
#include "util/Strings.h"

namespace ZEBInternal {

ConfigAppVO::ConfigAppVO(const std::string& configFilePath, const std::string& dataDirectory,
                         const std::string& serverURL, uint32_t protocol,
                         const std::string& aesKeyHex, const std::string& productID,
                         const std::string& appName, bool multiSessionEnabled,
                         bool reachOutOnAutoSync, const std::string& instanceID)
    : lock_(createMutex(true, "ConfigAppVO API lock")),
      configFilePath_(configFilePath),
      dataDirectory_(dataDirectory),
      serverURL_(serverURL),
      protocol_(protocol),
      aesKeyHex_(aesKeyHex),
      productID_(productID),
      encodedProductID_(encodeProductID(productID)),
      appName_(appName),
      multiSessionEnabled_(multiSessionEnabled),
      reachOutOnAutoSync_(reachOutOnAutoSync),
      instanceID_(instanceID) {
    // A key of any other length is no key: the zero key makes that visible
    // instead of using a truncated or padded one.
    std::string key = hexDecode(aesKeyHex);
    const ScopedWipe wipeKey(key);
    if (key.size() == aesKey_.size()) std::copy(key.begin(), key.end(), aesKey_.begin());
}

ConfigAppVO::~ConfigAppVO() {
    secureWipe(aesKeyHex_);
    secureWipe(aesKey_.data(), aesKey_.size());
}

std::string ConfigAppVO::getConfigFilePath() const {
    ZEBScopedLock guard(lock_.get());
    return configFilePath_;
}

std::string ConfigAppVO::getDataDirectory() const {
    ZEBScopedLock guard(lock_.get());
    return dataDirectory_;
}

std::string ConfigAppVO::getServerURL() const {
    ZEBScopedLock guard(lock_.get());
    return serverURL_;
}

uint32_t ConfigAppVO::getProtocol() const {
    ZEBScopedLock guard(lock_.get());
    return protocol_;
}

std::string ConfigAppVO::getAesKeyHex() const {
    ZEBScopedLock guard(lock_.get());
    return aesKeyHex_;
}

std::array<uint8_t, 16> ConfigAppVO::getAesKey() const {
    ZEBScopedLock guard(lock_.get());
    return aesKey_;
}

std::string ConfigAppVO::getProductID() const {
    ZEBScopedLock guard(lock_.get());
    return productID_;
}

std::string ConfigAppVO::getEncodedProductID() const {
    ZEBScopedLock guard(lock_.get());
    return encodedProductID_;
}

std::string ConfigAppVO::getAppName() const {
    ZEBScopedLock guard(lock_.get());
    return appName_;
}

bool ConfigAppVO::isMultiSessionEnabled() const {
    // Fixed at construction (a const member), so every tracking call may
    // read it without the lock.
    return multiSessionEnabled_;
}

std::string ConfigAppVO::getInstanceID() const {
    ZEBScopedLock guard(lock_.get());
    return instanceID_;
}

void ConfigAppVO::setReachOutOnAutoSync(bool enabled) {
    ZEBScopedLock guard(lock_.get());
    reachOutOnAutoSync_ = enabled;
}

bool ConfigAppVO::getReachOutOnAutoSync() const {
    ZEBScopedLock guard(lock_.get());
    return reachOutOnAutoSync_;
}

std::string ConfigAppVO::pathInDataDirectory(const std::string& name) const {
    ZEBScopedLock guard(lock_.get());
    return dataDirectory_ + "/" + name;
}

}  // namespace ZEBInternal
