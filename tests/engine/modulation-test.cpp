// Tests of the modulation: random source, inverter coefficient, control period, LFO shapes and
// phases, sample-and-hold and noise draws, read-position glide and the two dynamics sections.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
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

TEST(RandomSource, DeterministicSequenceInRange) {
    setRandomState(1.0f);
    uint64_t x = 1;
    for (int n = 0; n < 100000; ++n) {
        x = x * 3513381u % 8388608u;
        const float v = randomValue();
        ASSERT_EQ(v, static_cast<float>(x) / 4194304.0f - 1.0f) << n;
        ASSERT_GE(v, -1.0f);
        ASSERT_LT(v, 1.0f);
    }
    EXPECT_EQ(randomState(), static_cast<float>(x));

    std::vector<float> first;
    setRandomState(777.0f);
    for (int n = 0; n < 10; ++n) {
        first.push_back(randomValue());
    }
    setRandomState(777.0f);
    for (int n = 0; n < 10; ++n) {
        EXPECT_EQ(randomValue(), first[n]);
    }
}

// Phase of the inverter allpass (c + z^-1) / (1 + c z^-1) at f cycles per sample.
double allpassPhase(float c, double f) {
    const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * f);
    return std::arg((static_cast<double>(c) + z1) / (1.0 + static_cast<double>(c) * z1));
}

TEST(Inverter, QuarterTurnAtItsFrequencyAndOctaveSweeps) {
    for (double f : {0.0005, 0.01, 0.1, 0.25, 0.4, 0.49}) {
        const float c = inverterCoefficient(static_cast<float>(f), 0.0f);
        EXPECT_GE(c, -1.0f);
        EXPECT_LE(c, 1.0f);
        EXPECT_NEAR(allpassPhase(c, f), -kPi / 2.0, 1e-4) << f;
        EXPECT_FLOAT_EQ(inverterCoefficient(static_cast<float>(f / 2.0), 1.0f), c) << "one octave up";
    }
    EXPECT_EQ(inverterCoefficient(0.0f, 3.0f), 1.0f) << "off";
    EXPECT_EQ(inverterCoefficient(0.3f, 1.0f), 1.0f) << "above half the sample rate";

    // Cooking: off at 50000 Hz and more; without feedback only with the filters before the output.
    ProgramRecord r = initRecord();
    r.setF(word::inverter, 1200.0f);
    EXPECT_EQ(cooked(r).inverterBase, 0.0f);
    r.setU(word::flags, flag::filtersBeforeOutput);
    const EngineState s = cooked(r);
    EXPECT_FLOAT_EQ(s.inverterBase, 1200.0f / kTestRate);
    EXPECT_NEAR(allpassPhase(s.inverterTarget[0], 1200.0 / kTestRate), -kPi / 2.0, 1e-4);
    EXPECT_EQ(s.inverterCoef[0], s.inverterTarget[0]);
    r.setF(word::inverter, 50001.0f);
    EXPECT_EQ(cooked(r).inverterTarget[3], 1.0f);
}

