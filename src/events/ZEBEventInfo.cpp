#include "events/ZEBEventInfo.h"

#include <sys/time.h>

#include <charconv>

#include "util/Strings.h"

namespace ZEBInternal {

namespace {

// Formats one second as "%FT%T". Consecutive records usually share their
// second, and nearly always their day, so the last text is kept per thread
// (only the log writer formats): within its day only the time of day is
// rewritten, by plain arithmetic, since POSIX time has no leap seconds.
const std::string& formatSecond(time_t seconds) {
    constexpr time_t kDay = 86400;
    constexpr size_t kTimeOfDay = 8;  // "%T": HH:MM:SS
    thread_local time_t cachedSecond = static_cast<time_t>(-1);
    thread_local std::string cachedText;
    if (seconds == cachedSecond && !cachedText.empty()) return cachedText;
    if (seconds >= 0 && cachedSecond >= 0 && seconds / kDay == cachedSecond / kDay &&
        cachedText.size() >= kTimeOfDay) {
        const auto ofDay = static_cast<unsigned>(seconds % kDay);
        const unsigned parts[] = {ofDay / 3600, ofDay / 60 % 60, ofDay % 60};
        char* out = &cachedText[cachedText.size() - kTimeOfDay];
        for (unsigned part : parts) {
            *out++ = static_cast<char>('0' + part / 10);
            *out++ = static_cast<char>('0' + part % 10);
            ++out;  // over the ':'
        }
        cachedSecond = seconds;
        return cachedText;
    }
    struct tm parts {};
    char text[64] = {0};
    if (gmtime_r(&seconds, &parts) == nullptr ||
        strftime(text, sizeof text, "%FT%T", &parts) == 0) {
        text[0] = '\0';
    }
    cachedText = text;
    cachedSecond = seconds;
    return cachedText;
}

time_t wallClockSeconds() {
    struct timeval tv {};
    gettimeofday(&tv, nullptr);
    return tv.tv_sec;
}

// The characters a backslash goes before: the backslash itself and the
// caller's specials (all ASCII), as a set of 128 bits, so that the usual
// text is scanned without a look at `specials` per character.
class SpecialSet {
public:
    explicit SpecialSet(const char* specials) {
        add('\\');
        for (; *specials != '\0'; ++specials) add(static_cast<unsigned char>(*specials));
    }
    bool has(char c) const {
        const auto u = static_cast<unsigned char>(c);
        return u < 128 && ((bits_[u >> 6] >> (u & 63)) & 1) != 0;
    }

private:
    void add(unsigned char c) {
        if (c < 128) bits_[c >> 6] |= uint64_t{1} << (c & 63);
    }
    uint64_t bits_[2] = {0, 0};
};

}  // namespace

ZEBEventInfo::ZEBEventInfo(EventSessionID sessionID, const char* eventType)
    : time_(wallClockSeconds()), sessionID_(std::move(sessionID)), eventType_(eventType) {}

std::string ZEBEventInfo::serialize(ConfigFile& configuration) {
    std::string line;
    serializeInto(configuration, line);
    return line;
}

std::string ZEBEventInfo::getTimeStamp() const {
    return formatSecond(time_);
}

void ZEBEventInfo::appendHeader(std::string& out) const {
    out += formatSecond(time_);
    out.push_back('$');
    appendEscapedSpecials(out, sessionID_.get(), "$");
    out.push_back('$');
    out += eventType_;
}

void appendEscapedSpecials(std::string& out, const std::string& text, const char* specials) {
    const SpecialSet special(specials);
    // Runs without a special character are copied whole.
    size_t run = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!special.has(text[i])) continue;
        out.append(text, run, i - run);
        out.push_back('\\');
        run = i;
    }
    out.append(text, run, std::string::npos);
}

void appendEscaped(std::string& out, const std::string& text, const char* specials) {
    const SpecialSet special(specials);
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        if (special.has(c)) out.push_back('\\');
        out.push_back(c);
    }
}

std::string formatDouble(double value) {
    // to_chars in general form with precision 6 is printf's %g in the C
    // locale, which is what a default output stream produces.
    char text[64];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6);
    if (result.ec != std::errc()) return std::string();
    return std::string(text, result.ptr);
}

namespace {
thread_local size_t fieldCuts = 0;
}  // namespace

std::string cutToServerLimit(const std::string& text, uint32_t limit) {
    std::string cut = truncateUtf8(text, limit);
    if (cut.size() != text.size()) ++fieldCuts;
    return cut;
}

size_t takeFieldCuts() noexcept {
    const size_t cuts = fieldCuts;
    fieldCuts = 0;
    return cuts;
}

}  // namespace ZEBInternal
