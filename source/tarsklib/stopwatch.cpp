// Stopwatch: counts are turned into units by a fixed-point multiplier with a 128-bit product.
#include "stopwatch.h"

#include "platform-clock.h"

namespace tarsk {

namespace {

struct UnitScale {
    uint64_t unitsPerSecond;
    uint32_t shift;  // chosen so that unitsPerSecond << shift stays near 2^50
};

constexpr UnitScale kUnitScales[] = {
    {1ull, 50},
    {1000ull, 40},
    {1000000ull, 30},
    {1000000000ull, 20},
};

}  // namespace

Stopwatch::Stopwatch(uint32_t unit) : Stopwatch(unit, &counterNow, counterFrequency()) {}

Stopwatch::Stopwatch(uint32_t unit, CounterSource source, uint64_t frequency) : counter(source) {
    if (counter != nullptr && frequency != 0 && unit < sizeof(kUnitScales) / sizeof(kUnitScales[0])) {
        shift = kUnitScales[unit].shift;
        uint64_t numerator = kUnitScales[unit].unitsPerSecond << shift;
        // Rounded up: a truncated multiplier would let an exact 1.5 s read as 1499 ms.
        multiplier = (numerator + frequency - 1) / frequency;
    }
    restart();
}

void Stopwatch::restart() { startCount = counter != nullptr ? counter() : 0; }

uint64_t Stopwatch::elapsed() const {
    if (multiplier == 0) {
        return 0;
    }
    unsigned __int128 product = static_cast<unsigned __int128>(counter() - startCount) * multiplier;
    return static_cast<uint64_t>(product >> shift);
}

}  // namespace tarsk
