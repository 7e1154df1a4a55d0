#pragma once
// Feature events: a category and a name, optionally with a number, a text or
// a list of name/value pairs. All four obey the server's feature switches
// (FTFLAG, the white list, the list of features not to track).

#include <string>
#include <utility>
#include <vector>

#include "events/ZEBEventInfo.h"

namespace ZEBInternal {

class ZEBEventBasic : public ZEBEventInfo {
public:
    ZEBEventBasic(std::string category, std::string name, EventSessionID sessionID,
                  const char* eventType = eventtype::kBasic);
    bool serializeInto(ConfigFile& configuration, std::string& out) override;

    const std::string& getCategory() const { return category_; }
    const std::string& getName() const { return name_; }

protected:
    // The basic line; false when the feature is not tracked.
    bool appendBasicLine(ConfigFile& configuration, std::string& out);

private:
    std::string category_;
    std::string name_;
};

class ZEBEventNumeric : public ZEBEventBasic {
public:
    ZEBEventNumeric(std::string category, std::string name, EventSessionID sessionID, double value);
    bool serializeInto(ConfigFile& configuration, std::string& out) override;

private:
    double value_;
};

class ZEBEventText : public ZEBEventBasic {
public:
    ZEBEventText(std::string category, std::string name, std::string text,
                 EventSessionID sessionID);
    bool serializeInto(ConfigFile& configuration, std::string& out) override;

private:
    std::string text_;
};

class ZEBEventNameValuePairs : public ZEBEventBasic {
public:
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    ZEBEventNameValuePairs(std::string category, std::string name, Pairs pairs,
                           EventSessionID sessionID);
    bool serializeInto(ConfigFile& configuration, std::string& out) override;

private:
    Pairs pairs_;
};

}  // namespace ZEBInternal
