// What a tracking call costs the host's thread, against a baseline of the
// least any queueing design must do (a heap record of a time stamp and three
// short strings pushed on a locked deque); how fast the log writer drains a
// full queue to disk; and the memory a queued event holds.
//
// Figures: p50 and mean of individually timed calls (the clock reads cost
// the same on both sides), calls/s with two threads, events/s of one writer
// pass, bytes per queued event from the allocator's own count.

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <stdlib.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/SDKContext.h"
#include "api/ZEBSDK.h"
#include "config/Configuration.h"
#include "events/EventManager.h"
#include "events/LogFile.h"
#include "events/ZEBEventBasic.h"
#include "support/ConfigFileWriter.h"
#include "util/Files.h"
#include "workers/ZEBLogWriter.h"
#include "zeb.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTimedCalls = 400000;
constexpr const char* kCategory = "MenuButton";
constexpr const char* kName = "OpenFile01";

struct BaselineRecord {
    time_t time;
    std::string category;
    std::string name;
    std::string session;
};

std::string makeDataDirectory() {
    char pattern[] = "/tmp/zebbench_XXXXXX";
    const char* dir = mkdtemp(pattern);
    return dir != nullptr ? std::string(dir) : std::string();
}

void removeDataDirectory(const std::string& dir) {
    for (const auto& name : ZEBInternal::listDirectory(dir)) ZEBInternal::removeFile(dir + "/" + name);
    rmdir(dir.c_str());
}

// A registered client's configuration without feature or size limits, so
// every event is written.
void writeUnlimitedConfig(const std::string& dir) {
    zebtest::ConfigFileValues values;
    values.values["FEATLISTLIMIT:"] = "4000000000";
    values.values["FILESIZETHRESHOLD:"] = "4000000000";
    zebtest::writeConfigFile(dir, "qhwnpcodkv", "Bench", "0000000000001", values);
}

void reportLatencies(benchmark::State& state, std::vector<double>& ns) {
    std::sort(ns.begin(), ns.end());
    double sum = 0;
    for (double v : ns) sum += v;
    state.counters["p50_ns"] = ns[ns.size() / 2];
    state.counters["p90_ns"] = ns[ns.size() * 9 / 10];
    state.counters["p99_ns"] = ns[ns.size() * 99 / 100];
    state.counters["mean_ns"] = sum / static_cast<double>(ns.size());
}

void BM_BaselineQueuePush(benchmark::State& state) {
    std::mutex lock;
    std::deque<BaselineRecord*> queue;
    std::vector<double> ns(kTimedCalls);
    for (auto _ : state) {
        for (int i = 0; i < kTimedCalls; ++i) {
            const auto start = Clock::now();
            struct timeval tv;
            gettimeofday(&tv, nullptr);
            auto* record = new BaselineRecord{tv.tv_sec, kCategory, kName, ""};
            {
                std::lock_guard<std::mutex> guard(lock);
                queue.push_back(record);
            }
            ns[i] = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
        }
        for (auto* record : queue) delete record;
        queue.clear();
    }
    reportLatencies(state, ns);
}
BENCHMARK(BM_BaselineQueuePush)->Iterations(1)->Unit(benchmark::kMillisecond);

// One started client for the C-interface benchmarks.
struct StartedClient {
    std::string dir = makeDataDirectory();
    ZEBInstance* instance = nullptr;
    StartedClient() {
        writeUnlimitedConfig(dir);
        instance = zebCreateInstance(false);
        zebCreateConfig(instance, dir.c_str(), "0123456789", "Bench", "127.0.0.1:9", 1,
                        "00112233445566778899AABBCCDDEEFF", false, false);
        zebStartSDK(instance);
    }
    ~StartedClient() {
        zebStopSDK(instance, -1);
        zebDestroyInstance(instance);
        removeDataDirectory(dir);
    }
};

// Argument 1: a log handler at the debug level is installed, so every
// report the library makes is formatted and delivered.
void BM_zebTrackEvent(benchmark::State& state) {
    StartedClient client;
    if (zebGetState(client.instance) != 4) {
        state.SkipWithError("client did not start");
        return;
    }
    std::atomic<long> messages{0};
    if (state.range(0) != 0) {
        zebSetLogHandler(
            client.instance, ZEB_LOG_DEBUG,
            [](void* count, int32_t, const char*) { ++*static_cast<std::atomic<long>*>(count); },
            &messages);
    }
    std::vector<double> ns(kTimedCalls);
    for (auto _ : state) {
        for (int i = 0; i < kTimedCalls; ++i) {
            const auto start = Clock::now();
            zebTrackEvent(client.instance, kCategory, kName, nullptr);
            ns[i] = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
        }
    }
    reportLatencies(state, ns);
    state.counters["log_messages"] = static_cast<double>(messages.load());
}
BENCHMARK(BM_zebTrackEvent)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

StartedClient* sharedClient = nullptr;

void BM_zebTrackEventThroughput(benchmark::State& state) {
    if (state.thread_index() == 0) sharedClient = new StartedClient;
    // Google Benchmark starts the measured loop of all threads together.
    for (auto _ : state) {
        zebTrackEvent(sharedClient->instance, kCategory, kName, nullptr);
    }
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        delete sharedClient;
        sharedClient = nullptr;
    }
}
// Short: the queue grows until the log writer's next pass.
BENCHMARK(BM_zebTrackEventThroughput)->Threads(1)->Threads(2)->UseRealTime()->MinTime(0.3);

