// Tests of parameter cooking: lengths and taps, matrices, ring layout, loop filters, saturator and
// gains, checked as properties of the cooked network rather than by re-evaluating its formulas.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <vector>

#include "cook-test-support.h"
#include "engine/coefficients.h"
#include "engine/cook.h"
#include "engine/modulation.h"

namespace tarsk {
namespace {

using test::cooked;
using test::initRecord;
using test::kTestRate;
using test::secondsRecord;

// ---- matrices ----

using Vec4 = std::array<double, 4>;

double dot(const Vec4& a, const Vec4& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3]; }

// x M: how a signal distribution over the lines is mixed into the lines' new inputs.
Vec4 mix(const Vec4& x, const Matrix4& m) {
    Vec4 y{};
    for (int j = 0; j < 4; ++j) {
        for (int i = 0; i < 4; ++i) {
            y[j] += x[i] * m.row[i][j];
        }
    }
    return y;
}

double orthonormalError(const Matrix4& m) {
    double worst = 0.0;
    for (int a = 0; a < 4; ++a) {
        for (int b = 0; b < 4; ++b) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) {
                sum += static_cast<double>(m.row[a][k]) * m.row[b][k];
            }
            worst = std::max(worst, std::fabs(sum - (a == b ? 1.0 : 0.0)));
        }
    }
    return worst;
}

Vec4 randomUnit(std::mt19937& rng) {
    std::normal_distribution<double> n(0.0, 1.0);
    Vec4 v{n(rng), n(rng), n(rng), n(rng)};
    const double len = std::sqrt(dot(v, v));
    for (double& c : v) {
        c /= len;
    }
    return v;
}

void setVectors(ProgramRecord& r, const Vec4& u, const Vec4& v) {
    for (int a = 0; a < 4; ++a) {
        r.setF(word::vectorU + a, static_cast<float>(u[a]));
        r.setF(word::vectorV + a, static_cast<float>(v[a]));
    }
}

TEST(CookMatrices, RotationsInTheTwoPlanesAreOrthonormal) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> angle(-180.0, 180.0);
    for (int trial = 0; trial < 200; ++trial) {
        Vec4 u = randomUnit(rng);
        Vec4 v = randomUnit(rng);
        const double p = dot(u, v);
        for (int a = 0; a < 4; ++a) {
            v[a] -= p * u[a];
        }
        const double len = std::sqrt(dot(v, v));
        for (double& c : v) {
            c /= len;
        }
        ProgramRecord r = initRecord();
        r.setU(word::flags, flag::multitap | flag::innerFeedback | (trial % 2 ? flag::swapRowsColumns : 0u));
        r.setF(word::halfLife, 1.0f);
        setVectors(r, u, v);
        const double alpha = angle(rng), beta = angle(rng);
        r.setF(word::alpha, static_cast<float>(alpha));
        r.setF(word::beta, static_cast<float>(beta));
        r.setF(word::phi, static_cast<float>(angle(rng)));
        r.setF(word::theta, static_cast<float>(angle(rng)));
        const EngineState s = cooked(r);
        ASSERT_TRUE(s.multitap);
        EXPECT_LT(orthonormalError(s.mainMatrix), 1e-6) << trial;
        EXPECT_LT(orthonormalError(s.innerMatrix[2]), 1e-6) << trial;

        // alpha turns within the plane of u and v, beta within its orthogonal plane: a vector of one
        // plane keeps its plane and turns by that plane's angle.
        r.setF(word::beta, 0.0f);
        const Matrix4 m = cooked(r).mainMatrix;
        const Vec4 uTurned = mix(u, m);
        EXPECT_NEAR(dot(uTurned, u), std::cos(alpha * kPi / 180.0), 1e-5);
        EXPECT_NEAR(std::fabs(dot(uTurned, v)), std::fabs(std::sin(alpha * kPi / 180.0)), 1e-5);
        r.setF(word::alpha, 0.0f);
        r.setF(word::beta, static_cast<float>(beta));
        const Vec4 uKept = mix(u, cooked(r).mainMatrix);
        EXPECT_NEAR(dot(uKept, u), 1.0, 1e-5) << "beta leaves the u-v plane alone";
    }
}

