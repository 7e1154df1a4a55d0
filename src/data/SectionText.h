#pragma once
// The text format of report sections, shared by every store that writes
// one: a header "****NAME" and lines "KEY:value", each ending in a line
// feed, and the list forms used inside values. Stateless; any thread.

#include <string>
#include <utility>
#include <vector>

#include "platform/SystemRecord.h"

namespace ZEBInternal {

// key, ":" unless the key already ends in one, the value, a line feed.
// Values are not escaped, but a carriage return, line feed or NUL inside
// one becomes a blank: the server reads one key per line, and a value that
// spanned lines would forge keys of its own.
void appendSectionLine(std::string& out, const std::string& key, const std::string& value);

// "****" + name + line feed + body; nothing when the body is empty.
void appendSection(std::string& out, const std::string& name, const std::string& body);

// Items through escapeSpecials(item, "&"), joined by "&&".
std::string stringList(const std::vector<std::string>& items);
// "(a,b)" items, each part through escape(part, "(,)&"), joined by "&&".
std::string pairList(const std::vector<std::pair<std::string, std::string>>& items);
// "(a,b,c)" items, likewise.
std::string tripleList(const std::vector<ScreenTriple>& items);

}  // namespace ZEBInternal
