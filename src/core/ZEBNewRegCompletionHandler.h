#pragma once

namespace ZEBInternal {

// Told by the new-registration worker, on its own thread, how registration
// ended: 3 success, 0 and 1 refusals, anything else a failure.
class ZEBNewRegCompletionHandler {
public:
    virtual void newRegCompleted(int result) = 0;
    virtual ~ZEBNewRegCompletionHandler() = default;
};

}  // namespace ZEBInternal
