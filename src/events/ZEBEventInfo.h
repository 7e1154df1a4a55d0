#pragma once
// Event records: what the host's tracking calls, the session manager, the
// time-warp detector and the log file report, one object per event. A record
// is made with its fields complete on the producer's thread, queued by the
// event manager and turned into one line of the log file by the log writer.
//
// The line format is what the server parses out of uploaded logs, so every
// separator, escape and number form here is part of the protocol: fields are
// separated by "$", a line feed inside free text is written as backslash-n
// and a carriage return is dropped.
//
// A record keeps its construction time as a number and formats it when it is
// written, so that the host's tracking call pays only for the clock read.

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

namespace ZEBInternal {

class ConfigFile;
class EventManager;

// The session ID a record is filed under. Most records of a run belong to
// its application session: they borrow that ID from the SDK, which outlives
// every record of the run, rather than each holding a copy of it. Any other
// ID is owned by the record.
class EventSessionID {
public:
    // Owned copies; implicit, so that a record is made from a plain ID.
    EventSessionID(std::string id)  // NOLINT(google-explicit-constructor)
        : owned_(std::make_unique<const std::string>(std::move(id))), id_(owned_.get()) {}
    EventSessionID(const char* id)  // NOLINT(google-explicit-constructor)
        : EventSessionID(std::string(id)) {}
    // REQUIRES: `id` outlives every record made with it.
    static EventSessionID borrowed(const std::string& id) { return EventSessionID(&id); }

    const std::string& get() const { return *id_; }

private:
    explicit EventSessionID(const std::string* id) : id_(id) {}

    std::unique_ptr<const std::string> owned_;  // null when borrowed
    const std::string* id_;                     // never null
};

class ZEBEventInfo {
public:
    virtual ~ZEBEventInfo() = default;
    ZEBEventInfo(const ZEBEventInfo&) = delete;
    ZEBEventInfo& operator=(const ZEBEventInfo&) = delete;

    // The event's line without its terminator, or the empty string when the
    // configuration says the event is not to be written. May shorten the
    // record's own texts to the configuration's limits; called once.
    std::string serialize(ConfigFile& configuration);
    // The same line appended to `out`; false (and `out` unchanged) when the
    // event is not to be written. The log file uses this form to build a
    // whole batch in one buffer.
    virtual bool serializeInto(ConfigFile& configuration, std::string& out) = 0;

    // "%FT%T" in UTC, for example 2024-03-01T09:05:07.
    std::string getTimeStamp() const;
    const std::string& getSessionID() const { return sessionID_.get(); }
    const char* getEventType() const { return eventType_; }
    // Tests pin the time of a record to check its line.
    void setTime(time_t seconds) { time_ = seconds; }

protected:
    // eventType: four decimal digits, a literal that outlives the record.
    ZEBEventInfo(EventSessionID sessionID, const char* eventType);
    // time + "$" + session + "$" + type.
    void appendHeader(std::string& out) const;

private:
    friend class EventManager;

    // While queued in the event manager: the record queued just before this
    // one (stale once the record is taken). Linking the records themselves
    // keeps a queued event to one allocation.
    ZEBEventInfo* queueLink_ = nullptr;
    time_t time_;
    EventSessionID sessionID_;
    const char* eventType_;
};

// Event types as they appear in the line.
namespace eventtype {
constexpr const char* kAppSessionStart = "0001";
constexpr const char* kAppSessionStop = "0002";
constexpr const char* kUserSessionStart = "0012";
constexpr const char* kUserSessionStop = "0013";
constexpr const char* kBasic = "0021";
constexpr const char* kNumeric = "0022";
constexpr const char* kText = "0023";
constexpr const char* kNameValuePairs = "0024";
constexpr const char* kException = "0031";
constexpr const char* kTimeWarp = "0041";
constexpr const char* kNewFile = "0051";
}  // namespace eventtype

// Appends escapeSpecials(text, specials) / escape(text, specials) without a
// temporary string. REQUIRES: `specials` holds ASCII characters only.
void appendEscapedSpecials(std::string& out, const std::string& text, const char* specials);
void appendEscaped(std::string& out, const std::string& text, const char* specials);
// A double as a default-configured output stream writes it: six significant
// digits, the shorter of fixed and exponent notation (1.23457e+06, 0.5),
// independent of the host's locale.
std::string formatDouble(double value);

// `text` cut to `limit` UTF-8 characters, as the server's limits ask. A
// cut is counted for the thread that serialises, so that the log file can
// tell the host how many fields of a batch lost their end.
std::string cutToServerLimit(const std::string& text, uint32_t limit);
// The cuts counted on this thread since the last call.
size_t takeFieldCuts() noexcept;

}  // namespace ZEBInternal
