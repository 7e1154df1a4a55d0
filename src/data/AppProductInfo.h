#pragma once
// The host's product data (version, build number, edition, language), kept
// in memory for the running instance and reported in the PRODINFO section
// of every sync. Owned by AppData; host threads set values while the sync
// worker reads the section. The recursive "AppProductInfo API lock" covers
// every operation. A value never set is distinct from one set to "".

#include <memory>
#include <optional>
#include <string>

#include "threading/ZEBMutex.h"

namespace ZEBInternal {

struct ProductData {
    std::optional<std::string> edition;
    std::optional<std::string> language;
    std::optional<std::string> version;
    std::optional<std::string> buildNumber;
};

class AppProductInfo {
public:
    AppProductInfo();
    AppProductInfo(const AppProductInfo&) = delete;
    AppProductInfo& operator=(const AppProductInfo&) = delete;

    void setEdition(const std::string& value);
    void setLanguage(const std::string& value);
    void setVersion(const std::string& value);
    void setBuildNumber(const std::string& value);
    // All four under one lock hold.
    void setProductData(const std::string& edition, const std::string& language,
                        const std::string& version, const std::string& buildNumber);
    // A copy of all four, taken under one lock hold.
    ProductData getProductData();

    // PRODVERSION, PRODBUILDNUM, PRODEDITION, PRODLANGUAGE, in this order,
    // each only when set (a value set to "" gives an empty line value).
    std::string productSectionText();

private:
    std::unique_ptr<ZEBMutex> lock_;
    ProductData data_;  // guarded by lock_
};

}  // namespace ZEBInternal
