#include "Received.h"

#include <signal.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "LogText.h"
#include "Output.h"
#include "util/Files.h"

namespace ZEBInspect {

namespace {

constexpr const char* kFileSeparator = "++0--===--0++";
constexpr uint64_t kMaxUploadBytes = 512u << 20;
constexpr long kFollowPollMs = 200;
// Batches printed apart line up when their cells fit these widths: a time
// with its zone, a session ID of 32 hexadecimal digits, the longest label.
const std::vector<size_t> kFollowWidths = {20, 8, 32, 13, 12, 14};

volatile sig_atomic_t gStopRequested = 0;

extern "C" void onStopSignal(int) {
    gStopRequested = 1;
}

// Without SA_RESTART, so that the signal also ends the poll's sleep.
bool installStopHandlers() {
    struct sigaction stop {};
    stop.sa_handler = onStopSignal;
    sigemptyset(&stop.sa_mask);
    return ::sigaction(SIGINT, &stop, nullptr) == 0 && ::sigaction(SIGTERM, &stop, nullptr) == 0;
}

using Fields = std::map<std::string, std::string>;

// "REQUEST seq=1 type=newreg ..." into its key=value fields.
bool parseRequestLine(const std::string& line, Fields& out) {
    if (line.compare(0, 8, "REQUEST ") != 0) return false;
    size_t start = 8;
    while (start < line.size()) {
        size_t end = line.find(' ', start);
        if (end == std::string::npos) end = line.size();
        const std::string item = line.substr(start, end - start);
        const size_t eq = item.find('=');
        if (eq != std::string::npos) out[item.substr(0, eq)] = item.substr(eq + 1);
        start = end + 1;
    }
    return out.count("seq") != 0;
}

uint64_t number(const Fields& f, const char* key) {
    const auto it = f.find(key);
    if (it == f.end()) return 0;
    return std::strtoull(it->second.c_str(), nullptr, 10);
}

std::string value(const Fields& f, const char* key) {
    const auto it = f.find(key);
    return it == f.end() ? std::string() : it->second;
}

// The fields of a REQUEST line that the server writes as decimal numbers.
bool isNumberField(const std::string& key) {
    return key == "seq" || key == "http" || key == "body" || key == "text";
}

// The parts of an upload: each log file's text, in order.
std::vector<std::string> splitUpload(const std::string& text) {
    std::vector<std::string> files(1);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        if (line == kFileSeparator)
            files.emplace_back();
        else
            files.back() += line + "\n";
        start = end + 1;
    }
    files.erase(std::remove_if(files.begin(), files.end(),
                               [](const std::string& f) {
                                   return f.find_first_not_of('\n') == std::string::npos;
                               }),
                files.end());
    return files;
}

struct ReceivedEvent {
    std::string upload;
    std::string app;
    size_t line;
    EventRow row;
};

class ReceivedReport {
public:
    ReceivedReport(std::string dir, bool json) : dir_(std::move(dir)), json_(json) {}

    int run() {
        if (!ZEBInternal::isDirectory(dir_)) {
            std::fprintf(stderr, "zeb-inspect: %s is not a directory\n", dir_.c_str());
            return 1;
        }
        readRequests();
        readUploads(uploadFiles());
        if (json_) {
            printJson();
        } else {
            printTable();
        }
        return 0;
    }

