#pragma once
// Records jumps of the wall clock as events ("TimeWarpDetector" thread,
// every 60 s). Created with the full worker set; the detection arrives with
// the offline pipeline.

namespace ZEBInternal {

struct SDKContext;

class ZEBTimeWarpDetector {
public:
    // context is borrowed from the SDK, which joins this worker first.
    explicit ZEBTimeWarpDetector(const SDKContext* context) : context_(context) {}
    ZEBTimeWarpDetector(const ZEBTimeWarpDetector&) = delete;
    ZEBTimeWarpDetector& operator=(const ZEBTimeWarpDetector&) = delete;

    void stop() {}
    void join() {}

private:
    [[maybe_unused]] const SDKContext* context_;
};

}  // namespace ZEBInternal
