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
    static Vec minus(Vec index, Vec offset, Vec mask) { return _mm_and_si128(_mm_sub_epi32(index, offset), mask); }

    // k = floor(frac) (the rounding mode is toward minus infinity); index += k; frac -= k.
    static Vec advance(Vec index, Vec mask, __m128& frac) {
        const __m128i k = _mm_cvtps_epi32(frac);
        frac = _mm_sub_ps(frac, _mm_cvtepi32_ps(k));
        return _mm_and_si128(_mm_add_epi32(index, k), mask);
    }

    static __m128 gather(const float* ring, Vec index) {
        alignas(16) uint32_t i[kLines];
        _mm_store_si128(reinterpret_cast<__m128i*>(i), index);
        return _mm_setr_ps(ring[i[0]], ring[i[1]], ring[i[2]], ring[i[3]]);
    }

    static void scatter(float* ring, Vec index, __m128 values) {
        alignas(16) uint32_t i[kLines];
        alignas(16) float v[kLines];
        _mm_store_si128(reinterpret_cast<__m128i*>(i), index);
        _mm_store_ps(v, values);
        for (int lane = 0; lane < kLines; ++lane) {
            ring[i[lane]] = v[lane];
        }
    }
};

}  // namespace

void runLoopSse2(EngineState& s, float* ring, const LoopRun& run) { simd::runLoop<Sse2Indices>(s, ring, run); }

}  // namespace tarsk