TEST(CookMatrices, ZeroAnglesIdentityAndMultitapRouting) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> any(-1.0, 1.0);
    for (int trial = 0; trial < 20; ++trial) {
        ProgramRecord r = initRecord();
        setVectors(r, {any(rng), any(rng), any(rng), any(rng)}, {any(rng), any(rng), any(rng), any(rng)});
        const EngineState s = cooked(r);
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 4; ++j) {
                EXPECT_NEAR(s.mainMatrix.row[i][j], i == j ? 1.0 : 0.0, 1e-7);
            }
        }
    }

    // Multitap: inner = rotation with phi/theta when "Inner feedback" is on; cross = main with
    // "Cross mixing"; the swap exchanges lines 1 and 3 of the inner matrix on both sides.
    ProgramRecord r = initRecord();
    r.setF(word::halfLife, 1.0f);
    r.setF(word::alpha, 30.0f);
    r.setF(word::phi, 40.0f);
    r.setF(word::theta, 10.0f);
    r.setU(word::flags, flag::multitap | flag::innerFeedback | flag::crossMixing);
    const EngineState plain = cooked(r);
    r.setU(word::flags, flag::multitap | flag::innerFeedback | flag::crossMixing | flag::swapRowsColumns);
    const EngineState swapped = cooked(r);
    const int perm[4] = {0, 3, 2, 1};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            EXPECT_EQ(swapped.innerMatrix[1].row[perm[i]][perm[j]], plain.innerMatrix[1].row[i][j]);
            EXPECT_EQ(plain.crossMatrix.row[i][j], plain.mainMatrix.row[i][j]);
        }
    }
    EXPECT_GT(std::fabs(plain.innerMatrix[0].row[0][0] - 1.0f), 1e-3) << "phi turns the inner matrix";

    r.setU(word::flags, flag::multitap);  // no inner feedback, no cross mixing
    r.setF(word::halfLife, 0.0f);
    const EngineState off = cooked(r);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            EXPECT_EQ(off.innerMatrix[3].row[i][j], i == j ? 1.0f : 0.0f);
            EXPECT_EQ(off.crossMatrix.row[i][j], i == j ? 1.0f : 0.0f);
        }
    }
}

// ---- lengths and taps ----

TEST(CookLengths, ShortLinesCrossfadeLongLinesClampFractionsInterpolate) {
    // 0.4 samples, 10.25 samples, 200000 samples, 0.
    ProgramRecord r = test::samplesRecord({0.4f, 10.25f, 200000.0f, 0.0f});
    const EngineState s = cooked(r);
    EXPECT_EQ(s.lengthInt[0], 1u);
    EXPECT_NEAR(s.subSampleGain[0], std::sin(0.4 * kPi / 2.0), 1e-5);
    EXPECT_EQ(s.lengthInt[1], 10u);
    EXPECT_EQ(s.subSampleGain[1], 1.0f);
    // The interpolation allpass (c + z^-1) / (1 + c z^-1) delays low frequencies by (1 - c) / (1 + c).
    const double c = s.fracCoef[1];
    EXPECT_NEAR((1.0 - c) / (1.0 + c), 0.25, 1e-5);
    EXPECT_EQ(s.lengthInt[2], kMaxLineSamples);
    EXPECT_EQ(s.lengthSamples[2], static_cast<float>(kMaxLineSamples));
    EXPECT_EQ(s.fracCoef[2], 1.0f);
    // The length is at least 0.01 time-base units.
    EXPECT_NEAR(s.lengthSamples[3], 0.01, 1e-6);
    EXPECT_NEAR(s.subSampleGain[3], std::sin(0.01 * kPi / 2.0), 1e-6);

    // Four clamped lines fill the 2 MiB ring exactly.
    std::vector<float> ring(kRingWords, 1.0f);
    EngineState big = test::freshState();
    cookProgram(big, ring.data(), secondsRecord({10, 10, 10, 10}), CookRequest{});
    EXPECT_EQ(big.ringSize, kRingWords);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ((big.writeIndex[i] - big.writeIndex[(i + 1) % 4]) & big.ringMask[i], kRingWords / 4);
    }
    EXPECT_EQ(ring[12345], 0.0f) << "a new ring size clears the memory";
}

