// Stopwatch: elapsed time in seconds, milliseconds, microseconds or nanoseconds from the high-resolution counter.
#pragma once

#include <cstdint>

namespace tarsk {

constexpr uint32_t kStopwatchSeconds = 0;
constexpr uint32_t kStopwatchMilliseconds = 1;
constexpr uint32_t kStopwatchMicroseconds = 2;
constexpr uint32_t kStopwatchNanoseconds = 3;

// A source of counts, e.g. counterNow().
using CounterSource = uint64_t (*)();

class Stopwatch {
public:
    // Measures with the platform's high-resolution counter; starts at once.
    explicit Stopwatch(uint32_t unit);
    // Measures with the given counter of `frequency` counts per second (tests use their own).
    // With frequency 0, or a unit above 3, elapsed() stays 0.
    Stopwatch(uint32_t unit, CounterSource counter, uint64_t frequency);

    void restart();
    // The time since construction or the last restart(), in the unit.
    uint64_t elapsed() const;

private:
    CounterSource counter;
    uint64_t startCount = 0;
    uint64_t multiplier = 0;  // units per count, scaled by 2^shift
    uint32_t shift = 0;
};

}  // namespace tarsk
