#pragma once
// The list forms used inside report-section values, shared by every store
// that writes one; the lines themselves are in util/SectionLines.h.
// Stateless; any thread.

#include <string>
#include <utility>
#include <vector>

#include "platform/SystemRecord.h"
#include "util/SectionLines.h"

namespace ZEBInternal {

// Items through escapeSpecials(item, "&"), joined by "&&".
std::string stringList(const std::vector<std::string>& items);
// "(a,b)" items, each part through escape(part, "(,)&"), joined by "&&".
std::string pairList(const std::vector<std::pair<std::string, std::string>>& items);
// "(a,b,c)" items, likewise.
std::string tripleList(const std::vector<ScreenTriple>& items);

}  // namespace ZEBInternal
