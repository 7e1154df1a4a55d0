// Host strings are cut to character limits and escaped before they are
// written into log lines and configuration files. On any bytes at all: the
// cut is a prefix that never splits or overruns a character, and every
// escaped form reads back, through a reader written here from the format
// alone, to the text it was made from.
//
// Input: one byte whose value modulo 32 is the character limit, then the
// text.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config/ConfigLists.h"
#include "util/Strings.h"

namespace {

bool isSpecial(char c, const char* specials) {
    return c != '\0' && std::strchr(specials, c) != nullptr;
}

// Undoes an escape: a backslash makes the next character literal (with
// lineFeeds, backslash and "n" is a line feed). False for what no writer
// produces: a special character or line break left bare, a lone final
// backslash, or an escape of an ordinary character.
bool unescape(const std::string& text, const char* specials, bool lineFeeds, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\') {
            if (++i == text.size()) return false;
            const char next = text[i];
            if (lineFeeds && next == 'n') {
                out += '\n';
            } else if (next == '\\' || isSpecial(next, specials)) {
                out += next;
            } else {
                return false;
            }
        } else if (isSpecial(c, specials) || (lineFeeds && (c == '\n' || c == '\r'))) {
            return false;
        } else {
            out += c;
        }
    }
    return true;
}

std::string withoutCarriageReturns(const std::string& text) {
    std::string out;
    for (const char c : text)
        if (c != '\r') out += c;
    return out;
}

void checkCut(const std::string& text, size_t limit) {
    const std::string cut = ZEBInternal::truncateUtf8(text, limit);
    const size_t chars = ZEBInternal::utf8Length(text);
    const bool prefix = cut.size() <= text.size() && text.compare(0, cut.size(), cut) == 0;
    const bool counted = ZEBInternal::utf8Length(cut) == (limit < chars ? limit : chars);
    const bool whole = cut.size() == text.size() || limit == 0 ||
                       (static_cast<unsigned char>(text[cut.size()]) & 0xC0) != 0x80;
    std::string inPlace = text;
    ZEBInternal::truncateUtf8InPlace(inPlace, limit);
    if (!prefix || !counted || !whole || inPlace != cut) std::abort();
}

void checkEscapes(const std::string& text) {
    // The field separator of log lines alone, and the pair-list specials of
    // custom events.
    for (const char* specials : {"$", "$(,)&"}) {
        std::string back;
        if (!unescape(ZEBInternal::escapeSpecials(text, specials), specials, false, back) ||
            back != text)
            std::abort();
        if (!unescape(ZEBInternal::escape(text, specials), specials, true, back) ||
            back != withoutCarriageReturns(text))
            std::abort();
    }
    // The configuration file's list items follow the same rule as the
    // events' pairs without "$"; the two writers must agree.
    if (ZEBInternal::escapeListItem(text) != ZEBInternal::escape(text, "(,)&")) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    checkCut(text, data[0] % 32);
    checkEscapes(text);
    return 0;
}
