#pragma once
// Event lines of one log file (or of one file inside an upload) turned into
// rows and problems, shared by the data-directory and the received views.
// Single-threaded.

#include <cstddef>
#include <string>
#include <vector>

#include "EventLine.h"
#include "Output.h"

namespace ZEBInspect {

struct LineProblem {
    size_t line = 0;  // 1-based within the file
    std::string reason;
    std::string text;
};

struct DecodedLog {
    std::vector<std::pair<size_t, EventRow>> events;  // (line number, row)
    std::vector<LineProblem> problems;
    std::string app;  // from the first line, a new-file record; empty without one
};

// Splits text at line feeds (empty lines skipped) and decodes each line.
// A first line that is not a new-file record, and a last line without its
// line feed (still being written, or cut off), are reported as problems;
// the events around them are kept.
DecodedLog decodeLogText(const std::string& text);

// The events of a log as table cells: time, session, type, category, name,
// value. Session IDs are shown whole, as in the JSON form, so a row can be
// matched with the other form and with the log line.
std::vector<std::string> eventCells(const EventRow& row);

// The library writes its times in UTC without a zone: "...T09:05:07Z".
std::string utcTime(const std::string& time);

// Adds the event's fields to a JSON line that has its leading fields.
void addEventFields(JsonLine& line, const EventRow& row);

// Counts by kind: plain, numeric, text, custom, exception, user-sessions.
std::vector<std::pair<std::string, unsigned>> tally(const std::vector<const EventRow*>& rows);
// The same as "plain=3 numeric=2 text=2 custom=1 exception=1 user-sessions=2",
// the form the demo's host programs print for what they tracked.
std::string tallyText(const std::vector<const EventRow*>& rows);

}  // namespace ZEBInspect
