#include "config/ConfigLists.h"

namespace ZEBInternal {

std::string escapeListItem(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8 + 2);
    for (const char c : text) {
        switch (c) {
            case '\\':
            case '(':
            case ',':
            case ')':
            case '&':
                out.push_back('\\');
                out.push_back(c);
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

std::string serializeFeatureList(const FeatureList& list) {
    std::string out;
    for (size_t i = 0; i < list.size(); ++i) {
        if (i > 0) out += "&&";
        out += "(" + escapeListItem(list[i].first) + "," + escapeListItem(list[i].second) + ")";
    }
    return out;
}

namespace {

// item is one piece between "&&" separators, already checked to be at least
// three characters long and to begin with "(" and end with ")".
void parseItem(const std::string& item, FeatureList& list) {
    std::string fields[2];
    int current = 0;
    for (size_t i = 1; i < item.size(); ++i) {
        const char c = item[i];
        // The writer drops carriage returns, so none may be read either:
        // a pair holding one would be written back as a different pair (or
        // none), and the configuration file would then fail its signature.
        if (c == '\r') continue;
        if (c == '\\') {
            // A backslash just before the closing ")" escapes it, leaving
            // nothing to end the item: the walk stops with what it has.
            if (i + 2 >= item.size()) break;
            if (item[++i] != '\r') fields[current].push_back(item[i]);
        } else if (c == ',' && current == 0) {
            current = 1;
        } else if (c == ')') {
            break;
        } else {
            fields[current].push_back(c);
        }
    }
    if (!fields[1].empty()) list.emplace_back(std::move(fields[0]), std::move(fields[1]));
}

}  // namespace

void parseFeatureList(const std::string& value, FeatureList& list) {
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find("&&", start);
        if (end == std::string::npos) end = value.size();
        const std::string piece = value.substr(start, end - start);
        if (piece.size() >= 3 && piece.front() == '(' && piece.back() == ')') {
            parseItem(piece, list);
        }
        start = end + 2;
    }
}

}  // namespace ZEBInternal
