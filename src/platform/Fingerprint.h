#pragma once
// The fingerprint store: the four machine fingerprints sent in the
// FINGERPRINTS report section of every registration, sync and ping, also
// for opted-out clients. Owned by AppData; the SDK sets its inputs while
// creating the configuration (host thread), and request builders on worker
// threads read its section text. The recursive "Fingerprint API lock"
// covers every operation, probes included, so concurrent requests wait for
// one computation instead of starting several; no other lock is taken
// while it is held.

#include <memory>
#include <string>

#include "platform/ProbeEnvironment.h"
#include "threading/ZEBMutex.h"
#include "util/TimeValue.h"

namespace ZEBInternal {

struct RuntimeSettings;

class Fingerprint {
public:
    // settings is borrowed from the SDK, which outlives this; env is copied.
    explicit Fingerprint(const RuntimeSettings* settings,
                         const ProbeEnvironment& env = defaultProbeEnvironment());
    Fingerprint(const Fingerprint&) = delete;
    Fingerprint& operator=(const Fingerprint&) = delete;

    // Stores the data path and product ID given to zebCreateConfig and
    // computes the fingerprints at once. Blocks for the probes (tens of
    // milliseconds at most; commands only in the rare Docker fall-back).
    void setInputs(const std::string& configFilePath, const std::string& productID);

    // The lines V5FINGERPRINT, V4FINGERPRINT, V3FINGERPRINT and MACHINEID,
    // each present even when empty; recomputed first when the values are
    // FINGERPRINTREREADSEC or more seconds old. Empty values until
    // setInputs has run.
    std::string sectionText();

private:
    void recompute();  // REQUIRES: lock_ held

    std::unique_ptr<ZEBMutex> lock_;
    const RuntimeSettings* const settings_;  // borrowed
    const ProbeEnvironment env_;
    // Guarded by lock_:
    TimeValue lastComputed_;
    bool inputsSet_ = false;
    std::string configFilePath_;
    std::string productID_;
    std::string v5Fingerprint_;
    std::string v4Fingerprint_;
    std::string v3Fingerprint_;
    std::string machineIdHash_;
};

}  // namespace ZEBInternal
