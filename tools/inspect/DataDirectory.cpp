#include "DataDirectory.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <utility>
#include <vector>

#include "FileNames.h"
#include "LogText.h"
#include "Output.h"
#include "config/ConfigValues.h"
#include "util/Files.h"

namespace ZEBInspect {

namespace {

// A configuration file is a few hundred bytes and a log file stays under the
// server's size limit; anything far larger is not one of ours and is not
// read into memory.
constexpr uint64_t kMaxConfigBytes = 1u << 20;
constexpr uint64_t kMaxLogBytes = 512u << 20;
constexpr size_t kProblemsShown = 5;

struct Entry {
    std::string file;
    FileName name;
};

struct ConfigReport {
    std::string signature;  // "valid", "invalid", "unchecked" (no client ID) or "unreadable"
    std::string status;     // the same for people, with the reason
    std::vector<std::pair<std::string, std::string>> values;  // key (with colon), value
    std::vector<std::string> rawLines;                        // when the values could not be read
};

// Every key of the file, in its order, taken from the text the library
// writes (so the list cannot drift from the writer).
std::vector<std::string> configKeys() {
    std::vector<std::string> keys = {"SIGNATURE:"};
    const std::string body = ZEBInternal::serializeConfigBody(ZEBInternal::ConfigValues());
    for (size_t start = 0; start < body.size();) {
        const size_t end = body.find('\n', start);
        const std::string line = body.substr(start, end - start);
        keys.push_back(line.substr(0, line.find(':') + 1));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return keys;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool readBounded(const std::string& path, uint64_t limit, std::string& text, std::string& why) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        why = std::string("cannot stat: ") + std::strerror(errno);
        return false;
    }
    if (static_cast<uint64_t>(st.st_size) > limit) {
        why = "too large to be one of ours (" + withThousands(static_cast<uint64_t>(st.st_size)) +
              " bytes)";
        return false;
    }
    if (!ZEBInternal::readFile(path, text)) {
        why = std::string("cannot read: ") + std::strerror(errno);
        return false;
    }
    return true;
}

ConfigReport readConfig(const std::string& path) {
    ConfigReport report;
    std::string text;
    std::string why;
    report.signature = "unreadable";
    if (!readBounded(path, kMaxConfigBytes, text, why)) {
        report.status = "unreadable: " + why;
        return report;
    }
    ZEBInternal::ConfigValues values;
    if (!ZEBInternal::parseConfigText(text, static_cast<uint32_t>(std::time(nullptr)), values)) {
        const std::vector<std::string> lines = splitLines(text);
        report.status = "unreadable: a value is not a number";
        for (const std::string& key : configKeys()) {
            const bool present = std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
                return l.compare(0, key.size(), key) == 0;
            });
            if (!present) {
                report.status = "unreadable: no " + key + " line";
                break;
            }
        }
        report.rawLines = lines;
        return report;
    }
    const std::string body = ZEBInternal::serializeConfigBody(values);
    if (values.clientID.empty()) {
        report.signature = "unchecked";
        report.status = "no client ID, so the library does not load it";
    } else if (ZEBInternal::computeConfigSignature(body) == values.signature) {
        report.signature = "valid";
        report.status = "signature valid";
    } else {
        report.signature = "invalid";
        report.status = "signature INVALID: the file was changed after it was written";
    }
    report.values.emplace_back("SIGNATURE:", values.signature);
    for (const std::string& line : splitLines(body)) {
        const size_t colon = line.find(':');
        report.values.emplace_back(line.substr(0, colon + 1), line.substr(colon + 1));
    }
    return report;
}

std::string backoffNote(const std::string& key, const std::string& value) {
    if (key != "BACKOFF:" || value == "0") return "";
    const time_t until = static_cast<time_t>(std::strtoull(value.c_str(), nullptr, 10));
    struct tm utc {};
    char text[64];
    if (gmtime_r(&until, &utc) == nullptr ||
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc) == 0)
        return "";
    return std::string("  (until ") + text + ")";
}

