// The random source, the inverter coefficient, the dynamics characteristic and the control-period
// update of the engine's modulation.
#include "engine/modulation.h"

#include <atomic>
#include <cmath>

#include "engine/coefficients.h"

namespace tarsk {

namespace {

// The state is always an integer value below 2^23, so its bits are kept as that integer. This is the
// process-wide random state; relaxed order is enough, nothing else is published through it.
std::atomic<uint32_t> gRandomState{1};

constexpr double kLineOffsets[kLines] = {0.0, 0.5 * kPi, kPi, 1.5 * kPi};  // phase offsets of the lines
constexpr double kShapeArgumentBias = 4.0 * kPi;  // keeps the argument positive for usual spreads
constexpr double kNoiseGlide = 0.5;
constexpr double kEnvelopeFloor = 1.0e-24;
constexpr double kMinHalfLifePasses = 1.0e-24;
constexpr double kSubSampleQuarterCycle = 1.57079;  // the crossfade constant of a sub-sample line
constexpr double kReadOpening = 0.75;               // high-cut opening while the read position glides

double reduceToCycle(double a) { return a - kTwoPi * std::floor(a / kTwoPi); }

// Value of one LFO for one line. `noise` is that LFO's noise state, advanced once per call for Noise.
double lfoValue(int32_t shape, double argument, float holdA, float holdB, float& noise) {
    if (shape == lfoShape::noise) {
        noise = static_cast<float>(noise + (randomValue() - noise) * kNoiseGlide);
        return noise;
    }
    return lfoShapeValue(shape, argument, holdA, holdB);
}

// Cooked pass gain g of a segment scaled in half life by `scale`: 2^(-1 / (scale * (-1 / log2 g))).
double scaledSegmentGain(double g, double scale) {
    if (g >= 1.0) {
        return g;  // no decay (freeze, unused segment): an infinite half life stays infinite
    }
    if (!(g > 0.0)) {
        return 0.0;
    }
    const double halfLife = scale * (-1.0 / std::log2(g));
    return std::exp2(-1.0 / std::max(halfLife, kMinHalfLifePasses));
}

}  // namespace

// ---- random source ----

float randomValue() {
    const uint32_t x = gRandomState.load(std::memory_order_relaxed);
    // The product needs up to 45 bits: formed in double precision it is exact, and fmod is exact,
    // so every platform walks the same sequence.
    const double next = std::fmod(static_cast<double>(x) * kRandomMultiplier, kRandomModulus);
    const uint32_t n = static_cast<uint32_t>(next);
    gRandomState.store(n, std::memory_order_relaxed);
    return static_cast<float>(n) * kRandomScale - 1.0f;
}

float randomState() { return static_cast<float>(gRandomState.load(std::memory_order_relaxed)); }

void setRandomState(float x) {
    const double v = std::isfinite(x) ? std::fmod(std::trunc(std::fabs(static_cast<double>(x))), kRandomModulus) : 1.0;
    gRandomState.store(static_cast<uint32_t>(v), std::memory_order_relaxed);
}

// ---- inverter ----

float inverterCoefficient(float base, float m) {
    if (base == 0.0f) {
        return 1.0f;
    }
    const double f = static_cast<double>(base) * std::exp2(static_cast<double>(m));
    if (!(f <= 0.5)) {
        return 1.0f;  // above half the sample rate (or not a number): transparent
    }
    return static_cast<float>(clampFinite(std::tan(kPi * (f - 0.25)), -1.0, 1.0));
}

// ---- dynamics ----

DynamicsConstants dynamicsConstants(double ratio, double thresholdDb) {
    DynamicsConstants c;
    c.level = std::pow(10.0, 0.05 * thresholdDb);
    if (ratio > 1.0) {
        c.k = 1.0 - 1.0 / ratio;
        c.threshold = c.level;
    } else if (ratio < 1.0 && ratio > 0.0) {
        c.k = 1.0 / ratio;
        c.threshold = std::pow(c.level, c.k - 1.0);
    }
    return c;
}

double dynamicsFactor(double k, double thresholdLevel, double level) {
    if (k == 0.0) {
        return 1.0;
    }
    if (k < 1.0) {
        return std::pow(thresholdLevel / (level + thresholdLevel), k);
    }
    // Gate: (1 + T) q / (T + q) with q = a^(k-1) and T = t^(k-1), written as (1 + T) / (1 + (t/a)^(k-1))
    // so that neither power has to be formed on its own where it would underflow.
    const double t = std::pow(thresholdLevel, k - 1.0);
    const double rho = std::pow(thresholdLevel / level, k - 1.0);
    return (1.0 + t) / (1.0 + rho);
}

double dynamicsGain(const DynamicsCurve& curve, double level) {
    return curve.gain * (curve.support + (1.0 - curve.support) * dynamicsFactor(curve.k, curve.thresholdLevel, level));
}

// ---- LFO shapes ----

double lfoArgument(double phase, int line, double spread, double shift) {
    return kShapeArgumentBias + phase + kLineOffsets[line & (kLines - 1)] * spread + shift;
}

double lfoShapeValue(int32_t shape, double argument, float holdA, float holdB) {
    const double x = reduceToCycle(argument);
    switch (shape) {
    case lfoShape::sine:
        return std::sin(argument);
    case lfoShape::triangle: {
        double y = 2.0 - 2.0 * x / kPi;
        if (y > 1.0) {
            y = 2.0 - y;
        }
        if (y < -1.0) {
            y = -2.0 - y;
        }
        return y;
    }
    case lfoShape::rampUp: {
        double y = x / kPi;
        if (y > 1.0) {
            y -= 2.0;
        }
        return y;
    }
    case lfoShape::rampDown:
        return 1.0 - x / kPi;
    case lfoShape::square:
        return x < kPi ? 1.0 : -1.0;
    case lfoShape::sampleAndHold:
        return x < kPi ? holdA : holdB;
    default:
        return 0.0;
    }
}

// ---- control period ----

void setUnmodulatedTargets(EngineState& s) {
    const float inverter = inverterCoefficient(s.inverterBase, 0.0f);
    for (int i = 0; i < kLines; ++i) {
        s.readStep[i] = 0.0f;
        s.subSampleGain[i] = s.subSampleGainCooked[i];
        for (int k = 0; k < kSegments; ++k) {
            s.segmentGainTarget[k][i] = s.segmentGainCooked[k][i];
        }
        s.outTargetL[i] = s.outputGainL[i];
        s.outTargetR[i] = s.outputGainR[i];
        s.highcutBlendTarget[i] = s.highcutBlend[0][i];
        s.inverterTarget[i] = inverter;
    }
}

void controlUpdate(EngineState& s, bool lfo1Wrapped, bool lfo2Wrapped) {
    if (!s.modulated) {
        setUnmodulatedTargets(s);
        return;
    }

    // New sample-and-hold pairs on a wrap; an LFO2 that follows LFO1 wraps with it.
    if (lfo1Wrapped) {
        s.holdA[0] = randomValue();
        s.holdB[0] = randomValue();
    }
    if (lfo2Wrapped || (lfo1Wrapped && s.phaseInc[1] <= 0.0f)) {
        s.holdA[1] = randomValue();
        s.holdB[1] = randomValue();
    }

    // LFO values per line (lines outer, LFOs inner: the noise states advance in that order).
    double lfo[kLines][kLfos];
    for (int i = 0; i < kLines; ++i) {
        for (int k = 0; k < kLfos; ++k) {
            const double phase = s.phaseInc[k] > 0.0f ? s.phase[k] : s.phase[0];
            const double argument = lfoArgument(phase, i, s.spread[k], static_cast<double>(s.shift[k]));
            lfo[i][k] = lfoValue(s.shape[k], argument, s.holdA[k], s.holdB[k], s.noise[k]);
        }
    }

    const double envelope = std::max(static_cast<double>(s.envelope), 0.0);
    const double level = std::sqrt(envelope + kEnvelopeFloor);
    const double period = std::max<double>(s.controlPeriod, 1.0);
    const double readLimit = s.ringSize > 2 ? static_cast<double>(s.ringSize) - 2.0 : 0.0;

    const double decayDynamics = dynamicsGain({s.decayK, s.decayThresholdLevel, s.support, 1.0}, level);
    const double outputDynamics = dynamicsGain({s.outputK, s.outputThresholdLevel, 0.0, 1.0}, level);

    for (int i = 0; i < kLines; ++i) {
        const double lfo1 = lfo[i][0];
        const double lfo2 = lfo[i][1];

        // Delay length: glide the read position of the last segment to its target within this period.
        const uint32_t tap3 = s.multitap ? s.tapOffset[2][i] : 0u;
        double distance =
            static_cast<double>((s.writeIndex[i] - s.readIndex[i] - tap3) & s.ringMask[i]) - s.readFrac[i];
        const double base = static_cast<double>(s.lengthSamples[i]) - tap3;
        double target = base * (1.0 + lfo1 * s.delayDepth[0][i] + lfo2 * s.delayDepth[1][i] +
                                level * s.envDelayDepth[i]);
        target = std::min(target, readLimit);
        const double c = s.fracCoef[i];
        if (c > -1.0) {
            target += (1.0 - c) / (-1.0 - c);  // the interpolation allpass adds this much delay itself
        }
        double crossfade = 1.0;
        if (!(target >= 1.0)) {
            crossfade = std::sin(std::max(target, 0.0) * kSubSampleQuarterCycle);
            target = 1.0;
        }
        s.subSampleGain[i] = storeCoef(crossfade);
        const double step = (distance - target) / period;
        s.readStep[i] = storeCoef(step);

        // Open the segment-0 high cut while the read position moves faster or slower than one sample
        // per sample (linear interpolation dulls the line then).
        distance = std::max(distance, 0.0);
        const double sd = step * distance;
        const double opening = kReadOpening * (sd * sd) / (sd * sd + 1.0) + 1.0;
        const double pole = opening * s.highcutPole[0][i];
        s.highcutBlendTarget[i] = storeCoef(2.0 * pole / (pole + 1.0));

        // Decay: the LFOs and the DECAY dynamics scale each segment's half life.
        const double halfLifeScale = (1.0 + s.decayDepth[0] * lfo1 + s.decayDepth[1] * lfo2) * decayDynamics;
        for (int k = 0; k < kSegments; ++k) {
            if (s.decayActive) {
                s.segmentGainTarget[k][i] = storeCoef(scaledSegmentGain(s.segmentGainCooked[k][i], halfLifeScale));
            } else {
                s.segmentGainTarget[k][i] = s.segmentGainCooked[k][i];
            }
        }

        // Output level: LFOs and the OUTPUT dynamics.
        const double output = (1.0 + s.outputDepth[0] * lfo1 + s.outputDepth[1] * lfo2) * outputDynamics;
        s.outTargetL[i] = storeCoef(s.outputGainL[i] * output);
        s.outTargetR[i] = storeCoef(s.outputGainR[i] * output);

        // Inverter frequency, in octaves around its base.
        const double sweep =
            std::sqrt(envelope) * s.envInverterDepth + lfo1 * s.inverterDepth[0] + lfo2 * s.inverterDepth[1];
        s.inverterTarget[i] = inverterCoefficient(s.inverterBase, storeCoef(sweep));
    }
}

}  // namespace tarsk
