// Configuration files are read back from a directory other processes share:
// any bytes at all must parse or be refused, whatever parses must write
// back to a text that reads to the same body (so that its signature still
// holds), and names listed in that directory must be taken apart without
// leaving the name.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "config/ConfigFileNames.h"
#include "config/ConfigLists.h"
#include "config/ConfigValues.h"
#include "fuzz_invariants.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ZEBInternal;
    const std::string text(reinterpret_cast<const char*>(data), size);

    // A list value is one line of a file or of a server answer, and it is
    // written into the signed body: once read, written and read again it
    // must write the same text.
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        FeatureList list;
        parseFeatureList(text.substr(start, end - start), list);
        const std::string written = serializeFeatureList(list);
        FeatureList again;
        parseFeatureList(written, again);
        if (serializeFeatureList(again) != written) std::abort();
        start = end + 1;
    }

    ConfigValues values;
    if (parseConfigText(text, 0, values) && !zebfuzz::bodyReadsBack(serializeConfigBody(values))) {
        std::abort();
    }

    const std::string prefix = configFilePrefix("0123456789", "Fuzz_App");
    if (isConfigCandidate(text, prefix)) {
        // The stamp is the end of the name before ".cfg", never reaching
        // into the prefix.
        const std::string stamp = configCandidateStamp(text);
        if (stamp.size() + prefix.size() + 4 > text.size() ||
            text.compare(text.size() - 4 - stamp.size(), stamp.size() + 4, stamp + ".cfg") != 0)
            std::abort();
    }
    return 0;
}