TEST(CookLengths, TempoModeAndMissingTempo) {
    ProgramRecord r = initRecord();
    r.setU(word::flags, flag::timeBaseTempo);
    r.setF(word::timeBase, 4.2f);  // index 4: a quarter note
    r.setF(word::delayLength + 1, 0.5f);
    EngineState s = test::freshState();
    s.tempo = 120.0f;
    cookProgram(s, nullptr, r, CookRequest{});
    EXPECT_NEAR(s.lengthSamples[0], 0.5 * kTestRate, 1e-3);
    EXPECT_NEAR(s.lengthSamples[1], 0.25 * kTestRate, 1e-3);
    r.setF(word::timeBase, 1.6f);  // index 2 at 90 BPM: 1/2 * 240 / 90 s
    s.tempo = 90.0f;
    cookProgram(s, nullptr, r, CookRequest{});
    EXPECT_NEAR(s.lengthSamples[0], 240.0 / 180.0 * kTestRate, 1e-2);

    s.tempo = 0.0f;  // a zero tempo (the engine keeps none): the longest line, nothing infinite
    cookProgram(s, nullptr, r, CookRequest{});
    EXPECT_EQ(s.lengthInt[0], kMaxLineSamples);
    EXPECT_TRUE(test::allFinite(s));
}

TEST(CookLengths, TempoSyncedLinesHaveRoomForEveryTempo) {
    // A quarter note on every line: 24000 samples at 120 BPM, but laid out for the slowest tempo,
    // so that no tempo change moves a line or clears the memory.
    ProgramRecord r = initRecord();
    r.setU(word::flags, flag::timeBaseTempo);
    r.setF(word::timeBase, 4.0f);
    std::vector<float> ring(kRingWords, 0.5f);
    EngineState s = test::freshState();
    cookProgram(s, ring.data(), r, CookRequest{});
    EXPECT_EQ(s.lengthInt[0], 24000u);
    EXPECT_EQ(s.ringSize, kRingWords);
    const LaneIndices write = s.writeIndex;
    ring.assign(kRingWords, 0.5f);
    for (float bpm : {kMinTempo, 61.0f, 121.0f, kMaxTempo}) {
        s.tempo = bpm;
        retuneProgram(s, ring.data(), r, CookRequest{});
        EXPECT_EQ(s.lengthInt[0], std::min(kMaxLineSamples, static_cast<uint32_t>(std::floor(60.0 / bpm * kTestRate))));
        EXPECT_EQ(s.ringSize, kRingWords) << bpm;
        for (int i = 0; i < kLines; ++i) {
            EXPECT_EQ(s.writeIndex[i], write[i]) << bpm;
        }
    }
    EXPECT_EQ(ring[12345], 0.5f);  // never cleared

    // The engine takes valid tempos only.
    Engine engine;
    for (float hostile : {0.0f, -120.0f, NAN, INFINITY, 0.5f, 5000.0f}) {
        engine.setTempo(hostile);
        EXPECT_EQ(engine.state().tempo, kDefaultTempo) << hostile;
    }
    engine.setTempo(97.0f);
    engine.setTempo(NAN);
    EXPECT_EQ(engine.state().tempo, 97.0f);
}

