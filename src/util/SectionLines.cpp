#include "util/SectionLines.h"

namespace ZEBInternal {

void appendSectionLine(std::string& out, const std::string& key, const std::string& value) {
    out += key;
    if (key.empty() || key.back() != ':') out += ':';
    for (char c : value) out += (c == '\n' || c == '\r' || c == '\0') ? ' ' : c;
    out += '\n';
}

void appendSection(std::string& out, const std::string& name, const std::string& body) {
    if (body.empty()) return;
    out += "****";
    out += name;
    out += '\n';
    out += body;
}

}  // namespace ZEBInternal
