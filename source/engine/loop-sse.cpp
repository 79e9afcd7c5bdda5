// The SSE build of the per-sample loop, for processors without SSE2: the lanes use SSE
// instructions, line indices are stepped one lane at a time in integer code, and floats become
// integers through the x87 unit (FISTP), whose control word the loop sets to round down for its
// own run only. Compiled without SSE2 so that none of its instructions can slip in.
#include "engine/fp-state.h"
#include "engine/loop-simd.h"

namespace tarsk {

namespace {

struct SseIndices {
    struct Vec {
        uint32_t v[kLines];
    };

    static Vec load(const LaneIndices& lanes) {
        Vec out;
        for (int lane = 0; lane < kLines; ++lane) {
            out.v[lane] = lanes.v[lane];
        }
        return out;
    }
    static void store(LaneIndices& lanes, const Vec& index) {
        for (int lane = 0; lane < kLines; ++lane) {
            lanes.v[lane] = index.v[lane];
        }
    }

    static Vec next(const Vec& index, const Vec& mask) {
        Vec out;
        for (int lane = 0; lane < kLines; ++lane) {
            out.v[lane] = (index.v[lane] + 1) & mask.v[lane];
        }
        return out;
    }
    // k = floor(frac) by FISTP under the round-down control word; index += k; frac -= k.
    static Vec advance(const Vec& index, const Vec& mask, __m128& frac) {
        alignas(16) float f[kLines];
        int32_t k[kLines];
        _mm_store_ps(f, frac);
        asm("flds %4\n\tfistpl %0\n\t"
            "flds %5\n\tfistpl %1\n\t"
            "flds %6\n\tfistpl %2\n\t"
            "flds %7\n\tfistpl %3"
            : "=m"(k[0]), "=m"(k[1]), "=m"(k[2]), "=m"(k[3])
            : "m"(f[0]), "m"(f[1]), "m"(f[2]), "m"(f[3])
            : "st");
        frac = _mm_sub_ps(frac, _mm_setr_ps(static_cast<float>(k[0]), static_cast<float>(k[1]),
                                            static_cast<float>(k[2]), static_cast<float>(k[3])));
        Vec out;
        for (int lane = 0; lane < kLines; ++lane) {
            out.v[lane] = (index.v[lane] + static_cast<uint32_t>(k[lane])) & mask.v[lane];
        }
        return out;
    }

    // The ring at index and at (index + 1) & mask. Unless a line reads the ring's last word, both
    // values of a line sit side by side and come in one 8-byte load.
    static void readPair(const float* ring, const Vec& index, const Vec& mask, __m128& a, __m128& b) {
        const uint32_t* i = index.v;
        if (i[0] != mask.v[0] && i[1] != mask.v[1] && i[2] != mask.v[2] && i[3] != mask.v[3]) [[likely]] {
            const __m128 first = simd::loadHigh(simd::loadLow(_mm_setzero_ps(), ring + i[0]), ring + i[1]);
            const __m128 second = simd::loadHigh(simd::loadLow(_mm_setzero_ps(), ring + i[2]), ring + i[3]);
            simd::splitPairs(first, second, a, b);
        } else {
            a = _mm_setr_ps(ring[i[0]], ring[i[1]], ring[i[2]], ring[i[3]]);
            const Vec after = next(index, mask);
            b = _mm_setr_ps(ring[after.v[0]], ring[after.v[1]], ring[after.v[2]], ring[after.v[3]]);
        }
    }
};

}  // namespace

void runLoopSse(EngineState& s, float* ring, const LoopRun& run) {
    const X87LoopScope x87;
    simd::runLoop<SseIndices>(s, ring, run);
}

}  // namespace tarsk
