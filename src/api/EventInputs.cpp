#include "api/EventInputs.h"

#include <algorithm>

namespace ZEBInternal {

namespace {
bool isLineControl(char c) { return c == '\t' || c == '\r' || c == '\n'; }
bool isBlankOrControl(char c) { return c == ' ' || isLineControl(c); }
}  // namespace

std::string cleanText(std::string text) {
    // Most names need nothing: check before copying anything.
    const bool trimFront = !text.empty() && isBlankOrControl(text.front());
    const bool trimBack = !text.empty() && isBlankOrControl(text.back());
    const bool inner = std::any_of(text.begin(), text.end(), isLineControl);
    if (!trimFront && !trimBack && !inner) return text;

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
