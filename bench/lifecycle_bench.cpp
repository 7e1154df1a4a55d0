// The life cycle as the host's thread feels it, through the C interface
// against zeb-callhome on loopback:
//  - zebStartSDK of a registered client and zebStopSDK(-1), with and
//    without a reach-out handler (whose close is part of the stop);
//  - from zebSync to the server holding the whole upload of 100,000 queued
//    events, over plain HTTP with AES and over TLS (TLS needs root: the
//    test CA is trusted in a child with a private /etc/ssl/certs);
//  - zebTrackEvent while a sync uploads in the background, beside the
//    idle figures of tracking_bench.cpp.

#ifdef ZEB_CALLHOME_PATH  // the call-home server is built only with the tools

#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../tests/integration/LifecycleSupport.h"
#include "../tests/support/TestCertificates.h"
#include "../tests/support/TrustedCa.h"

namespace {

using namespace zebtest;

constexpr const char* kCategory = "MenuButton";
constexpr const char* kName = "OpenFile01";

zebtest::CallHomeServer::Config aesServer() {
    CallHomeServer::Config config;
    config.aesKeyHex = kAesKey;
    return config;
}

// A registered client without feature or size limits, free to sync at any
// moment.
void writeBenchConfig(const std::string& dir) {
    writeRegisteredConfig(dir, {{"FEATLISTLIMIT:", "4000000000"},
                                {"FILESIZETHRESHOLD:", "4000000000"},
                                {"MANUALSYNCTIMETHRESHOLD:", "0"}});
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void noShow(void*, const char*, const char*, int32_t, const char*) {}
void noClose(void*) {}
int32_t done(void*) {
    return 1;
}

void BM_StartAndStopRegisteredClient(benchmark::State& state) {
    const bool handler = state.range(0) != 0;
    CallHomeServer server(aesServer());
    double startMs = 0;
    double stopMs = 0;
    int runs = 0;
    for (auto _ : state) {
        Host host;
        writeBenchConfig(host.dir());
        if (handler) zebSetReachOutHandler(host.zeb, noShow, noClose, done, nullptr);
        host.configure(server.address() + "/app");
        auto t = Clock::now();
        zebStartSDK(host.zeb);
        startMs += msSince(t);
        for (int i = 0; i < 1000; ++i) host.track(kName);
        t = Clock::now();
        zebStopSDK(host.zeb, -1);
        stopMs += msSince(t);
        ++runs;
        state.PauseTiming();
        host.destroy();  // joins the workers: not the host's stop
        state.ResumeTiming();
    }
    state.counters["start_ms"] = startMs / runs;
    state.counters["stop_ms"] = stopMs / runs;
}
BENCHMARK(BM_StartAndStopRegisteredClient)
    ->ArgName("handler")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);

// Seconds from zebSync until the sync pass carrying the upload of `events`
// queued events has ended: the server has then stored the upload and
// answered it. Timed on the client's side alone, so that it also works in
// a child process that cannot see the server's output. Negative when
// something failed.
double timedUpload(const std::string& url, int32_t protocol, int events) {
    Host host;
    writeBenchConfig(host.dir());
    if (host.configure(url, protocol) != 0 || zebStartSDK(host.zeb) != 0) return -1;
    // Let the start-up sync end before the events are queued.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    for (int i = 0; i < events; ++i) host.track(kName, kCategory);
    Clock::time_point start;
    int32_t rc = ZEB_E_SYNC_IN_PROGRESS;
    while (rc == ZEB_E_SYNC_IN_PROGRESS) {
        start = Clock::now();
        rc = zebSync(host.zeb, false);
    }
    if (rc != 0) return -3;
    // zebSync answers -310 from the moment that pass runs until it has
    // ended (a call before it runs only repeats the pending request). The
    // pass takes far longer than one poll, so its start is never missed.
    while (zebSync(host.zeb, false) != ZEB_E_SYNC_IN_PROGRESS) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    while (zebSync(host.zeb, false) == ZEB_E_SYNC_IN_PROGRESS) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    const double seconds = msSince(start) / 1000.0;
    zebStopSDK(host.zeb, -1);
    return seconds;
}

// fn's result from a child that trusts caPem (root only); negative when the
// child could not run it.
double inTrustedChild(const std::string& caPem, const std::function<double()>& fn) {
    int fds[2];
    if (pipe(fds) != 0) return -10;
    double result = -11;
    const int rc = runWithTrustedCa(caPem, [&] {
        const double v = fn();
        return write(fds[1], &v, sizeof v) == static_cast<ssize_t>(sizeof v) ? 0 : 1;
    });
    close(fds[1]);
    if (rc != 0 || read(fds[0], &result, sizeof result) != static_cast<ssize_t>(sizeof result))
        result = -12;
    close(fds[0]);
    return result;
}

void BM_SyncUpload100kEvents(benchmark::State& state) {
    const bool tls = state.range(0) != 0;
    constexpr int kEvents = 100000;
    if (tls && geteuid() != 0) {
        state.SkipWithError("TLS needs root to trust the test CA");
        return;
    }
    TempDir files;
    TestPki pki;
    CallHomeServer::Config config = aesServer();
    if (tls) {
        const IssuedCertificate cert = pki.issue("localhost");
        std::ofstream(files.file("server.crt")) << cert.certPem;
        std::ofstream(files.file("server.key")) << cert.keyPem;
        config.certFile = files.file("server.crt");
        config.keyFile = files.file("server.key");
    }
    CallHomeServer server(config);
    const std::string url = "localhost:" + std::to_string(server.port()) + "/app";
    size_t uploads = 0;
    for (auto _ : state) {
        const double seconds =
            tls ? inTrustedChild(pki.caPem(),
                                 [&] { return timedUpload(url, ZEB_PROTOCOL_TLS_ONLY, kEvents); })
                : timedUpload(url, ZEB_PROTOCOL_HTTP_AES, kEvents);
        // Each run uploads its start-up file, then the 100,000 events.
        uploads += 2;
        const Fields upload = waitForType(server, "upload", uploads, std::chrono::seconds(30));
        if (seconds < 0 || upload.empty() || upload.at("verdict") != "ok" ||
            upload.at("mode") != (tls ? "tls" : "aes")) {
            state.SkipWithError("the upload did not complete");
            return;
        }
        state.SetIterationTime(seconds);
    }
    state.SetItemsProcessed(state.iterations() * kEvents);
}
BENCHMARK(BM_SyncUpload100kEvents)
    ->ArgName("tls")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

// A started client whose syncs upload in a loop on a thread of their own.
struct SyncingClient {
    CallHomeServer server{aesServer()};
    Host host;
    std::atomic<bool> running{true};
    std::atomic<int> syncs{0};
    std::thread syncer;
    SyncingClient() {
        writeBenchConfig(host.dir());
        host.configure(server.address() + "/app");
        zebStartSDK(host.zeb);
        // The start-up sync collects the machine's description first; the
        // figures are about uploads, so it is left to finish.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        syncer = std::thread([this] {
            while (running) {
                if (zebSync(host.zeb, false) == 0) ++syncs;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    ~SyncingClient() {
        running = false;
        syncer.join();
        zebStopSDK(host.zeb, -1);
    }
};

void BM_zebTrackEventDuringSyncs(benchmark::State& state) {
    constexpr int kTimedCalls = 400000;
    SyncingClient client;
    std::vector<double> ns(kTimedCalls);
    for (auto _ : state) {
        for (int i = 0; i < kTimedCalls; ++i) {
            const auto start = Clock::now();
            zebTrackEvent(client.host.zeb, kCategory, kName, nullptr);
            ns[i] = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
        }
    }
    std::sort(ns.begin(), ns.end());
    state.counters["p50_ns"] = ns[ns.size() / 2];
    state.counters["p99_ns"] = ns[ns.size() * 99 / 100];
    state.counters["syncs"] = client.syncs.load();
}
BENCHMARK(BM_zebTrackEventDuringSyncs)->Iterations(1)->Unit(benchmark::kMillisecond);

SyncingClient* sharedSyncingClient = nullptr;

void BM_zebTrackEventThroughputDuringSyncs(benchmark::State& state) {
    if (state.thread_index() == 0) sharedSyncingClient = new SyncingClient;
    for (auto _ : state) {
        zebTrackEvent(sharedSyncingClient->host.zeb, kCategory, kName, nullptr);
    }
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        state.counters["syncs"] = sharedSyncingClient->syncs.load();
        delete sharedSyncingClient;
        sharedSyncingClient = nullptr;
    }
}
BENCHMARK(BM_zebTrackEventThroughputDuringSyncs)
    ->Threads(1)
    ->Threads(2)
    ->UseRealTime()
    ->MinTime(0.3);

}  // namespace

#endif  // ZEB_CALLHOME_PATH
