// Host strings are cut to character limits before they are stored or sent;
// on any bytes at all the cut must be a prefix that never splits or overruns
// a character.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "util/Strings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t limit = data[0] % 32;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string cut = ZEBInternal::truncateUtf8(text, limit);
    const size_t chars = ZEBInternal::utf8Length(text);
    const bool prefix = cut.size() <= text.size() && text.compare(0, cut.size(), cut) == 0;
    const bool counted = ZEBInternal::utf8Length(cut) == (limit < chars ? limit : chars);
    const bool whole = cut.size() == text.size() || limit == 0 ||
                       (static_cast<unsigned char>(text[cut.size()]) & 0xC0) != 0x80;
    if (!prefix || !counted || !whole) std::abort();
    return 0;
}
