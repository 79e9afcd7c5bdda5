// Parameter cooking: lengths and taps, matrices, loop filters and decay, modulation constants, gains
// and the ring layout; the engine reset; the loop-filter design shared with the editor.
//
// Index: constants | field readings | filter design | lengths and taps | matrices | filters and decay |
//        modulation | gains | ring layout | cook and reset | tempo changes
//
// All coefficient arithmetic is done in double precision and stored as floats. A record may come from
// a file and carry NaN, infinities or absurd numbers: every float field is read through recordValue(),
// which substitutes the Init program's value for a non-finite one, and each value is then limited to a
// range in which every formula below stays finite (the ranges are wider than anything the editor sets).
#include "engine/cook.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstring>

#include "engine/coefficients.h"
#include "engine/fp-state.h"
#include "engine/modulation.h"

namespace tarsk {

namespace {

// ---- constants ----

constexpr double kFallbackSampleRate = 44100.0;  // used while the host has not told a usable rate
constexpr double kMinLengthUnits = 0.01;
constexpr double kSubSampleQuarterCycle = 1.57079;  // crossfade sin(L * 1.57079) of a sub-sample line
constexpr uint32_t kMaxNeed = 131069;               // larger needs take a whole 2^17-word block
constexpr uint32_t kClampedNeed = 131070;
constexpr uint32_t kMaxReadDistance = 131070;
constexpr double kMinSegmentPart = 0.0001;  // smallest share of the half life a segment gets
constexpr double kJumpFadeSeconds = 0.005;  // crossfade of a read position that jumps (tempo change)
constexpr uint32_t kMaxJumpFade = 256;
constexpr double kDegreesToRadians = kPi / 180.0;
constexpr double kShiftDegreesToRadians = 0.017453294;
constexpr double kMinEnvelopeTime = 0.0002;
constexpr double kControlPeriodSeconds = 0.02;
constexpr double kMinLfoPeriod = 0.001;
constexpr double kUpdatesPerLfoCycle = 32.0;
constexpr double kPercent = 0.01;
constexpr double kWetScale = 0.005;  // wet percent and the halving of the four-line sum
constexpr double kMaxEnvDelayDepth = 100.0;
constexpr double kMinInverterDepth = -0.999;  // keeps log2(1 + depth) finite for a negative depth

// Safety ranges for values from files (the editor stays well inside them).
constexpr double kVectorLimit = 16.0;
constexpr double kMinVectorLength = 1.0e-6;  // shorter matrix vectors have no usable direction
constexpr double kMinGain = 1.0e-30;
constexpr double kMaxFilterHz = 1.0e6;
constexpr double kMinMidCenterHz = 1.0;
constexpr double kMaxMidCenterFraction = 0.45;  // of the sample rate; the mid stage is stable below fs/2
constexpr double kMinMidQ = 0.1, kMaxMidQ = 10.0;
constexpr double kMinMidStretch = 0.1, kMaxMidStretch = 16.0;
constexpr double kMinRatio = 0.01, kMaxRatio = 100.0;
constexpr double kMinThresholdDb = -200.0, kMaxThresholdDb = 0.0;  // above 0 dBFS a gate would amplify
constexpr double kDepthLimit = 1.0e6;

// The ranges of the levels and gains. A chunk may carry any number; beyond these the network's
// signal, or its output, would grow without bound. Dry, Out Gain, Drive, Overunity and the vector
// lengths keep the editor's ranges; wet and the LFOs' "Output level" depth go further, as far as
// the factory programs use them.
constexpr double kMaxDryPercent = 100.0;
constexpr double kMaxWetPercent = 200.0;
constexpr double kMaxOutGain = 1000.0;      // +60 dB
constexpr double kMaxVectorLength = 1.0;    // input and output vectors lie within the unit circle
constexpr double kMaxInputGain = 16.0;
constexpr double kMaxTapLevel = 1.0;
constexpr double kMaxDrive = 50.0;
constexpr double kMaxOverunity = 15.0;
// The saturator's gain above the decay law, (pass gain)^-Overunity, at most +60 dB: an overunity
// loop grows until the saturator holds it, and this bounds where it holds.
constexpr double kMaxOverunityGain = 1000.0;
constexpr double kMaxOutputDepthPercent = 1000.0;

// Mid-band bisection.
constexpr int kStretchBisectionSteps = 24;
constexpr double kStretchLowOctave = -12.0, kStretchHighOctave = -1.0;
constexpr double kStretchProbe = 1.1;

// Init values of the fields whose Init is not 0.
constexpr double kInitDry = 100.0;
constexpr double kInitTimeBase = 0.001;
constexpr double kInitDelayLength = 1.0;
constexpr double kInitTap[kTaps][kLines] = {{0.7141, 0.7114, 0.7085, 0.6926},
                                            {0.7984, 0.7969, 0.7953, 0.7863},
                                            {0.8944, 0.8927, 0.8909, 0.8808}};
constexpr double kInitU[kLines] = {0.7071, 0.0, 0.0, -0.7071};
constexpr double kInitV[kLines] = {0.0, 0.7071, -0.7071, 0.0};
constexpr double kInitLowcut = 500.0;
constexpr double kInitOff = 50001.0;  // Highcut and Inverter
constexpr double kInitDecayScale = 1.0;
constexpr double kInitMidCenter = 100.0;
constexpr double kInitMidQ = 1.0;
constexpr double kInitMidStretch = 1.0;
constexpr double kInitLfoPeriod = 1.0;
constexpr double kInitAttack = 0.002;
constexpr double kInitRelease = 0.05;
constexpr double kInitRatio = 1.0;
constexpr double kInitVectors[2 * kLines] = {1.0, 0.0, 0.0, 1.0, -1.0, 0.0, 0.0, -1.0};
constexpr double kInitInputGain = 1.0;
constexpr double kInitOutGain = 1.0;

// ---- field readings ----

double sampleRateOf(const EngineState& s) {
    const double fs = s.sampleRate;
    return std::isfinite(fs) && fs > 0.0 ? fs : kFallbackSampleRate;
}

// Half life in time-base units; a negative value plays as 0 (no feedback), like a missing one.
double halfLifeOf(const ProgramRecord& r) { return std::max(recordValue(r, word::halfLife, 0.0), 0.0); }

double lfoField(const ProgramRecord& r, int lfoIndex, int offset, double init) {
    return recordValue(r, (lfoIndex == 0 ? word::lfo1 : word::lfo2) + offset, init);
}

// A slope or ratio of the dynamics; zero and negative ratios mean nothing and play as 1 (off).
double ratioOf(const ProgramRecord& r, int w) {
    const double ratio = recordValue(r, w, kInitRatio);
    return ratio > 0.0 ? clampFinite(ratio, kMinRatio, kMaxRatio) : kInitRatio;
}

double thresholdOf(const ProgramRecord& r, int w) {
    return clampFinite(recordValue(r, w, 0.0), kMinThresholdDb, kMaxThresholdDb);
}

double envelopeTimeOf(const ProgramRecord& r, int w, double init) {
    return std::max(recordValue(r, w, init), kMinEnvelopeTime);
}

LoopFilterSettings filterSettingsOf(const ProgramRecord& r, double fs) {
    LoopFilterSettings p;
    p.sampleRate = fs;
    p.highcut = clampFinite(recordValue(r, word::highcut, kInitOff), 0.0, kInitOff);
    p.lowcut = clampFinite(recordValue(r, word::lowcut, kInitLowcut), 0.0, kMaxFilterHz);
    p.midCenter = clampFinite(recordValue(r, word::midCenter, kInitMidCenter), kMinMidCenterHz,
                              kMaxMidCenterFraction * fs);
    p.midQ = clampFinite(recordValue(r, word::midQ, kInitMidQ), kMinMidQ, kMaxMidQ);
    p.midStretch = clampFinite(recordValue(r, word::midStretch, kInitMidStretch), kMinMidStretch, kMaxMidStretch);
    return p;
}

// ---- filter design ----

// The mid band's gain at its centre, (pass gain)^(1/stretch - 1): the half life inside the band
// becomes stretch times the half life of the rest of the loop.
double midBandGain(double passGain, double stretch) {
    const double gm = std::pow(std::max(passGain, kMinGain), 1.0 / stretch - 1.0);
    return clampFinite(gm, kMinGain, kCoefficientLimit);
}

void midCoefficients(double gm, double q, double omega, SegmentFilter& r) {
    const double rq = std::sqrt(gm) * q;
    const double sinW = std::sin(omega);
    const double half = std::sin(0.5 * omega);
    const double oneMinusCos = 2.0 * half * half;  // 1 - cos(omega) without cancellation
    r.c0 = 4.0 * rq * oneMinusCos / (2.0 * rq + sinW);
    r.c1 = 2.0 * sinW / (2.0 * rq + sinW);
    r.c2 = (gm - 1.0) * sinW / (4.0 * rq * oneMinusCos);
}

}  // namespace

double highcutMagnitude(double blend, double f) {
    if (blend == 0.0) {
        return 0.0;
    }
    const double s = std::sin(kPi * f);
    return blend / std::sqrt((4.0 - 4.0 * blend) * s * s + blend * blend);
}

double lowcutMagnitude(double lowcut, double f) {
    if (lowcut == 0.0) {
        return 1.0;
    }
    const double s = std::sin(kPi * f);
    return 2.0 * (1.0 - lowcut) * s / std::sqrt((4.0 - 4.0 * lowcut) * s * s + lowcut * lowcut);
}

double midPowerResponse(double c0, double c1, double c2, double f) {
    const double a0 = c2 * c0 + 1.0;
    const double a1 = c0 + c1 - 2.0;
    const double a2 = 1.0 - c1 - c2 * c0;
    const double b1 = 2.0 - c0 - c1;
    const double b2 = c1 - 1.0;
    const std::complex<double> z1 = std::polar(1.0, -kTwoPi * f);  // z^-1
    const std::complex<double> z2 = z1 * z1;
    const std::complex<double> num = a0 + a1 * z1 + a2 * z2;
    const std::complex<double> den = 1.0 - b1 * z1 - b2 * z2;
    return std::norm(num) / std::norm(den);
}

double saturatorMakeUpGain(double drive) {
    const double x = drive;
    return (1.0 + 0.0620783 * x + 0.0196919 * x * x) / (1.0 + 0.0694112 * x + 0.00071253 * x * x);
}

SegmentFilter designSegmentFilter(double g, const LoopFilterSettings& p) {
    SegmentFilter r;
    const double fs = p.sampleRate;
    g = clampFinite(g, 0.0, 1.0);

    // High cut: one pole solved with the gain so that one pass loses twice the decay at the corner.
    // q = (w - sqrt(w^2 - 4 G1)) w / (2 G1) is used in its rationalised form 2w / (w + sqrt(w^2 - 4 G1)),
    // which is the same number but stays exact as g approaches 1 (G1 -> 0, no decay, no filtering).
    if (p.highcut < kOffFrequency) {
        const double g1 = g * g - 1.0;
        const double w = g * p.highcut * kTwoPi / fs;
        const double root = std::sqrt(w * w - 4.0 * g1);
        const double q = w + root > 0.0 ? 2.0 * w / (w + root) : 1.0;
        r.pole = q / (2.0 - q);
        r.blend = 2.0 * r.pole / (1.0 + r.pole);
    }

    // Low cut: l = -2a((G - 2)a + sqrt(G^2 a^2 - G + 1)) / (4a^2 - 1), rationalised as
    // 2a(1 - G) / (sqrt(G^2 a^2 + 1 - G) + (2 - G)a) so that the removable singularity at a = 1/2
    // disappears. The gain is then raised to restore the level above the corner.
    if (p.lowcut > kLowcutOffBelow) {
        const double a = (kPi / std::max(g, kMinGain)) * p.lowcut / fs;
        const double gg = g * g;
        r.lowcut = 2.0 * a * (1.0 - gg) / (std::sqrt(gg * gg * a * a + 1.0 - gg) + (2.0 - gg) * a);
        g *= 1.0 + 0.5 * r.lowcut;
    }
    r.gain = g;

    // Mid band: a peak or dip at the centre that stretches the half life there.
    const double fn = p.midCenter / fs;
    const double omega = kTwoPi * fn;
    auto passGain = [&](double f) { return g * highcutMagnitude(r.blend, f) * lowcutMagnitude(r.lowcut, f); };
    double gm = midBandGain(passGain(fn), p.midStretch);
    midCoefficients(gm, p.midQ, omega, r);
    r.realisedCenter = p.midCenter;

    // A stretching band (stretch > 1) sits on a slope of the other filters: search the frequency where
    // the achieved stretch peaks and solve the band gain from the pass gain there.
    if (p.midStretch > 1.0 && passGain(fn) < 1.0) {
        const SegmentFilter first = r;
        auto achievedStretch = [&](double f) {
            const double pass = std::max(passGain(f), kMinGain);
            const double withBand = std::log2(pass) + 0.5 * std::log2(midPowerResponse(first.c0, first.c1, first.c2, f));
            return std::log2(pass) / withBand;
        };
        double x = std::log2(fn);
        double lo = kStretchLowOctave;
        double hi = kStretchHighOctave;
        for (int step = 0; step < kStretchBisectionSteps; ++step) {
            const double difference =
                achievedStretch(std::exp2(x / kStretchProbe)) - achievedStretch(std::exp2(kStretchProbe * x));
            if (difference <= 0.0) {
                hi = x;
                x = 0.5 * (lo + x);
            } else {
                lo = x;
                x = 0.5 * (x + hi);
            }
        }
        const double fStar = std::exp2(x);
        gm = midBandGain(passGain(fStar), p.midStretch);
        midCoefficients(gm, p.midQ, omega, r);
        r.realisedCenter = fStar * fs;
    }
    return r;
}

namespace {

// ---- lengths and taps ----

void cookLineGeometry(EngineState& s, const ProgramRecord& r) {
    for (int i = 0; i < kLines; ++i) {
        const double units = recordValue(r, word::delayLength + i, kInitDelayLength);
        s.lineLengthUnits[i] = static_cast<float>(clampFinite(units, kMinLengthUnits, kCoefficientLimit));
        s.tap3Fraction[i] = static_cast<float>(clampFinite(recordValue(r, word::tap3 + i, kInitTap[2][i]), 0.0, 1.0));
    }
}

bool tempoMode(uint32_t flags) { return (flags & flag::timeBaseMask) == flag::timeBaseTempo; }

// Base time T in seconds at the given tempo. In tempo mode a zero tempo (the engine never keeps
// one) would give an infinite time, which the length clamp turns into the longest line.
double baseTime(double tempo, const ProgramRecord& r, uint32_t flags) {
    if (tempoMode(flags)) {
        const double index = clampFinite(recordValue(r, word::timeBase, kInitTimeBase) + 0.5, 0.0, kNoteFractionCount - 1);
        const int n = static_cast<int>(index);
        if (!(tempo > 0.0) || !std::isfinite(tempo)) {
            return HUGE_VAL;
        }
        return kNoteFractions[n] * kSecondsPerWholeNoteAt1Bpm / tempo;
    }
    return recordValue(r, word::timeBase, kInitTimeBase);
}

// A line of `units` time-base units of t seconds, in samples (a negative time plays as 0).
double lineSamples(float units, double t, double fs) {
    const double length = static_cast<double>(units) * t * fs;
    return length >= 0.0 ? length : 0.0;
}

// Tap offset: floor(fraction * length + 0.5) limited to [lo, hi] (the upper limit wins a conflict).
uint32_t tapPosition(double fraction, double length, double lo, double hi) {
    const double n = std::floor(fraction * length + 0.5);
    return static_cast<uint32_t>(std::min(std::max(n, lo), hi));
}

void cookLengths(EngineState& s, const ProgramRecord& r, uint32_t flags, double fs) {
    s.multitap = (flags & flag::multitap) != 0;
    s.tempoSynced = tempoMode(flags);
    s.cookedTempo = s.tempo;
    const double t = baseTime(s.tempo, r, flags);
    const double slowest = baseTime(kMinTempo, r, flags);
    for (int i = 0; i < kLines; ++i) {
        const double length = lineSamples(s.lineLengthUnits[i], t, fs);
        const double room = s.tempoSynced ? std::max(lineSamples(s.lineLengthUnits[i], slowest, fs), length) : length;
        s.roomSamples[i] = static_cast<float>(std::min(room, static_cast<double>(kMaxLineSamples)));
        if (length > kMaxLineSamples) {
            s.lengthSamples[i] = static_cast<float>(kMaxLineSamples);
            s.lengthInt[i] = kMaxLineSamples;
            s.subSampleGainCooked[i] = 1.0f;
            s.fracCoef[i] = 1.0f;
        } else {
            s.lengthSamples[i] = static_cast<float>(length);
            const double whole = std::floor(length);
            if (whole >= 1.0) {
                const double f = length - whole;
                s.lengthInt[i] = static_cast<uint32_t>(whole);
                s.fracCoef[i] = static_cast<float>(clampFinite((1.0 - f) / (1.0 + f), -1.0, 1.0));
                s.subSampleGainCooked[i] = 1.0f;
            } else {
                s.lengthInt[i] = 1;
                s.fracCoef[i] = 1.0f;
                s.subSampleGainCooked[i] = static_cast<float>(std::sin(length * kSubSampleQuarterCycle));
            }
        }
        s.subSampleGain[i] = s.subSampleGainCooked[i];

        // Taps, at their fractions of the line as played (the clamped length): N1 < N2 < N3 < lengthInt.
        const uint32_t n = s.lengthInt[i];
        if (n > 2) {
            const double played = s.lengthSamples[i];
            const double top = static_cast<double>(n);
            const double t1 = recordValue(r, word::tap1 + i, kInitTap[0][i]);
            const double t2 = recordValue(r, word::tap2 + i, kInitTap[1][i]);
            const double t3 = recordValue(r, word::tap3 + i, kInitTap[2][i]);
            const uint32_t n1 = tapPosition(t1, played, 1.0, top - 3.0);
            const uint32_t n2 = tapPosition(t2, played, n1 + 1.0, top - 2.0);
            const uint32_t n3 = tapPosition(t3, played, n2 + 1.0, top - 1.0);
            s.tapOffset[0][i] = n1;
            s.tapOffset[1][i] = n2;
            s.tapOffset[2][i] = n3;
        } else {
            for (int k = 0; k < kTaps; ++k) {
                s.tapOffset[k][i] = 0;
            }
            s.multitap = false;
        }
    }
}

// ---- matrices ----

// A rotor: scalar, the six bivector components (01, 02, 03, 12, 13, 23) and the pseudoscalar 0123.
using Rotor = std::array<double, 8>;
using Bivector = std::array<double, 6>;

Rotor rotor(const Bivector& x, double angle) {
    const double c = std::cos(0.5 * angle);
    const double sn = std::sin(0.5 * angle);
    return {c, x[0] * sn, x[1] * sn, x[2] * sn, x[3] * sn, x[4] * sn, x[5] * sn, 0.0};
}

Rotor product(const Rotor& a, const Rotor& b) {
    Rotor p;
    p[0] = b[0] * a[0] - b[1] * a[1] - b[2] * a[2] - b[3] * a[3] - b[4] * a[4] - b[5] * a[5] - b[6] * a[6];
    p[1] = b[1] * a[0] + b[2] * a[4] + b[0] * a[1] + b[3] * a[5] - b[5] * a[3] - b[4] * a[2];
    p[2] = b[2] * a[0] + b[4] * a[1] + b[0] * a[2] + b[3] * a[6] - b[1] * a[4] - b[6] * a[3];
    p[3] = b[3] * a[0] + b[5] * a[1] + b[0] * a[3] + b[6] * a[2] - b[2] * a[6] - b[1] * a[5];
    p[4] = b[4] * a[0] + b[1] * a[2] + b[0] * a[4] + b[5] * a[6] - b[6] * a[5] - b[2] * a[1];
    p[5] = b[5] * a[0] + b[1] * a[3] + b[0] * a[5] + b[6] * a[4] - b[4] * a[6] - b[3] * a[1];
    p[6] = b[6] * a[0] + b[2] * a[3] + b[0] * a[6] + b[4] * a[5] - b[5] * a[4] - b[3] * a[2];
    p[7] = b[4] * a[3] + b[6] * a[1] + b[3] * a[4] + b[1] * a[6] - b[2] * a[5] - b[5] * a[2];
    return p;
}

// The rotation matrix of a rotor; m.row[i][j] is the weight of line i's signal in line j's new input.
void rotorMatrix(const Rotor& r, Matrix4& m) {
    const double a = r[0] * r[0] - r[7] * r[7];
    const double bq = r[1] * r[0] + r[7] * r[6];
    const double cm = r[2] * r[0] - r[7] * r[5];
    const double dq = r[3] * r[0] + r[4] * r[7];
    const double e = r[4] * r[0] + r[7] * r[3];
    const double f = r[5] * r[0] - r[7] * r[2];
    const double g = r[0] * r[6] + r[7] * r[1];
    const double h = r[1] * r[1] - r[6] * r[6];
    const double i = r[2] * r[1] + r[6] * r[5];
    const double j = r[3] * r[1] - r[4] * r[6];
    const double k = r[4] * r[1] - r[6] * r[3];
    const double l = r[1] * r[5] + r[6] * r[2];
    const double n = r[2] * r[2] - r[5] * r[5];
    const double o = r[3] * r[2] + r[4] * r[5];
    const double p = r[2] * r[4] + r[5] * r[3];
    const double q = r[3] * r[3] - r[4] * r[4];
    const double s = a - h;
    const double cells[4][4] = {
        {s - n - q, -2.0 * (bq + p), 2.0 * (k - cm), 2.0 * (l - dq)},
        {2.0 * (bq - p), s + n + q, -2.0 * (e + i), -2.0 * (f + j)},
        {2.0 * (cm + k), 2.0 * (e - i), a + h - n + q, -2.0 * (g + o)},
        {2.0 * (dq + l), 2.0 * (f - j), 2.0 * (g - o), a + h + n - q},
    };
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            m.row[row][col] = storeCoef(cells[row][col]);
        }
    }
}

