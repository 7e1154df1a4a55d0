// The SDK calls that describe the product, attach custom properties and set
// the proxy. They only store values: syncs report the stores, the transport
// reads the proxy.

#include "api/ZEBSDK.h"
#include "config/Configuration.h"
#include "data/AppData.h"
#include "threading/ZEBScopedLock.h"
#include "util/Strings.h"

namespace ZEBInternal {

template <typename Store>
int32_t ZEBSDK::storeAfterCheck(bool allowBackoff, Store&& store) {
    return guarded([&]() -> int32_t {
        {
            ZEBScopedLock state(stateLock_.get());
            if (int32_t rc = configuredCheck(state_, allowBackoff, false)) return rc;
        }
        // The configuration and the stores, once made, live until the
        // destructor, and each locks itself.
        return store();
    });
}

int32_t ZEBSDK::setProductData(const std::string& edition, const std::string& language,
                               const std::string& version, const std::string& buildNumber) {
    return storeAfterCheck(false, [&]() -> int32_t {
        const uint32_t limit = settings_.PRODUCTPROPERTYTHRESHOLD;
        appData_->productInfo().setProductData(
            truncateUtf8(edition, limit), truncateUtf8(language, limit),
            truncateUtf8(version, limit), truncateUtf8(buildNumber, limit));
        return 0;
    });
}

int32_t ZEBSDK::setProductField(void (AppProductInfo::*setter)(const std::string&),
                                const std::string& value) {
    return storeAfterCheck(false, [&]() -> int32_t {
        (appData_->productInfo().*setter)(truncateUtf8(value, settings_.PRODUCTPROPERTYTHRESHOLD));
        return 0;
    });
}

int32_t ZEBSDK::setProductEdition(const std::string& edition) {
    return setProductField(&AppProductInfo::setEdition, edition);
}

int32_t ZEBSDK::setProductLanguage(const std::string& language) {
    return setProductField(&AppProductInfo::setLanguage, language);
}

int32_t ZEBSDK::setProductVersion(const std::string& version) {
    return setProductField(&AppProductInfo::setVersion, version);
}

int32_t ZEBSDK::setProductBuildNumber(const std::string& buildNumber) {
    return setProductField(&AppProductInfo::setBuildNumber, buildNumber);
}

int32_t ZEBSDK::setCustomProperty(uint32_t index, const std::string& value) {
    return storeAfterCheck(false, [&]() -> int32_t {
        if (index == 0 || index > settings_.CUSTOMPROPERTYLIMIT) return -160;
        // The store counts from 0; property 1 is its first entry.
        if (!appData_->customValues().setValue(
                index - 1, truncateUtf8(value, settings_.CUSTOMPROPERTYTHRESHOLD))) {
            return -160;
        }
        return 0;
    });
}

int32_t ZEBSDK::setProxy(const std::string& address, uint16_t port, const std::string& username,
                         const std::string& password) {
    return storeAfterCheck(true, [&]() -> int32_t {
        // Credentials and the address come in pairs: half of either would
        // make every exchange fail at the proxy.
        if (username.empty() != password.empty()) return -190;
        if (address.empty() != (port == 0)) return -191;
        configuration_->proxy().set(address, port, username, password);
        return 0;
    });
}

}  // namespace ZEBInternal