// The settings that hold text; every other one is a number, and the values
// come from serializeConfigBody, so they are decimal digits.
bool isTextSetting(const std::string& key) {
    for (const char* text :
         {"SIGNATURE:", "CONFIGVERSION:", "CALLHOMEURL:", "CLIENTID:", "FTWHITELIST:", "FTLIST:"})
        if (key == text) return true;
    return false;
}

class DirectoryReport {
public:
    DirectoryReport(std::string dir, bool json) : dir_(std::move(dir)), json_(json) {}

    int run() {
        if (!ZEBInternal::isDirectory(dir_)) {
            std::fprintf(stderr, "zeb-inspect: %s is not a directory\n", dir_.c_str());
            return 1;
        }
        std::vector<std::string> names = ZEBInternal::listDirectory(dir_);
        std::sort(names.begin(), names.end());
        for (const std::string& file : names) entries_.push_back({file, classifyFileName(file)});
        if (!json_)
            std::printf("Data directory %s: %zu file%s\n", dir_.c_str(), names.size(),
                        names.size() == 1 ? "" : "s");
        configs();
        logs();
        others();
        return 0;
    }

private:
    std::string path(const std::string& file) const { return dir_ + "/" + file; }

    void configs() {
        // The newest stamp of each product and application is the file the
        // library loads (stamps sort in time).
        std::map<std::string, std::string> newest;
        for (const Entry& e : entries_) {
            if (e.name.kind != FileKind::kConfig) continue;
            std::string& stamp = newest[e.name.letters + "_" + e.name.app];
            stamp = std::max(stamp, e.name.stamp);
        }
        bool headed = false;
        for (const Entry& e : entries_) {
            if (e.name.kind != FileKind::kConfig) continue;
            const bool isNewest = newest[e.name.letters + "_" + e.name.app] == e.name.stamp;
            const ConfigReport report = readConfig(path(e.file));
            if (json_) {
                JsonLine line("config");
                line.add("file", e.file)
                    .add("product", e.name.productID)
                    .add("app", e.name.app)
                    .add("stamp", e.name.stamp)
                    .add("written", stampTime(e.name.stamp))
                    .addBool("newest", isNewest)
                    .add("signature", report.signature)
                    .add("status", report.status);
                std::string values = "{";
                for (const auto& kv : report.values)
                    values += (values.size() > 1 ? "," : "") +
                              jsonString(kv.first.substr(0, kv.first.size() - 1)) + ":" +
                              (isTextSetting(kv.first) ? jsonString(kv.second)
                                                       : jsonNumberOrString(kv.second));
                line.addRaw("values", values + "}");
                line.print();
                continue;
            }
            if (!headed) std::printf("\nConfiguration files\n");
            headed = true;
            std::printf("  %s\n    product %s, application %s, written %s%s\n    %s\n",
                        cellText(e.file, 200).c_str(), e.name.productID.c_str(),
                        cellText(e.name.app).c_str(), stampTime(e.name.stamp).c_str(),
                        isNewest ? ", newest (the one the library loads)" : ", older",
                        report.status.c_str());
            for (const auto& kv : report.values) {
                const std::string shown = cellText(kv.second) + backoffNote(kv.first, kv.second);
                if (shown.empty())
                    std::printf("      %s\n", kv.first.c_str());
                else
                    std::printf("      %-24s %s\n", kv.first.c_str(), shown.c_str());
            }
            for (const std::string& raw : report.rawLines)
                std::printf("      | %s\n", cellText(raw).c_str());
        }
    }

