#pragma once
// The library's view of whatever shows reach-out messages to the user. The
// reach-out manager owns the installed handler and calls it on its thread;
// close() also runs on the thread that stops the SDK.

#include <cstdint>
#include <string>

namespace ZEBInternal {

class ZEBSDKReachOutHandler {
public:
    virtual ~ZEBSDKReachOutHandler() = default;
    virtual void show(const std::string& width, const std::string& height, int32_t position,
                      const std::string& message) = 0;
    virtual void close() = 0;
    // Non-zero ends the wait that follows a show.
    virtual int32_t status() = 0;
};

}  // namespace ZEBInternal
