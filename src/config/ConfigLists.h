#pragma once
// The pair-list form of the configuration file and of the server's
// "FTWHITELIST:" and "FTLIST:" values: items joined by "&&", each item
// "(" + escaped first + "," + escaped second + ")". Stateless; any thread.

#include <string>
#include <utility>
#include <vector>

namespace ZEBInternal {

// (category, name) of a feature event.
using FeaturePair = std::pair<std::string, std::string>;
using FeatureList = std::vector<FeaturePair>;

// A backslash before every backslash and every one of "(,)&"; a line feed
// becomes backslash and "n", a carriage return is dropped, so an item never
// spans lines. A line feed therefore reads back as the letter n.
std::string escapeListItem(const std::string& text);

// The pairs in order, joined by "&&"; empty text for an empty list.
std::string serializeFeatureList(const FeatureList& list);

// Appends the pairs of value to list. The value is split at every "&&"
// (empty pieces dropped); a piece shorter than three characters or not
// starting with "(" and ending with ")" is skipped. Inside an item a
// backslash makes the next character literal, the first unescaped ","
// starts the second field (later ones belong to it), an unescaped ")" ends
// the item; carriage returns, escaped or not, are dropped, as the writer
// drops them. Items with an empty second field are skipped. Never fails:
// malformed input only yields fewer pairs.
void parseFeatureList(const std::string& value, FeatureList& list);

}  // namespace ZEBInternal
