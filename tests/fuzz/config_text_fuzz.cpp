// Configuration files are read back from a directory other processes share:
// any bytes at all must parse or be refused, and whatever parses must write
// back to a text that parses to the same values.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "config/ConfigLists.h"
#include "config/ConfigValues.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ZEBInternal::FeatureList list;
    ZEBInternal::parseFeatureList(text, list);
    // A list written out reads back unchanged once its items have been
    // through one parse (line ends inside items are the documented loss).
    ZEBInternal::FeatureList again;
    ZEBInternal::parseFeatureList(ZEBInternal::serializeFeatureList(list), again);
    ZEBInternal::FeatureList third;
    ZEBInternal::parseFeatureList(ZEBInternal::serializeFeatureList(again), third);
    if (again != third) std::abort();

    ZEBInternal::ConfigValues values;
    if (ZEBInternal::parseConfigText(text, 0, values)) {
        ZEBInternal::ConfigValues reread;
        const std::string body = ZEBInternal::serializeConfigBody(values);
        if (!ZEBInternal::parseConfigText("SIGNATURE:x\n" + body, 0, reread)) {
            // Text keys holding a line feed cannot come from a parse.
            std::abort();
        }
    }
    return 0;
}
