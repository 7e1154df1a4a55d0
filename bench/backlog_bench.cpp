// What a long offline backlog costs the host once the client is back on
// line: N closed log files of 1 MiB each wait in the data directory, and
// the start-up sync of a registered client uploads them to zeb-callhome
// (HTTP with AES, gzip on) until the stop's final sync has ended. The
// figures are the wall time, the growth of the process's peak resident
// memory over the run, and what the server received. Only the C interface
// drives the client, so the same benchmark measures any way of building
// the upload.
//
// Beside it, one listing of the log files in a data directory that many
// other products and applications share, since every sync starts with one.

#include <benchmark/benchmark.h>
#include <unistd.h>
#include <utime.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "events/LogFile.h"
#include "unit/events/EventsFixture.h"

#ifdef ZEB_CALLHOME_PATH  // the call-home server is built only with the tools
#include "../tests/integration/LifecycleSupport.h"
#endif

namespace {

// The event lines of about 1 MiB of a log file, after its "0051" line: a
// few application sessions of plain, numeric, text, name/value and
// exception events, with user sessions coming and going, as the log writer
// formats them (escaped "$", newlines as "\n").
std::string eventLines() {
    static const char* const kCategories[] = {"Menu", "Toolbar", "Dialog", "Editor", "Sync"};
    static const char* const kNames[] = {"Open", "Save", "Print",       "Export",  "Close",
                                         "Undo", "Find", "Preferences", "Zoom In", "Share"};
    constexpr size_t kSize = size_t{1} << 20;
    std::mt19937 rng(11);
    const auto hexID = [&] {
        char id[33];
        std::snprintf(id, sizeof id, "%08X%08X%08X%08X", static_cast<unsigned>(rng()),
                      static_cast<unsigned>(rng()), static_cast<unsigned>(rng()),
                      static_cast<unsigned>(rng()));
        return std::string(id);
    };
    time_t now = 1767225600;  // 2026-01-01, then a few seconds per event
    std::string session = hexID();
    std::string text;
    text.reserve(kSize + 4096);
    std::string line;
    while (true) {
        now += rng() % 20;
        char stamp[32];
        struct tm parts {};
        gmtime_r(&now, &parts);
        std::strftime(stamp, sizeof stamp, "%FT%T", &parts);
        const std::string head = std::string(stamp) + "$" + session + "$";
        const unsigned n = rng();
        const std::string category = kCategories[n % 5];
        const std::string name = kNames[n / 5 % 10];
        switch (n / 50 % 10) {
            case 0:
                line = head + "0022$" + category + "$" + name + "$" + std::to_string(n % 100000);
                break;
            case 1:
                line = head + "0023$" + category + "$" + name +
                       "$document saved to \\$HOME/Projects/report-" + std::to_string(n % 500) +
                       ".txt";
                break;
            case 2:
                line = head + "0024$" + category + "$" + name + "$(format,pdf)&&(pages," +
                       std::to_string(1 + n % 300) + ")&&(duplex,yes)";
                break;
            case 3:
                if (n % 64 == 3) {
                    line = head +
                           "0031$std::out_of_range$Buffer::at$index 42 past end$"
                           "Buffer::at(unsigned long)\\nEditor::paste()\\nmain";
                    break;
                }
                [[fallthrough]];
            case 4:
                // Now and then a user session ends and another begins, or
                // the application restarts.
                if (n % 97 == 4) {
                    line = head + "0013\n" + head + "0012$U" + std::to_string(rng() % 100);
                    break;
                }
                if (n % 389 == 4) {
                    line = head + "0002\n";
                    session = hexID();
                    line += std::string(stamp) + "$" + session + "$0001";
                    break;
                }
                [[fallthrough]];
            default: line = head + "0021$" + category + "$" + name; break;
        }
        line += '\n';
        if (text.size() + line.size() > kSize) break;
        text += line;
    }
    return text;
}

// The first line of a file as the log writer starts it: the new-file
// record with a file ID of its own, under the instance ID.
std::string newFileLine(unsigned file) {
    char id[33];
    std::snprintf(id, sizeof id, "%032X", 0x5EED0000u + file);
    return "2026-01-01T00:00:00$INSTANCE0000000000000000000000001$0051$" + std::string(id) +
           "$App\n";
}

void writeFile(const std::string& path, const std::string& a, const std::string& b = {}) {
    std::ofstream out(path, std::ios::binary);
    out << a << b;
}

}  // namespace

