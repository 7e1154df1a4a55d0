#include "data/SectionText.h"

#include "util/Strings.h"

namespace ZEBInternal {

namespace {

const char kListSpecials[] = "(,)&";

}  // namespace

std::string stringList(const std::vector<std::string>& items) {
    std::string text;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += "&&";
        text += escapeSpecials(items[i], "&");
    }
    return text;
}

std::string pairList(const std::vector<std::pair<std::string, std::string>>& items) {
    std::string text;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += "&&";
        text += "(" + escape(items[i].first, kListSpecials) + "," +
                escape(items[i].second, kListSpecials) + ")";
    }
    return text;
}

std::string tripleList(const std::vector<ScreenTriple>& items) {
    std::string text;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += "&&";
        text += "(" + escape(items[i][0], kListSpecials) + "," +
                escape(items[i][1], kListSpecials) + "," + escape(items[i][2], kListSpecials) + ")";
    }
    return text;
}

}  // namespace ZEBInternal