Matrix4 identityMatrix() {
    Matrix4 m;
    for (int i = 0; i < kLines; ++i) {
        m.row[i][i] = 1.0f;
    }
    return m;
}

// Rotation by `first` radians in the plane of b and by `second` radians in its orthogonal plane.
void planeRotation(const Bivector& b, double first, double second, Matrix4& m) {
    const Bivector dual = {b[5], -b[4], b[3], b[2], -b[1], b[0]};
    rotorMatrix(product(rotor(b, first), rotor(dual, second)), m);
}

double dot(const double (&a)[kLines], const double (&b)[kLines]) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
}

// Scales a to unit length; answers false (a unchanged) when it is too short to have a direction.
bool normalise(double (&a)[kLines]) {
    const double length = std::sqrt(dot(a, a));
    if (!(length > kMinVectorLength)) {
        return false;
    }
    for (double& x : a) {
        x /= length;
    }
    return true;
}

// The plane of the rotations as an orthonormal pair. The editor keeps u and v so; a chunk may carry
// any numbers, and vectors that are not unit length or not orthogonal make the rotor's matrix scale
// the signal on every pass, so that the network grows until it is not finite. u is scaled to unit
// length and v made orthogonal to it (Gram-Schmidt); a vector without direction falls back to the
// Init program's, and a v along u to the axis least along u.
void orthonormalPlane(double (&u)[kLines], double (&v)[kLines]) {
    if (!normalise(u)) {
        std::copy(std::begin(kInitU), std::end(kInitU), u);
        normalise(u);
    }
    auto orthogonalise = [&u](double (&a)[kLines]) {
        const double along = dot(a, u);
        for (int k = 0; k < kLines; ++k) {
            a[k] -= along * u[k];
        }
        return normalise(a);
    };
    if (orthogonalise(v)) {
        return;
    }
    int axis = 0;
    for (int k = 1; k < kLines; ++k) {
        if (std::fabs(u[k]) < std::fabs(u[axis])) {
            axis = k;
        }
    }
    std::fill(std::begin(v), std::end(v), 0.0);
    v[axis] = 1.0;
    orthogonalise(v);  // |u[axis]| <= 1/2, so this v keeps a direction
}

