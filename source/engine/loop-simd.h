// The four-lane body of the per-sample loop, shared by the SSE and SSE2 builds. The lanes use SSE
// instructions only; how the modulated read position is stepped and how floats become integers is
// left to an index policy (Ix), which is where the two builds differ:
//   Ix::Vec                          four line indices
//   Ix::load(const LaneIndices&), Ix::store(LaneIndices&, Vec)
//   Ix::next(idx, mask)              (idx + 1) & mask
//   Ix::advance(idx, mask, frac)     k = floor(frac); idx = (idx + k) & mask; frac -= k
//   Ix::readPair(ring, idx, mask, a, b)
//                                    a = the ring at idx, b = the ring at (idx + 1) & mask
// Every operation mirrors the scalar reference (loop-scalar.cpp) in kind and order.
//
// How the body is made fast without changing a result:
// - The program's shape (modulated, multitap, decay, filter placement, saturator emphasis) is
//   decided once per run: each shape has its own instance of the body, with the untaken steps
//   compiled out.
// - Work that depends on the input alone is done four samples at a time for chunks of up to
//   kChunk samples: the guarded inputs and their power before the per-sample steps, the dry signal
//   and the stores to the host's buffers after them.
// - Ring positions that move by exactly one sample per sample (the writes, the taps and the
//   unmodulated reads) are stepped without a mask: a run is cut into stretches in which none of
//   them reaches the end of the ring, and they are wrapped between stretches.
//
// Index: constants | loop filter | saturator | shapes | chunk inputs and outputs | the loop
#pragma once

#include <xmmintrin.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <limits>
#include <utility>

#include "engine/engine-state.h"
#include "engine/loop.h"

namespace tarsk::simd {

// ---------------------------------------------------------------------------------------------
// Constants

inline __m128 splat(float v) { return _mm_set1_ps(v); }
inline __m128 load(const Lanes& lanes) { return _mm_load_ps(lanes.v); }
inline void store(Lanes& lanes, __m128 v) { _mm_store_ps(lanes.v, v); }

template <int Lane>
inline __m128 broadcast(__m128 v) {
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(Lane, Lane, Lane, Lane));
}

// Two floats from memory into the low or high half of v (MOVLPS / MOVHPS, SSE).
inline __m128 loadLow(__m128 v, const float* p) { return _mm_loadl_pi(v, reinterpret_cast<const __m64*>(p)); }
inline __m128 loadHigh(__m128 v, const float* p) { return _mm_loadh_pi(v, reinterpret_cast<const __m64*>(p)); }

// Splits four (a, b) pairs, packed as {a0 b0 a1 b1} and {a2 b2 a3 b3}, into the a and b lanes.
inline void splitPairs(__m128 first, __m128 second, __m128& a, __m128& b) {
    a = _mm_shuffle_ps(first, second, _MM_SHUFFLE(2, 0, 2, 0));
    b = _mm_shuffle_ps(first, second, _MM_SHUFFLE(3, 1, 3, 1));
}

// The denormal guard continued by three constants from its start, so that four consecutive
// constants from any position can be loaded at once.
inline constexpr std::array<float, kGuardLength + 3> kGuardRun = [] {
    std::array<float, kGuardLength + 3> table{};
    for (int i = 0; i < kGuardLength + 3; ++i) {
        table[i] = kDenormalGuard[i % kGuardLength];
    }
    return table;
}();

// ---------------------------------------------------------------------------------------------
// Loop filter of one segment for the four lines.

struct Segment {
    __m128 gain, target, lowcut, c0, c1, c2;
    __m128 zh, zl, s1, s2, prev;

    void loadFrom(const EngineState& s, int k) {
        gain = load(s.segmentGain[k]);
        target = load(s.segmentGainTarget[k]);
        lowcut = load(s.lowcutCoef[k]);
        c0 = load(s.midC0[k]);
        c1 = load(s.midC1[k]);
        c2 = load(s.midC2[k]);
        zh = load(s.highcutState[k]);
        zl = load(s.lowcutState[k]);
        s1 = load(s.midS1[k]);
        s2 = load(s.midS2[k]);
        prev = load(s.midPrev[k]);
    }
    void storeTo(EngineState& s, int k) const {
        store(s.segmentGain[k], gain);
        store(s.highcutState[k], zh);
        store(s.lowcutState[k], zl);
        store(s.midS1[k], s1);
        store(s.midS2[k], s2);
        store(s.midPrev[k], prev);
    }

