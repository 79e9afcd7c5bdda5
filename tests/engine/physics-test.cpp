// Physical properties of the delay network measured from rendered audio: the decay rate against the
// half life, sustained energy under freeze, echo times of the lines, faster decay outside the filter
// corners, independence of the sample rate and the losslessness of the feedback matrix.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <vector>

#include "loop-test-support.h"

namespace tarsk {
namespace {

using test::EngineRig;
using test::Stereo;

constexpr double kPi = 3.14159265358979323846;
constexpr double kDbPerHalving = -6.0205999;  // 20 log10(1/2)
constexpr float kMs = 0.001f;                  // time base: lengths and half lives in milliseconds

// A feedback network with every filter off, dry 0 and wet 100, lengths and half life in ms.
ProgramRecord networkRecord(const float (&lengthsMs)[kLines], float halfLifeMs) {
    ProgramRecord r = test::initRecord();
    r.setF(word::timeBase, kMs);
    r.setF(word::dry, 0.0f);
    r.setF(word::wet, 100.0f);
    for (int i = 0; i < kLines; ++i) {
        r.setF(word::delayLength + i, lengthsMs[i]);
    }
    r.setF(word::halfLife, halfLifeMs);
    r.setF(word::lowcut, 0.0f);
    r.setF(word::highcut, 50001.0f);
    return r;
}

// The program's response to a unit impulse on both inputs at sample 0.
Stereo renderImpulse(const ProgramRecord& record, float rate, size_t frames) {
    EngineRig rig;
    rig.start(record, rate);
    Stereo in(frames);
    in.left[0] = 1.0f;
    in.right[0] = 1.0f;
    return rig.run(in, {4096});
}

// Frames needed to follow a decay of `halfLifeMs` down by `db` (the Schroeder integral is then
// complete to well below the end of its fit range).
size_t framesFor(float halfLifeMs, float rate, double db = 60.0) {
    return static_cast<size_t>(db / -kDbPerHalving * halfLifeMs * kMs * rate) + 4096;
}

// Decay rate in dB per second of a response: Schroeder's backward integral of the energy of both
// channels, in dB, fitted by a straight line between fromDb and toDb below its start.
double decayDbPerSecond(const std::vector<double>& energy, float rate, double fromDb = -5.0, double toDb = -35.0) {
    std::vector<double> tail(energy.size() + 1, 0.0);
    for (size_t n = energy.size(); n-- > 0;) {
        tail[n] = tail[n + 1] + energy[n];
    }
    double sx = 0, sy = 0, sxx = 0, sxy = 0, count = 0;
    for (size_t n = 0; n < energy.size() && tail[n] > 0.0; ++n) {
        const double db = 10.0 * std::log10(tail[n] / tail[0]);
        if (db > fromDb) {
            continue;
        }
        if (db < toDb) {
            break;
        }
        const double t = static_cast<double>(n) / rate;
        sx += t;
        sy += db;
        sxx += t * t;
        sxy += t * db;
        count += 1;
    }
    if (count < 2) {
        return 0.0;
    }
    return (count * sxy - sx * sy) / (count * sxx - sx * sx);
}

std::vector<double> energyOf(const Stereo& s) {
    std::vector<double> e(s.size());
    for (size_t n = 0; n < s.size(); ++n) {
        e[n] = double{s.left[n]} * s.left[n] + double{s.right[n]} * s.right[n];
    }
    return e;
}

double decayDbPerSecond(const Stereo& s, float rate) { return decayDbPerSecond(energyOf(s), rate); }

// A band around `centre` (quality q: sqrt 2 is an octave, 4.3 a third of one): a constant-gain
// band-pass biquad run twice so that its skirts fall off faster, applied to both channels; answers
// the band's energy per sample.
std::vector<double> bandEnergy(const Stereo& s, float rate, double centre, double q = std::sqrt(2.0)) {
    const double w = 2.0 * kPi * centre / rate;
    const double alpha = std::sin(w) / (2.0 * q);
    const double a0 = 1.0 + alpha;
    const double b0 = alpha / a0, a1 = -2.0 * std::cos(w) / a0, a2 = (1.0 - alpha) / a0;
    std::vector<double> e(s.size(), 0.0);
    for (const std::vector<float>* channel : {&s.left, &s.right}) {
        double x1[2] = {}, x2[2] = {}, y1[2] = {}, y2[2] = {};
        for (size_t n = 0; n < s.size(); ++n) {
            double x = (*channel)[n];
            for (int stage = 0; stage < 2; ++stage) {
                const double y = b0 * x - b0 * x2[stage] - a1 * y1[stage] - a2 * y2[stage];
                x2[stage] = x1[stage];
                x1[stage] = x;
                y2[stage] = y1[stage];
                y1[stage] = y;
                x = y;
            }
            e[n] += x * x;
        }
    }
    return e;
}

// Decay rates of octave bands of one response.
std::vector<double> bandDecays(const Stereo& ir, float rate, std::initializer_list<double> centres) {
    std::vector<double> decays;
    for (double centre : centres) {
        decays.push_back(decayDbPerSecond(bandEnergy(ir, rate, centre), rate));
    }
    return decays;
}

// Sum of squares of what the four lines hold: the energy stored in the network.
double lineEnergy(const EngineRig& rig) {
    const EngineState& s = rig.engine->state();
    double sum = 0.0;
    for (int i = 0; i < kLines; ++i) {
        const uint32_t held = (s.writeIndex[i] - s.readIndex[i]) & s.ringMask[i];
        for (uint32_t j = 0; j < held; ++j) {
            const float v = rig.ring[(s.readIndex[i] + j) & s.ringMask[i]];
            sum += double{v} * v;
        }
    }
    return sum;
}

double db(double powerRatio) { return 10.0 * std::log10(powerRatio); }

// A dense network: the main matrix mixes every line into every other.
ProgramRecord hallNetwork(float halfLifeMs) {
    const float lengths[kLines] = {31.7f, 43.9f, 53.3f, 67.1f};
    ProgramRecord r = networkRecord(lengths, halfLifeMs);
    r.setF(word::alpha, 45.0f);
    r.setF(word::beta, 45.0f);
    return r;
}

// The strongest sample of an echo and its centre of gravity.
struct Echo {
    size_t peak = 0;
    double centre = 0.0;
};

Echo findEcho(const std::vector<float>& x) {
    Echo e;
    for (size_t n = 0; n < x.size(); ++n) {
        if (std::fabs(x[n]) > std::fabs(x[e.peak])) {
            e.peak = n;
        }
    }
    // The interpolation allpass delays low frequencies by exactly the fractional part of the length,
    // so the first moment of the echo measures the whole delay to a fraction of a sample.
    double sum = 0.0, moment = 0.0;
    for (size_t n = e.peak > 64 ? e.peak - 64 : 0; n < std::min(x.size(), e.peak + 256); ++n) {
        sum += x[n];
        moment += x[n] * static_cast<double>(n);
    }
    e.centre = moment / sum;
    return e;
}

// ---- tests ----

TEST(PhysicsDecay, TheLevelHalvesEveryHalfLife) {
    const float rate = 48000.0f;
    const float lengthSets[][kLines] = {{20.0f, 27.3f, 33.1f, 41.9f}, {45.2f, 58.7f, 71.3f, 89.9f}};
    for (const auto& lengths : lengthSets) {
        for (float halfLife : {100.0f, 350.0f, 1000.0f}) {
            const Stereo ir = renderImpulse(networkRecord(lengths, halfLife), rate, framesFor(halfLife, rate));
            const double measured = decayDbPerSecond(ir, rate);
            const double expected = kDbPerHalving / (halfLife * kMs);
            EXPECT_NEAR(measured / expected, 1.0, 0.05)
                << lengths[0] << ".." << lengths[3] << " ms lines, half life " << halfLife << " ms: " << measured
                << " dB/s, expected " << expected;
        }
    }
}

TEST(PhysicsFreeze, TheNetworkKeepsItsEnergyWithoutInput) {
    // A mixing matrix, and filters that freeze must take out of the loop. The matrix is a rotation
    // only when its plane vectors are unit vectors to float precision.
    ProgramRecord r = hallNetwork(300.0f);
    const float unitU[kLines] = {0.70710678f, 0.0f, 0.0f, -0.70710678f};
    const float unitV[kLines] = {0.0f, 0.70710678f, -0.70710678f, 0.0f};
    for (int a = 0; a < kLines; ++a) {
        r.setF(word::vectorU + a, unitU[a]);
        r.setF(word::vectorV + a, unitV[a]);
    }
    r.setF(word::alpha, 35.0f);
    r.setF(word::beta, -60.0f);
    r.setF(word::highcut, 3000.0f);
    r.setF(word::lowcut, 200.0f);
    CookRequest freeze;
    freeze.freeze = true;

    // Whole-sample lengths (1/128 s units: 375 samples at 48 kHz) keep the interpolation allpass out
    // of the way; fractional lengths lose a little through its leak, far below anything audible.
    const float wholeUnits[kLines] = {4.0f, 5.0f, 7.0f, 11.0f};
    for (bool whole : {false, true}) {
        if (whole) {
            r.setF(word::timeBase, 1.0f / 128.0f);
            for (int i = 0; i < kLines; ++i) {
                r.setF(word::delayLength + i, wholeUnits[i]);
            }
        }
        EngineRig rig;
        rig.engine->setSampleRate(48000.0f);
        rig.engine->cook(r, freeze);
        rig.engine->reset();
        ASSERT_EQ(rig.state().fracCoef[3] == 1.0f, whole);
        ASSERT_EQ(rig.state().lengthInt[3], whole ? 4125u : 3220u);

        std::mt19937 rng(5);
        std::uniform_real_distribution<float> noise(-0.25f, 0.25f);
        const uint32_t window = 4800;  // 100 ms
        Stereo burst(window), silence(window), out(window);
        for (uint32_t n = 0; n < window / 2; ++n) {
            burst.left[n] = noise(rng);
            burst.right[n] = noise(rng);
        }
        auto play = [&](const Stereo& in) {
            rig.engine->process(in.left.data(), in.right.data(), out.left.data(), out.right.data(), window);
            double power = 0.0;
            for (uint32_t n = 0; n < window; ++n) {
                power += double{out.left[n]} * out.left[n] + double{out.right[n]} * out.right[n];
            }
            return power / window;
        };
        play(burst);
        const double stored = lineEnergy(rig);
        ASSERT_GT(stored, 10.0);
        double worstStored = 0.0;
        double firstSecond = 0.0, lastSecond = 0.0;  // output power
        for (int w = 0; w < 100; ++w) {  // ten seconds in 100 ms windows
            const double power = play(silence);
            worstStored = std::max(worstStored, std::fabs(db(lineEnergy(rig) / stored)));
            if (w < 10) {
                firstSecond += power;
            } else if (w >= 90) {
                lastSecond += power;
            }
        }
        const char* kind = whole ? "whole-sample lengths" : "fractional lengths";
        EXPECT_LT(worstStored, whole ? 0.01 : 1.0) << kind;
        // What reaches the outputs, two mixes of the four lines, fluctuates from window to window
        // but does not fade.
        EXPECT_LT(std::fabs(db(lastSecond / firstSecond)), whole ? 0.3 : 1.0) << kind;
    }
}

TEST(PhysicsEchoes, EachLineEchoesAfterItsLength) {
    const float rate = 48000.0f;
    const float lengths[kLines] = {20.0f, 33.34f, 61.71f, 89.99f};  // ms; all but the first fractional in samples
    ProgramRecord r = networkRecord(lengths, 0.0f);
    for (int i = 0; i < kLines; ++i) {
        r.setF(word::inputVectors + 2 * i, 1.0f);
        r.setF(word::inputVectors + 2 * i + 1, 0.0f);
    }
    for (int line = 0; line < kLines; ++line) {
        for (int i = 0; i < kLines; ++i) {  // only this line to the left output
            r.setF(word::outputVectors + 2 * i, i == line ? 1.0f : 0.0f);
            r.setF(word::outputVectors + 2 * i + 1, 0.0f);
        }
        const Echo e = findEcho(renderImpulse(r, rate, 4800).left);
        const double expected = lengths[line] * kMs * rate;
        EXPECT_NEAR(static_cast<double>(e.peak), expected, 1.0) << "line " << line;
        EXPECT_NEAR(e.centre, expected, 0.05) << "line " << line;
    }

    // Tempo mode: a quarter note (index 4) at 120 BPM is 0.5 s, three eighths (index 3) at 90 BPM 1 s.
    r = networkRecord({1.0f, 1.0f, 1.0f, 1.0f}, 0.0f);
    r.setU(word::flags, flag::timeBaseTempo);
    struct TempoCase {
        float index, bpm;
        size_t samples;
    };
    for (const TempoCase& c : {TempoCase{4.0f, 120.0f, 24000}, TempoCase{3.0f, 90.0f, 48000}}) {
        r.setF(word::timeBase, c.index);
        EngineRig rig;
        rig.engine->setSampleRate(rate);
        rig.engine->setTempo(c.bpm);
        rig.engine->cook(r, CookRequest{});
        rig.engine->reset();
        Stereo in(c.samples + 1000);
        in.left[0] = 1.0f;
        const Echo e = findEcho(rig.run(in, {4096}).left);
        EXPECT_EQ(e.peak, c.samples) << "index " << c.index << " at " << c.bpm << " BPM";
        EXPECT_NEAR(e.centre, static_cast<double>(c.samples), 0.01);
    }
}

TEST(PhysicsFilters, DecayIsFasterAboveTheHighCutAndBelowTheLowCut) {
    const float rate = 48000.0f;
    const float halfLife = 400.0f;
    const double nominal = kDbPerHalving / (halfLife * kMs);
    const size_t frames = framesFor(halfLife, rate, 50.0);
    ProgramRecord r = hallNetwork(halfLife);

    // Without filters every band decays at the half life: the band analysis itself is sound.
    for (double d : bandDecays(renderImpulse(r, rate, frames), rate, {63.0, 1000.0, 8000.0})) {
        EXPECT_NEAR(d / nominal, 1.0, 0.02) << d;
    }

    // High cut at 1 kHz: untouched three octaves below, about twice as fast at the corner, faster
    // and faster above it.
    r.setF(word::highcut, 1000.0f);
    Stereo ir = renderImpulse(r, rate, frames);
    std::vector<double> d = bandDecays(ir, rate, {125.0, 4000.0, 8000.0});
    double corner = decayDbPerSecond(bandEnergy(ir, rate, 1000.0, 4.3), rate) / nominal;
    EXPECT_NEAR(d[0] / nominal, 1.0, 0.05) << d[0];
    EXPECT_GT(corner, 1.7);
    EXPECT_LT(corner, 2.2);
    EXPECT_GT(d[1] / nominal, 4.0) << d[1];
    EXPECT_GT(d[2] / d[1], 1.5) << d[2];

    // Low cut at 200 Hz: untouched three octaves above, faster at and below the corner.
    r.setF(word::highcut, 50001.0f);
    r.setF(word::lowcut, 200.0f);
    ir = renderImpulse(r, rate, frames);
    d = bandDecays(ir, rate, {1600.0, 100.0, 50.0});
    corner = decayDbPerSecond(bandEnergy(ir, rate, 200.0, 4.3), rate) / nominal;
    EXPECT_NEAR(d[0] / nominal, 1.0, 0.05) << d[0];
    EXPECT_GT(corner, 1.6);
    EXPECT_LT(corner, 2.2);
    EXPECT_GT(d[1] / nominal, corner) << d[1];
    EXPECT_GT(d[2] / nominal, 2.5) << d[2];
}

TEST(PhysicsRates, TheSameProgramDecaysAlikeAtEveryRate) {
    // Broadband without filters, and in the 1 kHz octave with both filters on (broadband, the
    // higher rate carries more of the fast-decaying top octaves).
    for (bool filters : {false, true}) {
        ProgramRecord r = hallNetwork(600.0f);
        if (filters) {
            r.setF(word::highcut, 5000.0f);
            r.setF(word::lowcut, 80.0f);
        }
        std::vector<double> decays;
        for (float rate : {44100.0f, 48000.0f, 96000.0f}) {
            const Stereo ir = renderImpulse(r, rate, framesFor(600.0f, rate, 50.0));
            decays.push_back(filters ? decayDbPerSecond(bandEnergy(ir, rate, 1000.0), rate)
                                     : decayDbPerSecond(ir, rate));
        }
        for (double d : decays) {
            EXPECT_NEAR(d / decays[1], 1.0, 0.02) << (filters ? "filtered: " : "plain: ") << d << " against "
                                                  << decays[1] << " dB/s at 48 kHz";
        }
        EXPECT_NEAR(decays[1] / (kDbPerHalving / 0.6), 1.0, filters ? 0.1 : 0.02);
    }
}

TEST(PhysicsMatrix, MixingTheLinesLosesNothing) {
    // Every path through the network gains 2^(-time / half life) whatever lines it takes, so with a
    // lossless (orthogonal) matrix the decay is that of the unmixed lines.
    const float rate = 48000.0f;
    const float halfLife = 500.0f;
    struct Mixing {
        float alpha, beta, phi, theta;
        uint32_t flags;
    };
    const Mixing cases[] = {{0, 0, 0, 0, 0},
                            {45, 45, 0, 0, 0},
                            {30, -70, 0, 0, 0},
                            {90, 0, 0, 0, 0},
                            {45, 45, 0, 0, flag::multitap},
                            {45, 45, 40, -25, flag::multitap | flag::innerFeedback | flag::crossMixing}};
    double identity = 0.0;
    for (const Mixing& m : cases) {
        ProgramRecord r = hallNetwork(halfLife);
        r.setF(word::alpha, m.alpha);
        r.setF(word::beta, m.beta);
        r.setF(word::phi, m.phi);
        r.setF(word::theta, m.theta);
        r.setU(word::flags, m.flags);
        const double d = decayDbPerSecond(renderImpulse(r, rate, framesFor(halfLife, rate, 50.0)), rate);
        if (identity == 0.0) {
            identity = d;
            EXPECT_NEAR(d / (kDbPerHalving / (halfLife * kMs)), 1.0, 0.02);
        }
        EXPECT_NEAR(d / identity, 1.0, 0.01) << "alpha " << m.alpha << " beta " << m.beta << " phi " << m.phi
                                             << " theta " << m.theta << " flags " << m.flags << ": " << d
                                             << " dB/s against " << identity;
    }
}

}  // namespace
}  // namespace tarsk

