// One whole upload exchange on loopback against zeb-callhome, protocol mode
// 1: 1 MiB of event-log text is gzipped, signed, AES-encrypted, posted,
// inflated and stored by the server, and its signed, encrypted answer is
// decrypted and checked. Beside it, the client's pieces of the same work
// are timed alone on the same data, so the figures say where the time goes:
// gzip of the text, the signature over the gzipped body, CFB-8 over the
// signed body, and the bare post of a body of that size to a peer that
// answers at once or a little late. What remains of the whole is the
// server's side and the read's waiting for it.

#ifdef ZEB_CALLHOME_PATH  // the call-home server is built only with the tools

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "../tests/support/CallHomeServer.h"
#include "../tests/support/LoopbackPeer.h"
#include "../tests/support/TempDir.h"
#include "core/SDKContext.h"
#include "core/ZEBStopMonitor.h"
#include "config/Configuration.h"
#include "config/RuntimeSettings.h"
#include "messages/ZEBMessageBase.h"
#include "transport/ZEBHTTPConnection.h"
#include "util/Digest.h"
#include "util/Gzip.h"
#include "util/MessageCipher.h"
#include "util/ZEBException.h"

namespace {

using ZEBInternal::ZEBMessageBase;

constexpr size_t kTextSize = 1 << 20;
constexpr const char* kAesKeyHex = "00112233445566778899AABBCCDDEEFF";

class NeverStop : public ZEBInternal::ZEBStopMonitor {
public:
    bool shouldStop(bool) override { return false; }
};

// Closed log files as an upload joins them: each starts with its new-file
// line, then events of the usual kinds (plain, numeric, text, name-value
// pairs, session and exception lines) from a few sessions.
const std::string& uploadText() {
    static const std::string text = [] {
        static const char* const kCategories[] = {"Menu", "Toolbar", "Dialog", "Editor", "Sync"};
        static const char* const kNames[] = {"Open", "Save", "Print",       "Export",  "Close",
                                             "Undo", "Find", "Preferences", "Zoom In", "Share"};
        std::mt19937 rng(7);
        std::string s;
        s.reserve(kTextSize + 4096);
        unsigned file = 0;
        unsigned second = 0;
        auto stamp = [&] {
            const unsigned t = second++;
            char buf[32];
            std::snprintf(buf, sizeof buf, "2026-03-%02uT%02u:%02u:%02u", 1 + t / 86400 % 28,
                          t / 3600 % 24, t / 60 % 60, t % 60);
            return std::string(buf);
        };
        while (s.size() < kTextSize) {
            if (file > 0) s += "++0--===--0++\n";
            const std::string session = "S" + std::to_string(1000000000 + file * 7919);
            s += stamp() + "$" + session + "$0051$F" + std::to_string(4000 + file) +
                 "$ExchangeBench\n";
            // A closed log file of about 200 KiB.
            const size_t end = s.size() + 200 * 1024;
            while (s.size() < end) {
                const std::string head = stamp() + "$" + session + "$";
                const char* category = kCategories[rng() % 5];
                const char* name = kNames[rng() % 10];
                switch (rng() % 8) {
                    case 0:
                        s += head + "0022$" + category + "$" + name + "$" +
                             std::to_string(rng() % 100000) + "\n";
                        break;
                    case 1:
                        s += head + "0023$" + category + "$" + name +
                             "$document saved to \\$HOME/Projects/report-" +
                             std::to_string(rng() % 500) + ".txt\n";
                        break;
                    case 2:
                        s += head + "0024$" + category + "$" + name + "$(format,pdf)&&(pages," +
                             std::to_string(1 + rng() % 300) + ")&&(duplex,yes)\n";
                        break;
                    case 3: s += head + "0031$U" + std::to_string(rng() % 100) + "\n"; break;
                    case 4:
                        if (rng() % 16 == 0) {
                            s += head + "0061$std::out_of_range$Buffer::at$index 42 past end$" +
                                 "Buffer::at(unsigned long)\\nEditor::paste()\\nmain\n";
                            break;
                        }
                        // Most events are plain ones.
                        [[fallthrough]];
                    default: s += head + "0021$" + category + "$" + name + "\n"; break;
                }
            }
            ++file;
        }
        s.resize(kTextSize);
        s.back() = '\n';
        return s;
    }();
    return text;
}

// An upload as the sync sends it: no envelope, the text gzipped, answered
// with "STATUS:OK". The text is borrowed from the caller.
class BenchUpload : public ZEBMessageBase {
public:
    BenchUpload(const ZEBInternal::SDKContext* context, std::string url, const std::string& text)
        : ZEBMessageBase(context, std::move(url), "upload"), text_(text) {}

protected:
    bool buildRequest() override {
        requestText = text_;
        return !requestText.empty();
    }
    bool finaliseBody() override {
        body = ZEBInternal::gzipCompress(requestText);
        requestText.clear();
        return !body.empty();
    }
    bool parseResponse() override {
        std::string value;
        return findValue("STATUS:", value) && value == "OK";
    }

private:
    const std::string& text_;
};

// The client's share of the body: gzipped, then signed.
std::string signedGzip() {
    std::string body = ZEBInternal::gzipCompress(uploadText());
    body += ZEBInternal::sha256Base64(body);
    return body;
}

void setBytes(benchmark::State& state, size_t perIteration) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(perIteration));
}

void BM_ExchangeUpload1MiB(benchmark::State& state) {
    zebtest::CallHomeServer::Config serverConfig;
    serverConfig.aesKeyHex = kAesKeyHex;
    zebtest::CallHomeServer server(serverConfig);

    zebtest::TempDir dir;
    NeverStop monitor;
    ZEBInternal::RuntimeSettings settings;
    ZEBInternal::ConfigArguments args;
    args.dataDirectory = dir.path();
    args.serverURL = server.address() + "/app";
    args.protocol = 1;
    args.aesKeyHex = kAesKeyHex;
    args.productID = "0123456789";
    args.appName = "ExchangeBench";
    ZEBInternal::Configuration configuration(&monitor, &settings, args);
    ZEBInternal::SDKContext context;
    context.configuration = &configuration;
    const std::string url = server.address() + "/upload";
    const std::string& text = uploadText();

    for (auto _ : state) {
        BenchUpload upload(&context, url, text);
        if (!upload.exchange()) {
            state.SkipWithError(
                ("upload failed with status " + std::to_string(upload.getStatus())).c_str());
            break;
        }
    }
    setBytes(state, text.size());
    state.counters["sent_bytes"] =
        static_cast<double>(signedGzip().size() + ZEBInternal::MessageCipher::kTrailerSize);
}
BENCHMARK(BM_ExchangeUpload1MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExchangePieceGzip(benchmark::State& state) {
    const std::string& text = uploadText();
    size_t compressed = 0;
    for (auto _ : state) {
        const std::string out = ZEBInternal::gzipCompress(text);
        compressed = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    setBytes(state, text.size());
    state.counters["ratio"] =
        static_cast<double>(text.size()) / static_cast<double>(compressed ? compressed : 1);
}
BENCHMARK(BM_ExchangePieceGzip)->Unit(benchmark::kMillisecond);

void BM_ExchangePieceSignature(benchmark::State& state) {
    const std::string body = ZEBInternal::gzipCompress(uploadText());
    for (auto _ : state) benchmark::DoNotOptimize(ZEBInternal::sha256Base64(body));
    setBytes(state, body.size());
}
BENCHMARK(BM_ExchangePieceSignature)->Unit(benchmark::kMillisecond);

void BM_ExchangePieceCfb8(benchmark::State& state) {
    const std::string body = signedGzip();
    const uint8_t key[16] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                             0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    std::string encrypted;
    for (auto _ : state) {
        ZEBInternal::MessageCipher cipher;
        if (!cipher.encryptWithTrailer(key, body, encrypted)) {
            state.SkipWithError("encryption failed");
            break;
        }
        benchmark::DoNotOptimize(encrypted.data());
    }
    setBytes(state, body.size());
}
BENCHMARK(BM_ExchangePieceCfb8)->Unit(benchmark::kMillisecond);

// The transport alone: a fresh connection posts a body of the encrypted
// size to a peer that reads it and answers after the argument's
// milliseconds. A late answer shows the read's wait granularity: a read
// that finds nothing sleeps a whole retry interval before it looks again.
void BM_ExchangePieceLoopbackPost(benchmark::State& state) {
    const auto delay = std::chrono::milliseconds(state.range(0));
    zebtest::LoopbackPeer peer([delay](zebtest::PeerStream& s, const std::atomic<bool>&) {
        s.readRequest();
        if (delay.count() > 0) std::this_thread::sleep_for(delay);
        s.write("HTTP/1.1 200 OK\r\nServer: ZEB\r\nContent-Length: 10\r\n\r\nSTATUS:OK\n");
    });
    const std::string body(signedGzip().size() + ZEBInternal::MessageCipher::kTrailerSize, 'x');
    const std::string url = "127.0.0.1:" + std::to_string(peer.port()) + "/upload";
    NeverStop monitor;
    ZEBInternal::RuntimeSettings settings;
    for (auto _ : state) {
        auto conn = ZEBInternal::createConnection(url, false, "upload", &monitor, &settings, true);
        conn->addHeader("Content-Type: application/octet-stream");
        conn->addHeader("Connection: close");
        try {
            conn->doUpload(body.data(), body.size());
        } catch (const ZEBInternal::ZEBNetworkException& e) {
            state.SkipWithError(e.what());
            break;
        }
        benchmark::DoNotOptimize(conn->getResponseCode());
    }
    setBytes(state, body.size());
}
BENCHMARK(BM_ExchangePieceLoopbackPost)
    ->Arg(0)
    ->Arg(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

#endif  // ZEB_CALLHOME_PATH