TEST(CookLengths, TapsArePushedApartInsideTheLine) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> fraction(-0.5f, 1.5f);
    for (int samples = 3; samples < 40; ++samples) {
        for (int trial = 0; trial < 20; ++trial) {
            const float n = static_cast<float>(samples);
            ProgramRecord r = test::samplesRecord({n + 0.25f, n + 0.25f, n + 0.5f, n + 0.75f});
            r.setU(word::flags, flag::multitap);
            for (int i = 0; i < 4; ++i) {
                const float same = fraction(rng);
                r.setF(word::tap1 + i, trial % 3 == 0 ? same : fraction(rng));
                r.setF(word::tap2 + i, trial % 3 == 0 ? same : fraction(rng));
                r.setF(word::tap3 + i, trial % 3 == 0 ? same : fraction(rng));
            }
            const EngineState s = cooked(r);
            ASSERT_TRUE(s.multitap);
            for (int i = 0; i < 4; ++i) {
                const uint32_t n1 = s.tapOffset[0][i], n2 = s.tapOffset[1][i], n3 = s.tapOffset[2][i];
                EXPECT_LT(n1, n2);
                EXPECT_LT(n2, n3);
                EXPECT_LT(n3, s.lengthInt[i]);
                if (s.lengthInt[i] > 3) {
                    EXPECT_GE(n1, 1u);
                }
            }
        }
    }
    // Taps sit at their fractions of the line; a line of two samples has no taps at all.
    ProgramRecord r = test::samplesRecord({1000, 1000, 1000, 1000});
    r.setU(word::flags, flag::multitap);
    r.setF(word::tap1, 0.25f);
    r.setF(word::tap2, 0.5f);
    r.setF(word::tap3, 0.75f);
    EngineState s = cooked(r);
    EXPECT_EQ(s.tapOffset[0][0], 250u);
    EXPECT_EQ(s.tapOffset[1][0], 500u);
    EXPECT_EQ(s.tapOffset[2][0], 750u);
    r.setF(word::delayLength + 2, 2.0f);
    EXPECT_FALSE(cooked(r).multitap);
}

// ---- ring layout ----

TEST(RingLayout, LinesGetDisjointRoomForTheirLongestModulatedLength) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> seconds(0.00001f, 3.0f);
    std::uniform_real_distribution<float> depth(0.0f, 200.0f);
    std::vector<float> ring(kRingWords);
    for (int trial = 0; trial < 50; ++trial) {
        ProgramRecord r = secondsRecord({seconds(rng), seconds(rng), seconds(rng), seconds(rng)});
        r.setF(word::lfo1 + lfo::delayDepth, trial % 2 ? depth(rng) : 0.0f);
        r.setF(word::lfo2 + lfo::delayDepth, trial % 3 ? depth(rng) : 0.0f);
        r.setF(word::envDelayDepth, trial % 5 ? depth(rng) : -depth(rng));
        EngineState s = test::freshState();
        cookProgram(s, ring.data(), r, CookRequest{});
        const uint32_t size = s.ringSize;
        ASSERT_EQ(size & (size - 1), 0u) << "power of two";
        uint64_t room = 0;
        for (int i = 0; i < 4; ++i) {
            const uint32_t spacing = (s.writeIndex[i] - s.writeIndex[(i + 1) % 4]) & (size - 1);
            const uint32_t spacingOrAll = spacing == 0 ? size : spacing;
            const double reach = std::min(
                std::ceil((1.0 + s.delayDepth[0][i] + s.delayDepth[1][i] + std::max(0.0f, s.envDelayDepth[i])) *
                          s.lengthSamples[i]),
                131070.0);
            EXPECT_GE(spacingOrAll, reach + 2.0) << "line " << i << " trial " << trial;
            EXPECT_EQ((s.writeIndex[i] - s.readIndex[i]) & s.ringMask[i], std::min(s.lengthInt[i], 131070u));
            room += static_cast<uint64_t>(reach) + 2;
        }
        EXPECT_GE(size, room);
        EXPECT_LT(size / 2, room) << "the smallest power of two";
    }

    // Same layout again: the memory is kept. A modulated program keeps each write-to-read distance.
    ProgramRecord r = secondsRecord({0.1f, 0.2f, 0.3f, 0.4f});
    r.setF(word::lfo1 + lfo::delayDepth, 1.0f);
    EngineState s = test::freshState();
    cookProgram(s, ring.data(), r, CookRequest{});
    ASSERT_TRUE(s.modulated);
    std::fill(ring.begin(), ring.end(), 0.5f);
    s.readIndex[2] = (s.writeIndex[2] - 777u) & s.ringMask[2];
    cookProgram(s, ring.data(), r, CookRequest{});
    EXPECT_EQ(ring[1000], 0.5f);
    EXPECT_EQ((s.writeIndex[2] - s.readIndex[2]) & s.ringMask[2], 777u);
    resetEngine(s, ring.data());
    EXPECT_EQ(ring[1000], 0.0f);
    EXPECT_EQ((s.writeIndex[2] - s.readIndex[2]) & s.ringMask[2], s.lengthInt[2]);
}

