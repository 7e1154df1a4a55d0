#pragma once
// The connection's network exchange over a SocketChannel: direct, through
// an HTTP proxy, or through a proxy's CONNECT tunnel for TLS. See
// ZEBHTTPConnection for ownership and threading.

#include <memory>

#include "transport/SocketChannel.h"
#include "transport/ZEBHTTPConnectionBase.h"

namespace ZEBInternal {

class ZEBHTTPConnectionNix : public ZEBHTTPConnectionBase {
public:
    using ZEBHTTPConnectionBase::ZEBHTTPConnectionBase;
    // Releases the channel, which closes the socket.
    ~ZEBHTTPConnectionNix() override = default;

protected:
    void performRequest(const char* body, size_t length) override;

private:
    // Runs one channel operation; a channel failure becomes this
    // connection's failure, keeping the channel's text.
    template <typename Step>
    auto onChannel(Step step) -> decltype(step());

    std::unique_ptr<SocketChannel> channel;  // of the current exchange
};

}  // namespace ZEBInternal