TEST(ControlPeriod, BoundsAndTheModulatedSwitch) {
    ProgramRecord r = initRecord();
    EngineState s = cooked(r);
    EXPECT_FALSE(s.modulated) << "all depths 0, Slope 1, Ratio 1";
    EXPECT_EQ(s.controlPeriod, 960u);
    controlUpdate(s, true, true);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(s.readStep[i], 0.0f);
        EXPECT_EQ(s.segmentGainTarget[0][i], s.segmentGainCooked[0][i]);
        EXPECT_EQ(s.outTargetR[i], s.outputGainR[i]);
    }

    for (float period : {0.001f, 0.013f, 0.05f, 0.3f, 1.0f, 20.0f}) {
        r = initRecord();
        r.setF(word::lfo1 + lfo::period, period);
        r.setF(word::lfo1 + lfo::levelDepth, 10.0f);
        s = cooked(r);
        EXPECT_TRUE(s.modulated);
        EXPECT_LE(s.controlPeriod, 960u) << "at most 20 ms";
        EXPECT_LE(s.controlPeriod, period * kTestRate / 32.0 + 1.5) << "32 updates per cycle";
        EXPECT_NEAR(s.phaseInc[0] * period * kTestRate, 2.0 * kPi, 1e-3);
    }

    // LFO2 with a negative period runs on LFO1 and takes LFO1's period for the bound.
    r = initRecord();
    r.setF(word::lfo1 + lfo::period, 0.1f);
    r.setF(word::lfo2 + lfo::period, -5.0f);
    r.setF(word::lfo2 + lfo::inverterDepth, 1.0f);
    s = cooked(r);
    EXPECT_TRUE(s.modulated);
    EXPECT_LT(s.phaseInc[1], 0.0f);
    EXPECT_LE(s.controlPeriod, 0.1 * kTestRate / 32.0 + 1.5);

    // The envelope bounds the period by half its attack and release.
    r = initRecord();
    r.setF(word::decaySlope, 2.0f);
    r.setF(word::attack, 0.001f);
    s = cooked(r);
    EXPECT_TRUE(s.modulated);
    EXPECT_LE(s.controlPeriod, 0.001 * kTestRate * 0.5 + 1.5);
    EXPECT_NEAR(s.attackCoef, 1.0 - std::exp2(-1.0 / (0.001 * kTestRate)), 1e-7);
    EXPECT_NEAR(s.smooth, 1.0 - std::exp2(-2.0 / s.controlPeriod), 1e-7);
}

// A program whose LFO1 (or LFO2) drives the output level of all four lines by 100 %.
ProgramRecord outputLfoRecord(int lfoBase, int32_t shape) {
    ProgramRecord r = initRecord();
    r.setF(word::wet, 100.0f);
    for (int w = 0; w < 8; ++w) {
        r.setF(word::outputVectors + w, 1.0f);
    }
    r.setF(lfoBase + lfo::levelDepth, 100.0f);
    r.setU(lfoBase + lfo::shape, static_cast<uint32_t>(shape));
    return r;
}

double lfoOfLine(const EngineState& s, int i) { return s.outTargetL[i] / s.outputGainL[i] - 1.0; }

TEST(Lfo, ShapesSpreadShiftAndFollowing) {
    // Spread 100 % puts the lines a quarter cycle apart.
    ProgramRecord r = outputLfoRecord(word::lfo1, lfoShape::sine);
    r.setF(word::lfo1 + lfo::spread, 100.0f);
    EngineState s = cooked(r);
    s.phase[0] = 0.7f;
    controlUpdate(s, false, false);
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(lfoOfLine(s, i), std::sin(0.7 + i * kPi / 2.0), 1e-5) << i;
    }

    // The other shapes over one cycle, sampled at the four lines' quarter-cycle offsets.
    // Phase pi/4: the lines sit at 1/8, 3/8, 5/8 and 7/8 of the cycle.
    const double expected[5][4] = {
        {0.5, 0.5, -0.5, -0.5},     // triangle
        {0.25, 0.75, -0.75, -0.25}, // ramp up
        {0.75, 0.25, -0.25, -0.75}, // ramp down
        {1.0, 1.0, -1.0, -1.0},     // square
        {0.0, 0.0, 0.0, 0.0},       // a shape number without a shape
    };
    const int32_t shapes[5] = {lfoShape::triangle, lfoShape::rampUp, lfoShape::rampDown, lfoShape::square, 9};
    for (int k = 0; k < 5; ++k) {
        r.setU(word::lfo1 + lfo::shape, static_cast<uint32_t>(shapes[k]));
        s = cooked(r);
        s.phase[0] = static_cast<float>(kPi / 4.0);
        controlUpdate(s, false, false);
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(lfoOfLine(s, i), expected[k][i], 1e-5) << "shape " << shapes[k] << " line " << i;
        }
    }

    // LFO2 with a negative period follows LFO1's phase, with its own shift.
    r = outputLfoRecord(word::lfo2, lfoShape::sine);
    r.setF(word::lfo2 + lfo::period, -1.0f);
    r.setF(word::lfo2 + lfo::shift, 90.0f);
    s = cooked(r);
    s.phase[0] = 0.7f;
    s.phase[1] = 2.5f;
    controlUpdate(s, false, false);
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(lfoOfLine(s, i), std::cos(0.7), 1e-5);
    }

    // Decay depth 50 % at the top of a cycle lengthens the half life by half; an inverter depth of 1
    // (ratio 2) moves the inverter an octave up.
    r = initRecord();
    r.setF(word::halfLife, 1.0f);
    r.setF(word::inverter, 1000.0f);
    r.setF(word::lfo1 + lfo::decayDepth, 50.0f);
    r.setF(word::lfo1 + lfo::inverterDepth, 1.0f);
    s = cooked(r);
    s.phase[0] = static_cast<float>(kPi / 2.0);
    controlUpdate(s, false, false);
    EXPECT_NEAR(std::log2(s.segmentGainCooked[0][0]) / std::log2(s.segmentGainTarget[0][0]), 1.5, 1e-4);
    EXPECT_FLOAT_EQ(s.inverterTarget[0], inverterCoefficient(2000.0f / kTestRate, 0.0f));
}

