#pragma once
// The system-information store: the SYSINFO section body, cached so that
// the probes (files, commands) run at most once per SYSINFOREREADSEC.
// Owned by AppData; called by whichever thread builds a registration or
// sync request. The recursive "SystemInfo API lock" is held while the
// probes run, so concurrent requests wait for one collection instead of
// starting two; no other lock is taken under it.

#include <memory>
#include <string>

#include "platform/ProbeEnvironment.h"
#include "platform/SystemRecord.h"
#include "threading/ZEBMutex.h"
#include "util/TimeValue.h"

namespace ZEBInternal {

struct RuntimeSettings;

class SystemInfo {
public:
    // settings is borrowed from the SDK, which outlives this; env is copied.
    explicit SystemInfo(const RuntimeSettings* settings,
                        const ProbeEnvironment& env = defaultProbeEnvironment());
    SystemInfo(const SystemInfo&) = delete;
    SystemInfo& operator=(const SystemInfo&) = delete;

    // The SYSINFO lines of the last collection, collecting anew first when
    // there was none or it is SYSINFOREREADSEC seconds old or more. Blocks
    // for a collection (bounded file reads, no program started). Never
    // throws for a probe's failure.
    std::string sectionText();

private:
    std::unique_ptr<ZEBMutex> lock_;
    const RuntimeSettings* const settings_;  // borrowed
    const ProbeEnvironment env_;
    // Guarded by lock_:
    TimeValue lastCollected_;
    bool collected_ = false;
    std::string cachedText_;
};

// The SYSINFO lines of one record: single values only when collected,
// lists only when not empty, in the fixed key order.
std::string systemInfoLines(const SystemRecord& record);

}  // namespace ZEBInternal
