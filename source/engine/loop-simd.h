// The four-lane body of the per-sample loop, shared by the SSE and SSE2 builds. The lanes use SSE
// instructions only; how line indices are stepped and how floats become integers is left to an
// index policy (Ix), which is where the two builds differ:
//   Ix::Vec                          four line indices
//   Ix::load(const LaneIndices&), Ix::store(LaneIndices&, Vec)
//   Ix::splat(uint32_t)
//   Ix::next(idx, mask)              (idx + 1) & mask
//   Ix::minus(idx, offset, mask)     (idx - offset) & mask
//   Ix::advance(idx, mask, frac)     k = floor(frac); idx = (idx + k) & mask; frac -= k
//   Ix::gather(ring, idx)            the four ring values
//   Ix::scatter(ring, idx, values)   four ring stores, lane 0 first
// Every operation mirrors the scalar reference (loop-scalar.cpp) in kind and order.
//
// Index: constants | loop filter | saturator | the loop
#pragma once

#include <xmmintrin.h>

#include <bit>
#include <cstdint>
#include <limits>

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

struct Saturator {
    __m128 drive, post, emphIn, emphOut;
    uint32_t mode;

    __m128 run(__m128 y) {
        const __m128 emphasis = splat(kEmphasis);
        const __m128 u = _mm_mul_ps(y, drive);
        switch (mode) {
            case kEmphasisLow: {
                const __m128 q = _mm_add_ps(u, _mm_mul_ps(emphasis, emphIn));
                emphIn = q;
                const __m128 z = _mm_mul_ps(saturate(q), post);
                const __m128 result = _mm_sub_ps(z, _mm_mul_ps(emphasis, emphOut));
                emphOut = z;
                return result;
            }
            case kEmphasisNone:
                return _mm_mul_ps(saturate(u), post);
            case kEmphasisHigh: {
                const __m128 p = _mm_sub_ps(u, _mm_mul_ps(emphasis, emphIn));
                emphIn = u;
                const __m128 result = _mm_add_ps(_mm_mul_ps(saturate(p), post), _mm_mul_ps(emphasis, emphOut));
                emphOut = result;
                return result;
            }
            default:
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
// The loop

template <class Ix>
void runLoop(EngineState& s, float* ring, const LoopRun& run) {
    using IndexVec = typename Ix::Vec;

    const bool modulated = s.modulated;
    const bool multitap = s.multitap;
    const bool decayActive = s.decayActive;
    const bool filtersFirst = s.filtersBeforeOutput;
    const bool saturatorActive = s.saturatorActive;

    const __m128 smooth = splat(s.smooth);
    const __m128 smoothing = splat(kSmoothing);
    const __m128 leak = splat(kAllpassLeak);
    const __m128 clampLow = splat(-kLineClamp);
    const __m128 clampHigh = splat(kLineClamp);
    const __m128 inputLow = splat(-kInputLimit);
    const __m128 inputHigh = splat(kInputLimit);
    const __m128 absMask = splat(std::bit_cast<float>(0x7FFFFFFFu));
    const __m128 infinity = splat(std::numeric_limits<float>::infinity());
    const __m128 dry = splat(s.dryGain);
    const __m128 attack = _mm_set_ss(s.attackCoef);
    const __m128 release = _mm_set_ss(s.releaseCoef);

    __m128 outGainL = load(s.outGainL), outGainR = load(s.outGainR);
    const __m128 outTargetL = load(s.outTargetL), outTargetR = load(s.outTargetR);
    __m128 readFrac = load(s.readFrac);
    const __m128 readStep = load(s.readStep);
    const IndexVec mask = Ix::load(s.ringMask);
    IndexVec readIndex = Ix::load(s.readIndex);
    IndexVec writeIndex = Ix::load(s.writeIndex);
    IndexVec tapOffset[kTaps];
    __m128 tapLevel[kTaps];
    for (int k = 0; k < kTaps; ++k) {
        tapOffset[k] = Ix::load(s.tapOffset[k]);
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
    for (int k = 0; k < kSegments; ++k) {
        segment[k].loadFrom(s, k);
    }
    __m128 blendNow = load(s.highcutBlendNow);
    const __m128 blendTarget = load(s.highcutBlendTarget);
    __m128 tapBlend[kTaps];
    for (int k = 0; k < kTaps; ++k) {
        tapBlend[k] = load(s.highcutBlend[k + 1]);
    }
    Saturator saturator{load(s.drive), load(s.postGain), load(s.emphIn), load(s.emphOut), s.emphasisMode};

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

    // Filters of the four lines (segment 0 on y, 1..3 on the taps), then the saturator on y.
    auto filterLines = [&](__m128& y, __m128 t[kTaps], bool filters) {
        if (filters) {
            blendNow = _mm_add_ps(blendNow, _mm_mul_ps(_mm_sub_ps(blendTarget, blendNow), smoothing));
            y = segment[0].run(y, blendNow);
            if (multitap) {
                for (int k = 0; k < kTaps; ++k) {
                    t[k] = segment[k + 1].run(t[k], tapBlend[k]);
                }
            }
        }
        if (saturatorActive) {
            y = saturator.run(y);
        }
    };

    for (uint32_t n = 0; n < run.count; ++n) {
        const uint32_t j = run.first + n;

        // 1. Output gains glide to their targets.
        outGainL = _mm_add_ps(outGainL, _mm_mul_ps(_mm_sub_ps(outTargetL, outGainL), smooth));
        outGainR = _mm_add_ps(outGainR, _mm_mul_ps(_mm_sub_ps(outTargetR, outGainR), smooth));

        // 2. Line outputs.
        __m128 d;
        if (modulated) {
            readFrac = _mm_add_ps(readFrac, readStep);
            readIndex = Ix::advance(readIndex, mask, readFrac);
            const __m128 a = Ix::gather(ring, readIndex);
            readIndex = Ix::next(readIndex, mask);
            const __m128 b = Ix::gather(ring, readIndex);
            d = _mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), readFrac));
        } else {
            d = Ix::gather(ring, readIndex);
            readIndex = Ix::next(readIndex, mask);
        }

        // 3. Inputs (lane 0 left, lane 1 right), made safe, with the denormal guard.
        __m128 in = _mm_setr_ps(run.inL != nullptr ? run.inL[j] : 0.0f, run.inR != nullptr ? run.inR[j] : 0.0f,
                                0.0f, 0.0f);
        in = _mm_and_ps(in, _mm_cmplt_ps(_mm_and_ps(in, absMask), infinity));
        in = _mm_min_ps(_mm_max_ps(in, inputLow), inputHigh);
        const __m128 xs = _mm_add_ps(in, splat(kDenormalGuard[j % kGuardLength]));
        const __m128 xL = broadcast<0>(xs);
        const __m128 xR = broadcast<1>(xs);

        // 4. Inverter coefficient glide.
        inverterCoef = _mm_add_ps(inverterCoef, _mm_mul_ps(_mm_sub_ps(inverterTarget, inverterCoef), smoothing));
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
        const __m128 squares = _mm_mul_ps(xs, xs);
        const __m128 power = _mm_add_ss(squares, broadcast<1>(squares));
        const __m128 rising = _mm_cmpgt_ss(power, envelope);
        const __m128 coef = _mm_or_ps(_mm_and_ps(rising, attack), _mm_andnot_ps(rising, release));
        envelope = _mm_add_ss(envelope, _mm_mul_ss(_mm_sub_ss(power, envelope), coef));

        // 10. Taps.
        __m128 t[kTaps] = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
        IndexVec tapIndex[kTaps] = {writeIndex, writeIndex, writeIndex};
        if (multitap) {
            for (int k = 0; k < kTaps; ++k) {
                tapIndex[k] = Ix::minus(writeIndex, tapOffset[k], mask);
                t[k] = Ix::gather(ring, tapIndex[k]);
            }
        }

        // 11. Filters and saturator ahead of the outputs.
        if (filtersFirst) {
            filterLines(y, t, decayActive);
        }

        // 12. and 13. Line outputs with the taps, to the stereo outputs with the dry signal.
        __m128 o = y;
        if (multitap) {
            o = _mm_add_ps(o, _mm_mul_ps(t[0], tapLevel[0]));
            o = _mm_add_ps(o, _mm_mul_ps(t[1], tapLevel[1]));
            o = _mm_add_ps(o, _mm_mul_ps(t[2], tapLevel[2]));
        }
        const __m128 pL = _mm_mul_ps(o, outGainL);
        const __m128 pR = _mm_mul_ps(o, outGainR);
        // (pL0 + pL2) + (pL1 + pL3) in lane 0, the same for R in lane 1.
        __m128 sum = _mm_add_ps(_mm_unpacklo_ps(pL, pR), _mm_unpackhi_ps(pL, pR));
        sum = _mm_add_ps(sum, _mm_movehl_ps(sum, sum));
        const __m128 out = _mm_add_ps(sum, _mm_mul_ps(dry, xs));
        if (run.outL != nullptr) {
            _mm_store_ss(run.outL + j, out);
        }
        if (run.outR != nullptr) {
            _mm_store_ss(run.outR + j, broadcast<1>(out));
        }

        // 14. Filters and saturator inside the loop only.
        if (!filtersFirst && decayActive) {
            filterLines(y, t, true);
        }

        // 15. Multitap nodes.
        if (multitap) {
            __m128 r[kSegments];
            for (int k = 0; k < kSegments; ++k) {
                __m128 acc = _mm_mul_ps(y, inner[0][k]);
                acc = _mm_add_ps(acc, _mm_mul_ps(t[0], inner[1][k]));
                acc = _mm_add_ps(acc, _mm_mul_ps(t[1], inner[2][k]));
                r[k] = _mm_add_ps(acc, _mm_mul_ps(t[2], inner[3][k]));
            }
            for (int k = 1; k < kSegments; ++k) {
                Ix::scatter(ring, tapIndex[k - 1], mixRows(r[k], crossRows));
            }
            y = r[0];
        }

        // 16. and 17. Feedback through the main matrix into the line inputs.
        const __m128 f = decayActive ? _mm_add_ps(mixRows(y, mainRows), x) : x;
        Ix::scatter(ring, writeIndex, f);
        writeIndex = Ix::next(writeIndex, mask);
    }

    store(s.outGainL, outGainL);
    store(s.outGainR, outGainR);
    store(s.readFrac, readFrac);
    Ix::store(s.readIndex, readIndex);
    Ix::store(s.writeIndex, writeIndex);
    store(s.inverterCoef, inverterCoef);
    store(s.interpState, interpState);
    store(s.inverterState, inverterState);
    _mm_store_ss(&s.envelope, envelope);
    for (int k = 0; k < kSegments; ++k) {
        segment[k].storeTo(s, k);
    }
    store(s.highcutBlendNow, blendNow);
    store(s.emphIn, saturator.emphIn);
    store(s.emphOut, saturator.emphOut);
}

}  // namespace tarsk::simd