    // Decay gain (gliding to its target), high cut with blend h, low cut, mid band.
    __m128 run(__m128 x, __m128 h) {
        const __m128 smoothing = splat(kSmoothing);
        gain = _mm_add_ps(gain, _mm_mul_ps(_mm_sub_ps(target, gain), smoothing));
        zh = _mm_add_ps(zh, _mm_mul_ps(_mm_sub_ps(_mm_mul_ps(x, gain), zh), h));
        zl = _mm_add_ps(zl, _mm_mul_ps(_mm_sub_ps(zh, zl), lowcut));
        const __m128 x2 = _mm_sub_ps(zh, zl);
        const __m128 v = _mm_add_ps(
            _mm_sub_ps(_mm_mul_ps(_mm_sub_ps(_mm_add_ps(x2, prev), s1), c0), _mm_mul_ps(c1, s2)), s2);
        s2 = v;
        s1 = _mm_add_ps(s1, v);
        prev = x2;
        return _mm_add_ps(x2, _mm_mul_ps(v, c2));
    }
};

// ---------------------------------------------------------------------------------------------
// Saturator

inline __m128 saturate(__m128 p) {
    const __m128 c = _mm_min_ps(_mm_max_ps(p, splat(-kSaturatorLimit)), splat(kSaturatorLimit));
    const __m128 c2 = _mm_mul_ps(c, c);
    const __m128 num = _mm_mul_ps(c, _mm_add_ps(c2, splat(kSaturatorCubic)));
    const __m128 den = _mm_add_ps(_mm_mul_ps(splat(kSaturatorSquare), c2), splat(kSaturatorCubic));
    return _mm_div_ps(num, den);
}

// The saturator's emphasis as the body is compiled for it; `off` also stands for an inactive
// saturator and for the "no saturation" emphasis.
enum class Emphasis { off, low, none, high };

struct Saturator {
    __m128 drive, post, emphIn, emphOut;

    template <Emphasis E>
    __m128 run(__m128 y) {
        const __m128 emphasis = splat(kEmphasis);
        const __m128 u = _mm_mul_ps(y, drive);
        if constexpr (E == Emphasis::low) {
            const __m128 q = _mm_add_ps(u, _mm_mul_ps(emphasis, emphIn));
            emphIn = q;
            const __m128 z = _mm_mul_ps(saturate(q), post);
            const __m128 result = _mm_sub_ps(z, _mm_mul_ps(emphasis, emphOut));
            emphOut = z;
            return result;
        } else if constexpr (E == Emphasis::none) {
            return _mm_mul_ps(saturate(u), post);
        } else if constexpr (E == Emphasis::high) {
            const __m128 p = _mm_sub_ps(u, _mm_mul_ps(emphasis, emphIn));
            emphIn = u;
            const __m128 result = _mm_add_ps(_mm_mul_ps(saturate(p), post), _mm_mul_ps(emphasis, emphOut));
            emphOut = result;
            return result;
        } else {
            return y;
        }
    }
};

// Rows of a matrix times the lanes of v: ((v0 M0 + v1 M1) + v2 M2) + v3 M3.
inline __m128 mixRows(__m128 v, const __m128 rows[kLines]) {
    __m128 acc = _mm_mul_ps(broadcast<0>(v), rows[0]);
    acc = _mm_add_ps(acc, _mm_mul_ps(broadcast<1>(v), rows[1]));
    acc = _mm_add_ps(acc, _mm_mul_ps(broadcast<2>(v), rows[2]));
    return _mm_add_ps(acc, _mm_mul_ps(broadcast<3>(v), rows[3]));
}

// ---------------------------------------------------------------------------------------------
// Shapes: the mode switches that select the steps of the body, as one small number.

struct Shape {
    bool modulated = false;
    bool multitap = false;
    bool decay = false;
    bool filtersFirst = false;
    Emphasis emphasis = Emphasis::off;