    void logs() {
        bool headed = false;
        for (const Entry& e : entries_) {
            const bool active = e.name.kind == FileKind::kActiveLog;
            if (!active && e.name.kind != FileKind::kClosedLog) continue;
            const std::string filePath = path(e.file);
            const uint64_t size = ZEBInternal::fileSize(filePath);
            std::string text;
            std::string why;
            const bool read = readBounded(filePath, kMaxLogBytes, text, why);
            const DecodedLog log = read ? decodeLogText(text) : DecodedLog();
            const char* state = active ? "active" : "closed";
            if (json_) {
                JsonLine line("log");
                line.add("file", e.file)
                    .add("state", state)
                    .add("size", size)
                    .add("client", e.name.clientID)
                    .add("product", e.name.productID)
                    .add("app", e.name.app)
                    .add("stamp", e.name.stamp)
                    .add("age", ZEBInternal::fileAgeSeconds(filePath))
                    .add("events", log.events.size())
                    .add("problems", log.problems.size() + (read ? 0 : 1));
                line.print();
                if (!read) JsonLine("problem").add("file", e.file).add("reason", why).print();
                for (const auto& ev : log.events) {
                    JsonLine event("event");
                    event.add("file", e.file).add("line", ev.first);
                    addEventFields(event, ev.second);
                    event.print();
                }
                for (const auto& p : log.problems)
                    JsonLine("problem")
                        .add("file", e.file)
                        .add("line", p.line)
                        .add("reason", p.reason)
                        .add("text", p.text)
                        .print();
                continue;
            }
            if (!headed) std::printf("\nLog files\n");
            headed = true;
            const std::string client =
                e.name.clientID.empty() ? "(none yet)" : cellText(e.name.clientID);
            const std::string age =
                active ? ", last written " + std::to_string(ZEBInternal::fileAgeSeconds(filePath)) +
                             " s ago"
                       : "";
            std::printf("\n  %s\n    %s, %s bytes, client %s, application %s, started %s%s\n",
                        cellText(e.file, 200).c_str(),
                        active ? "active (being written)" : "closed (ready to upload)",
                        withThousands(size).c_str(), client.c_str(), cellText(e.name.app).c_str(),
                        stampTime(e.name.stamp).c_str(), age.c_str());
            if (!read) std::printf("    skipped: %s\n", why.c_str());
            if (read && log.events.empty() && !log.problems.empty())
                std::printf("    skipped: not one of our logs (no line reads as an event)\n");
            Table table({"LINE", "TIME", "SESSION", "TYPE", "CATEGORY", "NAME", "VALUE"});
            for (const auto& ev : log.events) {
                std::vector<std::string> cells = eventCells(ev.second);
                cells.insert(cells.begin(), std::to_string(ev.first));
                table.addRow(cells);
            }
            if (!table.empty()) table.print("    ");
            // A damaged or foreign file can have a problem on every line;
            // the first few tell the story.
            const size_t shown = std::min<size_t>(log.problems.size(), kProblemsShown);
            for (size_t i = 0; i < shown; ++i) {
                const LineProblem& p = log.problems[i];
                std::printf("    line %zu: %s: %s\n", p.line, p.reason.c_str(),
                            cellText(p.text).c_str());
            }
            if (log.problems.size() > shown)
                std::printf("    ... and %zu more unreadable lines\n", log.problems.size() - shown);
        }
    }

    void others() {
        bool headed = false;
        for (const Entry& e : entries_) {
            std::string what;
            switch (e.name.kind) {
                case FileKind::kConfigTemporary:
                    what = "temporary configuration file left by a write that did not finish";
                    break;
                case FileKind::kProbe:
                    what = "writability probe left by an interrupted configuration";
                    break;
                case FileKind::kForeign: what = "skipped: " + e.name.why; break;
                default: continue;
            }
            if (json_) {
                JsonLine(e.name.kind == FileKind::kForeign ? "skipped" : "temporary")
                    .add("file", e.file)
                    .add("reason", e.name.kind == FileKind::kForeign ? e.name.why : what)
                    .print();
                continue;
            }
            if (!headed) std::printf("\nOther files\n");
            headed = true;
            std::printf("  %s: %s\n", cellText(e.file, 200).c_str(), what.c_str());
        }
    }

    const std::string dir_;
    const bool json_;
    std::vector<Entry> entries_;
};

}  // namespace

int inspectDataDirectory(const std::string& dir, bool json) {
    return DirectoryReport(dir, json).run();
}

}  // namespace ZEBInspect
