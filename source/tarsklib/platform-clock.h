// The monotonic high-resolution counter, the millisecond tick count and the time-stamp counter.
#pragma once

#include <cstdint>

namespace tarsk {

// Monotonic counter and its frequency in counts per second (0 when there is no counter).
uint64_t counterNow();
uint64_t counterFrequency();
// Milliseconds since an arbitrary fixed point, wrapping at 2^32.
uint32_t tickCountMs();
// The processor's time-stamp counter.
uint64_t timeStampCounter();
// The local time of now as text, e.g. "Wed Dec  9 10:12:03 2026".
void localTimeText(char* text, int capacity);

}  // namespace tarsk
