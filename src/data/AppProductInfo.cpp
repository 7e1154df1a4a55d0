#include "data/AppProductInfo.h"

#include "data/SectionText.h"
#include "threading/ZEBScopedLock.h"

namespace ZEBInternal {

AppProductInfo::AppProductInfo() : lock_(createMutex(true, "AppProductInfo API lock")) {}

void AppProductInfo::setEdition(const std::string& value) {
    ZEBScopedLock lock(lock_.get());
    data_.edition = value;
}

void AppProductInfo::setLanguage(const std::string& value) {
    ZEBScopedLock lock(lock_.get());
    data_.language = value;
}

void AppProductInfo::setVersion(const std::string& value) {
    ZEBScopedLock lock(lock_.get());
    data_.version = value;
}

void AppProductInfo::setBuildNumber(const std::string& value) {
    ZEBScopedLock lock(lock_.get());
    data_.buildNumber = value;
}

void AppProductInfo::setProductData(const std::string& edition, const std::string& language,
                                    const std::string& version, const std::string& buildNumber) {
    ZEBScopedLock lock(lock_.get());
    data_.edition = edition;
    data_.language = language;
    data_.version = version;
    data_.buildNumber = buildNumber;
}

ProductData AppProductInfo::getProductData() {
    ZEBScopedLock lock(lock_.get());
    return data_;
}

std::string AppProductInfo::productSectionText() {
    ZEBScopedLock lock(lock_.get());
    std::string text;
    if (data_.version) appendSectionLine(text, "PRODVERSION", *data_.version);
    if (data_.buildNumber) appendSectionLine(text, "PRODBUILDNUM", *data_.buildNumber);
    if (data_.edition) appendSectionLine(text, "PRODEDITION", *data_.edition);
    if (data_.language) appendSectionLine(text, "PRODLANGUAGE", *data_.language);
    return text;
}

}  // namespace ZEBInternal
