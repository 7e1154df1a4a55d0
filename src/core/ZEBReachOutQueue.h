#pragma once
// What the messages and the sync workers need of the reach-out manager: a
// queue for the messages that arrive with server answers, and whether a
// request may ask the server for one now. The reach-out manager implements
// it; the SDK owns that manager and hands it out through the SDK context.
// Every operation may be called from any thread.

#include <cstdint>
#include <string>

namespace ZEBInternal {

class ZEBReachOutQueue {
public:
    virtual ~ZEBReachOutQueue() = default;

    // Queues one message for display and lets the display thread know.
    virtual void addMessage(const std::string& width, const std::string& height, int32_t position,
                            const std::string& content) = 0;
    virtual bool hasHandler() = 0;
    // With a handler installed: whether its status() answers non-zero
    // (asks the host). Without one: false.
    virtual bool isMessageDone() = 0;
    // Nothing queued, a handler installed and the SDK not stopping.
    virtual bool isReady() = 0;
};

}  // namespace ZEBInternal