namespace tarsk {
namespace {

// A tempo change moves the read positions of a synced echo; the jump is crossfaded, so that a
// steady tone through the echo shows no step larger than the tone's own.
TEST(PhysicsTempo, AChangedLengthIsCrossfadedNotCut) {
    ProgramRecord r = test::initRecord();
    r.setU(word::flags, flag::timeBaseTempo);
    r.setF(word::timeBase, 4.0f);  // a quarter note: 24000 samples at 120 BPM, 23802 at 121
    r.setF(word::halfLife, 0.0f);  // a plain delay: the output is the input a quarter note later
    r.setF(word::dry, 0.0f);
    r.setF(word::wet, 100.0f);
    const float tone = 2.0f * 3.14159265f * 200.0f / test::kTestRate;  // the jump is 198 samples: most of a cycle
    Stereo in(48000 * 2);
    for (size_t i = 0; i < in.size(); ++i) {
        in.left[i] = 0.5f * std::sin(tone * static_cast<float>(i));
    }
    EngineRig rig;
    rig.start(r, test::kTestRate);
    const size_t change = 30000;
    Stereo out(in.size());
    for (size_t at = 0; at < in.size(); at += 500) {
        rig.engine->setTempo(at < change ? 120.0f : 121.0f);
        rig.engine->process(in.left.data() + at, in.right.data() + at, out.left.data() + at, out.right.data() + at, 500);
    }
    auto largestStep = [&](size_t from, size_t to) {
        float step = 0.0f;
        for (size_t i = from; i + 1 < to; ++i) {
            step = std::max(step, std::fabs(out.left[i + 1] - out.left[i]));
        }
        return step;
    };
    const float steady = largestStep(25000, change);
    ASSERT_GT(steady, 0.0f);
    EXPECT_LT(largestStep(change - 1, change + 2000), 1.5f * steady);
    // After the fade the echo is the tone a quarter note at 121 BPM late.
    for (size_t i = change + 1000; i < change + 1100; ++i) {
        EXPECT_NEAR(out.left[i], in.left[i - 23802], 0.02f) << i;
    }
}

}  // namespace
}  // namespace tarsk
