#include "util/TimeValue.h"

#include <sys/time.h>

#include <cerrno>
#include <ctime>

namespace ZEBInternal {
namespace timeutil {

TimeValue now() {
    struct timeval tv {};
    gettimeofday(&tv, nullptr);
    return TimeValue{static_cast<uint32_t>(tv.tv_sec), static_cast<uint32_t>(tv.tv_usec)};
}

TimeValue normalise(TimeValue v) {
    if (v.microseconds > 999999u) {
        v.seconds += v.microseconds / 1000000u;
        v.microseconds %= 1000000u;
    }
    return v;
}

TimeValue add(const TimeValue& a, const TimeValue& b) {
    // Normalise each operand first so the microsecond sum cannot wrap.
    const TimeValue x = normalise(a);
    const TimeValue y = normalise(b);
    return normalise(TimeValue{x.seconds + y.seconds, x.microseconds + y.microseconds});
}

TimeValue nowPlus(const TimeValue& duration) { return add(now(), duration); }

TimeValue subtract(const TimeValue& a, const TimeValue& b) {
    const TimeValue x = normalise(a);
    const TimeValue y = normalise(b);
    TimeValue r;
    if (x.microseconds < y.microseconds) {
        r.seconds = x.seconds - y.seconds - 1u;
        r.microseconds = x.microseconds + 1000000u - y.microseconds;
    } else {
        r.seconds = x.seconds - y.seconds;
        r.microseconds = x.microseconds - y.microseconds;
    }
    return r;
}

int64_t toMicroseconds(const TimeValue& v) {
    return static_cast<int64_t>(v.seconds) * 1000000 + static_cast<int64_t>(v.microseconds);
}

void sleepFor(const TimeValue& duration) {
    const TimeValue d = normalise(duration);
    struct timespec req {};
    req.tv_sec = static_cast<time_t>(d.seconds);
    req.tv_nsec = static_cast<long>(d.microseconds) * 1000L;
    struct timespec rem {};
    while (nanosleep(&req, &rem) != 0 && errno == EINTR) req = rem;
}

std::string isoTimeUtc(int64_t epochSeconds) {
    const time_t t = static_cast<time_t>(epochSeconds);
    struct tm parts {};
    if (gmtime_r(&t, &parts) == nullptr) return std::string();
    char buf[64];
    const size_t n = strftime(buf, sizeof buf, "%FT%T", &parts);
    return std::string(buf, n);
}

std::string isoTimeUtc() { return isoTimeUtc(static_cast<int64_t>(time(nullptr))); }

}  // namespace timeutil
}  // namespace ZEBInternal
