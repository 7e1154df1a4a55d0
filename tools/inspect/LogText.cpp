#include "LogText.h"

#include "Output.h"
#include "util/Strings.h"

namespace ZEBInspect {

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
    return {utcTime(row.time),
            userSessionStart ? row.value : row.session,
            typeLabel(row.type),
            row.category,
            row.name,
            userSessionStart ? "in " + row.session : value};
}

std::string utcTime(const std::string& time) {
    return time + "Z";
}

void addEventFields(JsonLine& line, const EventRow& row) {
    line.add("time", utcTime(row.time))
        .add("session", row.session)
        .add("type", row.type)
        .add("label", typeLabel(row.type))
        .add("category", row.category)
        .add("name", row.name);
    // A numeric event's value and a time warp's offset are numbers as the
    // library wrote them; anything else there stays the text it is.
    if (row.type == "0022" || row.type == "0041")
        line.addNumber("value", row.value);
    else
        line.add("value", row.value);
    if (!row.detail.empty()) line.add("stack", row.detail);
    if (row.type == "0024") {
        std::string pairs = "[";
        for (const auto& p : row.pairs)
            pairs += (pairs.size() > 1 ? "," : "") + std::string("[") + jsonString(p.first) + "," +
                     jsonString(p.second) + "]";
        line.addRaw("pairs", pairs + "]");
    }
}

std::vector<std::pair<std::string, unsigned>> tally(const std::vector<const EventRow*>& rows) {
    static const std::pair<const char*, const char*> kKinds[] = {
        {"0021", "plain"},  {"0022", "numeric"},   {"0023", "text"},
        {"0024", "custom"}, {"0031", "exception"}, {"0012", "user-sessions"}};
    std::vector<std::pair<std::string, unsigned>> counts;
    for (const auto& kind : kKinds) counts.emplace_back(kind.second, 0);
    for (const EventRow* r : rows)
        for (size_t k = 0; k < counts.size(); ++k)
            if (r->type == kKinds[k].first) ++counts[k].second;
    return counts;
}

std::string tallyText(const std::vector<const EventRow*>& rows) {
    std::string text;
    for (const auto& c : tally(rows))
        text += (text.empty() ? "" : " ") + c.first + "=" + std::to_string(c.second);
    return text;
}

}  // namespace ZEBInspect