void cookMatrices(EngineState& s, const ProgramRecord& r, uint32_t flags) {
    double u[kLines];
    double v[kLines];
    for (int a = 0; a < kLines; ++a) {
        u[a] = clampFinite(recordValue(r, word::vectorU + a, kInitU[a]), -kVectorLimit, kVectorLimit);
        v[a] = clampFinite(recordValue(r, word::vectorV + a, kInitV[a]), -kVectorLimit, kVectorLimit);
    }
    orthonormalPlane(u, v);
    auto wedge = [&](int a, int b) { return u[a] * v[b] - u[b] * v[a]; };
    const Bivector b = {wedge(0, 1), wedge(0, 2), wedge(0, 3), wedge(1, 2), wedge(1, 3), wedge(2, 3)};
    auto angle = [&](int w) { return recordValue(r, w, 0.0) * kDegreesToRadians; };

    planeRotation(b, angle(word::alpha), angle(word::beta), s.mainMatrix);

    if (!s.multitap) {
        return;  // the inner and cross matrices serve only the multitap network
    }
    const bool feedback = halfLifeOf(r) != 0.0;
    Matrix4 inner;
    planeRotation(b, feedback ? angle(word::phi) : 0.0, feedback ? angle(word::theta) : 0.0, inner);
    if ((flags & flag::innerFeedback) == 0) {
        inner = identityMatrix();
    }
    if (flags & flag::swapRowsColumns) {
        std::swap(inner.row[1], inner.row[3]);
        for (int row = 0; row < kLines; ++row) {
            std::swap(inner.row[row][1], inner.row[row][3]);
        }
    }
    for (int i = 0; i < kLines; ++i) {
        s.innerMatrix[i] = inner;
    }
    s.crossMatrix = (flags & flag::crossMixing) ? s.mainMatrix : identityMatrix();
}

