// Throughput of the transformations applied to every message body: the
// signature digest, Base64, gzip of upload logs and CFB-8 encryption.
// Each runs over 1 MiB per iteration.

#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "util/Digest.h"
#include "util/Gzip.h"
#include "util/MessageCipher.h"

namespace {

constexpr size_t kInputSize = 1 << 20;

std::string randomBytes() {
    std::mt19937 rng(1);
    std::string s(kInputSize, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}

// Event-log lines as the log writer produces them: time stamp, session,
// event type, category, name and a value.
std::string logText() {
    static const char* const kNames[] = {"Open", "Save", "Print", "Export", "Close", "Undo"};
    static const char* const kCategories[] = {"Menu", "Toolbar", "Dialog"};
    std::mt19937 rng(2);
    std::string s;
    s.reserve(kInputSize + 256);
    while (s.size() < kInputSize) {
        const unsigned second = 10 + rng() % 50;
        s += "2026-12-08T19:04:" + std::to_string(second) + "$8C1F0A77D3E24B6C$002" +
             std::to_string(rng() % 4) + "$" + kCategories[rng() % 3] + "$" + kNames[rng() % 6] +
             "$" + std::to_string(rng() % 100000) + "\n";
    }
    s.resize(kInputSize);
    return s;
}

void BM_Sha256(benchmark::State& state) {
    const std::string input = randomBytes();
    for (auto _ : state) benchmark::DoNotOptimize(ZEBInternal::sha256Raw(input));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(input.size()));
}
BENCHMARK(BM_Sha256);

void BM_Base64(benchmark::State& state) {
    const std::string input = randomBytes();
    for (auto _ : state) benchmark::DoNotOptimize(ZEBInternal::base64Encode(input));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(input.size()));
}
BENCHMARK(BM_Base64);

void BM_GzipLogText(benchmark::State& state) {
    const std::string input = logText();
    size_t compressed = 0;
    for (auto _ : state) {
        const std::string out = ZEBInternal::gzipCompress(input);
        compressed = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(input.size()));
    state.counters["ratio"] =
        static_cast<double>(input.size()) / static_cast<double>(compressed ? compressed : 1);
}
BENCHMARK(BM_GzipLogText)->Unit(benchmark::kMillisecond);

void BM_Cfb8Encrypt(benchmark::State& state) {
    const std::string input = randomBytes();
    const uint8_t key[16] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                             0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};
    ZEBInternal::MessageCipher cipher;
    std::string body;
    for (auto _ : state) {
        if (!cipher.encryptWithTrailer(key, input, body)) state.SkipWithError("encryption failed");
        benchmark::DoNotOptimize(body.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(input.size()));
}
BENCHMARK(BM_Cfb8Encrypt)->Unit(benchmark::kMillisecond);

}  // namespace