TEST(Lfo, SampleAndHoldDrawsOnWrapNoiseEveryPeriod) {
    ProgramRecord r = outputLfoRecord(word::lfo1, lfoShape::sampleAndHold);
    r.setF(word::lfo1 + lfo::spread, 100.0f);
    EngineState s = cooked(r);
    s.phase[0] = 0.7f;
    setRandomState(4321.0f);
    controlUpdate(s, false, false);
    EXPECT_EQ(randomState(), 4321.0f) << "no wrap, no draw";
    const float a = randomValue();
    const float b = randomValue();
    const float after = randomState();
    setRandomState(4321.0f);
    controlUpdate(s, true, false);
    EXPECT_EQ(randomState(), after);
    EXPECT_NEAR(lfoOfLine(s, 0), a, 1e-5);  // first half of the cycle
    EXPECT_NEAR(lfoOfLine(s, 1), a, 1e-5);
    EXPECT_NEAR(lfoOfLine(s, 2), b, 1e-5);  // second half
    EXPECT_NEAR(lfoOfLine(s, 3), b, 1e-5);
    controlUpdate(s, false, false);
    EXPECT_EQ(randomState(), after) << "held until the next wrap";
    EXPECT_NEAR(lfoOfLine(s, 3), b, 1e-5);

    // Noise advances once per line at every update, whatever the wraps.
    r.setU(word::lfo1 + lfo::shape, static_cast<uint32_t>(lfoShape::noise));
    s = cooked(r);
    setRandomState(99.0f);
    double n = 0.0;
    double expected[4];
    for (double& e : expected) {
        n += (randomValue() - n) * 0.5;
        e = n;
    }
    setRandomState(99.0f);
    controlUpdate(s, false, false);
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(lfoOfLine(s, i), expected[i], 1e-5);
    }
}

TEST(ControlUpdate, ReadPositionGlidesToTheModulatedLength) {
    ProgramRecord r = test::secondsRecord({0.0101f, 0.02f, 0.03f, 0.04f});
    r.setF(word::timeBase, 1.0f);
    r.setF(word::lfo1 + lfo::delayDepth, 0.101f);  // 10 % of line 1 (0.0101 units)
    r.setF(word::lfo1 + lfo::period, 2.0f);
    EngineState s = cooked(r);
    ASSERT_TRUE(s.modulated);
    s.phase[0] = static_cast<float>(kPi / 2.0);  // LFO at +1
    controlUpdate(s, false, false);
    const double c = s.fracCoef[0];
    const double end = ((s.writeIndex[0] - s.readIndex[0]) & s.ringMask[0]) - s.readFrac[0] -
                       static_cast<double>(s.readStep[0]) * s.controlPeriod;
    EXPECT_NEAR(end + (1.0 - c) / (1.0 + c), 1.1 * s.lengthSamples[0], 1e-2)
        << "line delay at the end of the period, allpass included";
    EXPECT_LT(s.readStep[0], 0.0f) << "longer: the read position falls behind";
    EXPECT_GT(s.highcutBlendTarget[0], s.highcutBlend[0][0] - 1e-7f);
}