// ---- filters and decay ----

void setSegment(EngineState& s, int k, int i, const SegmentFilter& f) {
    s.segmentGainCooked[k][i] = storeCoef(f.gain);
    s.highcutPole[k][i] = storeCoef(f.pole);
    s.highcutBlend[k][i] = storeCoef(f.blend);
    s.lowcutCoef[k][i] = storeCoef(f.lowcut);
    s.midC0[k][i] = storeCoef(f.c0);
    s.midC1[k][i] = storeCoef(f.c1);
    s.midC2[k][i] = storeCoef(f.c2);
}

// A segment without decay or filtering: gain g, V = 1, h = 1, l = 0, mid band off.
SegmentFilter neutralSegment(double g) {
    SegmentFilter f;
    f.gain = g;
    return f;
}

void cookFilters(EngineState& s, const ProgramRecord& r, uint32_t flags, double fs) {
    const double halfLife = halfLifeOf(r);
    const bool filtersBeforeOutput = (flags & flag::filtersBeforeOutput) != 0;
    const LoopFilterSettings settings = filterSettingsOf(r, fs);
    s.midCenterRealised = static_cast<float>(settings.midCenter);

    if (halfLife == 0.0) {
        s.decayActive = false;
        for (int i = 0; i < kLines; ++i) {
            for (int k = 0; k < kSegments; ++k) {
                setSegment(s, k, i, neutralSegment(k == 0 ? 0.0 : 1.0));
            }
        }
    } else {
        for (int i = 0; i < kLines; ++i) {
            if (s.freeze) {
                for (int k = 0; k < kSegments; ++k) {
                    setSegment(s, k, i, neutralSegment(1.0));
                }
                continue;
            }
            // Pass gain: the signal halves every `halfLife` time-base units. A zero or negative line
            // scale gives no feedback on that line.
            const double scale = recordValue(r, word::decayScale + i, kInitDecayScale);
            const double g = scale > 0.0 ? std::exp2(-s.lineLengthUnits[i] / (scale * halfLife)) : 0.0;

            double parts[kSegments] = {1.0, 0.0, 0.0, 0.0};
            if (s.multitap) {
                const double t1 = clampFinite(recordValue(r, word::tap1 + i, kInitTap[0][i]), 0.0, 1.0);
                const double t2 = clampFinite(recordValue(r, word::tap2 + i, kInitTap[1][i]), 0.0, 1.0);
                const double t3 = s.tap3Fraction[i];
                parts[0] = std::max(1.0 - t3, kMinSegmentPart);
                parts[1] = std::max(t1, kMinSegmentPart);
                parts[2] = std::max(t2 - t1, kMinSegmentPart);
                parts[3] = std::max(t3 - t2, kMinSegmentPart);
            }
            for (int k = 0; k < kSegments; ++k) {
                if (k == 0 || s.multitap) {
                    const SegmentFilter f = designSegmentFilter(std::pow(g, parts[k]), settings);
                    setSegment(s, k, i, f);
                    if (i == 0 && k == 0) {
                        s.midCenterRealised = static_cast<float>(f.realisedCenter);
                    }
                } else {
                    setSegment(s, k, i, neutralSegment(1.0));
                }
            }
        }
        s.decayActive = true;
    }

    // Inverter: also used without feedback when the filters sit before the output.
    const double inverter = std::max(recordValue(r, word::inverter, kInitOff), 0.0);
    s.inverterBase =
        (halfLife != 0.0 || filtersBeforeOutput) && inverter < kOffFrequency ? static_cast<float>(inverter / fs) : 0.0f;

    if (halfLife == 0.0 && !filtersBeforeOutput) {
        return;  // the saturator is out of the signal path: its values stay as the last cook left them
    }

    // Saturator. A negative drive plays as 0 (no saturator).
    const double drive = clampFinite(recordValue(r, word::drive, 0.0), 0.0, kMaxDrive);
    const double overunity = clampFinite(recordValue(r, word::overunity, 0.0), 0.0, kMaxOverunity);
    double m = 1.0 + overunity;
    if (halfLife > 0.0) {
        m = std::pow(std::max(static_cast<double>(s.segmentGainCooked[0][0]), kMinGain), -overunity);
    }
    m = std::min(m, kMaxOverunityGain);
    const double post = drive > 0.0 ? m / drive : m;
    s.saturatorActive = drive > 0.0;
    for (int i = 0; i < kLines; ++i) {
        s.drive[i] = static_cast<float>(drive);
        s.postGain[i] = storeCoef(post);
    }
    s.lastDrive = static_cast<float>(drive);
    s.emphasisMode = flags & flag::emphasisMask;
}

