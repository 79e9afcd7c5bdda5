// Stopwatch: counts are turned into units by a fixed-point multiplier with a 128-bit product.
#include "stopwatch.h"

#include "platform-clock.h"

namespace tarsk {

namespace {

// The low 64 bits of (a × b) >> shift, with the full 128-bit product (0 < shift < 64). 32-bit
// targets have no 128-bit integer type: there the product is put together from 32-bit halves.
uint64_t productShifted(uint64_t a, uint64_t b, uint32_t shift) {
#ifdef __SIZEOF_INT128__
    return static_cast<uint64_t>((static_cast<unsigned __int128>(a) * b) >> shift);
#else
    constexpr uint64_t kLow32 = 0xFFFFFFFFull;
    const uint64_t ll = (a & kLow32) * (b & kLow32);
    const uint64_t lh = (a & kLow32) * (b >> 32);
    const uint64_t hl = (a >> 32) * (b & kLow32);
    const uint64_t hh = (a >> 32) * (b >> 32);
    const uint64_t middle = (ll >> 32) + (lh & kLow32) + (hl & kLow32);
    const uint64_t low = (ll & kLow32) | (middle << 32);
    const uint64_t high = hh + (lh >> 32) + (hl >> 32) + (middle >> 32);
    return (low >> shift) | (high << (64 - shift));
#endif
}

}  // namespace

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
    return productShifted(counter() - startCount, multiplier, shift);
}

}  // namespace tarsk
