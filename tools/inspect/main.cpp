// zeb-inspect: shows what is in a libzeb data directory, or what the local
// call-home server zeb-callhome received, as tables or JSON lines. It only
// reads; bad or foreign files are reported and skipped.

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "DataDirectory.h"
#include "Received.h"

namespace {

const char* const kUsage =
    "usage: zeb-inspect [--json] DATADIR\n"
    "       zeb-inspect [--json] --received [--follow] OUTDIR\n"
    "\n"
    "DATADIR             a libzeb data directory: its configuration files (signature,\n"
    "                    keys, newest), log files (active or closed, size, client) and\n"
    "                    their events\n"
    "--received OUTDIR   the --out folder of zeb-callhome: the uploaded events and a\n"
    "                    summary of the requests\n"
    "--follow            with --received: print the events there, then those of each\n"
    "                    new upload as the server stores it, until SIGINT or SIGTERM\n"
    "                    (exit 0); no summary\n"
    "--json              one JSON object per line instead of tables\n"
    "\n"
    "Times are UTC, as the library writes them, shown as 2026-12-09T21:48:43Z;\n"
    "session IDs are shown whole.\n";

}  // namespace

int main(int argc, char** argv) {
    bool json = false;
    bool received = false;
    bool follow = false;
    std::string dir;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--json") {
            json = true;
        } else if (arg == "--received") {
            received = true;
        } else if (arg == "--follow") {
            follow = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "zeb-inspect: unknown option %s\n%s", arg.c_str(), kUsage);
            return 2;
        } else if (dir.empty()) {
            dir = arg;
        } else {
            std::fprintf(stderr, "zeb-inspect: one directory only\n%s", kUsage);
            return 2;
        }
    }
    if (dir.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (follow && !received) {
        std::fprintf(stderr, "zeb-inspect: --follow goes with --received\n%s", kUsage);
        return 2;
    }
    try {
        return received ? ZEBInspect::inspectReceived(dir, json, follow)
                        : ZEBInspect::inspectDataDirectory(dir, json);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zeb-inspect: %s\n", e.what());
    }
    return 1;
}