// ---- modulation ----

bool lfoUsed(const ProgramRecord& r, int k) {
    return lfoField(r, k, lfo::delayDepth, 0.0) != 0.0 || lfoField(r, k, lfo::decayDepth, 0.0) != 0.0 ||
           lfoField(r, k, lfo::levelDepth, 0.0) != 0.0 || lfoField(r, k, lfo::inverterDepth, 0.0) != 0.0;
}

// The period an LFO actually runs at: LFO2 with a negative period runs on LFO1's phase; a period
// below 1 ms runs at 1 ms.
double runningLfoPeriod(const ProgramRecord& r, int k) {
    double period = lfoField(r, k, lfo::period, kInitLfoPeriod);
    if (k == 1 && period < 0.0) {
        period = lfoField(r, 0, lfo::period, kInitLfoPeriod);
    }
    return std::max(period, kMinLfoPeriod);
}

// Depth relative to a line of `units` time-base units, limited to +-limit.
double relativeDepth(double depth, double units, double limit) {
    if (depth == 0.0) {
        return 0.0;
    }
    if (!(units > 0.0)) {
        return std::copysign(limit, depth);
    }
    return clampFinite(depth / units, -limit, limit);
}

}  // namespace

LfoShapeSettings lfoShapeOf(const ProgramRecord& r, int lfoIndex) {
    const int k = lfoIndex == 0 ? 0 : 1;
    auto depth = [&](int offset) { return clampFinite(lfoField(r, k, offset, 0.0), -kDepthLimit, kDepthLimit); };
    LfoShapeSettings shape;
    shape.shape = static_cast<int32_t>(r.u((k == 0 ? word::lfo1 : word::lfo2) + lfo::shape));
    shape.spread = static_cast<float>(depth(lfo::spread) * kPercent);
    shape.shift = static_cast<float>(depth(lfo::shift) * kShiftDegreesToRadians);
    return shape;
}

