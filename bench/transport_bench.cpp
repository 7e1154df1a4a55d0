// What the transport itself costs: one POST of a 1 MiB body to a loopback
// peer per iteration, over plain HTTP and over TLS (a fresh connection and
// handshake each time, as every message attempt makes one). The peer reads
// the whole request and answers with a short 200.

#include <benchmark/benchmark.h>

#include <string>

#include "../tests/support/LoopbackPeer.h"
#include "../tests/support/TestCertificates.h"
#include "core/ZEBStopMonitor.h"
#include "config/RuntimeSettings.h"
#include "transport/ZEBHTTPConnection.h"
#include "util/ZEBException.h"

namespace {

constexpr size_t kBodySize = 1 << 20;

class NeverStop : public ZEBInternal::ZEBStopMonitor {
public:
    bool shouldStop(bool) override { return false; }
};

void answer(zebtest::PeerStream& s, const std::atomic<bool>&) {
    s.readRequest();
    s.write("HTTP/1.1 200 OK\r\nServer: ZEB\r\nContent-Length: 10\r\n\r\nSTATUS:OK\n");
}

void postLoop(benchmark::State& state, bool tls) {
    zebtest::TestPki pki;
    const zebtest::IssuedCertificate cert = pki.issue("localhost");
    const zebtest::TlsIdentity id{cert.certPem, cert.keyPem};
    zebtest::LoopbackPeer peer(answer, tls ? &id : nullptr);
    const std::string url = "localhost:" + std::to_string(peer.port()) + "/req1";
    const std::string body(kBodySize, 'b');
    NeverStop monitor;
    ZEBInternal::RuntimeSettings settings;
    for (auto _ : state) {
        auto conn = ZEBInternal::createConnection(url, tls, "sync", &monitor, &settings, true);
        conn->addHeader("Connection: close");
        conn->setCerts({pki.caPem()});
        try {
            conn->doPost(body.data(), body.size());
        } catch (const ZEBInternal::ZEBNetworkException& e) {
            state.SkipWithError(e.what());
            break;
        }
        benchmark::DoNotOptimize(conn->getResponseCode());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(kBodySize));
}

void BM_PostPlain1MiB(benchmark::State& state) { postLoop(state, false); }
BENCHMARK(BM_PostPlain1MiB)->Unit(benchmark::kMillisecond);

void BM_PostTls1MiB(benchmark::State& state) { postLoop(state, true); }
BENCHMARK(BM_PostTls1MiB)->Unit(benchmark::kMillisecond);

}  // namespace