void BM_BaselineThroughput(benchmark::State& state) {
    static std::mutex lock;
    static std::deque<BaselineRecord*> queue;
    for (auto _ : state) {
        struct timeval tv;
        gettimeofday(&tv, nullptr);
        auto* record = new BaselineRecord{tv.tv_sec, kCategory, kName, ""};
        std::lock_guard<std::mutex> guard(lock);
        queue.push_back(record);
    }
    state.SetItemsProcessed(state.iterations());
    // Every thread has left its loop here (the library waits for all of
    // them), so the queue is ours alone.
    if (state.thread_index() == 0) {
        for (auto* record : queue) delete record;
        queue.clear();
    }
}
BENCHMARK(BM_BaselineThroughput)->Threads(1)->Threads(2)->UseRealTime()->MinTime(0.3);

// The internal pieces of one registered client, with a log writer whose own
// thread never runs during the measurement.
struct WriterRig {
    std::string dir = makeDataDirectory();
    ZEBInternal::RuntimeSettings settings;
    std::unique_ptr<ZEBInternal::Configuration> configuration;
    ZEBInternal::EventManager events;
    ZEBInternal::SDKContext context;
    std::unique_ptr<ZEBInternal::LogFile> logFile;
    std::unique_ptr<ZEBInternal::ZEBLogWriter> writer;

    WriterRig() {
        settings.LOGWRITERDWELLSEC = 3600;
        writeUnlimitedConfig(dir);
        ZEBInternal::ConfigArguments args;
        args.configFilePath = dir;
        args.dataDirectory = dir;
        args.serverURL = "127.0.0.1:9";
        args.protocol = 1;
        args.productID = "0123456789";
        args.appName = "Bench";
        args.instanceID = "0123456789ABCDEF0123456789ABCDEF";
        configuration = std::make_unique<ZEBInternal::Configuration>(nullptr, &settings, args);
        configuration->load();
        context.configuration = configuration.get();
        context.eventManager = &events;
        logFile = std::make_unique<ZEBInternal::LogFile>(configuration.get());
        writer = std::make_unique<ZEBInternal::ZEBLogWriter>(&context, logFile.get());
        writer->run();  // the thread's first pass is done; start the file
    }
    ~WriterRig() {
        writer->shutdown();
        writer->join();
        writer.reset();
        removeDataDirectory(dir);
    }
};

void BM_LogWriterPass(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    WriterRig rig;
    for (auto _ : state) {
        for (int i = 0; i < count; ++i) {
            rig.events.push(std::make_unique<ZEBInternal::ZEBEventBasic>(
                kCategory, kName, "0123456789ABCDEF0123456789ABCDEF"));
        }
        const auto start = Clock::now();
        rig.writer->run();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        rig.logFile->closeActiveFile();
        for (const auto& name : rig.logFile->listLogFiles(true, false)) {
            ZEBInternal::removeFile(rig.dir + "/" + name);
        }
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_LogWriterPass)->Arg(1000000)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// Bytes the allocator holds per queued basic event, queued through the SDK's
// own tracking call (record, strings and queue slot).
void BM_MemoryPerQueuedEvent(benchmark::State& state) {
    constexpr int kEvents = 1000000;
    std::string dir = makeDataDirectory();
    writeUnlimitedConfig(dir);
    ZEBInternal::RuntimeSettings settings;
    settings.LOGWRITERDWELLSEC = 3600;
    double perEvent = 0;
    for (auto _ : state) {
        ZEBInternal::ZEBSDK sdk(0, settings);
        sdk.createConfig(dir, "0123456789", "Bench", "127.0.0.1:9", 1,
                         "00112233445566778899AABBCCDDEEFF", false, false);
        sdk.startSDK();
        // Let the log writer's first pass (at start) finish first.
        ZEBInternal::timeutil::sleepFor(ZEBInternal::TimeValue{0, 200000});
        const size_t before = mallinfo2().uordblks;
        for (int i = 0; i < kEvents; ++i) sdk.trackEvent(kCategory, kName, "");
        const size_t after = mallinfo2().uordblks;
        perEvent = static_cast<double>(after - before) / kEvents;
        sdk.stopSDK(-1);
    }
    state.counters["bytes_per_event"] = perEvent;
    removeDataDirectory(dir);
}
BENCHMARK(BM_MemoryPerQueuedEvent)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_BaselineMemoryPerRecord(benchmark::State& state) {
    constexpr int kEvents = 1000000;
    double perEvent = 0;
    for (auto _ : state) {
        std::deque<BaselineRecord*> queue;
        const size_t before = mallinfo2().uordblks;
        for (int i = 0; i < kEvents; ++i) {
            queue.push_back(new BaselineRecord{time(nullptr), kCategory, kName, ""});
        }
        perEvent = static_cast<double>(mallinfo2().uordblks - before) / kEvents;
        for (auto* record : queue) delete record;
    }
    state.counters["bytes_per_event"] = perEvent;
}
BENCHMARK(BM_BaselineMemoryPerRecord)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