DynamicsCurve dynamicsCurveOf(const ProgramRecord& r, int section) {
    const bool decay = section == kDynamicsDecay;
    const DynamicsConstants c = dynamicsConstants(ratioOf(r, decay ? word::decaySlope : word::outputRatio),
                                                  thresholdOf(r, decay ? word::decayThreshold : word::outputThreshold));
    DynamicsCurve curve;
    curve.k = c.k;
    curve.thresholdLevel = c.level;
    if (decay) {
        curve.support = clampFinite(recordValue(r, word::support, 0.0), 0.0, 1.0);
    } else {
        curve.gain = clampFinite(recordValue(r, word::outGain, kInitOutGain), 0.0, kMaxOutGain);
    }
    return curve;
}

namespace {

void cookModulation(EngineState& s, const ProgramRecord& r, const CookRequest& request, double fs) {
    const double attack = envelopeTimeOf(r, word::attack, kInitAttack);
    const double release = envelopeTimeOf(r, word::release, kInitRelease);
    s.attackCoef = static_cast<float>(-std::expm1(-std::log(2.0) / (attack * fs)));
    s.releaseCoef = static_cast<float>(-std::expm1(-std::log(2.0) / (release * fs)));

    if (request.modulationChanged) {
        double period = nearest(kControlPeriodSeconds * fs);
        bool modulated = false;
        for (int k = 0; k < kLfos; ++k) {
            if (lfoUsed(r, k)) {
                period = std::min(period, nearest(runningLfoPeriod(r, k) * fs / kUpdatesPerLfoCycle + 1.0));
                modulated = true;
            }
        }
        const double slope = ratioOf(r, word::decaySlope);
        const double ratio = ratioOf(r, word::outputRatio);
        if (recordValue(r, word::envDelayDepth, 0.0) != 0.0 || recordValue(r, word::envInverterDepth, 0.0) != 0.0 ||
            slope != 1.0 || ratio != 1.0) {
            period = std::min({period, nearest(attack * fs * 0.5 + 1.0), nearest(release * fs * 0.5 + 1.0)});
            modulated = true;
        }
        s.controlPeriod = static_cast<uint32_t>(clampFinite(period, 1.0, kRingWords));
        s.modulated = modulated;
        s.smooth = static_cast<float>(-std::expm1(-2.0 / s.controlPeriod * std::log(2.0)));

        for (int k = 0; k < kLfos; ++k) {
            const double lfoPeriod = lfoField(r, k, lfo::period, kInitLfoPeriod);
            s.phaseInc[k] = (k == 1 && lfoPeriod < 0.0)
                                ? -1.0f
                                : static_cast<float>(kTwoPi / (std::max(lfoPeriod, kMinLfoPeriod) * fs));
            const LfoShapeSettings shape = lfoShapeOf(r, k);
            s.shape[k] = shape.shape;
            s.spread[k] = shape.spread;
            s.shift[k] = shape.shift;
            auto depth = [&](int offset) { return clampFinite(lfoField(r, k, offset, 0.0), -kDepthLimit, kDepthLimit); };
            s.decayDepth[k] = static_cast<float>(depth(lfo::decayDepth) * kPercent);
            s.outputDepth[k] = static_cast<float>(
                clampFinite(depth(lfo::levelDepth), -kMaxOutputDepthPercent, kMaxOutputDepthPercent) * kPercent);
            s.inverterDepth[k] = static_cast<float>(std::log2(1.0 + std::max(depth(lfo::inverterDepth), kMinInverterDepth)));
        }
        const double envInverter = clampFinite(recordValue(r, word::envInverterDepth, 0.0), -kDepthLimit, kDepthLimit);
        s.envInverterDepth = static_cast<float>(std::copysign(std::log2(1.0 + std::fabs(envInverter)), envInverter));

        const DynamicsConstants decay = dynamicsConstants(slope, thresholdOf(r, word::decayThreshold));
        s.decayK = static_cast<float>(decay.k);
        s.decayT = storeCoef(decay.threshold);
        s.decayThresholdLevel = static_cast<float>(decay.level);
        const DynamicsConstants output = dynamicsConstants(ratio, thresholdOf(r, word::outputThreshold));
        s.outputK = static_cast<float>(output.k);
        s.outputT = storeCoef(output.threshold);
        s.outputThresholdLevel = static_cast<float>(output.level);
        s.support = static_cast<float>(clampFinite(recordValue(r, word::support, 0.0), 0.0, 1.0));
    }

    if (request.lengthsChanged || request.modulationChanged) {
        const double envDepth = clampFinite(recordValue(r, word::envDelayDepth, 0.0), -kDepthLimit, kDepthLimit);
        for (int i = 0; i < kLines; ++i) {
            // In multitap mode only the last segment is modulated: the depth is relative to it.
            double units = s.lineLengthUnits[i];
            if (s.multitap) {
                units *= 1.0 - s.tap3Fraction[i];
            }
            for (int k = 0; k < kLfos; ++k) {
                const double depth = clampFinite(lfoField(r, k, lfo::delayDepth, 0.0), -kDepthLimit, kDepthLimit);
                s.delayDepth[k][i] = static_cast<float>(relativeDepth(depth * kPercent, units, 1.0));
            }
            s.envDelayDepth[i] = static_cast<float>(relativeDepth(envDepth * kPercent, units, kMaxEnvDelayDepth));
        }
    }
}

// ---- gains ----

// The vector of line i at `first` (left, right), scaled down into the unit circle when longer.
struct Pair {
    double left, right;
};
Pair vectorOf(const ProgramRecord& r, int first, int line) {
    const int w = first + 2 * line;
    Pair p{recordValue(r, w, kInitVectors[2 * line]), recordValue(r, w + 1, kInitVectors[2 * line + 1])};
    const double length = std::hypot(p.left, p.right);
    if (length > kMaxVectorLength) {
        p.left *= kMaxVectorLength / length;
        p.right *= kMaxVectorLength / length;
    }
    return p;
}

void cookGains(EngineState& s, const ProgramRecord& r, uint32_t flags) {
    double wet = 0.0;
    if (s.bypass) {
        s.dryGain = 1.0f;
    } else {
        const double makeUp = saturatorMakeUpGain(std::max(static_cast<double>(s.lastDrive), 0.0));
        const double wetPercent = clampFinite(recordValue(r, word::wet, 0.0), 0.0, kMaxWetPercent);
        const double outGain = clampFinite(recordValue(r, word::outGain, kInitOutGain), 0.0, kMaxOutGain);
        wet = makeUp * wetPercent * outGain * kWetScale;
        s.dryGain = storeCoef(kPercent * clampFinite(recordValue(r, word::dry, kInitDry), 0.0, kMaxDryPercent));
    }
    const double input = clampFinite(recordValue(r, word::inputGain, kInitInputGain), -kMaxInputGain, kMaxInputGain);
    for (int i = 0; i < kLines; ++i) {
        const Pair in = vectorOf(r, word::inputVectors, i);
        const Pair out = vectorOf(r, word::outputVectors, i);
        s.inputGainL[i] = storeCoef(in.left * input);
        s.inputGainR[i] = storeCoef(in.right * input);
        s.outputGainL[i] = storeCoef(out.left * wet);
        s.outputGainR[i] = storeCoef(out.right * wet);
    }
    const bool taps = (flags & flag::tapOutputs) != 0;
    for (int k = 0; k < kTaps; ++k) {
        const float level = taps ? storeCoef(clampFinite(recordValue(r, word::tapLevel + k, 0.0), 0.0, kMaxTapLevel)) : 0.0f;
        for (int i = 0; i < kLines; ++i) {
            s.tapLevel[k][i] = level;
        }
    }
}

void snapSmoothed(EngineState& s) {
    s.outGainL = s.outTargetL;
    s.outGainR = s.outTargetR;
    for (int k = 0; k < kSegments; ++k) {
        s.segmentGain[k] = s.segmentGainTarget[k];
    }
    s.highcutBlendNow = s.highcutBlendTarget;
    s.inverterCoef = s.inverterTarget;
}

}  // namespace

