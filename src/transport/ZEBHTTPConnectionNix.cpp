#include "transport/ZEBHTTPConnectionNix.h"

#include "util/SecureWipe.h"
#include "util/ZEBException.h"

namespace ZEBInternal {

template <typename Step>
auto ZEBHTTPConnectionNix::onChannel(Step step) -> decltype(step()) {
    try {
        return step();
    } catch (const ZEBNetworkException& e) {
        fail(e.getMessage());
    }
}

void ZEBHTTPConnectionNix::performRequest(const char* body, size_t length) {
    resetResponse();
    parseUrl();
    const bool tunnel = useTls && viaProxy();
    channel.reset();
    channel = std::make_unique<SocketChannel>(stopMonitor, settings, isSyncOrUpload,
                                              viaProxy() ? proxyHost : host,
                                              viaProxy() ? proxyPort : port, host);
    if (useTls && !tunnel) {
        // Certificates are checked before connecting, so a configuration
        // without any fails without touching the network.
        onChannel([&] { channel->initTls(certs); });
        onChannel([&] { channel->connect(); });
        onChannel([&] { channel->connectTls(); });
    } else {
        onChannel([&] { channel->connect(); });
    }

    if (tunnel) {
        state = kStateTunnelling;
        std::string connectRequest = composeConnect();
        const ScopedWipe wipeConnect(connectRequest, hasProxyCredentials());
        onChannel([&] { channel->send(connectRequest.data(), connectRequest.size()); });
        state = kStateConnectSent;
        acceptConnectAnswer(onChannel([&] { return channel->readResponse(true); }));
        onChannel([&] { channel->initTls(certs); });
        onChannel([&] { channel->connectTls(); });
    }

    state = kStateSending;
    std::string request = composeRequest(body, length);
    const ScopedWipe wipeRequest(request, hasProxyCredentials());
    onChannel([&] { channel->send(request.data(), request.size()); });
    state = kStateReading;
    acceptResponse(onChannel([&] { return channel->readResponse(false); }));
}

std::unique_ptr<ZEBHTTPConnection> createConnection(const std::string& url, bool useTls,
                                                    const std::string& name,
                                                    ZEBStopMonitor* stopMonitor,
                                                    const RuntimeSettings* settings,
                                                    bool isSyncOrUpload) {
    return std::make_unique<ZEBHTTPConnectionNix>(url, useTls, name, stopMonitor, settings,
                                                  isSyncOrUpload);
}

}  // namespace ZEBInternal
