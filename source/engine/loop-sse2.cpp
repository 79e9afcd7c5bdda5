// The SSE2 build of the per-sample loop: line indices stepped four at a time with SSE2 integer
// instructions, floats turned into integers with CVTPS2DQ, which rounds down under the loop's MXCSR.
#include <emmintrin.h>

#include "engine/loop-simd.h"

namespace tarsk {

namespace {

struct Sse2Indices {
    using Vec = __m128i;

    static Vec load(const LaneIndices& lanes) { return _mm_load_si128(reinterpret_cast<const __m128i*>(lanes.v)); }
    static void store(LaneIndices& lanes, Vec v) { _mm_store_si128(reinterpret_cast<__m128i*>(lanes.v), v); }

    static Vec next(Vec index, Vec mask) { return _mm_and_si128(_mm_add_epi32(index, _mm_set1_epi32(1)), mask); }

    // k = floor(frac) (the rounding mode is toward minus infinity); index += k; frac -= k.
    static Vec advance(Vec index, Vec mask, __m128& frac) {
        const __m128i k = _mm_cvtps_epi32(frac);
        frac = _mm_sub_ps(frac, _mm_cvtepi32_ps(k));
        return _mm_and_si128(_mm_add_epi32(index, k), mask);
    }

    // The ring at index and at (index + 1) & mask. Unless a line reads the ring's last word, both
    // values of a line sit side by side and come in one 8-byte load.
    static void readPair(const float* ring, Vec index, Vec mask, __m128& a, __m128& b) {
        const uint32_t i0 = static_cast<uint32_t>(_mm_cvtsi128_si32(index));
        const uint32_t i1 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(index, _MM_SHUFFLE(1, 1, 1, 1))));
        const uint32_t i2 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(index, _MM_SHUFFLE(2, 2, 2, 2))));
        const uint32_t i3 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(index, _MM_SHUFFLE(3, 3, 3, 3))));
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(index, mask)) == 0) [[likely]] {
            const __m128 first = simd::loadHigh(simd::loadLow(_mm_setzero_ps(), ring + i0), ring + i1);
            const __m128 second = simd::loadHigh(simd::loadLow(_mm_setzero_ps(), ring + i2), ring + i3);
            simd::splitPairs(first, second, a, b);
        } else {
            a = _mm_setr_ps(ring[i0], ring[i1], ring[i2], ring[i3]);
            alignas(16) uint32_t i[kLines];
            _mm_store_si128(reinterpret_cast<__m128i*>(i), next(index, mask));
            b = _mm_setr_ps(ring[i[0]], ring[i[1]], ring[i[2]], ring[i[3]]);
        }
    }
};

}  // namespace

void runLoopSse2(EngineState& s, float* ring, const LoopRun& run) { simd::runLoop<Sse2Indices>(s, ring, run); }

}  // namespace tarsk