TEST(Dynamics, DuckGateSupportAndNeutralSettings) {
    // Threshold 0 dB with Ratio 1: the output stays where the program puts it, at any level.
    ProgramRecord r = initRecord();
    r.setF(word::wet, 100.0f);
    r.setF(word::halfLife, 2.0f);
    r.setF(word::decaySlope, 4.0f);  // DECAY on, so that the program is modulated
    r.setF(word::decayThreshold, -20.0f);
    r.setF(word::support, 0.5f);
    EngineState s = cooked(r);
    ASSERT_TRUE(s.modulated);
    auto halfLifeRatio = [&s](int i) {
        return std::log2(s.segmentGainCooked[0][i]) / std::log2(s.segmentGainTarget[0][i]);
    };
    for (double level : {1e-12, 1e-3, 0.1, 1.0, 10.0, 1e6}) {
        s.envelope = static_cast<float>(level * level);
        controlUpdate(s, false, false);
        EXPECT_EQ(s.outTargetL[0], s.outputGainL[0]) << level;
        // Ducking with support 0.5 never shortens the half life below half.
        EXPECT_GE(halfLifeRatio(0), 0.5 - 1e-6) << level;
        EXPECT_LE(halfLifeRatio(0), 1.0 + 1e-6) << level;
        if (level <= 1e-3) {
            EXPECT_GT(halfLifeRatio(0), 0.98) << "quiet input leaves the tail alone";
        }
        if (level >= 10.0) {
            EXPECT_LT(halfLifeRatio(0), 0.6) << "loud input ducks the tail";
        }
    }

    // A steep gate at -60 dB: below the threshold the tail is cut short, above it stays (the gate's
    // constant lies below the float range there).
    r.setF(word::decaySlope, 1.0f / 15.0f);
    r.setF(word::decayThreshold, -60.0f);
    r.setF(word::support, 0.0f);
    s = cooked(r);
    s.envelope = 2e-3f * 2e-3f;
    controlUpdate(s, false, false);
    EXPECT_GT(halfLifeRatio(1), 0.99);
    s.envelope = 5e-4f * 5e-4f;
    controlUpdate(s, false, false);
    EXPECT_LT(halfLifeRatio(1), 0.01);

    // A 1:2 gate at -20 dB: far above its threshold the tail runs 1 + 0.1 times longer.
    r.setF(word::decaySlope, 0.5f);
    r.setF(word::decayThreshold, -20.0f);
    s = cooked(r);
    s.envelope = 1.0e4f;
    controlUpdate(s, false, false);
    EXPECT_NEAR(halfLifeRatio(2), 1.1, 2e-3);

    // OUTPUT ducking: loud input lowers the output level, quiet input does not.
    r = initRecord();
    r.setF(word::wet, 100.0f);
    r.setF(word::outputRatio, 3.0f);
    r.setF(word::outputThreshold, -30.0f);
    s = cooked(r);
    s.envelope = 1e-12f;
    controlUpdate(s, false, false);
    EXPECT_NEAR(s.outTargetL[0] / s.outputGainL[0], 1.0, 1e-3);
    s.envelope = 1.0f;
    controlUpdate(s, false, false);
    EXPECT_LT(s.outTargetL[0] / s.outputGainL[0], 0.2);
    EXPECT_GT(s.outTargetL[0], 0.0f);

    EXPECT_EQ(dynamicsFactor(dynamicsConstants(1.0, 0.0).k, 1.0, 0.3), 1.0);
}

}  // namespace
}  // namespace tarsk
