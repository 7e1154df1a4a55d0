// Cost of describing the machine: the fingerprints as zebCreateConfig
// computes them on the host's thread, one full system-information
// collection as the first registration or sync runs it, and each probe on
// its own to show which one dominates.

#include <benchmark/benchmark.h>

#include <ctime>

#include "config/RuntimeSettings.h"
#include "platform/DeviceProbes.h"
#include "platform/DistributionProbe.h"
#include "platform/Fingerprint.h"
#include "platform/IdentityProbes.h"
#include "platform/NetworkAdapters.h"
#include "platform/SystemInfoCollector.h"
#include "platform/SystemProbes.h"

namespace {

using namespace ZEBInternal;

void BM_FingerprintAtCreateConfig(benchmark::State& state) {
    RuntimeSettings settings;
    for (auto _ : state) {
        Fingerprint store(&settings);
        store.setInputs("/tmp", "1234567890");
        benchmark::DoNotOptimize(store.sectionText());
    }
}
BENCHMARK(BM_FingerprintAtCreateConfig)->Unit(benchmark::kMillisecond);

void BM_CollectSystemInfo(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(collectSystemInfo(static_cast<uint32_t>(time(nullptr))));
}
BENCHMARK(BM_CollectSystemInfo)->Unit(benchmark::kMillisecond)->Iterations(20);

using Probe = void (*)(const ProbeEnvironment&);

void BM_Probe(benchmark::State& state, Probe probe) {
    const ProbeEnvironment& env = defaultProbeEnvironment();
    for (auto _ : state) probe(env);
}

#define ZEB_PROBE_BENCH(name, call)                                   \
    BENCHMARK_CAPTURE(BM_Probe, name, [](const ProbeEnvironment& e) { \
        benchmark::DoNotOptimize(call);                               \
    })->Unit(benchmark::kMillisecond)

ZEB_PROBE_BENCH(cpuCores, cpuCores(e));
ZEB_PROBE_BENCH(cpuModel, cpuModel(e));
ZEB_PROBE_BENCH(diskUUID, diskUUID(e));
ZEB_PROBE_BENCH(wordLength, wordLength(e));
ZEB_PROBE_BENCH(language, osLanguage(e));
ZEB_PROBE_BENCH(machineID, machineID(e));
ZEB_PROBE_BENCH(distribution, probeDistribution(e));
ZEB_PROBE_BENCH(tzOffset, tzOffset(e));
ZEB_PROBE_BENCH(ram, ramMiB(e));
ZEB_PROBE_BENCH(lidAndBattery, lidPresent(e) + hasBattery(e));
ZEB_PROBE_BENCH(touchScreen, touchScreenExists(e));
ZEB_PROBE_BENCH(gpus, gpus(e));
ZEB_PROBE_BENCH(virtualMachine, detectVirtualMachine(e));
ZEB_PROBE_BENCH(macAddresses, macAddresses(e));

}  // namespace