    static constexpr int kCount = 64;

    constexpr int index() const {
        return (modulated ? 1 : 0) | (multitap ? 2 : 0) | (decay ? 4 : 0) | (filtersFirst ? 8 : 0) |
               static_cast<int>(emphasis) << 4;
    }
    static constexpr Shape fromIndex(int i) {
        Shape shape;
        shape.modulated = (i & 1) != 0;
        shape.multitap = (i & 2) != 0;
        shape.decay = (i & 4) != 0;
        shape.filtersFirst = (i & 8) != 0;
        shape.emphasis = static_cast<Emphasis>(i >> 4);
        return shape;
    }
};

// Shapes that select the same steps share one body: without filters there is no saturator.
constexpr int canonicalShape(int index) {
    Shape shape = Shape::fromIndex(index);
    if (!shape.decay && !shape.filtersFirst) {
        shape.emphasis = Emphasis::off;
    }
    return shape.index();
}

// The shape of the engine's current program. The saturator runs only where the filters run
// (ahead of the outputs, or inside the loop when the decay is active), so it is off elsewhere.
inline Shape shapeOf(const EngineState& s) {
    Shape shape;
    shape.modulated = s.modulated;
    shape.multitap = s.multitap;
    shape.decay = s.decayActive;
    shape.filtersFirst = s.filtersBeforeOutput;
    if (s.saturatorActive && (s.filtersBeforeOutput || s.decayActive)) {
        switch (s.emphasisMode) {
            case kEmphasisLow: shape.emphasis = Emphasis::low; break;
            case kEmphasisNone: shape.emphasis = Emphasis::none; break;
            case kEmphasisHigh: shape.emphasis = Emphasis::high; break;
            default: break;
        }
    }
    return shape;
}

// ---------------------------------------------------------------------------------------------
// Chunk inputs and outputs

constexpr uint32_t kChunk = 64;

// Per sample of a chunk: the guarded inputs and their power (left² + right²) for the envelope
// follower, and the wet sums of both outputs (left, right interleaved) that the body produces.
struct alignas(16) ChunkBuffers {
    float left[kChunk];
    float right[kChunk];
    float power[kChunk];
    float sums[2 * kChunk];
};

// An input sample made safe (NaN and infinities become 0, the rest is limited to +-kInputLimit)
// with the guard constant added; four samples at a time or one in lane 0.
inline __m128 guardedInput(__m128 in, __m128 guard) {
    const __m128 finite = _mm_cmplt_ps(_mm_and_ps(in, splat(std::bit_cast<float>(0x7FFFFFFFu))),
                                       splat(std::numeric_limits<float>::infinity()));
    in = _mm_and_ps(in, finite);
    in = _mm_min_ps(_mm_max_ps(in, splat(-kInputLimit)), splat(kInputLimit));
    return _mm_add_ps(in, guard);
}

// Samples first .. first + count - 1 of the callback into the chunk buffers.
inline void prepareInputs(const LoopRun& run, uint32_t first, uint32_t count, ChunkBuffers& b) {
    uint32_t n = 0;
    for (; n + 4 <= count; n += 4) {
        const uint32_t j = first + n;
        const __m128 guard = _mm_loadu_ps(&kGuardRun[j % kGuardLength]);
        const __m128 inL = run.inL != nullptr ? _mm_loadu_ps(run.inL + j) : _mm_setzero_ps();
        const __m128 inR = run.inR != nullptr ? _mm_loadu_ps(run.inR + j) : _mm_setzero_ps();
        const __m128 xL = guardedInput(inL, guard);
        const __m128 xR = guardedInput(inR, guard);
        _mm_store_ps(b.left + n, xL);
        _mm_store_ps(b.right + n, xR);
        _mm_store_ps(b.power + n, _mm_add_ps(_mm_mul_ps(xL, xL), _mm_mul_ps(xR, xR)));
    }
    for (; n < count; ++n) {
        const uint32_t j = first + n;
        const __m128 guard = _mm_load_ss(&kDenormalGuard[j % kGuardLength]);
        const __m128 inL = run.inL != nullptr ? _mm_load_ss(run.inL + j) : _mm_setzero_ps();
        const __m128 inR = run.inR != nullptr ? _mm_load_ss(run.inR + j) : _mm_setzero_ps();
        const __m128 xL = guardedInput(inL, guard);
        const __m128 xR = guardedInput(inR, guard);
        _mm_store_ss(b.left + n, xL);
        _mm_store_ss(b.right + n, xR);
        _mm_store_ss(b.power + n, _mm_add_ss(_mm_mul_ss(xL, xL), _mm_mul_ss(xR, xR)));
    }
}

