#include "config/ConfigFileNames.h"

#include "config/ProductIDEncoding.h"

namespace ZEBInternal {

namespace {
const std::string kExtension = ".cfg";
}

std::string configFilePrefix(const std::string& productID, const std::string& appName) {
    return "zebconfigV5_" + encodeProductID(productID) + "_" + appName + "_";
}

bool isConfigCandidate(const std::string& name, const std::string& prefix) {
    if (name.size() < prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return false;
    const size_t ext = name.find(kExtension, prefix.size());
    return ext != std::string::npos && ext + kExtension.size() == name.size();
}

bool isConfigTemporary(const std::string& name, const std::string& prefix) {
    static const std::string kTemporaryExtension = kExtension + "tmp";
    constexpr size_t kStampLength = 13;
    if (name.size() != prefix.size() + kStampLength + kTemporaryExtension.size() ||
        name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(prefix.size() + kStampLength, std::string::npos, kTemporaryExtension) != 0) {
        return false;
    }
    for (size_t i = prefix.size(); i < prefix.size() + kStampLength; ++i) {
        const char c = name[i];
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'V'))) return false;
    }
    return true;
}

std::string configCandidateStamp(const std::string& name) {
    if (name.size() < kExtension.size()) return std::string();
    const size_t end = name.size() - kExtension.size();
    const size_t underscore = name.rfind('_', end);
    const size_t start = underscore == std::string::npos ? 0 : underscore + 1;
    return start <= end ? name.substr(start, end - start) : std::string();
}

}  // namespace ZEBInternal