    // Polls the folder, printing the events of each upload once, the first
    // time its file is listed; runs until SIGINT or SIGTERM.
    int follow() {
        if (!ZEBInternal::isDirectory(dir_)) {
            std::fprintf(stderr, "zeb-inspect: %s is not a directory\n", dir_.c_str());
            return 1;
        }
        if (!installStopHandlers()) {
            std::fprintf(stderr, "zeb-inspect: sigaction: %s\n", std::strerror(errno));
            return 1;
        }
        if (!json_) {
            std::printf("Following what the server receives (%s); stop with Ctrl-C\n\n",
                        dir_.c_str());
            eventTable().print("  ", true, kFollowWidths);
        }
        std::set<std::string> printed;
        while (gStopRequested == 0) {
            requests_.clear();
            readRequests();
            std::vector<std::string> fresh;
            for (const std::string& name : uploadFiles())
                if (printed.insert(name).second) fresh.push_back(name);
            events_.clear();
            problems_.clear();
            readUploads(fresh);
            if (json_) {
                printJsonEvents();
            } else {
                const Table table = eventTable();
                if (!table.empty()) table.print("  ", false, kFollowWidths);
                printTableProblems();
            }
            std::fflush(stdout);
            // A stop signal cuts the sleep short.
            const timespec pause{0, kFollowPollMs * 1000000L};
            ::nanosleep(&pause, nullptr);
        }
        return 0;
    }

private:
    void readRequests() {
        std::string text;
        if (!ZEBInternal::readFile(dir_ + "/requests.log", text)) return;
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) break;  // a line still being written
            Fields f;
            if (parseRequestLine(text.substr(start, end - start), f)) requests_.push_back(f);
            start = end + 1;
        }
        // The server reports a connection when it ends; seq is the order in
        // which they were accepted.
        std::stable_sort(requests_.begin(), requests_.end(), [](const Fields& a, const Fields& b) {
            return number(a, "seq") < number(b, "seq");
        });
    }

    std::vector<std::string> uploadFiles() const {
        std::vector<std::string> files;
        if (!requests_.empty()) {
            for (const Fields& f : requests_)
                if (value(f, "type") == "upload" && !value(f, "stored").empty() &&
                    value(f, "stored") != "-")
                    files.push_back(value(f, "stored"));
            return files;
        }
        // Without the request log: the stored uploads in name (= seq) order.
        for (const std::string& name : ZEBInternal::listDirectory(dir_))
            if (name.compare(0, 7, "upload-") == 0) files.push_back(name);
        std::sort(files.begin(), files.end());
        return files;
    }

    void readUploads(const std::vector<std::string>& names) {
        for (const std::string& upload : names) {
            // Stored names come from the request log: only plain names.
            if (upload.find('/') != std::string::npos) continue;
            const std::string path = dir_ + "/" + upload;
            std::string text;
            if (ZEBInternal::fileSize(path) > kMaxUploadBytes ||
                !ZEBInternal::readFile(path, text)) {
                problems_.push_back({upload, 0, "cannot read the stored upload", ""});
                continue;
            }
            ++uploads_;
            for (const std::string& file : splitUpload(text)) {
                ++logFiles_;
                DecodedLog log = decodeLogText(file);
                for (auto& ev : log.events)
                    events_.push_back({upload, log.app, ev.first, std::move(ev.second)});
                for (auto& p : log.problems)
                    problems_.push_back({upload, p.line, p.reason, p.text});
            }
        }
    }

    // Requests by type in order of first appearance, and those that did not
    // end in an HTTP 200 with verdict ok.
    std::vector<std::pair<std::string, unsigned>> requestCounts(unsigned& failed) const {
        std::vector<std::pair<std::string, unsigned>> counts;
        failed = 0;
        for (const Fields& f : requests_) {
            const std::string type = value(f, "type");
            auto it = std::find_if(counts.begin(), counts.end(),
                                   [&](const auto& c) { return c.first == type; });
            if (it == counts.end())
                counts.emplace_back(type, 1);
            else
                ++it->second;
            if (value(f, "verdict") != "ok" || value(f, "http") != "200") ++failed;
        }
        return counts;
    }

    std::vector<std::string> apps() const {
        std::vector<std::string> names;
        for (const auto& e : events_)
            if (std::find(names.begin(), names.end(), e.app) == names.end()) names.push_back(e.app);
        return names;
    }

    std::vector<const EventRow*> rowsOf(const std::string& app) const {
        std::vector<const EventRow*> rows;
        for (const auto& e : events_)
            if (e.app == app) rows.push_back(&e.row);
        return rows;
    }

    void uploadBytes(uint64_t& text, uint64_t& wire) const {
        text = wire = 0;
        for (const Fields& f : requests_) {
            if (value(f, "type") != "upload" || value(f, "verdict") != "ok") continue;
            text += number(f, "text");
            wire += number(f, "body");
        }
    }

    size_t eventCount() const {
        return static_cast<size_t>(std::count_if(
            events_.begin(), events_.end(), [](const auto& e) { return e.row.type != "0051"; }));
    }

    Table eventTable() const {
        Table table({"TIME", "APP", "SESSION", "TYPE", "CATEGORY", "NAME", "VALUE"});
        for (const auto& e : events_) {
            if (e.row.type == "0051") continue;  // file boundaries, not host events
            std::vector<std::string> cells = eventCells(e.row);
            cells.insert(cells.begin() + 1, e.app);
            table.addRow(cells);
        }
        return table;
    }

    void printTableProblems() const {
        for (const auto& p : problems_)
            std::printf("  %s line %zu: %s: %s\n", p.upload.c_str(), p.line, p.reason.c_str(),
                        cellText(p.text).c_str());
    }

    void printTable() const {
        std::printf("What the server received (%s)\n\n", dir_.c_str());
        const Table table = eventTable();
        if (table.empty())
            std::printf("  no events were uploaded\n");
        else
            table.print("  ");
        printTableProblems();

        std::printf("\nSummary\n");
        unsigned failed = 0;
        std::string counts;
        for (const auto& c : requestCounts(failed))
            counts +=
                (counts.empty() ? "" : ", ") + std::to_string(c.second) + " " + cellText(c.first);
        const std::string outcome = failed == 0 ? "all answered with HTTP 200"
                                                : std::to_string(failed) + " refused or failed";
        if (requests_.empty())
            std::printf("  requests      none recorded (no requests.log)\n");
        else
            std::printf("  requests      %s; %s\n", counts.c_str(), outcome.c_str());
        std::printf("  events        %zu in %u upload%s (%u log file%s)\n", eventCount(), uploads_,
                    uploads_ == 1 ? "" : "s", logFiles_, logFiles_ == 1 ? "" : "s");
        uint64_t text = 0, wire = 0;
        uploadBytes(text, wire);
        if (text > 0)
            std::printf(
                "  upload bytes  %s bytes of event text arrived as %s bytes of request "
                "body (%u %%)\n",
                withThousands(text).c_str(), withThousands(wire).c_str(),
                static_cast<unsigned>(wire * 100 / text));
        // The same form as the host programs' "tracked:" lines, so the two
        // can be compared line by line.
        for (const std::string& app : apps())
            std::printf("  %s received: %s\n", cellText(app).c_str(),
                        tallyText(rowsOf(app)).c_str());
    }

    void printJsonEvents() const {
        for (const auto& e : events_) {
            JsonLine line("event");
            line.add("upload", e.upload).add("line", e.line).add("app", e.app);
            addEventFields(line, e.row);
            line.print();
        }
        for (const auto& p : problems_)
            JsonLine("problem")
                .add("upload", p.upload)
                .add("line", p.line)
                .add("reason", p.reason)
                .add("text", p.text)
                .print();
    }

    void printJson() const {
        for (const Fields& f : requests_) {
            JsonLine line("request");
            for (const auto& kv : f) {
                if (isNumberField(kv.first))
                    line.addNumber(kv.first, kv.second);
                else
                    line.add(kv.first, kv.second);
            }
            line.print();
        }
        printJsonEvents();
        unsigned failed = 0;
        std::string byType = "{";
        for (const auto& c : requestCounts(failed))
            byType += (byType.size() > 1 ? "," : "") + jsonString(c.first) + ":" +
                      std::to_string(c.second);
        std::string perApp = "{";
        for (const std::string& app : apps()) {
            std::string counts = "{";
            for (const auto& c : tally(rowsOf(app)))
                counts += (counts.size() > 1 ? "," : "") + jsonString(c.first) + ":" +
                          std::to_string(c.second);
            perApp += (perApp.size() > 1 ? "," : "") + jsonString(app) + ":" + counts + "}";
        }
        uint64_t text = 0, wire = 0;
        uploadBytes(text, wire);
        JsonLine("summary")
            .addRaw("requests", byType + "}")
            .add("failed", failed)
            .add("events", eventCount())
            .add("uploads", uploads_)
            .add("files", logFiles_)
            .addRaw("apps", perApp + "}")
            .add("textBytes", text)
            .add("wireBytes", wire)
            .print();
    }

    struct Problem {
        std::string upload;
        size_t line;
        std::string reason;
        std::string text;
    };

    const std::string dir_;
    const bool json_;
    std::vector<Fields> requests_;
    std::vector<ReceivedEvent> events_;
    std::vector<Problem> problems_;
    unsigned uploads_ = 0;
    unsigned logFiles_ = 0;
};

}  // namespace

int inspectReceived(const std::string& outDir, bool json, bool follow) {
    ReceivedReport report(outDir, json);
    return follow ? report.follow() : report.run();
}

}  // namespace ZEBInspect