// The outputs of the chunk: wet sum + dry gain x guarded input, into the host's buffers.
inline void writeOutputs(const LoopRun& run, uint32_t first, uint32_t count, const ChunkBuffers& b, float dryGain) {
    const __m128 dry = splat(dryGain);
    uint32_t n = 0;
    for (; n + 4 <= count; n += 4) {
        __m128 sumL, sumR;
        splitPairs(_mm_load_ps(b.sums + 2 * n), _mm_load_ps(b.sums + 2 * n + 4), sumL, sumR);
        if (run.outL != nullptr) {
            _mm_storeu_ps(run.outL + first + n, _mm_add_ps(sumL, _mm_mul_ps(dry, _mm_load_ps(b.left + n))));
        }
        if (run.outR != nullptr) {
            _mm_storeu_ps(run.outR + first + n, _mm_add_ps(sumR, _mm_mul_ps(dry, _mm_load_ps(b.right + n))));
        }
    }
    for (; n < count; ++n) {
        if (run.outL != nullptr) {
            const __m128 sum = _mm_load_ss(b.sums + 2 * n);
            _mm_store_ss(run.outL + first + n, _mm_add_ss(sum, _mm_mul_ss(dry, _mm_load_ss(b.left + n))));
        }
        if (run.outR != nullptr) {
            const __m128 sum = _mm_load_ss(b.sums + 2 * n + 1);
            _mm_store_ss(run.outR + first + n, _mm_add_ss(sum, _mm_mul_ss(dry, _mm_load_ss(b.right + n))));
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The loop

// Samples until a ring position reaches the end of the ring (at least 1).
inline uint32_t roomBeforeWrap(uint32_t position, uint32_t mask) { return mask - position + 1; }

template <class Ix, int ShapeIndex>
void runShaped(EngineState& s, float* ring, const LoopRun& run) {
    using IndexVec = typename Ix::Vec;
    constexpr Shape shape = Shape::fromIndex(ShapeIndex);
    constexpr bool modulated = shape.modulated;
    constexpr bool multitap = shape.multitap;
    constexpr bool decay = shape.decay;
    constexpr bool filtersFirst = shape.filtersFirst;
    constexpr Emphasis emphasis = shape.emphasis;
    // Segments 1..3 are filtered only where the taps exist and the filters run.
    constexpr bool tapFilters = multitap && decay;

    const __m128 smooth = splat(s.smooth);
    const __m128 smoothing = splat(kSmoothing);
    const __m128 leak = splat(kAllpassLeak);
    const __m128 clampLow = splat(-kLineClamp);
    const __m128 clampHigh = splat(kLineClamp);
    const __m128 attack = _mm_set_ss(s.attackCoef);
    const __m128 release = _mm_set_ss(s.releaseCoef);

    __m128 outGainL = load(s.outGainL), outGainR = load(s.outGainR);
    const __m128 outTargetL = load(s.outTargetL), outTargetR = load(s.outTargetR);
    __m128 readFrac = load(s.readFrac);
    const __m128 readStep = load(s.readStep);
    const IndexVec mask = Ix::load(s.ringMask);
    IndexVec readIndex = Ix::load(s.readIndex);
    __m128 tapLevel[kTaps];
    for (int k = 0; k < kTaps; ++k) {
        tapLevel[k] = load(s.tapLevel[k]);
    }
    __m128 inverterCoef = load(s.inverterCoef);
    const __m128 inverterTarget = load(s.inverterTarget);
    const __m128 fracCoef = load(s.fracCoef);
    __m128 interpState = load(s.interpState);
    __m128 inverterState = load(s.inverterState);
    const __m128 inputGainL = load(s.inputGainL), inputGainR = load(s.inputGainR);
    const __m128 subSampleGain = load(s.subSampleGain);
    __m128 envelope = _mm_set_ss(s.envelope);

    Segment segment[kSegments];
    segment[0].loadFrom(s, 0);
    if constexpr (tapFilters) {
        for (int k = 1; k < kSegments; ++k) {
            segment[k].loadFrom(s, k);
        }
    }
    __m128 blendNow = load(s.highcutBlendNow);
    const __m128 blendTarget = load(s.highcutBlendTarget);
    __m128 tapBlend[kTaps];
    for (int k = 0; k < kTaps; ++k) {
        tapBlend[k] = load(s.highcutBlend[k + 1]);
    }
    Saturator saturator{load(s.drive), load(s.postGain), load(s.emphIn), load(s.emphOut)};

    __m128 mainRows[kLines], crossRows[kLines];
    for (int r = 0; r < kLines; ++r) {
        mainRows[r] = load(s.mainMatrix.row[r]);
        crossRows[r] = load(s.crossMatrix.row[r]);
    }
    // inner[r][k], lane i = innerMatrix[i].row[r][k]: the weight of line i's segment r in its node k.
    __m128 inner[kSegments][kSegments];
    for (int r = 0; r < kSegments; ++r) {
        __m128 a = load(s.innerMatrix[0].row[r]), b = load(s.innerMatrix[1].row[r]);
        __m128 c = load(s.innerMatrix[2].row[r]), d = load(s.innerMatrix[3].row[r]);
        _MM_TRANSPOSE4_PS(a, b, c, d);
        inner[r][0] = a;
        inner[r][1] = b;
        inner[r][2] = c;
        inner[r][3] = d;
    }

    // Ring positions that step by one sample per sample, per line.
    uint32_t write[kLines], read[kLines], lineMask[kLines];
    for (int i = 0; i < kLines; ++i) {
        write[i] = s.writeIndex[i];
        read[i] = s.readIndex[i];
        lineMask[i] = s.ringMask[i];
    }

    // Filters of the four lines (segment 0 on y, 1..3 on the taps), then the saturator on y.
    auto filterLines = [&](__m128& y, __m128 t[kTaps], auto filters) {
        if constexpr (decltype(filters)::value) {
            blendNow = _mm_add_ps(blendNow, _mm_mul_ps(_mm_sub_ps(blendTarget, blendNow), smoothing));
            y = segment[0].run(y, blendNow);
            if constexpr (multitap) {
                for (int k = 0; k < kTaps; ++k) {
                    t[k] = segment[k + 1].run(t[k], tapBlend[k]);
                }
            }
        }
        y = saturator.template run<emphasis>(y);
    };

    ChunkBuffers buffers;
    for (uint32_t chunkStart = 0; chunkStart < run.count; chunkStart += kChunk) {
        const uint32_t chunkFirst = run.first + chunkStart;
        const uint32_t chunkCount = std::min(kChunk, run.count - chunkStart);
        prepareInputs(run, chunkFirst, chunkCount, buffers);

        uint32_t done = 0;
        while (done < chunkCount) {
            // A stretch in which no stepped position reaches the end of the ring.
            uint32_t tapPosition[kTaps][kLines] = {};
            uint32_t length = chunkCount - done;
            for (int i = 0; i < kLines; ++i) {
                length = std::min(length, roomBeforeWrap(write[i], lineMask[i]));
                if constexpr (!modulated) {
                    length = std::min(length, roomBeforeWrap(read[i], lineMask[i]));
                }
                if constexpr (multitap) {
                    for (int k = 0; k < kTaps; ++k) {
                        tapPosition[k][i] = (write[i] - s.tapOffset[k][i]) & lineMask[i];
                        length = std::min(length, roomBeforeWrap(tapPosition[k][i], lineMask[i]));
                    }
                }
            }
            float* const w0 = ring + write[0];
            float* const w1 = ring + write[1];
            float* const w2 = ring + write[2];
            float* const w3 = ring + write[3];
            const float* const r0 = ring + read[0];
            const float* const r1 = ring + read[1];
            const float* const r2 = ring + read[2];
            const float* const r3 = ring + read[3];
            float* tapLine[kTaps][kLines];
            for (int k = 0; k < kTaps; ++k) {
                for (int i = 0; i < kLines; ++i) {
                    tapLine[k][i] = ring + tapPosition[k][i];
                }
            }

            for (uint32_t m = 0; m < length; ++m) {
                const uint32_t n = done + m;

                // 1. Output gains glide to their targets.
                outGainL = _mm_add_ps(outGainL, _mm_mul_ps(_mm_sub_ps(outTargetL, outGainL), smooth));
                outGainR = _mm_add_ps(outGainR, _mm_mul_ps(_mm_sub_ps(outTargetR, outGainR), smooth));

                // 2. Line outputs.
                __m128 d;
                if constexpr (modulated) {
                    readFrac = _mm_add_ps(readFrac, readStep);
                    readIndex = Ix::advance(readIndex, mask, readFrac);
                    __m128 a, b;
                    Ix::readPair(ring, readIndex, mask, a, b);
                    readIndex = Ix::next(readIndex, mask);
                    d = _mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), readFrac));
                } else {
                    d = _mm_setr_ps(r0[m], r1[m], r2[m], r3[m]);
                }

                // 3. The guarded inputs of this sample.
                const __m128 xL = _mm_load1_ps(buffers.left + n);
                const __m128 xR = _mm_load1_ps(buffers.right + n);

                // 4. Inverter coefficient glide.
                inverterCoef =
                    _mm_add_ps(inverterCoef, _mm_mul_ps(_mm_sub_ps(inverterTarget, inverterCoef), smoothing));
                // 5. Interpolation allpass.
                const __m128 v = _mm_add_ps(_mm_mul_ps(d, fracCoef), interpState);
                interpState = _mm_mul_ps(_mm_sub_ps(d, _mm_mul_ps(fracCoef, v)), leak);
                // 6. Inverter allpass.
                const __m128 w = _mm_add_ps(_mm_mul_ps(inverterCoef, v), inverterState);
                inverterState = _mm_mul_ps(_mm_sub_ps(v, _mm_mul_ps(inverterCoef, w)), leak);
                // 7. Line inputs.
                const __m128 x = _mm_add_ps(_mm_mul_ps(xL, inputGainL), _mm_mul_ps(xR, inputGainR));
                // 8. Crossfade of a sub-sample line, bounded.
                __m128 y = _mm_add_ps(x, _mm_mul_ps(_mm_sub_ps(w, x), subSampleGain));
                y = _mm_min_ps(_mm_max_ps(y, clampLow), clampHigh);

                // 9. Envelope follower (lane 0).
                const __m128 power = _mm_load_ss(buffers.power + n);
                const __m128 rising = _mm_cmplt_ss(envelope, power);  // power > envelope
                const __m128 coef = _mm_or_ps(_mm_and_ps(rising, attack), _mm_andnot_ps(rising, release));
                envelope = _mm_add_ss(envelope, _mm_mul_ss(_mm_sub_ss(power, envelope), coef));

                // 10. Taps.
                __m128 t[kTaps];
                if constexpr (multitap) {
                    for (int k = 0; k < kTaps; ++k) {
                        t[k] = _mm_setr_ps(tapLine[k][0][m], tapLine[k][1][m], tapLine[k][2][m], tapLine[k][3][m]);
                    }
                }

                // 11. Filters and saturator ahead of the outputs.
                if constexpr (filtersFirst) {
                    filterLines(y, t, std::bool_constant<decay>{});
                }

                // 12. and 13. Line outputs with the taps, to the stereo outputs (the dry signal is
                // added with the chunk's outputs).
                __m128 o = y;
                if constexpr (multitap) {
                    o = _mm_add_ps(o, _mm_mul_ps(t[0], tapLevel[0]));
                    o = _mm_add_ps(o, _mm_mul_ps(t[1], tapLevel[1]));
                    o = _mm_add_ps(o, _mm_mul_ps(t[2], tapLevel[2]));
                }
                const __m128 pL = _mm_mul_ps(o, outGainL);
                const __m128 pR = _mm_mul_ps(o, outGainR);
                // (pL0 + pL2) + (pL1 + pL3) in lane 0, the same for R in lane 1.
                __m128 sum = _mm_add_ps(_mm_unpacklo_ps(pL, pR), _mm_unpackhi_ps(pL, pR));
                sum = _mm_add_ps(sum, _mm_movehl_ps(sum, sum));
                _mm_storel_pi(reinterpret_cast<__m64*>(buffers.sums + 2 * n), sum);

                // 14. Filters and saturator inside the loop only.
                if constexpr (!filtersFirst && decay) {
                    filterLines(y, t, std::true_type{});
                }

                // 15. Multitap nodes.
                if constexpr (multitap) {
                    __m128 r[kSegments];
                    for (int k = 0; k < kSegments; ++k) {
                        __m128 acc = _mm_mul_ps(y, inner[0][k]);
                        acc = _mm_add_ps(acc, _mm_mul_ps(t[0], inner[1][k]));
                        acc = _mm_add_ps(acc, _mm_mul_ps(t[1], inner[2][k]));
                        r[k] = _mm_add_ps(acc, _mm_mul_ps(t[2], inner[3][k]));
                    }
                    for (int k = 1; k < kSegments; ++k) {
                        const __m128 node = mixRows(r[k], crossRows);
                        _mm_store_ss(tapLine[k - 1][0] + m, node);
                        _mm_store_ss(tapLine[k - 1][1] + m, broadcast<1>(node));
                        _mm_store_ss(tapLine[k - 1][2] + m, _mm_movehl_ps(node, node));
                        _mm_store_ss(tapLine[k - 1][3] + m, broadcast<3>(node));
                    }
                    y = r[0];
                }

                // 16. and 17. Feedback through the main matrix into the line inputs.
                __m128 f = x;
                if constexpr (decay) {
                    f = _mm_add_ps(mixRows(y, mainRows), x);
                }
                _mm_store_ss(w0 + m, f);
                _mm_store_ss(w1 + m, broadcast<1>(f));
                _mm_store_ss(w2 + m, _mm_movehl_ps(f, f));
                _mm_store_ss(w3 + m, broadcast<3>(f));
            }

            done += length;
            for (int i = 0; i < kLines; ++i) {
                write[i] = (write[i] + length) & lineMask[i];
                if constexpr (!modulated) {
                    read[i] = (read[i] + length) & lineMask[i];
                }
            }
        }
        writeOutputs(run, chunkFirst, chunkCount, buffers, s.dryGain);
    }

    store(s.outGainL, outGainL);
    store(s.outGainR, outGainR);
    if constexpr (modulated) {
        store(s.readFrac, readFrac);
        Ix::store(s.readIndex, readIndex);
    } else {
        for (int i = 0; i < kLines; ++i) {
            s.readIndex[i] = read[i];
        }
    }
    for (int i = 0; i < kLines; ++i) {
        s.writeIndex[i] = write[i];
    }
    store(s.inverterCoef, inverterCoef);
    store(s.interpState, interpState);
    store(s.inverterState, inverterState);
    _mm_store_ss(&s.envelope, envelope);
    if constexpr (decay) {
        segment[0].storeTo(s, 0);
        store(s.highcutBlendNow, blendNow);
    }
    if constexpr (tapFilters) {
        for (int k = 1; k < kSegments; ++k) {
            segment[k].storeTo(s, k);
        }
    }
    if constexpr (emphasis != Emphasis::off) {
        store(s.emphIn, saturator.emphIn);
        store(s.emphOut, saturator.emphOut);
    }
}

template <class Ix, int... ShapeIndex>
constexpr std::array<LoopFunction, sizeof...(ShapeIndex)> shapedLoops(std::integer_sequence<int, ShapeIndex...>) {
    return {&runShaped<Ix, canonicalShape(ShapeIndex)>...};
}

// One run of samples through the body compiled for the program's shape.
template <class Ix>
void runLoop(EngineState& s, float* ring, const LoopRun& run) {
    static constexpr std::array<LoopFunction, Shape::kCount> loops =
        shapedLoops<Ix>(std::make_integer_sequence<int, Shape::kCount>{});
    loops[shapeOf(s).index()](s, ring, run);
}

}  // namespace tarsk::simd