// ---- loop filters ----

// The high cut's response g h / (1 - (1 - h) z^-1), from the loop's difference equation.
double highcutPass(const EngineState& s, int k, double f) {
    const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * f / kTestRate);
    const double h = s.highcutBlend[k][0];
    return std::abs(s.segmentGainCooked[k][0] * h / (1.0 - (1.0 - h) * z1));
}

// Steady-state gain of the mid stage, run sample by sample on a sine at f.
double midStageGain(const EngineState& s, double f, int samples = 200000) {
    const double c0 = s.midC0[0][0], c1 = s.midC1[0][0], c2 = s.midC2[0][0];
    double s1 = 0, s2 = 0, prev = 0, in = 0, out = 0;
    for (int n = 0; n < samples; ++n) {
        const double x = std::sin(2.0 * kPi * f * n / kTestRate);
        const double v = ((x + prev) - s1) * c0 - c1 * s2 + s2;
        s2 = v;
        s1 += v;
        prev = x;
        if (n >= samples / 2) {
            in += x * x;
            out += (x + v * c2) * (x + v * c2);
        }
    }
    return std::sqrt(out / in);
}

TEST(CookFilters, HalfLifeAndCornersReferToTheWholePass) {
    for (float halfLife : {0.3f, 2.0f, 20.0f}) {
        ProgramRecord r = secondsRecord({0.05f, 0.05f, 0.05f, 0.05f});
        r.setF(word::halfLife, halfLife);
        r.setF(word::lowcut, 2.0f);
        EngineState s = cooked(r);
        ASSERT_TRUE(s.decayActive);
        // Off settings: no filtering, and the signal halves every half life.
        EXPECT_EQ(s.highcutPole[0][0], 1.0f);
        EXPECT_EQ(s.highcutBlend[0][0], 1.0f);
        EXPECT_EQ(s.lowcutCoef[0][0], 0.0f);
        EXPECT_EQ(s.midC2[0][0], 0.0f) << "Mid Stretch 1";
        EXPECT_NEAR(std::pow(s.segmentGainCooked[0][0], halfLife / 0.05), 0.5, 1e-5);

        // High cut at fc: one pass at fc loses twice what it loses at low frequencies (half the half life).
        for (float fc : {200.0f, 800.0f, 2000.0f}) {
            r.setF(word::highcut, fc);
            s = cooked(r);
            const double g = s.segmentGainCooked[0][0];
            EXPECT_NEAR(highcutPass(s, 0, 0.0), g, 1e-6 * g);
            EXPECT_NEAR(std::log(highcutPass(s, 0, fc)) / std::log(g), 2.0, 0.01) << fc << " " << halfLife;
        }
        r.setF(word::highcut, 50001.0f);

        // Low cut at fc: the filter stage takes as much as one pass of decay at fc; the gain is raised so
        // that well above the corner the pass still decays at the half life.
        for (float fc : {50.0f, 200.0f}) {
            r.setF(word::lowcut, fc);
            s = cooked(r);
            const double l = s.lowcutCoef[0][0];
            const double g = s.segmentGainCooked[0][0] / (1.0 + 0.5 * l);
            const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * fc / kTestRate);
            const double stage = std::abs((1.0 - l) * (1.0 - z1) / (1.0 - (1.0 - l) * z1));
            EXPECT_NEAR(stage, g, 0.002) << fc << " " << halfLife;
            const std::complex<double> zq = std::polar(1.0, -kPi / 2.0);
            const double high = s.segmentGainCooked[0][0] * std::abs((1.0 - l) * (1.0 - zq) / (1.0 - (1.0 - l) * zq));
            EXPECT_NEAR(high / g, 1.0, 0.01);
        }
        r.setF(word::lowcut, 2.0f);

        // Mid band with stretch 0.5: the half life at the centre is half that of the rest of the loop.
        r.setF(word::midCenter, 1000.0f);
        r.setF(word::midStretch, 0.5f);
        s = cooked(r);
        const double g = s.segmentGainCooked[0][0];
        EXPECT_NEAR(std::log(g * midStageGain(s, 1000.0)) / std::log(g), 2.0, 0.01);
        EXPECT_NEAR(midStageGain(s, 20.0), 1.0, 0.01) << "the band leaves other frequencies alone";
    }

    // A stretching band on the slope of a high cut is re-centred and reaches about the requested stretch.
    ProgramRecord r = secondsRecord({0.05f, 0.05f, 0.05f, 0.05f});
    r.setF(word::halfLife, 1.0f);
    r.setF(word::lowcut, 2.0f);
    r.setF(word::highcut, 3000.0f);
    r.setF(word::midCenter, 1000.0f);
    r.setF(word::midStretch, 4.0f);
    const EngineState s = cooked(r);
    EXPECT_GT(s.midCenterRealised, 900.0f);
    EXPECT_LT(s.midCenterRealised, 1100.0f);
    double peak = 0.0;
    for (double f = 500.0; f < 2000.0; f *= 1.01) {
        const double pass = highcutPass(s, 0, f);
        peak = std::max(peak, std::log(pass) / std::log(pass * midStageGain(s, f, 40000)));
    }
    EXPECT_NEAR(peak, 4.0, 0.1);
}

