// The tail figures on signals whose answers are known: Gaussian noise is as smooth, wide and dense
// as a tail can be; a few sines ring; identical and inverted channels correlate fully; a decay
// made by construction has the decay time it was made with.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "host/tail-figures.h"

namespace tarskhost {
namespace {

constexpr double kRate = 48000.0;

// Gaussian noise whose level falls by 60 dB in t60 seconds.
std::vector<float> decayingNoise(double seconds, double t60, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> normal(0.0, 0.1);
    std::vector<float> x(static_cast<size_t>(seconds * kRate));
    for (size_t i = 0; i < x.size(); ++i) {
        x[i] = static_cast<float>(normal(random) * std::pow(10.0, -3.0 * static_cast<double>(i) / kRate / t60));
    }
    return x;
}

// Four-pole low-pass (or, with highPass, the signal minus it) at hz: a crude band split.
std::vector<float> split(const std::vector<float>& x, double hz, bool highPass) {
    const double a = 1.0 - std::exp(-2.0 * std::numbers::pi * hz / kRate);
    std::vector<float> y(x.size());
    double s[4] = {};
    for (size_t i = 0; i < x.size(); ++i) {
        double v = x[i];
        for (double& state : s) {
            state += (v - state) * a;
            v = state;
        }
        y[i] = static_cast<float>(highPass ? x[i] - v : v);
    }
    return y;
}

TEST(TailFigures, PeakinessIsTwoForNoiseAndHighForAFewResonances) {
    const size_t start = 4800;
    const size_t count = static_cast<size_t>(kPeakinessSeconds * kRate);
    const std::vector<float> noise = decayingNoise(1.0, 1.0, 1);
    EXPECT_NEAR(spectralPeakiness(noise, start, count, kRate), 2.0, 0.25);

    // Three decaying sines: almost all of the spectrum is between them.
    std::vector<float> sines(noise.size());
    for (size_t i = 0; i < sines.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        double v = 0.0;
        for (double hz : {220.0, 1100.0, 4700.0}) {
            v += std::sin(2.0 * std::numbers::pi * hz * t);
        }
        sines[i] = static_cast<float>(v * std::exp(-6.9 * t));
    }
    EXPECT_GT(spectralPeakiness(sines, start, count, kRate), 20.0);

    // Sparse modes, one every 25 Hz, ring audibly; the figure sits between the two.
    std::vector<float> modes(noise.size());
    std::mt19937 random(7);
    std::uniform_real_distribution<double> phase(0.0, 2.0 * std::numbers::pi);
    for (double hz = 100.0; hz < 10000.0; hz += 25.0) {
        // A decaying phasor, turned and shrunk by one complex factor per sample.
        std::complex<double> phasor = std::polar(0.01, phase(random));
        const std::complex<double> turn = std::polar(std::exp(-6.9 / kRate), 2.0 * std::numbers::pi * hz / kRate);
        for (float& m : modes) {
            m += static_cast<float>(phasor.imag());
            phasor *= turn;
        }
    }
    const double sparse = spectralPeakiness(modes, start, count, kRate);
    EXPECT_GT(sparse, 4.0);
    EXPECT_LT(sparse, 100.0);

    EXPECT_EQ(spectralPeakiness(std::vector<float>(noise.size(), 0.0f), start, count, kRate), 0.0);
    EXPECT_EQ(spectralPeakiness(noise, noise.size(), count, kRate), 0.0);
}

TEST(TailFigures, CorrelationOfIdenticalInvertedAndIndependentChannels) {
    const std::vector<float> a = decayingNoise(1.5, 2.0, 2);
    const std::vector<float> b = decayingNoise(1.5, 2.0, 3);
    std::vector<float> inverted(a.size());
    for (size_t i = 0; i < a.size(); ++i) {
        inverted[i] = -a[i];
    }
    EXPECT_NEAR(channelCorrelation(a, a, 0, a.size()), 1.0, 1e-9);
    EXPECT_NEAR(channelCorrelation(a, inverted, 0, a.size()), -1.0, 1e-9);
    EXPECT_NEAR(channelCorrelation(a, b, 0, a.size()), 0.0, 0.05);
    EXPECT_EQ(channelCorrelation(a, std::vector<float>(a.size(), 0.0f), 0, a.size()), 0.0);
}

TEST(TailFigures, BandDecayTimesFollowTheDecayTheyWereMadeWith) {
    const std::vector<float> even = decayingNoise(3.0, 1.2, 4);
    EXPECT_NEAR(bandDecayTime(even, even, kBassBandHz, kRate), 1.2, 0.12);
    EXPECT_NEAR(bandDecayTime(even, even, kMidBandHz, kRate), 1.2, 0.12);

    // Bass that lasts twice as long as the rest.
    const std::vector<float> low = split(decayingNoise(5.0, 2.4, 5), 250.0, false);
    const std::vector<float> high = split(decayingNoise(5.0, 1.2, 6), 500.0, true);
    std::vector<float> both(low.size());
    for (size_t i = 0; i < both.size(); ++i) {
        both[i] = low[i] + high[i];
    }
    const double bass = bandDecayTime(both, both, kBassBandHz, kRate);
    const double mid = bandDecayTime(both, both, kMidBandHz, kRate);
    EXPECT_NEAR(bass / mid, 2.0, 0.25);

    EXPECT_EQ(bandDecayTime(std::vector<float>(1000, 0.0f), std::vector<float>(1000, 0.0f), kMidBandHz, kRate), 0.0);
}

TEST(TailFigures, EchoDensityOfNoiseAndOfSparseEchoes) {
    const std::vector<float> noise = decayingNoise(0.6, 2.0, 8);
    for (double d : echoDensityProfile(noise, 0, noise.size(), 480, kDensityWindowSeconds, kRate)) {
        EXPECT_NEAR(d, 1.0, 0.2);
    }
    // Dense from the start: the first window's centre.
    EXPECT_LE(timeToDensity(noise, noise, 0, noise.size(), kRate), kDensityWindowSeconds);

    // One echo every 5 ms for the first 200 ms, then noise.
    std::vector<float> echoes = decayingNoise(0.6, 2.0, 9);
    const size_t sparseEnd = static_cast<size_t>(0.2 * kRate);
    for (size_t i = 0; i < sparseEnd; ++i) {
        echoes[i] = i % 240 == 0 ? 0.5f : 0.0f;
    }
    for (double d : echoDensityProfile(echoes, 0, sparseEnd, 480, kDensityWindowSeconds, kRate)) {
        EXPECT_LT(d, 0.3);
    }
    const double dense = timeToDensity(echoes, echoes, 0, echoes.size(), kRate);
    EXPECT_GT(dense, 0.18);
    EXPECT_LT(dense, 0.24);

    // Never dense within the span: the whole span.
    std::vector<float> clicks(noise.size(), 0.0f);
    for (size_t i = 0; i < clicks.size(); i += 480) {
        clicks[i] = 1.0f;
    }
    EXPECT_NEAR(timeToDensity(clicks, clicks, 0, clicks.size(), kRate), static_cast<double>(clicks.size()) / kRate,
                1e-9);
}

TEST(TailFigures, AnImpulseResponseIsMeasuredFromItsFirstArrival) {
    // 20 ms of silence, then independent decaying noise in the two channels.
    const size_t gap = static_cast<size_t>(0.02 * kRate);
    std::vector<float> left(gap, 0.0f), right(gap, 0.0f);
    const std::vector<float> a = decayingNoise(3.0, 1.5, 10);
    const std::vector<float> b = decayingNoise(3.0, 1.5, 11);
    left.insert(left.end(), a.begin(), a.end());
    right.insert(right.end(), b.begin(), b.end());
    EXPECT_GE(firstArrival(left, right), gap);
    EXPECT_LE(firstArrival(left, right), gap + 2);

    const TailFigures f = analyseImpulseResponse(left, right, kRate);
    ASSERT_TRUE(f.valid);
    EXPECT_NEAR(f.arrivalSeconds, 0.02, 0.002);
    EXPECT_NEAR(f.peakiness, 2.0, 0.25);
    EXPECT_NEAR(f.correlation, 0.0, 0.1);
    EXPECT_NEAR(f.bassRatio, 1.0, 0.15);
    EXPECT_LE(f.densitySeconds, kDensityWindowSeconds);

    EXPECT_FALSE(analyseImpulseResponse(std::vector<float>(1000, 0.0f), std::vector<float>(1000, 0.0f), kRate).valid);
}

}  // namespace
}  // namespace tarskhost
