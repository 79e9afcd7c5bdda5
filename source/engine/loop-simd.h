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
// - The modulated read position of a sample is found while the previous sample is processed.
// - For filtered programs with a modulated read or taps, a stretch may run in stages, all its reads
//   first, when that provably reads nothing the stretch itself writes (see "Staged stretches").
// The state stays in locals (registers where they suffice) for a whole run.
//
// Index: constants | loop filter | saturator | shapes | chunk inputs and outputs |
//        staged stretches | the loop
#pragma once

#include <xmmintrin.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include "engine/engine-state.h"
#include "engine/loop.h"

namespace tarsk::simd {

// Everything here has internal linkage: each build's file gets its own copies, compiled with its
// own instruction set. Shared (inline, COMDAT) copies would leave the linker to pick one of them
// for both builds, so that the SSE build could run helpers compiled with SSE2 (or the SSE2 build
// ones whose double arithmetic was compiled for the x87 unit).
namespace {

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
    if (!shape.decay && shape.emphasis == Emphasis::off) {
        shape.filtersFirst = false;  // nothing to place
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
    float discard[kChunk];  // the outputs of a missing output channel
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

// What a missing input channel plays: silence.
inline constexpr float kSilence[kChunk] = {};

// Samples first .. first + count - 1 of the callback into the chunk buffers.
inline void prepareInputs(const LoopRun& run, uint32_t first, uint32_t count, ChunkBuffers& b) {
    const float* inL = run.inL != nullptr ? run.inL + first : kSilence;
    const float* inR = run.inR != nullptr ? run.inR + first : kSilence;
    uint32_t n = 0;
    for (; n + 4 <= count; n += 4) {
        const __m128 guard = _mm_loadu_ps(&kGuardRun[(first + n) % kGuardLength]);
        const __m128 xL = guardedInput(_mm_loadu_ps(inL + n), guard);
        const __m128 xR = guardedInput(_mm_loadu_ps(inR + n), guard);
        _mm_store_ps(b.left + n, xL);
        _mm_store_ps(b.right + n, xR);
        _mm_store_ps(b.power + n, _mm_add_ps(_mm_mul_ps(xL, xL), _mm_mul_ps(xR, xR)));
    }
    for (; n < count; ++n) {
        const __m128 guard = _mm_load_ss(&kDenormalGuard[(first + n) % kGuardLength]);
        const __m128 xL = guardedInput(_mm_load_ss(inL + n), guard);
        const __m128 xR = guardedInput(_mm_load_ss(inR + n), guard);
        _mm_store_ss(b.left + n, xL);
        _mm_store_ss(b.right + n, xR);
        _mm_store_ss(b.power + n, _mm_add_ss(_mm_mul_ss(xL, xL), _mm_mul_ss(xR, xR)));
    }
}

// The outputs of the chunk: wet sum + dry gain x guarded input, into the host's buffers (a missing
// one into the chunk's own scratch).
inline void writeOutputs(const LoopRun& run, uint32_t first, uint32_t count, ChunkBuffers& b, float dryGain) {
    const __m128 dry = splat(dryGain);
    float* outL = run.outL != nullptr ? run.outL + first : b.discard;
    float* outR = run.outR != nullptr ? run.outR + first : b.discard;
    uint32_t n = 0;
    for (; n + 4 <= count; n += 4) {
        __m128 sumL, sumR;
        splitPairs(_mm_load_ps(b.sums + 2 * n), _mm_load_ps(b.sums + 2 * n + 4), sumL, sumR);
        _mm_storeu_ps(outL + n, _mm_add_ps(sumL, _mm_mul_ps(dry, _mm_load_ps(b.left + n))));
        _mm_storeu_ps(outR + n, _mm_add_ps(sumR, _mm_mul_ps(dry, _mm_load_ps(b.right + n))));
    }
    for (; n < count; ++n) {
        _mm_store_ss(outL + n, _mm_add_ss(_mm_load_ss(b.sums + 2 * n), _mm_mul_ss(dry, _mm_load_ss(b.left + n))));
        _mm_store_ss(outR + n, _mm_add_ss(_mm_load_ss(b.sums + 2 * n + 1), _mm_mul_ss(dry, _mm_load_ss(b.right + n))));
    }
}

// ---------------------------------------------------------------------------------------------
// Staged stretches
//
// A stretch may run in stages over all its samples: first everything that reads the ring (line
// outputs, allpasses, line inputs, taps), then the loop filters, then the multitap nodes, the
// feedback and the ring's writes. Each stage is short enough for the processor to work on several
// samples at once, where one sample's whole chain would hold up the next; but every read of the
// stretch now comes before the stretch's writes. The result is the same exactly when no read at
// sample m finds what a write of the same stretch put there at an earlier sample m' < m. The
// stretch length is bounded for that once per run, from the positions the run starts with: the four
// line writes and the twelve tap nodes step by one word per sample; the taps are read where their
// nodes are written, the line outputs stepping by one word or, when modulated, by
// floor(frac + step) + 1. No read may come within the conflict zone of any write: distances 1 .. L
// behind it for a stretch of L samples (the second interpolation value included). A stretch of one
// sample is the plain order of the steps, so 1 is always safe.

constexpr uint32_t kStagedMinimumRun = 128;  // shorter runs go unstaged: the bound would cost too much
constexpr uint32_t kStagedMinimumStretch = 8;  // shorter stretches lose more to the passes than they win
constexpr float kMaxTrackedStep = 65536.0f;  // read steps beyond this are not bounded: stretches of 1
// Bound of the rounding loss of the read fraction per sample, relative to 1 + |step|: two units in
// the last place are 2^-22; this allows twice that.
constexpr double kRoundingPerSample = 1.0 / 2097152.0;
constexpr double kBoundMargin = 1.0e-6;  // covers the rounding of the bound's own sums

// The bound a read stepping by one word per sample, at `read`, gets from write streams: a stream
// d = (written - read) & mask words ahead meets it at m - m' = d, so the stretch may be d long (and
// a stream at d = 0 never meets it). Bounds are kept one below the length they allow, so that the
// subtraction wraps "no bound" to the largest value.
template <int Count>
uint32_t steppedLimit(const uint32_t (&written)[Count], uint32_t read, uint32_t mask, uint32_t bound) {
    for (uint32_t w : written) {
        bound = std::min(bound, ((w - read) & mask) - 1u);
    }
    return bound;
}

// The bound of one modulated read (0: a stretch of one). At sample t of a run of n samples the read
// is at I0 + t + K(t + 1) and one word further, with I0 the read index at the start and K(t) the
// sum of the first t values of k. As K(t) = frac0 + t step - F(t) - E(t), where F(t) in [0, 1) is
// the fraction then and E(t) >= 0 what rounding down took from it so far (less than two units in
// the last place of 1 + |step| per sample), its distance behind a write stream at W (+ t) stays
// within W - I0 + [-frac0 - max over t of (t + 1) step, below -frac0 - min of (t + 1) step + 1 + E]
// for the whole run. With that interval reduced to start at s in [0, size), the conflict zone is
// clear when s + span < size and L < s: a stretch of s - 1 samples.
template <int Count>
uint32_t modulatedLimit(const uint32_t (&written)[Count], uint32_t readIndex, float readFrac, float readStep,
                        uint32_t count, uint32_t mask, uint32_t bound) {
    if (!(std::fabs(readStep) < kMaxTrackedStep) || !(readFrac >= 0.0f && readFrac < 1.0f)) {
        return 0;
    }
    const double n = static_cast<double>(count);
    const double step = readStep;
    const double frac = readFrac;
    const double rounding = n * (1.0 + std::fabs(step)) * kRoundingPerSample;
    const double low = std::floor(-frac - std::max(step, n * step) - kBoundMargin);
    const double high = std::ceil(-frac - std::min(step, n * step) + 1.0 + rounding + kBoundMargin) - 1.0;
    const double span = high - low;
    if (!(span < static_cast<double>(mask))) {
        return 0;
    }
    // Positions are taken modulo the ring size, so the (possibly negative) low end is added as its
    // two's-complement image.
    const uint32_t offset = static_cast<uint32_t>(static_cast<int64_t>(low)) - readIndex;
    const uint32_t room = mask - static_cast<uint32_t>(span) - 1u;  // s + span < size, as s - 2 < room
    for (uint32_t w : written) {
        const uint32_t sMinus2 = ((w + offset) & mask) - 2u;  // wraps to the largest values for s < 2
        bound = std::min(bound, sMinus2 < room ? sMinus2 : 0u);
    }
    return bound;
}

// The longest staged stretch (1 to kChunk) that keeps every result of a run of `count` samples
// unchanged: the four line writes and, with taps, the twelve tap nodes are written; the line
// outputs (modulated or stepping) and the taps (where their nodes are written) are read.
template <bool Modulated, bool Multitap>
uint32_t stagedLength(const EngineState& s, uint32_t count) {
    const uint32_t mask = s.ringMask[0];
    constexpr int kWritten = Multitap ? kLines * (1 + kTaps) : kLines;
    uint32_t written[kWritten];
    for (int i = 0; i < kLines; ++i) {
        if (s.ringMask[i] != mask) {
            return 1;
        }
        written[i] = s.writeIndex[i];
        if constexpr (Multitap) {
            for (int k = 0; k < kTaps; ++k) {
                written[kLines * (k + 1) + i] = (s.writeIndex[i] - s.tapOffset[k][i]) & mask;
            }
        }
    }
    uint32_t bound = kChunk - 1;
    for (int i = 0; i < kLines; ++i) {
        if constexpr (Modulated) {
            bound = modulatedLimit(written, s.readIndex[i], s.readFrac[i], s.readStep[i], count, mask, bound);
        } else {
            bound = steppedLimit(written, s.readIndex[i], mask, bound);
        }
    }
    if constexpr (Multitap) {
        for (int t = kLines; t < kWritten; ++t) {
            bound = steppedLimit(written, written[t], mask, bound);
        }
    }
    return bound + 1;
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

    // Segment 0's filter on y (its high-cut blend gliding), then the saturator on y.
    auto filterMain = [&](__m128& y) {
        if constexpr (decay) {
            blendNow = _mm_add_ps(blendNow, _mm_mul_ps(_mm_sub_ps(blendTarget, blendNow), smoothing));
            y = segment[0].run(y, blendNow);
        }
        y = saturator.template run<emphasis>(y);
    };
    // Segment k's filter on tap k (1..3).
    auto filterTap = [&](int k, __m128& t) { t = segment[k].run(t, tapBlend[k - 1]); };

    // Staged stretches pay where the chain of one sample is long (a modulated read, or taps, with
    // the loop filters) and runs are long enough to carry the bound's cost.
    constexpr bool mayStage = decay && (modulated || multitap);
    uint32_t stageLength = 1;
    if constexpr (mayStage) {
        if (run.count >= kStagedMinimumRun) {
            stageLength = stagedLength<modulated, multitap>(s, run.count);
        }
    }
    const bool staged = mayStage && stageLength >= kStagedMinimumStretch;

    // The modulated read position of the next sample, found one sample ahead so that its loads
    // need not wait for it: readFrac += readStep, then the whole samples move the index.
    __m128 pairFrac = readFrac;
    IndexVec pairIndex = readIndex;
    if constexpr (modulated) {
        pairFrac = _mm_add_ps(readFrac, readStep);
        pairIndex = Ix::advance(readIndex, mask, pairFrac);
    }

    ChunkBuffers buffers;
    // Per sample of a stretch: what one step hands the next.
    struct alignas(16) Handover {
        __m128 y, x;
        __m128 t[kTaps];
    };
    Handover handover[mayStage ? kChunk : 1];

    for (uint32_t chunkStart = 0; chunkStart < run.count; chunkStart += kChunk) {
        const uint32_t chunkFirst = run.first + chunkStart;
        const uint32_t chunkCount = std::min(kChunk, run.count - chunkStart);
        prepareInputs(run, chunkFirst, chunkCount, buffers);

        uint32_t done = 0;
        while (done < chunkCount) {
            // A stretch in which no stepped position reaches the end of the ring, and whose reads
            // may all come before its writes when it is staged.
            uint32_t tapPosition[kTaps][kLines] = {};
            uint32_t length = std::min(chunkCount - done, staged ? stageLength : kChunk);
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

            auto readingSteps = [&](uint32_t m, uint32_t n, Handover& h) {
                // 2. Line outputs.
                __m128 d;
                if constexpr (modulated) {
                    // The position of this sample was found with the previous one (below).
                    __m128 a, b;
                    Ix::readPair(ring, pairIndex, mask, a, b);
                    d = _mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), pairFrac));
                    readFrac = pairFrac;
                    readIndex = Ix::next(pairIndex, mask);
                    pairFrac = _mm_add_ps(readFrac, readStep);
                    pairIndex = Ix::advance(readIndex, mask, pairFrac);
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
                if constexpr (multitap) {
                    for (int k = 0; k < kTaps; ++k) {
                        h.t[k] = _mm_setr_ps(tapLine[k][0][m], tapLine[k][1][m], tapLine[k][2][m], tapLine[k][3][m]);
                    }
                }
                h.y = y;
                h.x = x;
            };
            // 1., 12. and 13. Output gains, line outputs with the taps, to the stereo outputs (the
            // dry signal is added with the chunk's outputs).
            auto outputSteps = [&](uint32_t n, __m128 y, const __m128 t[kTaps]) {
                outGainL = _mm_add_ps(outGainL, _mm_mul_ps(_mm_sub_ps(outTargetL, outGainL), smooth));
                outGainR = _mm_add_ps(outGainR, _mm_mul_ps(_mm_sub_ps(outTargetR, outGainR), smooth));
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
            };
            // 15. to 17. Multitap nodes, feedback through the main matrix, the ring's writes.
            auto nodeSteps = [&](uint32_t m, __m128 y, const __m128 t[kTaps], __m128 x) {
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
                __m128 f = x;
                if constexpr (decay) {
                    f = _mm_add_ps(mixRows(y, mainRows), x);
                }
                _mm_store_ss(w0 + m, f);
                _mm_store_ss(w1 + m, broadcast<1>(f));
                _mm_store_ss(w2 + m, _mm_movehl_ps(f, f));
                _mm_store_ss(w3 + m, broadcast<3>(f));
            };
            // 11. and 14. The filters and the saturator, ahead of the outputs or inside the loop.
            auto filterSteps = [&](__m128& y, __m128 t[kTaps]) {
                filterMain(y);
                if constexpr (multitap && decay) {
                    for (int k = 1; k < kSegments; ++k) {
                        filterTap(k, t[k - 1]);
                    }
                }
            };

            if (staged) {
                // Every read of the stretch, then the filters over the whole stretch, then every
                // write: each pass is short enough for several samples to be under way at once.
                for (uint32_t m = 0; m < length; ++m) {
                    readingSteps(m, done + m, handover[m]);
                    if constexpr (!filtersFirst) {
                        outputSteps(done + m, handover[m].y, handover[m].t);
                    }
                }
                // The filters two segments at a time: two independent recursions per pass, with
                // their states in registers.
                if constexpr (multitap) {
                    for (uint32_t m = 0; m < length; ++m) {
                        filterMain(handover[m].y);
                        filterTap(1, handover[m].t[0]);
                    }
                    for (uint32_t m = 0; m < length; ++m) {
                        filterTap(2, handover[m].t[1]);
                        filterTap(3, handover[m].t[2]);
                    }
                } else {
                    for (uint32_t m = 0; m < length; ++m) {
                        filterMain(handover[m].y);
                    }
                }
                for (uint32_t m = 0; m < length; ++m) {
                    const Handover& h = handover[m];
                    if constexpr (filtersFirst) {
                        outputSteps(done + m, h.y, h.t);
                    }
                    nodeSteps(m, h.y, h.t, h.x);
                }
            } else {
                // The steps in their plain order, sample by sample.
                for (uint32_t m = 0; m < length; ++m) {
                    Handover h;
                    readingSteps(m, done + m, h);
                    if constexpr (filtersFirst) {
                        filterSteps(h.y, h.t);
                    }
                    outputSteps(done + m, h.y, h.t);
                    if constexpr (!filtersFirst && decay) {
                        filterSteps(h.y, h.t);
                    }
                    nodeSteps(m, h.y, h.t, h.x);
                }
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

}  // namespace

}  // namespace tarsk::simd