TEST(CookFilters, FreezeZeroHalfLifeAndSegments) {
    ProgramRecord r = secondsRecord({0.05f, 0.06f, 0.07f, 0.08f});
    r.setU(word::flags, flag::multitap);
    r.setF(word::halfLife, 1.0f);
    r.setF(word::highcut, 1000.0f);
    r.setF(word::midStretch, 3.0f);
    CookRequest freeze;
    freeze.freeze = true;
    EngineState s = cooked(r, freeze);
    EXPECT_TRUE(s.decayActive);
    for (int k = 0; k < 4; ++k) {
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(s.segmentGainCooked[k][i], 1.0f);
            EXPECT_EQ(s.highcutBlend[k][i], 1.0f);
            EXPECT_EQ(s.lowcutCoef[k][i], 0.0f);
            EXPECT_EQ(s.midC2[k][i], 0.0f);
        }
    }

    // The four segments' gains multiply to one pass of the whole line.
    r.setF(word::lowcut, 0.0f);
    const EngineState plain = cooked(r);
    for (int i = 0; i < 4; ++i) {
        const double product = plain.segmentGainCooked[0][i] * plain.segmentGainCooked[1][i] *
                               plain.segmentGainCooked[2][i] * plain.segmentGainCooked[3][i];
        EXPECT_NEAR(product, std::exp2(-(0.05 + 0.01 * i) / 1.0), 1e-5);
    }

    r.setF(word::halfLife, 0.0f);
    s = cooked(r);
    EXPECT_FALSE(s.decayActive);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(s.segmentGainCooked[0][i], 0.0f);
        EXPECT_EQ(s.segmentGainCooked[2][i], 1.0f);
    }
    EXPECT_EQ(s.inverterBase, 0.0f);
}

// ---- saturator and gains ----

