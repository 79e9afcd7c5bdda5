// The clocks on Windows: the performance counter, GetTickCount, the time-stamp counter and the
// local time.
#include "platform-clock.h"

#include <windows.h>
#include <x86intrin.h>

#include <cstdio>

namespace tarsk {

uint64_t counterNow() {
    LARGE_INTEGER now;
    return QueryPerformanceCounter(&now) ? static_cast<uint64_t>(now.QuadPart) : 0;
}

uint64_t counterFrequency() {
    LARGE_INTEGER frequency;
    return QueryPerformanceFrequency(&frequency) ? static_cast<uint64_t>(frequency.QuadPart) : 0;
}

uint32_t tickCountMs() { return static_cast<uint32_t>(GetTickCount()); }

uint64_t timeStampCounter() { return __rdtsc(); }

void localTimeText(char* text, int capacity) {
    if (text == nullptr || capacity <= 0) {
        return;
    }
    // The names are spelled out here instead of taken from GetDateFormat, so that the user's locale
    // cannot change the text.
    static const char* const kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    SYSTEMTIME local;
    GetLocalTime(&local);
    if (local.wDayOfWeek > 6 || local.wMonth < 1 || local.wMonth > 12) {
        text[0] = '\0';
        return;
    }
    std::snprintf(text, static_cast<size_t>(capacity), "%s %s %2u %02u:%02u:%02u %u", kDays[local.wDayOfWeek],
                  kMonths[local.wMonth - 1], local.wDay, local.wHour, local.wMinute, local.wSecond, local.wYear);
}

}  // namespace tarsk
