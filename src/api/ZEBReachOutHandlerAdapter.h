#pragma once
// Turns the reach-out handler operations into calls of the host's three C
// callbacks. The host promises that the three pointers are valid while the
// handler is installed; the adapter checks nothing.

#include "core/ZEBSDKReachOutHandler.h"
#include "zeb.h"

namespace ZEBInternal {

class ZEBReachOutHandlerAdapter : public ZEBSDKReachOutHandler {
public:
    ZEBReachOutHandlerAdapter(ZEBReachOutShowCallback showCallback,
                              ZEBReachOutCloseCallback closeCallback,
                              ZEBReachOutStatusCallback statusCallback, void* userData)
        : showCallback_(showCallback),
          closeCallback_(closeCallback),
          statusCallback_(statusCallback),
          userData_(userData) {}

    void show(const std::string& width, const std::string& height, int32_t position,
              const std::string& message) override {
        showCallback_(userData_, width.c_str(), height.c_str(), position, message.c_str());
    }
    void close() override { closeCallback_(userData_); }
    int32_t status() override { return statusCallback_(userData_); }

private:
    ZEBReachOutShowCallback showCallback_;
    ZEBReachOutCloseCallback closeCallback_;
    ZEBReachOutStatusCallback statusCallback_;
    void* userData_;
};

}  // namespace ZEBInternal