TEST(CookGains, SaturatorMakeUpBypassAndVectors) {
    ProgramRecord r = secondsRecord({0.05f, 0.05f, 0.05f, 0.05f});
    r.setF(word::halfLife, 0.7f);
    r.setF(word::lowcut, 300.0f);
    r.setF(word::drive, 0.0f);
    for (uint32_t emphasis : {0x000u, 0x100u, 0x200u, 0x300u}) {
        r.setU(word::flags, emphasis);
        EXPECT_FALSE(cooked(r).saturatorActive) << emphasis;
    }
    // Overunity 1: small signals pass line 1's main segment and the saturator at exactly unity gain.
    r.setF(word::drive, 4.0f);
    r.setF(word::overunity, 1.0f);
    EngineState s = cooked(r);
    EXPECT_TRUE(s.saturatorActive);
    auto sat = [](double p) { return p * (p * p + 27.0) / (9.0 * p * p + 27.0); };
    const double slope = (sat(1e-6) - sat(-1e-6)) / 2e-6;
    EXPECT_NEAR(s.postGain[0] * slope * s.drive[0] * s.segmentGainCooked[0][0], 1.0, 1e-6);

    // Without feedback and with the filters after the output the saturator keeps its last values.
    r.setF(word::halfLife, 0.0f);
    r.setF(word::drive, 0.0f);
    cookProgram(s, nullptr, r, CookRequest{});
    EXPECT_TRUE(s.saturatorActive);
    EXPECT_EQ(s.drive[0], 4.0f);
    r.setU(word::flags, flag::filtersBeforeOutput);
    cookProgram(s, nullptr, r, CookRequest{});
    EXPECT_FALSE(s.saturatorActive);
    EXPECT_TRUE(s.filtersBeforeOutput);

    // Gains: wet 100 % with Out Gain 1 gives each output vector half weight, dry 100 % is unity.
    r = initRecord();
    r.setF(word::wet, 100.0f);
    r.setF(word::dry, 50.0f);
    r.setF(word::inputGain, 2.0f);
    r.setF(word::outputVectors + 2, 0.6f);
    r.setF(word::outputVectors + 3, 0.8f);
    r.setU(word::flags, flag::tapOutputs);
    r.setF(word::tapLevel + 1, 0.25f);
    s = cooked(r);
    EXPECT_FLOAT_EQ(s.outputGainL[0], 0.5f);
    EXPECT_FLOAT_EQ(s.outputGainL[1], 0.3f);
    EXPECT_FLOAT_EQ(s.outputGainR[1], 0.4f);
    EXPECT_FLOAT_EQ(s.inputGainL[2], -2.0f);
    EXPECT_FLOAT_EQ(s.dryGain, 0.5f);
    EXPECT_FLOAT_EQ(s.tapLevel[1][3], 0.25f);
    EXPECT_EQ(s.outTargetL[1], s.outputGainL[1]) << "an unmodulated program plays at once";
    EXPECT_EQ(s.outGainL[1], s.outputGainL[1]) << "the first program starts without a glide";
    CookRequest bypass;
    bypass.bypass = true;
    cookProgram(s, nullptr, r, bypass);
    EXPECT_EQ(s.outputGainL[1], 0.0f);
    EXPECT_EQ(s.dryGain, 1.0f);
    EXPECT_FLOAT_EQ(s.outGainL[1], 0.3f) << "later programs glide";
}

// ---- bad input ----

TEST(CookRobustness, RecordsFullOfNonsenseCookToFiniteCoefficients) {
    const float nan = std::nanf("");
    const float inf = HUGE_VALF;
    std::mt19937 rng(3);
    std::vector<float> ring(kRingWords);
    const float fills[] = {nan, inf, -inf, 3.0e38f, -3.0e38f, 0.0f, 1.0e-38f, -1.0f};
    for (int trial = 0; trial < 60; ++trial) {
        ProgramRecord r;
        for (int w = 0; w < kRecordWords; ++w) {
            if (trial < 8) {
                r.setF(w, fills[trial]);
            } else {
                r.setU(w, static_cast<uint32_t>(rng()));
            }
        }
        r.setU(word::flags, trial < 8 ? 0xFFFFu : static_cast<uint32_t>(rng()));
        EngineState s = test::freshState();
        s.tempo = trial % 3 == 0 ? 0.0f : 120.0f;
        CookRequest request;
        request.freeze = trial % 4 == 1;
        cookProgram(s, ring.data(), r, request);
        EXPECT_TRUE(test::allFinite(s)) << "trial " << trial;
        EXPECT_LE(s.controlPeriod, static_cast<uint32_t>(0.02 * kTestRate + 0.5));
        EXPECT_GE(s.controlPeriod, 1u);
        for (float envelope : {0.0f, 1.0e-30f, 0.5f, 1.0e30f}) {
            s.envelope = envelope;
            s.phase[0] = 1.0f;
            controlUpdate(s, true, true);
            EXPECT_TRUE(test::allFinite(s)) << "trial " << trial << " envelope " << envelope;
        }
    }
}

}  // namespace
}  // namespace tarsk
