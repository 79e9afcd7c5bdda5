// The clocks on POSIX: CLOCK_MONOTONIC in nanoseconds, the time-stamp counter and the local time.
#include "platform-clock.h"

#include <x86intrin.h>

#include <cstdio>
#include <ctime>

namespace tarsk {

namespace {
constexpr uint64_t kNanosecondsPerSecond = 1000000000ull;
constexpr uint64_t kNanosecondsPerMillisecond = 1000000ull;

bool monotonicNs(uint64_t& ns) {
    timespec now;
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) {
        return false;
    }
    ns = static_cast<uint64_t>(now.tv_sec) * kNanosecondsPerSecond + static_cast<uint64_t>(now.tv_nsec);
    return true;
}
}  // namespace

uint64_t counterNow() {
    uint64_t ns = 0;
    return monotonicNs(ns) ? ns : 0;
}

uint64_t counterFrequency() {
    uint64_t ns = 0;
    return monotonicNs(ns) ? kNanosecondsPerSecond : 0;
}

uint32_t tickCountMs() { return static_cast<uint32_t>(counterNow() / kNanosecondsPerMillisecond); }

uint64_t timeStampCounter() { return __rdtsc(); }

void localTimeText(char* text, int capacity) {
    if (text == nullptr || capacity <= 0) {
        return;
    }
    // The names are spelled out here instead of taken from strftime, so that the host's locale
    // cannot change the text.
    static const char* const kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    time_t now = std::time(nullptr);
    tm local;
    if (localtime_r(&now, &local) == nullptr || local.tm_wday < 0 || local.tm_wday > 6 || local.tm_mon < 0 ||
        local.tm_mon > 11) {
        text[0] = '\0';
        return;
    }
    std::snprintf(text, static_cast<size_t>(capacity), "%s %s %2d %02d:%02d:%02d %d", kDays[local.tm_wday],
                  kMonths[local.tm_mon], local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  local.tm_year + 1900);
}

}  // namespace tarsk