#ifdef ZEB_CALLHOME_PATH

namespace {

using namespace zebtest;

// kB of one "Name:" line of /proc/self/status.
double statusKiB(const char* name) {
    std::ifstream in("/proc/self/status");
    const std::string head = std::string(name) + ":";
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(head, 0) == 0) return std::stod(line.substr(head.size()));
    }
    return -1;
}

void BM_BacklogUpload(benchmark::State& state) {
    const auto files = static_cast<unsigned>(state.range(0));
    // The server is to take the whole backlog in one upload too, should
    // the client send it so: far above the default body and text limits.
    // It stores every upload it takes in its own directory on disk, so the
    // time includes writing the text once more, whatever the client does.
    CallHomeServer server(aesServer("[sync]\nINSTRUCTION:UPLOAD\nURL:${SELF}/upload\n",
                                    {"--max-body", "1073741824", "--max-text", "2147483648"}));
    Host host;  // its data directory is on disk under a TempDir
    const std::string& dir = host.dir();
    // No limits of the log's size or its features, a sync at any moment.
    writeRegisteredConfig(dir, {{"FEATLISTLIMIT:", "4000000000"},
                                {"FILESIZETHRESHOLD:", "4000000000"},
                                {"MANUALSYNCTIMETHRESHOLD:", "0"}});
    // Closed names of this client, product and application; the stamps
    // sort before any the library takes now.
    const std::string head = std::string("zeblogV5_") + kClientID + "_" + kProductLetters + "_App_";
    {
        const std::string body = eventLines();
        for (unsigned i = 0; i < files; ++i) {
            char stamp[16];
            std::snprintf(stamp, sizeof stamp, "%013u", i + 1);
            writeFile(dir + "/" + head + stamp + ".log", newFileLine(i), body);
        }
    }
    if (host.configure(server.address() + "/app") != 0) {
        state.SkipWithError("zebCreateConfig failed");
        return;
    }

    double seconds = 0;
    double growthKiB = 0;
    for (auto _ : state) {
        // Resets the peak (VmHWM) to the resident size now.
        std::ofstream("/proc/self/clear_refs") << "5";
        const double before = statusKiB("VmRSS");
        const auto start = Clock::now();
        const int32_t started = zebStartSDK(host.zeb);
        // Called at once: when the start-up sync has not begun yet, the
        // stop's final sync takes its place and carries the backlog. Either
        // way it is gone when the stop returns, or files_left tells.
        const int32_t stopped = zebStopSDK(host.zeb, 600);
        seconds = secondsSince(start);
        growthKiB = statusKiB("VmHWM") - before;
        if (started != 0 || stopped != 0) {
            state.SkipWithError(
                ("start " + std::to_string(started) + ", stop " + std::to_string(stopped)).c_str());
            return;
        }
    }
    host.destroy();
    // Every REQUEST line is read once the server has stopped.
    server.stop(std::chrono::seconds(60));
    double text = 0;
    size_t uploads = 0;
    for (const auto& upload : requestsOf(server, "upload")) {
        if (upload.at("verdict") != "ok") {
            state.SkipWithError(("an upload was refused: " + upload.at("verdict")).c_str());
            return;
        }
        ++uploads;
        text += std::stod(upload.at("text"));
    }
    size_t left = 0;
    for (const auto& name : logFileNames(dir))
        left += name.size() > 4 && name.compare(name.size() - 4, 4, ".log") == 0;
    state.counters["upload_s"] = seconds;
    state.counters["peak_rss_growth_MiB"] = growthKiB / 1024;
    state.counters["uploads"] = static_cast<double>(uploads);
    state.counters["text_MiB"] = text / (1 << 20);
    state.counters["files_left"] = static_cast<double>(left);
    if (left != 0) state.SkipWithError("closed log files were left behind");
}
BENCHMARK(BM_BacklogUpload)
    ->ArgName("files")
    ->Arg(10)
    ->Arg(100)
    ->Arg(500)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace

