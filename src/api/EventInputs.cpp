#include "api/EventInputs.h"

#include <algorithm>

namespace ZEBInternal {

namespace {
bool isLineControl(char c) {
    return c == '\t' || c == '\r' || c == '\n';
}
bool isBlankOrControl(char c) {
    return c == ' ' || isLineControl(c);
}
}  // namespace

std::string cleanText(std::string text) {
    // Most names need nothing: one look at each byte tells, and only bytes
    // up to the blank can matter (a blank only at either end).
    const size_t n = text.size();
    size_t i = 0;
    for (; i < n; ++i) {
        const char c = text[i];
        if (static_cast<unsigned char>(c) > ' ') continue;
        if (isLineControl(c) || (c == ' ' && (i == 0 || i + 1 == n))) break;
    }
    if (i == n) return text;

    const auto first = std::find_if_not(text.begin(), text.end(), isBlankOrControl);
    if (first == text.end()) return std::string();
    const auto last = std::find_if_not(text.rbegin(), text.rend(), isBlankOrControl).base();
    std::string out;
    out.reserve(static_cast<size_t>(last - first));
    for (auto it = first; it != last; ++it) {
        if (!isLineControl(*it)) out.push_back(*it);
    }
    return out;
}

}  // namespace ZEBInternal
