#include "events/ZEBEventBasic.h"

#include "config/ConfigFile.h"
#include "util/Strings.h"

namespace ZEBInternal {

namespace {
// Pair items are parenthesised and joined by "&&", so their own brackets,
// commas and ampersands are escaped besides the field separator.
constexpr const char* kPairSpecials = "$(,)&";
}  // namespace

ZEBEventBasic::ZEBEventBasic(std::string category, std::string name, EventSessionID sessionID,
                             const char* eventType)
    : ZEBEventInfo(std::move(sessionID), eventType),
      category_(std::move(category)),
      name_(std::move(name)) {}

bool ZEBEventBasic::appendBasicLine(ConfigFile& configuration, std::string& out) {
    // Asking may add the feature to the configuration's list of new features.
    if (!configuration.isFeatureTracked(category_, name_)) return false;
    appendHeader(out);
    out.push_back('$');
    appendEscapedSpecials(out, category_, "$");
    out.push_back('$');
    appendEscapedSpecials(out, name_, "$");
    return true;
}

bool ZEBEventBasic::serializeInto(ConfigFile& configuration, std::string& out) {
    return appendBasicLine(configuration, out);
}

ZEBEventNumeric::ZEBEventNumeric(std::string category, std::string name, EventSessionID sessionID,
                                 double value)
    : ZEBEventBasic(std::move(category), std::move(name), std::move(sessionID),
                    eventtype::kNumeric),
      value_(value) {}

bool ZEBEventNumeric::serializeInto(ConfigFile& configuration, std::string& out) {
    if (!appendBasicLine(configuration, out)) return false;
    out.push_back('$');
    out += formatDouble(value_);
    return true;
}

ZEBEventText::ZEBEventText(std::string category, std::string name, std::string text,
                           EventSessionID sessionID)
    : ZEBEventBasic(std::move(category), std::move(name), std::move(sessionID), eventtype::kText),
      text_(std::move(text)) {}

bool ZEBEventText::serializeInto(ConfigFile& configuration, std::string& out) {
    if (!appendBasicLine(configuration, out)) return false;
    text_ = cutToServerLimit(text_, configuration.getCustomTextThreshold());
    out.push_back('$');
    appendEscaped(out, text_, "$");
    return true;
}

ZEBEventNameValuePairs::ZEBEventNameValuePairs(std::string category, std::string name, Pairs pairs,
                                               EventSessionID sessionID)
    : ZEBEventBasic(std::move(category), std::move(name), std::move(sessionID),
                    eventtype::kNameValuePairs),
      pairs_(std::move(pairs)) {}

bool ZEBEventNameValuePairs::serializeInto(ConfigFile& configuration, std::string& out) {
    if (!appendBasicLine(configuration, out)) return false;
    const uint32_t nameLimit = configuration.getNameSizeThreshold();
    const uint32_t valueLimit = configuration.getValueSizeThreshold();
    out.push_back('$');
    bool first = true;
    for (auto& pair : pairs_) {
        pair.first = cutToServerLimit(pair.first, nameLimit);
        pair.second = cutToServerLimit(pair.second, valueLimit);
        if (!first) out += "&&";
        first = false;
        out.push_back('(');
        appendEscaped(out, pair.first, kPairSpecials);
        out.push_back(',');
        appendEscaped(out, pair.second, kPairSpecials);
        out.push_back(')');
    }
    return true;
}

}  // namespace ZEBInternal
