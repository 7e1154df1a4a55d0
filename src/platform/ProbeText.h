#pragma once
// Line scanning over probe text without copying it: a 4 MiB file of short
// lines must not turn into millions of strings. Header-only; stateless.

#include <string_view>

namespace ZEBInternal {

// Without spaces, tabs, carriage returns and line feeds at both ends.
inline std::string_view trimView(std::string_view text) {
    constexpr std::string_view kBlank = " \t\r\n";
    const size_t first = text.find_first_not_of(kBlank);
    if (first == std::string_view::npos) return std::string_view();
    const size_t last = text.find_last_not_of(kBlank);
    return text.substr(first, last - first + 1);
}

// Calls visit(line) for each line of text split at line feeds, trimmed,
// empty lines skipped, until visit returns true. True when a visit did.
template <typename Visit>
bool forEachLine(std::string_view text, Visit visit) {
    while (!text.empty()) {
        const size_t lineFeed = text.find('\n');
        const std::string_view line = trimView(text.substr(0, lineFeed));
        if (!line.empty() && visit(line)) return true;
        if (lineFeed == std::string_view::npos) break;
        text.remove_prefix(lineFeed + 1);
    }
    return false;
}

}  // namespace ZEBInternal
