#pragma once
// The line format of report sections and request envelopes: a header
// "****NAME" and lines "KEY:value", each ending in a line feed. Stateless;
// any thread.

#include <string>

namespace ZEBInternal {

// key, ":" unless the key already ends in one, the value, a line feed.
// Values are not escaped, but a carriage return, line feed or NUL inside
// one becomes a blank: the server reads one key per line, and a value that
// spanned lines would forge keys of its own.
void appendSectionLine(std::string& out, const std::string& key, const std::string& value);

// "****" + name + line feed + body; nothing when the body is empty.
void appendSection(std::string& out, const std::string& name, const std::string& body);

}  // namespace ZEBInternal
