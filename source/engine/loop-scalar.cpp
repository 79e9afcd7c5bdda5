// The scalar reference of the per-sample loop: plain C++, one line after the other. The SSE and
// SSE2 builds do the same operations in the same order four lanes at a time; tests hold them
// against this one bit for bit.
//
// Index: helpers | loop filter | saturator | per-sample steps
#include <cmath>
#include <cstdint>

#include "engine/loop.h"

namespace tarsk {

namespace {

// ---------------------------------------------------------------------------------------------
// Helpers: the SSE minimum and maximum (the second operand wins when either is a NaN or both are
// equal), so that the reference gives exactly what minps and maxps give.

float maxLikeSse(float a, float b) { return a > b ? a : b; }
float minLikeSse(float a, float b) { return a < b ? a : b; }

float safeInput(const float* channel, uint32_t j) {
    float v = channel != nullptr ? channel[j] : 0.0f;
    const float magnitude = std::fabs(v);
    v = magnitude < INFINITY ? v : 0.0f;  // false for NaN and infinities
    v = maxLikeSse(v, -kInputLimit);
    return minLikeSse(v, kInputLimit);
}

uint32_t masked(uint32_t index, uint32_t mask) { return index & mask; }

// ---------------------------------------------------------------------------------------------
// Loop filter of segment k, line i: decay gain, high cut, low cut, mid band.

float loopFilter(EngineState& s, int k, int i, float x) {
    s.segmentGain[k][i] = s.segmentGain[k][i] + (s.segmentGainTarget[k][i] - s.segmentGain[k][i]) * kSmoothing;
    float h;
    if (k == 0) {
        s.highcutBlendNow[i] = s.highcutBlendNow[i] + (s.highcutBlendTarget[i] - s.highcutBlendNow[i]) * kSmoothing;
        h = s.highcutBlendNow[i];
    } else {
        h = s.highcutBlend[k][i];
    }
    float& zh = s.highcutState[k][i];
    zh = zh + (x * s.segmentGain[k][i] - zh) * h;
    float& zl = s.lowcutState[k][i];
    zl = zl + (zh - zl) * s.lowcutCoef[k][i];
    const float x2 = zh - zl;
    float& s1 = s.midS1[k][i];
    float& s2 = s.midS2[k][i];
    const float v = (((x2 + s.midPrev[k][i]) - s1) * s.midC0[k][i] - s.midC1[k][i] * s2) + s2;
    s2 = v;
    s1 = s1 + v;
    s.midPrev[k][i] = x2;
    return x2 + v * s.midC2[k][i];
}

// Filters of line i (segment 0 on y, segments 1..3 on the taps) and then the saturator on y.
void filterLine(EngineState& s, int i, float& y, float t[kTaps], bool filters) {
    if (filters) {
        y = loopFilter(s, 0, i, y);
        if (s.multitap) {
            for (int k = 0; k < kTaps; ++k) {
                t[k] = loopFilter(s, k + 1, i, t[k]);
            }
        }
    }
    if (s.saturatorActive) {
        y = saturator(s, i, y);
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Saturator on the main line output of line i.

float saturate(float p) {
    const float c = minLikeSse(maxLikeSse(p, -kSaturatorLimit), kSaturatorLimit);
    const float c2 = c * c;
    return (c * (c2 + kSaturatorCubic)) / (kSaturatorSquare * c2 + kSaturatorCubic);
}

float saturator(EngineState& s, int i, float y) {
    const float u = y * s.drive[i];
    switch (s.emphasisMode) {
        case kEmphasisLow: {
            const float q = u + kEmphasis * s.emphIn[i];
            s.emphIn[i] = q;
            const float z = saturate(q) * s.postGain[i];
            const float result = z - kEmphasis * s.emphOut[i];
            s.emphOut[i] = z;
            return result;
        }
        case kEmphasisNone:
            return saturate(u) * s.postGain[i];
        case kEmphasisHigh: {
            const float p = u - kEmphasis * s.emphIn[i];
            s.emphIn[i] = u;
            const float result = saturate(p) * s.postGain[i] + kEmphasis * s.emphOut[i];
            s.emphOut[i] = result;
            return result;
        }
        default:
            return y;
    }
}

// ---------------------------------------------------------------------------------------------
// Per-sample steps

void runLoopScalar(EngineState& s, float* ring, const LoopRun& run) {
    for (uint32_t n = 0; n < run.count; ++n) {
        const uint32_t j = run.first + n;

        // 1. Output gains glide to their targets.
        for (int i = 0; i < kLines; ++i) {
            s.outGainL[i] = s.outGainL[i] + (s.outTargetL[i] - s.outGainL[i]) * s.smooth;
            s.outGainR[i] = s.outGainR[i] + (s.outTargetR[i] - s.outGainR[i]) * s.smooth;
        }

        // 2. Line outputs, read with linear interpolation while the read position glides.
        float d[kLines];
        for (int i = 0; i < kLines; ++i) {
            const uint32_t mask = s.ringMask[i];
            if (s.modulated) {
                s.readFrac[i] = s.readFrac[i] + s.readStep[i];
                const float whole = std::floor(s.readFrac[i]);
                const int32_t k = static_cast<int32_t>(whole);
                s.readIndex[i] = masked(s.readIndex[i] + static_cast<uint32_t>(k), mask);
                const float a = ring[s.readIndex[i]];
                s.readFrac[i] = s.readFrac[i] - static_cast<float>(k);
                s.readIndex[i] = masked(s.readIndex[i] + 1, mask);
                const float b = ring[s.readIndex[i]];
                d[i] = a + (b - a) * s.readFrac[i];
            } else {
                d[i] = ring[s.readIndex[i]];
                s.readIndex[i] = masked(s.readIndex[i] + 1, mask);
            }
        }

        // 3. Inputs, made safe, with the denormal guard.
        const float guard = kDenormalGuard[j % kGuardLength];
        const float xL = safeInput(run.inL, j) + guard;
        const float xR = safeInput(run.inR, j) + guard;

        float y[kLines];
        float x[kLines];
        for (int i = 0; i < kLines; ++i) {
            // 4. Inverter coefficient glide.
            s.inverterCoef[i] = s.inverterCoef[i] + (s.inverterTarget[i] - s.inverterCoef[i]) * kSmoothing;
            // 5. Interpolation allpass.
            const float v = d[i] * s.fracCoef[i] + s.interpState[i];
            s.interpState[i] = (d[i] - s.fracCoef[i] * v) * kAllpassLeak;
            // 6. Inverter allpass.
            const float c = s.inverterCoef[i];
            const float w = c * v + s.inverterState[i];
            s.inverterState[i] = (v - c * w) * kAllpassLeak;
            // 7. Line input.
            x[i] = xL * s.inputGainL[i] + xR * s.inputGainR[i];
            // 8. Crossfade of a sub-sample line, bounded.
            const float mixed = x[i] + (w - x[i]) * s.subSampleGain[i];
            y[i] = minLikeSse(maxLikeSse(mixed, -kLineClamp), kLineClamp);
        }

        // 9. Envelope follower.
        const float power = xL * xL + xR * xR;
        const float coef = power > s.envelope ? s.attackCoef : s.releaseCoef;
        s.envelope = s.envelope + (power - s.envelope) * coef;

        // 10. Taps.
        float t[kLines][kTaps] = {};
        if (s.multitap) {
            for (int i = 0; i < kLines; ++i) {
                for (int k = 0; k < kTaps; ++k) {
                    t[i][k] = ring[masked(s.writeIndex[i] - s.tapOffset[k][i], s.ringMask[i])];
                }
            }
        }

        // 11. Filters and saturator ahead of the outputs.
        if (s.filtersBeforeOutput) {
            for (int i = 0; i < kLines; ++i) {
                filterLine(s, i, y[i], t[i], s.decayActive);
            }
        }

        // 12. and 13. Line outputs with the taps, to the stereo outputs with the dry signal.
        float pL[kLines];
        float pR[kLines];
        for (int i = 0; i < kLines; ++i) {
            float o = y[i];
            if (s.multitap) {
                o = ((o + t[i][0] * s.tapLevel[0][i]) + t[i][1] * s.tapLevel[1][i]) + t[i][2] * s.tapLevel[2][i];
            }
            pL[i] = o * s.outGainL[i];
            pR[i] = o * s.outGainR[i];
        }
        const float outL = ((pL[0] + pL[2]) + (pL[1] + pL[3])) + s.dryGain * xL;
        const float outR = ((pR[0] + pR[2]) + (pR[1] + pR[3])) + s.dryGain * xR;
        if (run.outL != nullptr) {
            run.outL[j] = outL;
        }
        if (run.outR != nullptr) {
            run.outR[j] = outR;
        }

        // 14. Filters and saturator inside the loop only.
        if (!s.filtersBeforeOutput && s.decayActive) {
            for (int i = 0; i < kLines; ++i) {
                filterLine(s, i, y[i], t[i], true);
            }
        }

        // 15. Multitap nodes: the inner matrix mixes each line's four segments, the cross matrix
        // mixes the tap nodes across the lines.
        if (s.multitap) {
            float r[kSegments][kLines];
            for (int i = 0; i < kLines; ++i) {
                const Matrix4& q = s.innerMatrix[i];
                for (int k = 0; k < kSegments; ++k) {
                    r[k][i] = ((y[i] * q.row[0][k] + t[i][0] * q.row[1][k]) + t[i][1] * q.row[2][k]) +
                              t[i][2] * q.row[3][k];
                }
            }
            const Matrix4& cross = s.crossMatrix;
            for (int k = 1; k < kSegments; ++k) {
                for (int jl = 0; jl < kLines; ++jl) {
                    const float node = ((r[k][0] * cross.row[0][jl] + r[k][1] * cross.row[1][jl]) +
                                        r[k][2] * cross.row[2][jl]) +
                                       r[k][3] * cross.row[3][jl];
                    ring[masked(s.writeIndex[jl] - s.tapOffset[k - 1][jl], s.ringMask[jl])] = node;
                }
            }
            for (int i = 0; i < kLines; ++i) {
                y[i] = r[0][i];
            }
        }

        // 16. and 17. Feedback through the main matrix into the line inputs.
        const Matrix4& m = s.mainMatrix;
        for (int jl = 0; jl < kLines; ++jl) {
            float f = x[jl];
            if (s.decayActive) {
                f = (((y[0] * m.row[0][jl] + y[1] * m.row[1][jl]) + y[2] * m.row[2][jl]) + y[3] * m.row[3][jl]) +
                    x[jl];
            }
            ring[s.writeIndex[jl]] = f;
            s.writeIndex[jl] = masked(s.writeIndex[jl] + 1, s.ringMask[jl]);
        }
    }
}

}  // namespace tarsk
