// zebCreateConfig runs on the host's thread: validation, the configuration
// file, the fingerprint probes and, with TLS, the search of the system's
// certificates.

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "support/ConfigFileWriter.h"
#include "util/Files.h"
#include "zeb.h"

namespace {

void BM_zebCreateConfig(benchmark::State& state) {
    const int32_t protocol = static_cast<int32_t>(state.range(0));
    char pattern[] = "/tmp/zebbench_XXXXXX";
    const std::string dir = mkdtemp(pattern) != nullptr ? pattern : "";
    zebtest::writeConfigFile(dir, "qhwnpcodkv", "Bench", "0000000000001", {});
    const char* key = protocol == 3 ? "" : "00112233445566778899AABBCCDDEEFF";
    for (auto _ : state) {
        ZEBInstance* instance = zebCreateInstance(false);
        const int32_t rc = zebCreateConfig(instance, dir.c_str(), "0123456789", "Bench",
                                           "localhost:9", protocol, key, false, false);
        state.PauseTiming();
        if (rc != 0) state.SkipWithError("zebCreateConfig failed");
        zebDestroyInstance(instance);
        state.ResumeTiming();
    }
    for (const auto& name : ZEBInternal::listDirectory(dir)) ZEBInternal::removeFile(dir + "/" + name);
    rmdir(dir.c_str());
}
// 1: plain HTTP, no certificates; 2: TLS with fallback, system certificates read.
BENCHMARK(BM_zebCreateConfig)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace
