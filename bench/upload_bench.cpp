// The client's whole share of an upload, in MB/s of event text: the real
// upload message reads and joins the closed log files, gzips, signs and
// AES-encrypts them, and stops where a connection would take the body. The
// files are written by the log file itself from records of every feature
// kind, so the text compresses as a real log does. The pieces alone, on a
// text of their own, are in exchange_bench.cpp.

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "config/Configuration.h"
#include "config/RuntimeSettings.h"
#include "core/SDKContext.h"
#include "events/LogFile.h"
#include "events/ZEBEventBasic.h"
#include "events/ZEBEventException.h"
#include "messages/ZEBSyncUpload.h"
#include "transport/ZEBHTTPConnection.h"
#include "unit/events/EventsFixture.h"
#include "util/Files.h"

namespace {

using namespace ZEBInternal;

constexpr int kFiles = 4;
constexpr size_t kBytesPerFile = 2u << 20;

// The upload, ended where the body would go to the connection.
class UploadToNowhere : public ZEBSyncUpload {
public:
    using ZEBSyncUpload::ZEBSyncUpload;
    size_t sentBytes = 0;

protected:
    std::unique_ptr<ZEBHTTPConnection> makeConnection(bool) override {
        sentBytes = body.size();
        return nullptr;
    }
};

// Closed log files as a day of use leaves them: plain, numeric, text and
// name/value events of a few categories, now and then an exception.
struct ClosedLogs {
    zebtest::TempDir dir;
    RuntimeSettings settings;
    std::unique_ptr<Configuration> configuration;
    SDKContext context;
    std::vector<std::string> names;
    size_t textBytes = 0;

    ClosedLogs() {
        configuration = eventstest::makeConfiguration(dir.path(), &settings, "CLIENT0001", "Bench");
        // No feature or size limit: every event is written.
        configuration->file().applyServerSetting("FEATLISTLIMIT:", "4000000000");
        configuration->file().applyServerSetting("FILESIZETHRESHOLD:", "4000000000");
        context.configuration = configuration.get();
        write();
    }
    void write() {
        static const char* const kCategories[] = {"Menu", "Toolbar", "Dialog", "Editor", "Sync"};
        static const char* const kNames[] = {"Open", "Save", "Print",       "Export",  "Close",
                                             "Undo", "Find", "Preferences", "Zoom In", "Share"};
        std::mt19937 rng(7);
        time_t now = 1767225600;  // 2026-01-01, then a few seconds per event
        std::string session = "0123456789ABCDEF0123456789ABCDEF";
        LogFile log(configuration.get());
        for (int f = 0; f < kFiles; ++f) {
            const std::string path = dir.path() + "/" + log.activeFileName();
            while (fileSize(path) < kBytesPerFile) {
                LogFile::Batch batch;
                for (int i = 0; i < 1000; ++i) {
                    const unsigned n = rng();
                    const char* category = kCategories[n % 5];
                    const char* name = kNames[n / 5 % 10];
                    // Now and then the host starts another user session.
                    if (n % 997 == 0) session = "U" + std::to_string(rng());
                    switch (n / 50 % 8) {
                        case 0:
                            batch.push_back(std::make_unique<ZEBEventNumeric>(
                                category, name, session, static_cast<double>(n % 100000)));
                            break;
                        case 1:
                            batch.push_back(std::make_unique<ZEBEventText>(
                                category, name,
                                "document saved to $HOME/Projects/report-" +
                                    std::to_string(n % 500) + ".txt",
                                session));
                            break;
                        case 2:
                            batch.push_back(std::make_unique<ZEBEventNameValuePairs>(
                                category, name,
                                ZEBEventNameValuePairs::Pairs{
                                    {"format", "pdf"},
                                    {"pages", std::to_string(1 + n % 300)},
                                    {"duplex", "yes"}},
                                session));
                            break;
                        case 3:
                            if (n % 64 == 3) {
                                batch.push_back(std::make_unique<ZEBEventException>(
                                    "std::out_of_range", "Buffer::at", "index 42 past end",
                                    "Buffer::at(unsigned long)\nEditor::paste()\nmain", session));
                                break;
                            }
                            [[fallthrough]];
                        default:
                            batch.push_back(
                                std::make_unique<ZEBEventBasic>(category, name, session));
                            break;
                    }
                }
                for (auto& record : batch) record->setTime(now += rng() % 20);
                log.appendEvents(batch);
            }
            names.push_back(log.closedFileName());
            textBytes += fileSize(path);
            log.closeActiveFile();
        }
    }
};

void BM_UploadPathClosedFiles(benchmark::State& state) {
    ClosedLogs logs;
    size_t sent = 0;
    for (auto _ : state) {
        UploadToNowhere upload(&logs.context, "127.0.0.1:9/upload", logs.names);
        upload.exchange();
        sent = upload.sentBytes;
        if (sent == 0) {
            state.SkipWithError("no body was made");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(logs.textBytes));
    state.counters["text_bytes"] = static_cast<double>(logs.textBytes);
    state.counters["sent_bytes"] = static_cast<double>(sent);
}
BENCHMARK(BM_UploadPathClosedFiles)->Unit(benchmark::kMillisecond);

}  // namespace
