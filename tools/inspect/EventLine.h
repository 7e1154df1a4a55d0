#pragma once
// Reads the event lines of a log file back into columns. A line is fields
// separated by "$"; a backslash makes the next character literal, and in
// text fields backslash-n stands for a line feed. Stateless; any thread.

#include <string>
#include <utility>
#include <vector>

namespace ZEBInspect {

using Pair = std::pair<std::string, std::string>;

// One decoded line. For every type: time, session and type from the line's
// head; the other columns as the type fills them (see decodeEventLine).
struct EventRow {
    std::string time;
    std::string session;
    std::string type;         // the four digits, "0021"
    std::string category;     // exceptions: the class name
    std::string name;         // exceptions: the method; new-file lines: the app
    std::string value;        // numbers, texts, user session, pairs, message
    std::string detail;       // exceptions: the stack trace
    std::vector<Pair> pairs;  // custom events
    std::string problem;      // why the line could not be read; empty if it could
};

// Splits at every "$" that is not escaped; escapes stay in the fields.
std::vector<std::string> splitFields(const std::string& line);
// Undoes the escapes: backslash-n becomes a line feed, backslash-X becomes X.
std::string unescapeField(const std::string& field);
// "(a,b)&&(c,d)" as written for custom events; a malformed item is kept
// whole as a name without value, so nothing silently disappears.
std::vector<Pair> parsePairs(const std::string& field);

// Decodes one line. The columns per type:
//   0001/0002 app session start/stop, 0013 user session stop: head only;
//   0012 user session start: value = the user session ID;
//   0021 event: category, name; 0022/0023: value = number or text;
//   0024 custom: pairs (value = "a=b; c=d");
//   0031 exception: category = class, name = method, value = message,
//        detail = stack trace;
//   0041 time warp: value = offset in seconds;
//   0051 new file: value = file ID, name = application name.
EventRow decodeEventLine(const std::string& line);

// "event", "numeric", "session start" ... for a type; "?" for others.
const char* typeLabel(const std::string& type);

}  // namespace ZEBInspect
