#include "data/AppCustomValue.h"

#include "data/SectionText.h"
#include "threading/ZEBScopedLock.h"
#include "util/Strings.h"

namespace ZEBInternal {

AppCustomValue::AppCustomValue() : lock_(createMutex(true, "AppCustomValue API lock")) {}

bool AppCustomValue::setValue(uint32_t position, const std::string& value) {
    if (position >= kMaxPositions) return false;
    ZEBScopedLock lock(lock_.get());
    if (values_.size() <= position) values_.resize(static_cast<size_t>(position) + 1);
    values_[position] = value;
    return true;
}

std::string AppCustomValue::customSectionText() {
    ZEBScopedLock lock(lock_.get());
    std::string text;
    text.reserve(4096);
    for (size_t i = 0; i < values_.size(); ++i) {
        if (!values_[i]) continue;
        const uint32_t number = static_cast<uint32_t>(i + 1);
        appendSectionLine(text, "C" + toDecimal(number / 10) + toDecimal(number % 10), *values_[i]);
    }
    return text;
}

}  // namespace ZEBInternal
