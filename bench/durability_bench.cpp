// The cost of making data files durable, on the file system of $TMPDIR (or
// /tmp), which should be a real disk for the figures to mean anything:
//  - a configuration save (write, fdatasync, rename, fsync of the directory,
//    removal of the older file) beside the bare sequence without the two
//    flushes;
//  - a log-writer pass with close (100 events appended, the file flushed,
//    renamed, the directory flushed) beside the bare append and rename;
//  - one fdatasync of a small file and one fsync of a directory alone.
// The closed log file is removed outside the timing, as a sync would.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "config/ConfigFile.h"
#include "config/Configuration.h"
#include "config/RuntimeSettings.h"
#include "events/LogFile.h"
#include "events/ZEBEventBasic.h"
#include "support/TempDir.h"
#include "unit/events/EventsFixture.h"
#include "util/Files.h"

namespace {

using namespace ZEBInternal;

constexpr int kEventsPerPass = 100;

LogFile::Batch eventBatch() {
    LogFile::Batch batch;
    for (int i = 0; i < kEventsPerPass; ++i)
        batch.push_back(std::make_unique<ZEBEventBasic>("Menu", "Open", "S"));
    return batch;
}

void BM_ConfigSaveFlushed(benchmark::State& state) {
    zebtest::TempDir dir;
    RuntimeSettings settings;
    ConfigFile file(&settings, dir.path(), "0123456789", "App");
    file.setClientID("CLIENT0001");
    for (auto _ : state) {
        if (!file.save()) state.SkipWithError("save failed");
    }
}
BENCHMARK(BM_ConfigSaveFlushed)->Unit(benchmark::kMicrosecond);

// The same text through the same helpers, without the two flushes.
void BM_ConfigSaveBare(benchmark::State& state) {
    zebtest::TempDir dir;
    RuntimeSettings settings;
    ConfigFile file(&settings, dir.path(), "0123456789", "App");
    file.setClientID("CLIENT0001");
    const std::string text = "SIGNATURE:" + std::string(64, 'A') + "\n" + file.serializeBody();
    std::string previous;
    for (auto _ : state) {
        const std::string name = file.filePrefix() + timeStamp32() + ".cfg";
        if (!writeFile(dir.path() + "/" + name + "tmp", text, false) ||
            !renameInDirectory(dir.path(), name + "tmp", name)) {
            state.SkipWithError("write failed");
        }
        if (!previous.empty() && previous != name) removeFile(dir.path() + "/" + previous);
        previous = name;
    }
}
BENCHMARK(BM_ConfigSaveBare)->Unit(benchmark::kMicrosecond);

void BM_LogPassWithCloseFlushed(benchmark::State& state) {
    zebtest::TempDir dir;
    RuntimeSettings settings;
    auto configuration = eventstest::makeConfiguration(dir.path(), &settings);
    configuration->file().applyServerSetting("FEATLISTLIMIT:", "4000000000");
    LogFile log(configuration.get());
    for (auto _ : state) {
        LogFile::Batch batch = eventBatch();
        const std::string closed = log.closedFileName();
        log.appendEvents(batch);
        if (!log.closeActiveFile()) state.SkipWithError("close failed");
        state.PauseTiming();
        removeFile(dir.path() + "/" + closed);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LogPassWithCloseFlushed)->Unit(benchmark::kMicrosecond);

// The same lines appended and renamed without the flushes.
void BM_LogPassWithCloseBare(benchmark::State& state) {
    zebtest::TempDir dir;
    RuntimeSettings settings;
    auto configuration = eventstest::makeConfiguration(dir.path(), &settings);
    configuration->file().applyServerSetting("FEATLISTLIMIT:", "4000000000");
    std::string text;
    {
        // One real file's text: the new-file line and the events.
        LogFile log(configuration.get());
        LogFile::Batch batch = eventBatch();
        log.appendEvents(batch);
        text = readFile(dir.path() + "/" + log.activeFileName());
        removeFile(dir.path() + "/" + log.activeFileName());
    }
    for (auto _ : state) {
        const std::string stamp = timeStamp32();
        const std::string active = "zeblogV5_CID_qhwnpcodkv_App_" + stamp + ".logtmp";
        const std::string closed = "zeblogV5_CID_qhwnpcodkv_App_" + stamp + ".log";
        if (!writeFile(dir.path() + "/" + active, text, true) ||
            !renameInDirectory(dir.path(), active, closed)) {
            state.SkipWithError("write failed");
        }
        state.PauseTiming();
        removeFile(dir.path() + "/" + closed);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LogPassWithCloseBare)->Unit(benchmark::kMicrosecond);

void BM_FdatasyncOfASmallFile(benchmark::State& state) {
    zebtest::TempDir dir;
    const std::string path = dir.file("f");
    for (auto _ : state) {
        state.PauseTiming();
        writeFile(path, std::string(4096, 'x'), true);
        state.ResumeTiming();
        if (!syncFileData(path)) state.SkipWithError("fdatasync failed");
    }
}
BENCHMARK(BM_FdatasyncOfASmallFile)->Unit(benchmark::kMicrosecond);

void BM_FsyncOfTheDirectory(benchmark::State& state) {
    zebtest::TempDir dir;
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string from = "a" + std::to_string(n);
        const std::string to = "a" + std::to_string(++n);
        writeFile(dir.file(from), "x", false);
        renameInDirectory(dir.path(), from, to);
        state.ResumeTiming();
        if (!syncDirectory(dir.path())) state.SkipWithError("fsync failed");
    }
}
BENCHMARK(BM_FsyncOfTheDirectory)->Unit(benchmark::kMicrosecond);

}  // namespace
