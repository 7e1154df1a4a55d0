#include "platform/Fingerprint.h"

#include <utility>
#include <vector>

#include "config/RuntimeSettings.h"
#include "util/SectionLines.h"
#include "platform/FingerprintRecipes.h"
#include "platform/NetworkAdapters.h"
#include "threading/ZEBScopedLock.h"
#include "util/Files.h"
#include "util/Strings.h"

namespace ZEBInternal {

Fingerprint::Fingerprint(const RuntimeSettings* settings, const ProbeEnvironment& env)
    : lock_(createMutex(true, "Fingerprint API lock")), settings_(settings), env_(env) {}

void Fingerprint::setInputs(const std::string& configFilePath, const std::string& productID) {
    ZEBScopedLock lock(lock_.get());
    configFilePath_ = configFilePath;
    productID_ = productID;
    inputsSet_ = true;
    recompute();
}

// The adapters are listed once for all three address recipes, so the
// values describe one moment even while an adapter comes or goes. The
// values are replaced together or not at all.
void Fingerprint::recompute() {
    std::string v5, v4, v3, machineId;
    try {
        const std::vector<std::string> macs = macAddresses(env_);
        const std::string path = realPath(configFilePath_);
        const std::string upperPath = toUpper(realPath(expandEnvironment(configFilePath_)));
        v5 = v5Fingerprint(macs, upperPath);
        v4 = v4Fingerprint(macs, path);
        v3 = v3Fingerprint(macs, productID_, path);
        machineId = machineIdHash(env_);
    } catch (...) {
        // Out of memory or a failing digest: the previous values stay and,
        // as lastComputed_ is unchanged, the next request tries again. A
        // configuration must not fail for want of a fingerprint.
        return;
    }
    v5Fingerprint_ = std::move(v5);
    v4Fingerprint_ = std::move(v4);
    v3Fingerprint_ = std::move(v3);
    machineIdHash_ = std::move(machineId);
    lastComputed_ = timeutil::now();
}

std::string Fingerprint::sectionText() {
    ZEBScopedLock lock(lock_.get());
    if (inputsSet_) {
        const uint32_t maxAge = settings_ != nullptr ? settings_->FINGERPRINTREREADSEC : 86400u;
        // A clock set back makes the difference wrap to a large age, which
        // recomputes: better than keeping values for ever.
        const uint32_t age = timeutil::subtract(timeutil::now(), lastComputed_).seconds;
        if (age >= maxAge) recompute();
    }
    std::string text;
    text.reserve(256);
    appendSectionLine(text, "V5FINGERPRINT", v5Fingerprint_);
    appendSectionLine(text, "V4FINGERPRINT", v4Fingerprint_);
    appendSectionLine(text, "V3FINGERPRINT", v3Fingerprint_);
    appendSectionLine(text, "MACHINEID", machineIdHash_);
    return text;
}

}  // namespace ZEBInternal
