#include "EventLine.h"

#include <cstring>

#include "util/Strings.h"

namespace ZEBInspect {

namespace {

struct TypeInfo {
    const char* code;
    const char* label;
    size_t fields;  // exact field count; 0 means "at least the head"
};

constexpr TypeInfo kTypes[] = {
    {"0001", "app start", 3},    {"0002", "app stop", 3}, {"0012", "session start", 4},
    {"0013", "session stop", 3}, {"0021", "event", 5},    {"0022", "numeric", 6},
    {"0023", "text", 6},         {"0024", "custom", 6},   {"0031", "exception", 7},
    {"0041", "time warp", 4},    {"0051", "new file", 0},
};

const TypeInfo* findType(const std::string& code) {
    for (const auto& t : kTypes)
        if (code == t.code) return &t;
    return nullptr;
}

// "2024-03-01T09:05:07": the only time form the library writes.
bool plausibleTime(const std::string& t) {
    if (t.size() != 19) return false;
    for (size_t i = 0; i < t.size(); ++i) {
        const char expected = i == 4 || i == 7     ? '-'
                              : i == 10            ? 'T'
                              : i == 13 || i == 16 ? ':'
                                                   : '9';
        if (expected == '9' ? !ZEBInternal::isAsciiDigit(t[i]) : t[i] != expected)
            return false;
    }
    return true;
}

}  // namespace

std::vector<std::string> splitFields(const std::string& line) {
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\' && i + 1 < line.size()) {
            fields.back() += c;
            fields.back() += line[++i];
        } else if (c == '$') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::string unescapeField(const std::string& field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 1 < field.size()) {
            const char next = field[++i];
            out += next == 'n' ? '\n' : next;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::vector<Pair> parsePairs(const std::string& field) {
    std::vector<Pair> pairs;
    // Walk the raw text once: escapes are honoured, unescaped "&&" ends an
    // item, "(" and ")" frame it and the first unescaped "," splits it.
    std::string item;
    auto finish = [&pairs](const std::string& raw) {
        if (raw.empty()) return;
        std::string fields[2];
        int current = 0;
        bool ok = raw[0] == '(';
        bool closed = false;
        for (size_t i = 1; ok && i < raw.size(); ++i) {
            const char c = raw[i];
            if (closed) {
                ok = false;  // text after the closing parenthesis
            } else if (c == '\\' && i + 1 < raw.size()) {
                const char next = raw[++i];
                fields[current] += next == 'n' ? '\n' : next;
            } else if (c == ',' && current == 0) {
                current = 1;
            } else if (c == ')') {
                closed = true;
            } else {
                fields[current] += c;
            }
        }
        if (ok && closed)
            pairs.emplace_back(fields[0], fields[1]);
        else
            pairs.emplace_back(unescapeField(raw), std::string());
    };
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 1 < field.size()) {
            item += field[i];
            item += field[++i];
        } else if (field[i] == '&' && i + 1 < field.size() && field[i + 1] == '&') {
            finish(item);
            item.clear();
            ++i;
        } else {
            item += field[i];
        }
    }
    finish(item);
    return pairs;
}

EventRow decodeEventLine(const std::string& line) {
    EventRow row;
    const std::vector<std::string> f = splitFields(line);
    if (f.size() < 3) {
        row.problem = "not an event line (fewer than three fields)";
        return row;
    }
    row.time = f[0];
    row.session = unescapeField(f[1]);
    row.type = f[2];
    if (!plausibleTime(row.time)) {
        row.problem = "no time stamp at the start";
        return row;
    }
    const TypeInfo* info = findType(row.type);
    if (info == nullptr) {
        row.problem = "unknown event type";
        return row;
    }
    if (info->fields != 0 && f.size() != info->fields) {
        row.problem = "a " + std::string(info->label) + " line has " +
                      std::to_string(info->fields) + " fields, this one " +
                      std::to_string(f.size());
        return row;
    }
    const std::string& t = row.type;
    if (t == "0012" || t == "0041") {
        row.value = unescapeField(f[3]);
    } else if (t == "0051") {
        if (f.size() < 5) {
            row.problem = "a new-file line names its file ID and application";
            return row;
        }
        row.value = unescapeField(f[3]);
        // The application name is written unescaped, so a "$" in it splits
        // the field: everything after the file ID is the name.
        for (size_t i = 4; i < f.size(); ++i) row.name += (i > 4 ? "$" : "") + f[i];
    } else if (t == "0021" || t == "0022" || t == "0023" || t == "0024") {
        row.category = unescapeField(f[3]);
        row.name = unescapeField(f[4]);
        if (t == "0024") {
            row.pairs = parsePairs(f[5]);
            for (const auto& p : row.pairs)
                row.value += (row.value.empty() ? "" : "; ") + p.first + "=" + p.second;
        } else if (f.size() > 5) {
            row.value = unescapeField(f[5]);
        }
    } else if (t == "0031") {
        row.category = unescapeField(f[3]);
        row.name = unescapeField(f[4]);
        row.value = unescapeField(f[5]);
        row.detail = unescapeField(f[6]);
    }
    return row;
}

const char* typeLabel(const std::string& type) {
    const TypeInfo* info = findType(type);
    return info == nullptr ? "?" : info->label;
}

}  // namespace ZEBInspect
