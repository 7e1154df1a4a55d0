#include "LogText.h"

#include "Output.h"
#include "util/Strings.h"

namespace ZEBInspect {

namespace {

bool isAppSessionId(const std::string& s) {
    if (s.size() != 32) return false;
    for (char c : s)
        if (!ZEBInternal::isAsciiHexDigit(c)) return false;
    return true;
}

std::string sessionCell(const std::string& session) {
    return isAppSessionId(session) ? "app:" + session.substr(0, 8) : session;
}

}  // namespace

DecodedLog decodeLogText(const std::string& text) {
    DecodedLog out;
    size_t lineNumber = 0;
    size_t start = 0;
    bool first = true;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        const bool terminated = end != std::string::npos;
        if (!terminated) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (line.empty()) continue;
        EventRow row = decodeEventLine(line);
        if (!terminated)
            out.problems.push_back({lineNumber,
                                    "last line has no line feed (cut off or still "
                                    "being written)",
                                    line});
        if (!row.problem.empty()) {
            out.problems.push_back({lineNumber, row.problem, line});
        } else {
            if (first && row.type != "0051")
                out.problems.push_back(
                    {lineNumber, "the file does not start with a new-file record", line});
            if (first && row.type == "0051") out.app = row.name;
            out.events.emplace_back(lineNumber, std::move(row));
        }
        first = false;
    }
    return out;
}

std::vector<std::string> eventCells(const EventRow& row) {
    std::string value = row.value;
    if (!row.detail.empty()) value += " | stack: " + row.detail;
    const bool userSessionStart = row.type == "0012";
    // A user session's start names the session in its value; the table
    // shows it in the session column, where the reader looks for it.
    return {row.time,
            userSessionStart ? row.value : sessionCell(row.session),
            typeLabel(row.type),
            row.category,
            row.name,
            userSessionStart ? "in " + sessionCell(row.session) : value};
}

void addEventFields(JsonLine& line, const EventRow& row) {
    line.add("time", row.time)
        .add("session", row.session)
        .add("type", row.type)
        .add("label", typeLabel(row.type))
        .add("category", row.category)
        .add("name", row.name)
        .add("value", row.value);
    if (!row.detail.empty()) line.add("stack", row.detail);
    if (row.type == "0024") {
        std::string pairs = "[";
        for (const auto& p : row.pairs)
            pairs += (pairs.size() > 1 ? "," : "") + std::string("[") + jsonString(p.first) + "," +
                     jsonString(p.second) + "]";
        line.addRaw("pairs", pairs + "]");
    }
}

std::string tallyText(const std::vector<const EventRow*>& rows) {
    unsigned plain = 0, numeric = 0, text = 0, custom = 0, exceptions = 0, sessions = 0;
    for (const EventRow* r : rows) {
        plain += r->type == "0021";
        numeric += r->type == "0022";
        text += r->type == "0023";
        custom += r->type == "0024";
        exceptions += r->type == "0031";
        sessions += r->type == "0012";
    }
    return "plain=" + std::to_string(plain) + " numeric=" + std::to_string(numeric) +
           " text=" + std::to_string(text) + " custom=" + std::to_string(custom) +
           " exception=" + std::to_string(exceptions) +
           " user-sessions=" + std::to_string(sessions);
}

}  // namespace ZEBInspect