// ---- ring layout ----

uint32_t networkStructure(const EngineState& s) {
    uint32_t bits = 0;
    bits |= s.decayActive ? structure::feedback : 0u;
    bits |= s.modulated ? structure::modulated : 0u;
    bits |= s.saturatorActive ? structure::saturator : 0u;
    bits |= s.multitap ? structure::multitap : 0u;
    bits |= s.filtersBeforeOutput ? structure::filtersBeforeOutput : 0u;
    return bits;
}

void layoutRing(EngineState& s, float* ring, bool resetPositions) {
    uint32_t need[kLines];
    uint64_t total = 0;
    for (int i = 0; i < kLines; ++i) {
        // Room for the longest the modulation can make the line; a negative envelope depth only shortens it.
        const double swing = 1.0 + std::fabs(s.delayDepth[0][i]) + std::fabs(s.delayDepth[1][i]) +
                             std::max(static_cast<double>(s.envDelayDepth[i]), 0.0);
        const double extent = std::ceil(swing * s.roomSamples[i]);
        need[i] = extent <= kMaxNeed ? static_cast<uint32_t>(std::max(extent, 0.0)) : kClampedNeed;
        total += need[i] + 2u;  // a clamped line takes 131072 words
    }
    uint32_t size = 1;
    while (size < total) {
        size <<= 1;
    }

    uint32_t distance[kLines];
    for (int i = 0; i < kLines; ++i) {
        distance[i] = s.ringSize != 0 ? (s.writeIndex[i] - s.readIndex[i]) & s.ringMask[i] : s.lengthInt[i];
    }

    bool cleared = false;
    uint32_t base = s.writeIndex[0];
    if (size != s.ringSize) {
        if (ring != nullptr) {
            std::memset(ring, 0, sizeof(float) * kRingWords);
        }
        s.ringSize = size;
        for (int i = 0; i < kLines; ++i) {
            s.ringMask[i] = size - 1;
        }
        base = 0;
        cleared = true;
    }
    const uint32_t mask = size - 1;
    for (int i = 0; i < kLines; ++i) {
        s.writeIndex[i] = base & mask;
        if (resetPositions) {
            s.readIndex[i] = (base - std::min(s.lengthInt[i], kMaxReadDistance)) & mask;
            s.readFrac[i] = 0.0f;
            s.readStep[i] = 0.0f;
        } else {
            // The memory was just cleared: there is nothing to keep, so stay inside the line's own room.
            const uint32_t kept = cleared ? std::min(distance[i], need[i]) : distance[i];
            s.readIndex[i] = (base - kept) & mask;
        }
        base = (base - 2u - need[i]) & mask;
    }
}

// ---- cook and reset ----

void cookProgram(EngineState& s, float* ring, const ProgramRecord& record, const CookRequest& request) {
    CookFpScope fpState;  // the coefficients must not depend on the calling thread's state
    const double fs = sampleRateOf(s);
    const uint32_t flags = record.u(word::flags);
    s.freeze = request.freeze;
    s.bypass = request.bypass;

    cookLineGeometry(s, record);
    if (request.lengthsChanged) {
        cookLengths(s, record, flags, fs);
    }
    cookMatrices(s, record, flags);
    cookFilters(s, record, flags, fs);
    cookModulation(s, record, request, fs);
    cookGains(s, record, flags);
    if (request.lengthsChanged || request.modulationChanged) {
        layoutRing(s, ring, !s.modulated);
    }
    s.filtersBeforeOutput = (flags & flag::filtersBeforeOutput) != 0;

    // Targets as an unmodulated program has them, so that it plays right away; a modulated program
    // replaces them at its next control period and keeps its read-position glide meanwhile.
    const Lanes readStep = s.readStep;
    const Lanes subSampleGain = s.subSampleGain;
    setUnmodulatedTargets(s);
    if (s.modulated) {
        s.readStep = readStep;
        s.subSampleGain = subSampleGain;
    }
    // The very first program starts at its values instead of gliding up from zero; later cooks glide.
    if (!s.smoothedPrimed) {
        snapSmoothed(s);
        s.smoothedPrimed = true;
    }
}