#endif  // ZEB_CALLHOME_PATH

namespace {

using namespace ZEBInternal;

// A data directory shared with 10,000 files that are not ours (other
// products, other applications under other client IDs, their
// configurations and active files) beside 20 of ours: 14 closed, 3 active
// files left by processes that died long ago and 3 in use. Files of our
// client ID under another application are ours too, and so are this
// application's under an earlier client ID.
void BM_LogListingWithForeignFiles(benchmark::State& state) {
    zebtest::TempDir dir;
    RuntimeSettings settings;
    auto configuration = eventstest::makeConfiguration(dir.path(), &settings, "CLIENT0001", "App");
    LogFile log(configuration.get());
    const std::string active = log.activeFileName();
    // "zeblogV5_CLIENT0001_<product>_App_": our stem, the stamp cut off.
    const std::string stem = active.substr(0, active.rfind('_') + 1);
    const std::string product = stem.substr(stem.find('_', 9) + 1, 10);
    const auto stamp = [](unsigned n) {
        char s[16];
        std::snprintf(s, sizeof s, "%013u", n);
        return std::string(s);
    };
    static const char* const kForeignProducts[] = {"pqrstuvwxy", "abcdefghij", "qhwnpcodka",
                                                   "kkkkkkkkkk"};
    static const char* const kApps[] = {"Viewer", "Editor", "Updater", "Helper", "App"};
    for (unsigned i = 0; i < 10000; ++i) {
        std::string name;
        if (i % 1000 == 999) {
            name = "zebconfigV5_" + std::string(kForeignProducts[i % 4]) + "_Viewer_" + stamp(i) +
                   ".cfg";
        } else if (i % 5 == 0) {
            // Our product, another application, another client.
            name = "zeblogV5_CLIENT" + std::to_string(2000 + i % 50) + "_" + product + "_" +
                   kApps[i % 4] + "_" + stamp(i) + (i % 10 == 5 ? ".logtmp" : ".log");
        } else {
            name = "zeblogV5_CLIENT" + std::to_string(2000 + i % 50) + "_" +
                   kForeignProducts[i % 4] + "_" + kApps[i % 5] + "_" + stamp(i) +
                   (i % 7 == 0 ? ".logtmp" : ".log");
        }
        writeFile(dir.file(name), "");
    }
    const time_t longAgo = std::time(nullptr) - 30 * 86400;
    const utimbuf old{longAgo, longAgo};
    for (unsigned i = 0; i < 20; ++i) {
        const std::string base = i % 4 == 1   ? "zeblogV5_CLIENT0001_" + product + "_Viewer_"
                                 : i % 4 == 2 ? "zeblogV5_OLDCLIENT_" + product + "_App_"
                                              : stem;
        const std::string path = dir.file(base + stamp(90000 + i) + (i < 14 ? ".log" : ".logtmp"));
        writeFile(path, "");
        if (i >= 14 && i < 17) ::utime(path.c_str(), &old);
    }
    size_t listed = 0;
    for (auto _ : state) {
        const std::vector<std::string> names = log.listLogFiles(true, true);
        listed = names.size();
        benchmark::DoNotOptimize(names.data());
    }
    state.counters["files_listed"] = static_cast<double>(listed);
}
BENCHMARK(BM_LogListingWithForeignFiles)->Unit(benchmark::kMillisecond);

}  // namespace
