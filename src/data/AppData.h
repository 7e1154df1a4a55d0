#pragma once
// The application data stores of one client: custom properties, product
// information, machine fingerprints and system information, in this order.
// Built by zebCreateConfig and destroyed with the instance; each store
// guards itself with its own lock, so the accessors may be used from any
// thread. The references stay valid as long as this object.

#include "data/AppCustomValue.h"
#include "data/AppProductInfo.h"
#include "data/SystemInfo.h"
#include "platform/Fingerprint.h"
#include "platform/ProbeEnvironment.h"

namespace ZEBInternal {

struct RuntimeSettings;

class AppData {
public:
    // settings is borrowed from the SDK, which outlives this. The probes
    // look at the real machine.
    explicit AppData(const RuntimeSettings* settings);
    // The probes look at `env` (copied): for tests on fixture trees.
    AppData(const RuntimeSettings* settings, const ProbeEnvironment& env);
    AppData(const AppData&) = delete;
    AppData& operator=(const AppData&) = delete;

    AppCustomValue& customValues() { return customValues_; }
    AppProductInfo& productInfo() { return productInfo_; }
    Fingerprint& fingerprint() { return fingerprint_; }
    SystemInfo& systemInfo() { return systemInfo_; }

private:
    AppCustomValue customValues_;
    AppProductInfo productInfo_;
    Fingerprint fingerprint_;
    SystemInfo systemInfo_;
};

}  // namespace ZEBInternal
