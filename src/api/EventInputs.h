#pragma once
// Preparation of the host's strings for event records.

#include <string>

namespace ZEBInternal {

// Removes blanks, tabs, CR and LF at both ends and every tab, CR and LF
// inside; blanks inside stay. Names and IDs so cleaned never break a line.
std::string cleanText(std::string text);

}  // namespace ZEBInternal
