// The readers every call-home answer goes through once it is split into
// lines: field lookup, the "****CONFIG" section applied to the
// configuration file and the "****REACHOUT" section. The input is an answer
// body; whatever it holds, the readers stay inside its lines, a reach-out
// message is complete, and the configuration file keeps a usable client ID
// and a body that reads back under its signature.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/ConfigFile.h"
#include "config/RuntimeSettings.h"
#include "fuzz_invariants.h"
#include "messages/ResponseReaders.h"

namespace {

using namespace ZEBInternal;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool hasLine(const std::vector<std::string>& lines, const std::string& line) {
    for (const std::string& l : lines)
        if (l == line) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const RuntimeSettings settings;
    const std::string body(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = splitResponseLines(body);

    for (const std::string& line : lines) {
        // Lines come trimmed and never empty.
        if (line.empty() || isBlank(line.front()) || isBlank(line.back()) ||
            line.find('\n') != std::string::npos)
            std::abort();
        std::string key;
        std::string value;
        if (splitField(line, key, value) &&
            (key.size() < 2 || key.back() != ':' || key + value != line))
            std::abort();
    }
    for (const char* key : {"STATUS:", "INSTRUCTION:", "CLIENTID:", "COUNT:", "URL:"}) {
        std::string value;
        if (findResponseValue(lines, key, value) && !hasLine(lines, key + value)) std::abort();
    }

    ReachOutMessage reachOut;
    if (parseReachOut(lines, reachOut) &&
        (reachOut.width.empty() || reachOut.height.empty() ||
         reachOut.width.find('x') != std::string::npos ||
         !hasLine(lines, "DIMENSIONS:" + reachOut.width + "x" + reachOut.height) ||
         !hasLine(lines, "MESSAGECONTENT:" + reachOut.content)))
        std::abort();

    // A directory that cannot exist: the file is never written.
    ConfigFile file(&settings, "/dev/null/zeb-fuzz", "0123456789", "Fuzz");
    applyConfigSection(lines, file);
    if (!zebfuzz::fileStaysUsable(file)) std::abort();
    return 0;
}
