#pragma once

namespace ZEBInternal {

// Asked by every message exchange, transport wait and the reach-out manager
// whether to give up now. Answered by the SDK from its life-cycle state.
class ZEBStopMonitor {
public:
    // isSyncOrUpload: a sync or upload may run on during stop until the
    // final-sync deadline; every other exchange stops as soon as stop begins.
    virtual bool shouldStop(bool isSyncOrUpload) = 0;
    virtual ~ZEBStopMonitor() = default;
};

}  // namespace ZEBInternal