void resetEngine(EngineState& s, float* ring) {
    if (ring != nullptr) {
        std::memset(ring, 0, sizeof(float) * kRingWords);
    }
    for (int k = 0; k < kSegments; ++k) {
        s.highcutState[k] = Lanes{};
        s.lowcutState[k] = Lanes{};
        s.midS1[k] = Lanes{};
        s.midS2[k] = Lanes{};
        s.midPrev[k] = Lanes{};
    }
    s.emphIn = Lanes{};
    s.emphOut = Lanes{};
    s.interpState = Lanes{};
    s.inverterState = Lanes{};
    s.envelope = 0.0f;
    layoutRing(s, ring, true);
    // After a reset everything starts from silence: the smoothed gains need no glide either.
    if (s.smoothedPrimed) {
        snapSmoothed(s);
    }
}

void restartModulation(EngineState& s) {
    for (int k = 0; k < kLfos; ++k) {
        s.phase[k] = 0.0f;
        s.holdA[k] = 0.0f;
        s.holdB[k] = 0.0f;
        s.noise[k] = 0.0f;
    }
    s.envelope = 0.0f;
    s.controlCountdown = 0;  // the next sample starts a control period
    s.periodSamples = 0;
    if (!s.smoothedPrimed) {
        return;  // nothing cooked yet: the first cook sets the targets and the smoothed gains
    }
    // The targets of phase 0 (the update at the next sample computes the same ones), taken at once.
    if (s.modulated) {
        controlUpdate(s, false, false);
    } else {
        setUnmodulatedTargets(s);
    }
    snapSmoothed(s);
}

// ---- tempo changes ----

namespace {

// One read position that jumps: the `count` words from `from` on are what it would have read, those
// from `to` on what it will read; the latter are rewritten to fade from the one to the other.
struct Jump {
    uint32_t from = 0, to = 0, count = 0;
};

// The fade of one line's jumps. All windows are read before any is written, as they may overlap.
void fadeJumps(float* ring, uint32_t mask, const Jump* jumps, int count) {
    float before[kSegments][kMaxJumpFade];
    float after[kSegments][kMaxJumpFade];
    for (int j = 0; j < count; ++j) {
        for (uint32_t m = 0; m < jumps[j].count; ++m) {
            before[j][m] = ring[(jumps[j].from + m) & mask];
            after[j][m] = ring[(jumps[j].to + m) & mask];
        }
    }
    for (int j = 0; j < count; ++j) {
        const float step = 1.0f / static_cast<float>(jumps[j].count + 1);
        for (uint32_t m = 0; m < jumps[j].count; ++m) {
            const float x = static_cast<float>(m + 1) * step;
            ring[(jumps[j].to + m) & mask] = before[j][m] + (after[j][m] - before[j][m]) * x;
        }
    }
}

// The words before a position that are still the old network's, or will not be overwritten
// before they are read: a segment's length. Fades longer than it would mix in stale or new data.
uint32_t fadeLength(uint32_t limit, uint32_t oldSegment, uint32_t newSegment) {
    return std::min({limit, oldSegment, newSegment});
}

}  // namespace

void retuneProgram(EngineState& s, float* ring, const ProgramRecord& record, const CookRequest& request) {
    CookFpScope fpState;
    const uint32_t oldRingSize = s.ringSize;
    const bool oldMultitap = s.multitap;
    const LaneIndices oldRead = s.readIndex;
    const LaneIndices oldWrite = s.writeIndex;
    LaneIndices oldTap[kTaps];
    for (int k = 0; k < kTaps; ++k) {
        oldTap[k] = s.tapOffset[k];
    }
    // The modulation keeps its targets: only lengths depend on the tempo.
    const Lanes outTargetL = s.outTargetL, outTargetR = s.outTargetR;
    const Lanes blendTarget = s.highcutBlendTarget, inverterTarget = s.inverterTarget;
    Lanes segmentTarget[kSegments];
    for (int k = 0; k < kSegments; ++k) {
        segmentTarget[k] = s.segmentGainTarget[k];
    }

    CookRequest lengths = request;
    lengths.lengthsChanged = true;
    lengths.modulationChanged = false;
    cookProgram(s, ring, record, lengths);

    if (s.modulated) {
        s.outTargetL = outTargetL;
        s.outTargetR = outTargetR;
        s.highcutBlendTarget = blendTarget;
        s.inverterTarget = inverterTarget;
        for (int k = 0; k < kSegments; ++k) {
            s.segmentGainTarget[k] = segmentTarget[k];
        }
    }
    if (ring == nullptr || s.ringSize != oldRingSize) {
        return;  // the memory was laid out anew: nothing to fade
    }

    const double fs = sampleRateOf(s);
    const uint32_t limit = std::min(kMaxJumpFade, static_cast<uint32_t>(nearest(kJumpFadeSeconds * fs)));
    for (int i = 0; i < kLines; ++i) {
        if (s.writeIndex[i] != oldWrite[i]) {
            continue;  // the line moved (it cannot for a synced program): its old data is elsewhere
        }
        const uint32_t mask = s.ringMask[i];
        const uint32_t write = s.writeIndex[i];
        Jump jumps[kSegments];
        int count = 0;
        // The last segment ends at the read position (for a line without taps, the whole line).
        const uint32_t oldLast = oldMultitap ? oldTap[kTaps - 1][i] : 0;
        const uint32_t newLast = s.multitap ? s.tapOffset[kTaps - 1][i] : 0;
        const uint32_t oldDistance = (write - oldRead[i]) & mask;
        const uint32_t newDistance = (write - s.readIndex[i]) & mask;
        if (!s.modulated && oldDistance != newDistance && oldDistance > oldLast && newDistance > newLast) {
            jumps[count++] = {oldRead[i], s.readIndex[i], fadeLength(limit, oldDistance - oldLast, newDistance - newLast)};
        }
        if (oldMultitap && s.multitap) {
            for (int k = 0; k < kTaps; ++k) {
                const uint32_t oldOffset = oldTap[k][i];
                const uint32_t newOffset = s.tapOffset[k][i];
                if (oldOffset == newOffset) {
                    continue;
                }
                const uint32_t oldStart = k == 0 ? 0 : oldTap[k - 1][i];
                const uint32_t newStart = k == 0 ? 0 : s.tapOffset[k - 1][i];
                jumps[count++] = {(write - oldOffset) & mask, (write - newOffset) & mask,
                                  fadeLength(limit, oldOffset - oldStart, newOffset - newStart)};
            }
        }
        fadeJumps(ring, mask, jumps, count);
    }
}

}  // namespace tarsk
