#pragma once
// Wall-clock times and durations as seconds and microseconds, both unsigned
// 32-bit. Timed waits do not use these readings directly: the condition
// variable measures its deadlines on the monotonic clock, so a stepped wall
// clock cannot stall a worker.

#include <cstdint>
#include <string>

namespace ZEBInternal {

struct TimeValue {
    uint32_t seconds = 0;
    uint32_t microseconds = 0;

    bool isZero() const { return seconds == 0 && microseconds == 0; }
    static TimeValue fromSeconds(uint32_t s) { return TimeValue{s, 0}; }
};

inline bool operator==(const TimeValue& a, const TimeValue& b) {
    return a.seconds == b.seconds && a.microseconds == b.microseconds;
}
inline bool operator!=(const TimeValue& a, const TimeValue& b) { return !(a == b); }

namespace timeutil {

// gettimeofday, each part truncated to 32 bits.
TimeValue now();
// Carries whole seconds out of microseconds when they exceed 999999.
TimeValue normalise(TimeValue v);
// Field-wise sum, then normalised.
TimeValue add(const TimeValue& a, const TimeValue& b);
TimeValue nowPlus(const TimeValue& duration);
// a - b after normalising both, borrowing one second when the microseconds
// would fall below zero. Unsigned: a b later than a wraps, as the stored
// 32-bit readings do.
TimeValue subtract(const TimeValue& a, const TimeValue& b);
int64_t toMicroseconds(const TimeValue& v);
// Sleeps for the whole duration, resuming after signals.
void sleepFor(const TimeValue& duration);
// The current time of day in UTC as "%FT%T", e.g. 2026-12-08T19:04:05.
std::string isoTimeUtc();
// A given epoch second in UTC as "%FT%T".
std::string isoTimeUtc(int64_t epochSeconds);

}  // namespace timeutil
}  // namespace ZEBInternal
