#pragma once
// The two forms zeb-inspect prints: aligned tables for people and JSON
// lines for scripts. Everything printed comes from files that may hold any
// bytes, so both forms make them safe: tables show control characters and
// invalid UTF-8 as visible escapes (nothing can move the terminal's cursor),
// JSON escapes them and replaces invalid UTF-8. Single-threaded.

#include <cstdint>
#include <string>
#include <vector>

namespace ZEBInspect {

// A text for one table cell: line feed as "\n", tab as "\t", other control
// bytes and invalid UTF-8 as "\xNN"; cut to maxChars characters with "...".
std::string cellText(const std::string& text, size_t maxChars = 0);
// A JSON string literal, quotes included.
std::string jsonString(const std::string& text);
// text itself when it is a JSON number ("12", "-1.25", "3e5"), else its
// string literal: a value read from a file is a number only when it reads
// as one.
std::string jsonNumberOrString(const std::string& text);

// One JSON object on one line: {"record":"...", ...}, keys in the order added.
class JsonLine {
public:
    explicit JsonLine(const std::string& record);
    JsonLine& add(const std::string& key, const std::string& value);
    JsonLine& add(const std::string& key, uint64_t value);
    JsonLine& addNumber(const std::string& key, const std::string& text);  // jsonNumberOrString
    JsonLine& addBool(const std::string& key, bool value);
    // value must already be JSON (an array or object).
    JsonLine& addRaw(const std::string& key, const std::string& json);
    void print() const;  // stdout; the caller flushes when it needs to

private:
    std::string text_;
};

// Columns sized to their widest cell (in characters), separated by two
// spaces; the last column is never padded.
class Table {
public:
    explicit Table(std::vector<std::string> headings);
    void addRow(std::vector<std::string> cells);      // cells pass through cellText first
    bool empty() const { return rows_.size() <= 1; }  // headings only
    // minWidths, when given, holds the least width of each column: rows
    // printed in several batches (headings with the first only) then line
    // up as long as no cell is wider.
    void print(const std::string& indent, bool withHeadings = true,
               const std::vector<size_t>& minWidths = {}) const;

private:
    std::vector<std::vector<std::string>> rows_;  // headings first
};

// "1,234,567".
std::string withThousands(uint64_t value);

}  // namespace ZEBInspect
