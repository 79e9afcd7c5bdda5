// The processing loop: the SSE and SSE2 builds against the scalar reference, callbacks of every
// size and split, the denormal guard, the network without feedback, and bad input from the host.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <vector>

#include "engine/fp-state.h"
#include "engine/loop-simd.h"
#include "engine/loop.h"
#include "loop-test-support.h"

namespace tarsk {
namespace {

using test::EngineRig;
using test::firstDifference;
using test::sameBits;
using test::Stereo;

constexpr LoopBuild kBuilds[] = {LoopBuild::scalar, LoopBuild::sse, LoopBuild::sse2};

const char* buildName(LoopBuild build) {
    return build == LoopBuild::scalar ? "scalar" : build == LoopBuild::sse ? "sse" : "sse2";
}

// One whole run of a program through one build: cooked, reset, the input in the given callbacks.
// The process-wide random source starts from the same state for every run.
struct RunResult {
    Stereo out;
    std::vector<float> ring;
};

RunResult runProgram(const ProgramRecord& record, LoopBuild build, const Stereo& in,
                     const std::vector<uint32_t>& sizes) {
    EngineRig rig(build);
    rig.start(record);
    setRandomState(test::kRandomSeedState);
    RunResult result;
    result.out = rig.run(in, sizes);
    result.ring = rig.ring;
    return result;
}

TEST(LoopBuilds, SseAndSse2MatchTheScalarReferenceBitForBit) {
    const unsigned seed = 20260417;
    std::mt19937 rng(seed);
    const std::vector<std::vector<uint32_t>> blockSizes = {{1, 3, 64}, {256}, {17, 1000, 5}, {4096}};
    int modulatedPrograms = 0, multitapPrograms = 0, saturatedPrograms = 0;
    for (int p = 0; p < 64; ++p) {
        const ProgramRecord record = test::randomRecord(rng, p);
        const Stereo in = test::randomInput(rng, 6000);
        const std::vector<uint32_t>& sizes = blockSizes[p % blockSizes.size()];

        const RunResult reference = runProgram(record, LoopBuild::scalar, in, sizes);
        {
            EngineRig probe(LoopBuild::scalar);
            probe.start(record);
            modulatedPrograms += probe.state().modulated ? 1 : 0;
            multitapPrograms += probe.state().multitap ? 1 : 0;
            saturatedPrograms += probe.state().saturatorActive ? 1 : 0;
        }
        ASSERT_TRUE(test::allFinite(reference.out)) << "seed " << seed << " program " << p;
        for (LoopBuild build : {LoopBuild::sse, LoopBuild::sse2}) {
            const RunResult result = runProgram(record, build, in, sizes);
            ASSERT_TRUE(sameBits(result.out.left, reference.out.left))
                << buildName(build) << " seed " << seed << " program " << p << " left differs at "
                << firstDifference(result.out.left, reference.out.left);
            ASSERT_TRUE(sameBits(result.out.right, reference.out.right))
                << buildName(build) << " seed " << seed << " program " << p << " right differs at "
                << firstDifference(result.out.right, reference.out.right);
            ASSERT_TRUE(sameBits(result.ring, reference.ring))
                << buildName(build) << " seed " << seed << " program " << p << " ring differs at "
                << firstDifference(result.ring, reference.ring);
        }
    }
    // The programs reached the parts they were meant to reach.
    std::printf("%d modulated, %d multitap, %d saturated programs\n", modulatedPrograms, multitapPrograms, saturatedPrograms);
    EXPECT_GT(modulatedPrograms, 40);
    EXPECT_GT(multitapPrograms, 30);
    EXPECT_GT(saturatedPrograms, 30);
}

// The SSE build converts floats to integers on the x87 unit: it sets the x87 word to round down
// itself, whatever word its caller runs under, and gives the caller's word back, so that the code
// between its runs (the control-period update, whose maths library may compute on the x87 unit)
// sees the same x87 state in every build.
TEST(LoopBuilds, TheSseBuildRoundsDownOnTheX87OnlyWhileItRuns) {
    std::mt19937 rng(909);
    const Stereo warmUp = test::randomInput(rng, 3000);
    const Stereo in = test::randomInput(rng, 2000);
    // Round to nearest (and 53-bit precision): a read fraction past one half would be rounded up.
    constexpr uint16_t kCallerX87 = kX87ExceptionMasks | kX87ReservedBit | 0x0200;
    int checked = 0;
    for (int p = 0; p < 12; ++p) {
        const ProgramRecord record = test::randomRecord(rng, p);
        EngineRig scalar(LoopBuild::scalar), sse(LoopBuild::sse);
        for (EngineRig* rig : {&scalar, &sse}) {
            rig->start(record);
            setRandomState(test::kRandomSeedState);
            rig->run(warmUp, {500});
        }
        if (!sse.state().modulated) {
            continue;
        }
        ++checked;
        // One long run straight into each loop, the read positions stepping all the while.
        Stereo outScalar(in.size()), outSse(in.size());
        const uint32_t count = static_cast<uint32_t>(in.size());
        const LoopRun runScalar{in.left.data(), in.right.data(), outScalar.left.data(), outScalar.right.data(),
                                0, count};
        const LoopRun runSse{in.left.data(), in.right.data(), outSse.left.data(), outSse.right.data(), 0, count};
        uint16_t after = 0;
        {
            LoopFpScope fp;  // gives back the x87 word of before on leaving
            writeX87Control(kCallerX87);
            runLoopScalar(scalar.state(), scalar.ring.data(), runScalar);
            runLoopSse(sse.state(), sse.ring.data(), runSse);
            after = readX87Control();
        }
        ASSERT_EQ(after, kCallerX87) << "program " << p;
        ASSERT_TRUE(sameBits(outSse.left, outScalar.left))
            << "program " << p << " left differs at " << firstDifference(outSse.left, outScalar.left);
        ASSERT_TRUE(sameBits(outSse.right, outScalar.right)) << "program " << p;
        ASSERT_TRUE(sameBits(sse.ring, scalar.ring)) << "program " << p;
        for (int i = 0; i < kLines; ++i) {
            ASSERT_EQ(sse.state().readIndex[i], scalar.state().readIndex[i]) << "program " << p << " line " << i;
        }
    }
    EXPECT_GT(checked, 4);
}

TEST(LoopCallbacks, SplittingABlockChangesNothingButTheGuardPositions) {
    std::mt19937 rng(77);
    const size_t frames = 9000;
    // Callbacks of multiples of 32 samples (and empty ones) keep every guard constant where it was:
    // then the output is bit for bit that of one long callback, also across control periods and
    // for modulated programs.
    const std::vector<uint32_t> aligned = {32, 0, 96, 320, 64, 0, 1024, 32, 2048};
    for (int p = 0; p < 12; ++p) {
        const ProgramRecord record = test::randomRecord(rng, p * 5);
        const Stereo in = test::randomInput(rng, frames);
        for (LoopBuild build : kBuilds) {
            const RunResult whole = runProgram(record, build, in, {static_cast<uint32_t>(frames)});
            const RunResult split = runProgram(record, build, in, aligned);
            ASSERT_TRUE(sameBits(whole.out.left, split.out.left))
                << buildName(build) << " program " << p << " at " << firstDifference(whole.out.left, split.out.left);
            ASSERT_TRUE(sameBits(whole.out.right, split.out.right)) << buildName(build) << " program " << p;
            ASSERT_TRUE(sameBits(whole.ring, split.ring)) << buildName(build) << " program " << p;
        }
    }

    // Callbacks of any other size restart the guard at its first constant: silence through Init
    // comes out as exactly the guard, counted from each callback's first sample.
    EngineRig rig;
    rig.start(test::initRecord());
    ASSERT_EQ(rig.state().dryGain, 1.0f);
    const std::vector<uint32_t> odd = {1, 7, 33, 100, 5, 64};
    const Stereo silence(210);
    const Stereo out = rig.run(silence, odd);
    size_t position = 0;
    for (size_t c = 0; position < silence.size(); ++c) {
        const uint32_t n = odd[c % odd.size()];
        for (uint32_t j = 0; j < n && position + j < silence.size(); ++j) {
            ASSERT_EQ(out.left[position + j], kDenormalGuard[j % kGuardLength]) << position + j;
            ASSERT_EQ(out.right[position + j], kDenormalGuard[j % kGuardLength]) << position + j;
        }
        position += n;
    }

    // For a reverb the different guard positions stay at the guard's own tiny level.
    const ProgramRecord hall = test::hallRecord();
    const Stereo in = test::randomInput(rng, frames);
    const RunResult whole = runProgram(hall, Engine::preferredBuild(), in, {static_cast<uint32_t>(frames)});
    const RunResult split = runProgram(hall, Engine::preferredBuild(), in, odd);
    for (size_t i = 0; i < frames; ++i) {
        ASSERT_NEAR(whole.out.left[i], split.out.left[i], 1e-6f) << i;
        ASSERT_NEAR(whole.out.right[i], split.out.right[i], 1e-6f) << i;
    }
}

TEST(LoopCallbacks, EveryBlockSizeWritesExactlyItsFrames) {
    std::mt19937 rng(5);
    const ProgramRecord record = test::randomRecord(rng, 9);
    for (LoopBuild build : kBuilds) {
        EngineRig rig(build);
        rig.start(record);
        constexpr float kSentinel = 1234.5f;
        for (uint32_t frames : {0u, 1u, 2u, 3u, 31u, 32u, 33u, 255u, 256u, 1000u, 4095u, 8191u, 8192u}) {
            const Stereo in = test::randomInput(rng, frames + 8);
            std::vector<float> outL(frames + 8, kSentinel), outR(frames + 8, kSentinel);
            const EngineState before = rig.state();
            const std::vector<float> ringBefore = frames == 0 ? rig.ring : std::vector<float>{};
            rig.engine->process(in.left.data(), in.right.data(), outL.data(), outR.data(), frames);
            for (uint32_t i = 0; i < frames; ++i) {
                ASSERT_TRUE(std::isfinite(outL[i]) && std::isfinite(outR[i])) << buildName(build) << " " << frames;
                ASSERT_NE(outL[i], kSentinel);
            }
            for (uint32_t i = frames; i < frames + 8; ++i) {
                ASSERT_EQ(outL[i], kSentinel) << buildName(build) << " " << frames;
                ASSERT_EQ(outR[i], kSentinel) << buildName(build) << " " << frames;
            }
            if (frames == 0) {
                // Nothing but the load meter runs.
                const EngineState& after = rig.state();
                for (int i = 0; i < kLines; ++i) {
                    EXPECT_EQ(after.writeIndex[i], before.writeIndex[i]);
                    EXPECT_EQ(after.readIndex[i], before.readIndex[i]);
                }
                EXPECT_EQ(after.controlCountdown, before.controlCountdown);
                EXPECT_EQ(after.envelope, before.envelope);
                EXPECT_EQ(after.phase[0], before.phase[0]);
                EXPECT_EQ(after.meterCallbacks, before.meterCallbacks + 1);
                EXPECT_TRUE(sameBits(rig.ring, ringBefore));
            }
        }
    }
}

TEST(LoopCallbacks, InPlaceBuffersGiveWhatSeparateBuffersGive) {
    std::mt19937 rng(404);
    for (int p = 0; p < 6; ++p) {
        const ProgramRecord record = test::randomRecord(rng, p * 11);
        const Stereo in = test::randomInput(rng, 5000);
        for (LoopBuild build : kBuilds) {
            const RunResult separate = runProgram(record, build, in, {1000, 37});
            EngineRig rig(build);
            rig.start(record);
            setRandomState(test::kRandomSeedState);
            Stereo buffers = in;  // the host hands the input buffers back as the outputs
            for (size_t position = 0, call = 0; position < buffers.size(); ++call) {
                const uint32_t n =
                    static_cast<uint32_t>(std::min<size_t>(call % 2 == 0 ? 1000 : 37, buffers.size() - position));
                float* left = buffers.left.data() + position;
                float* right = buffers.right.data() + position;
                rig.engine->process(left, right, left, right, n);
                position += n;
            }
            ASSERT_TRUE(sameBits(buffers.left, separate.out.left)) << buildName(build) << " program " << p;
            ASSERT_TRUE(sameBits(buffers.right, separate.out.right)) << buildName(build) << " program " << p;
        }
    }
}

// The SIMD builds may run a stretch in stages, all its ring reads before its writes, when a bound
// shows that no read can meet what the stretch writes first. The bound is held against the
// positions the loop's own arithmetic produces, over states where reads sit close behind writes,
// drift slowly or fast in either direction, or stray anywhere, with and without taps.
template <bool Modulated, bool Multitap>
void checkStageBound(std::mt19937& rng, int& full, int& partial, int& single) {
    auto uniform = [&rng](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    auto below = [&rng](uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(rng); };
    EngineState s;
    const uint32_t size = 1u << (9 + below(6));
    const uint32_t mask = size - 1;
    const uint32_t base = below(size);
    // Most states are like a reverb's: each read well behind its own write, slow drifts, taps far
    // apart. The others put reads and taps a few words behind any write, anywhere, or moving fast.
    const bool hostile = below(5) < 2;
    for (int i = 0; i < kLines; ++i) {
        s.ringMask[i] = mask;
        s.writeIndex[i] = (base - static_cast<uint32_t>(i) * (size / 4)) & mask;
        const uint32_t choice = hostile ? below(3) : 3;
        const uint32_t behind = choice == 0   ? 1 + below(80)
                                : choice == 1 ? below(size)
                                : choice == 2 ? size / 4 - below(6)
                                              : 80 + below(size / 4 - 90);
        s.readIndex[i] = (s.writeIndex[i] - behind) & mask;
        s.readFrac[i] = Modulated ? static_cast<float>(uniform(0.0, 1.0)) : 0.0f;
        const double magnitude = std::pow(10.0, hostile ? uniform(-7.0, 1.5) : uniform(-7.0, -2.0));
        s.readStep[i] = static_cast<float>(below(2) == 0 ? magnitude : -magnitude);
        uint32_t taps[kTaps];
        for (uint32_t& t : taps) {
            t = 1 + below(hostile ? 40 : std::max<uint32_t>(behind, 2) - 1);
        }
        std::sort(taps, taps + kTaps);
        for (int k = 0; k < kTaps; ++k) {
            s.tapOffset[k][i] = taps[k];
        }
    }
    const uint32_t count = 1 + below(hostile ? 2000 : 960);

    LoopFpScope fp;
    const uint32_t length = simd::stagedLength<Modulated, Multitap>(s, count);
    ASSERT_GE(length, 1u);
    ASSERT_LE(length, simd::kChunk);
    (length == simd::kChunk ? full : length == 1 ? single : partial) += 1;
    if (length == 1) {
        return;
    }
    // The streams written, where they start; a read at sample t meets what one of them wrote
    // `distance` samples earlier, and must not within the same stretch.
    std::vector<uint32_t> written;
    for (int j = 0; j < kLines; ++j) {
        written.push_back(s.writeIndex[j]);
        for (int k = 0; Multitap && k < kTaps; ++k) {
            written.push_back((s.writeIndex[j] - s.tapOffset[k][j]) & mask);
        }
    }
    auto checkRead = [&](uint32_t read, uint32_t t) {
        for (uint32_t w : written) {
            const uint32_t distance = (w + t - read) & mask;
            ASSERT_FALSE(distance >= 1 && distance < length) << "sample " << t << " length " << length;
        }
    };
    for (int i = 0; i < kLines; ++i) {
        float frac = s.readFrac[i];
        uint32_t index = s.readIndex[i];
        for (uint32_t t = 0; t < count; ++t) {
            if (Modulated) {
                frac = frac + s.readStep[i];
                const float whole = std::floor(frac);
                index = (index + static_cast<uint32_t>(static_cast<int32_t>(whole))) & mask;
                frac = frac - whole;
                checkRead(index, t);
                checkRead((index + 1) & mask, t);
            } else {
                checkRead(index, t);
            }
            if (Multitap) {
                for (int k = 0; k < kTaps; ++k) {
                    checkRead((s.writeIndex[i] - s.tapOffset[k][i] + t) & mask, t);
                }
            }
            index = (index + 1) & mask;
        }
    }
}

TEST(LoopStages, TheStretchBoundKeepsEveryReadClearOfTheStretchsWrites) {
    std::mt19937 rng(8086);
    int full = 0, partial = 0, single = 0;
    for (int c = 0; c < 3000; ++c) {
        switch (c % 3) {
            case 0: checkStageBound<true, false>(rng, full, partial, single); break;
            case 1: checkStageBound<true, true>(rng, full, partial, single); break;
            default: checkStageBound<false, true>(rng, full, partial, single); break;
        }
        ASSERT_FALSE(HasFatalFailure()) << "case " << c;
    }
    // The bound is not merely cautious: many states allow whole chunks, and some lie between.
    std::printf("stretch bounds: %d whole chunks, %d shorter, %d single samples\n", full, partial, single);
    EXPECT_GT(full, 400);
    EXPECT_GT(partial, 200);
    EXPECT_GT(single, 100);
}

TEST(LoopStages, StagedStretchesMatchTheScalarReference) {
    std::mt19937 rng(5150);
    auto uniform = [&rng](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
    int bounded = 0, whole = 0;
    for (int p = 0; p < 30; ++p) {
        // Modulated lines without taps, modulated lines with taps, taps on unmodulated lines.
        const int kind = p % 3;
        ProgramRecord r = test::randomRecord(rng, p);
        const uint32_t flags = r.u(word::flags) & ~flag::multitap;
        r.setU(word::flags, kind == 0 ? flags : flags | flag::multitap);
        r.setF(word::halfLife, uniform(20.0f, 2000.0f));
        for (int i = 0; i < kLines; ++i) {
            // Lines of a few samples up to a few hundred, in milliseconds.
            r.setF(word::delayLength + i, p % 4 == 0 ? uniform(0.03f, 0.5f) : uniform(0.5f, 8.0f));
        }
        const bool modulated = kind != 2;
        for (int base : {word::lfo1, word::lfo2}) {
            r.setF(base + lfo::period, uniform(0.15f, 2.0f));
            r.setF(base + lfo::delayDepth, modulated && base == word::lfo1 ? uniform(5.0f, 60.0f) : 0.0f);
            r.setF(base + lfo::decayDepth, 0.0f);
            r.setF(base + lfo::levelDepth, 0.0f);
            r.setF(base + lfo::inverterDepth, 0.0f);
        }
        r.setF(word::envDelayDepth, modulated && p % 2 == 0 ? uniform(-30.0f, 30.0f) : 0.0f);
        r.setF(word::envInverterDepth, 0.0f);
        r.setF(word::decaySlope, 1.0f);
        r.setF(word::outputRatio, 1.0f);
        r.setF(word::attack, uniform(0.006f, 0.02f));  // control periods long enough for stages
        r.setF(word::release, uniform(0.01f, 0.3f));
        const Stereo in = test::randomInput(rng, 24000);

        {
            EngineRig probe(Engine::preferredBuild());
            probe.start(r);
            const EngineState& s = probe.state();
            ASSERT_TRUE(s.decayActive && s.modulated == modulated) << p;
            for (size_t position = 0; position < in.size(); position += 4096) {
                {
                    LoopFpScope fp;
                    const uint32_t period = s.controlPeriod;
                    const uint32_t length = !s.multitap ? simd::stagedLength<true, false>(s, period)
                                            : modulated ? simd::stagedLength<true, true>(s, period)
                                                        : simd::stagedLength<false, true>(s, period);
                    (length == simd::kChunk ? whole : bounded) += 1;
                }
                const uint32_t n = static_cast<uint32_t>(std::min<size_t>(4096, in.size() - position));
                std::vector<float> outL(n), outR(n);
                probe.engine->process(in.left.data() + position, in.right.data() + position, outL.data(),
                                      outR.data(), n);
            }
        }

        const RunResult reference = runProgram(r, LoopBuild::scalar, in, {4096});
        for (LoopBuild build : {LoopBuild::sse, LoopBuild::sse2}) {
            const RunResult result = runProgram(r, build, in, {4096});
            ASSERT_TRUE(sameBits(result.out.left, reference.out.left))
                << buildName(build) << " program " << p << " left differs at "
                << firstDifference(result.out.left, reference.out.left);
            ASSERT_TRUE(sameBits(result.out.right, reference.out.right)) << buildName(build) << " program " << p;
            ASSERT_TRUE(sameBits(result.ring, reference.ring))
                << buildName(build) << " program " << p << " ring differs at "
                << firstDifference(result.ring, reference.ring);
        }
    }
    // Both kinds of stretch were met.
    EXPECT_GT(bounded, 5);
    EXPECT_GT(whole, 5);
}

TEST(LoopSignal, InitPassesTheInputThroughWithTheGuardAdded) {
    std::mt19937 rng(11);
    const Stereo in = test::randomInput(rng, 5000);
    for (LoopBuild build : kBuilds) {
        EngineRig rig(build);
        rig.start(test::initRecord());
        ASSERT_EQ(rig.state().dryGain, 1.0f);
        const Stereo out = rig.run(in, {500});
        // The sum the loop forms, in the loop's floating-point state.
        LoopFpScope fp;
        for (size_t i = 0; i < in.size(); ++i) {
            const float guard = kDenormalGuard[(i % 500) % kGuardLength];
            ASSERT_EQ(out.left[i], in.left[i] + guard) << buildName(build) << " " << i;
            ASSERT_EQ(out.right[i], in.right[i] + guard) << buildName(build) << " " << i;
        }
    }
}

TEST(LoopSignal, WithoutFeedbackTheWetSignalIsTheInputVectorMixDelayedByTheLines) {
    ProgramRecord r = test::initRecord();
    r.setF(word::timeBase, 0x1p-10f);  // 46.875 samples per unit at 48 kHz: whole-sample lengths
    const float units[kLines] = {8.0f, 16.0f, 24.0f, 32.0f};
    const uint32_t samples[kLines] = {375, 750, 1125, 1500};
    for (int i = 0; i < kLines; ++i) {
        r.setF(word::delayLength + i, units[i]);
    }
    r.setF(word::dry, 50.0f);
    r.setF(word::wet, 100.0f);
    const float inVectors[8] = {1, 0, 0, 1, 0.7071f, 0.7071f, 0.6f, -0.8f};
    const float outVectors[8] = {0.8f, 0.6f, 0, 1, -0.7071f, 0.7071f, 1, 0};
    for (int i = 0; i < 8; ++i) {
        r.setF(word::inputVectors + i, inVectors[i]);
        r.setF(word::outputVectors + i, outVectors[i]);
    }
    // What would shape a network with feedback plays no part without it.
    r.setF(word::alpha, 60.0f);
    r.setF(word::beta, -30.0f);
    r.setF(word::highcut, 2000.0f);
    r.setF(word::lowcut, 300.0f);
    r.setF(word::inverter, 1000.0f);
    r.setF(word::halfLife, 0.0f);

    std::mt19937 rng(3);
    const Stereo in = test::randomInput(rng, 6000);
    for (uint32_t flags : {flag::swapRowsColumns, flag::multitap | flag::innerFeedback}) {
        r.setU(word::flags, flags);
        for (LoopBuild build : kBuilds) {
            EngineRig rig(build);
            rig.start(r);
            const EngineState s = rig.state();
            ASSERT_FALSE(s.decayActive);
            for (int i = 0; i < kLines; ++i) {
                ASSERT_EQ(s.lengthInt[i], samples[i]);
            }
            const Stereo out = rig.run(in, {700});
            for (size_t t = 0; t < in.size(); ++t) {
                double expectL = s.dryGain * in.left[t];
                double expectR = s.dryGain * in.right[t];
                for (int i = 0; i < kLines; ++i) {
                    if (t >= samples[i]) {
                        const size_t from = t - samples[i];
                        const double x = double{in.left[from]} * s.inputGainL[i] + double{in.right[from]} * s.inputGainR[i];
                        expectL += x * s.outputGainL[i];
                        expectR += x * s.outputGainR[i];
                    }
                }
                ASSERT_NEAR(out.left[t], expectL, 2e-5) << buildName(build) << " flags " << flags << " " << t;
                ASSERT_NEAR(out.right[t], expectR, 2e-5) << buildName(build) << " flags " << flags << " " << t;
            }
        }
    }
}

TEST(LoopSignal, NonFiniteAndHugeInputNeverReachesTheOutput) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    std::mt19937 rng(99);
    ProgramRecord saturated = test::hallRecord();
    saturated.setF(word::drive, 2.0f);
    saturated.setF(word::halfLife, 2000.0f);

    const size_t frames = 12000;
    const size_t burstFrom = 4000, burstTo = 4400;
    Stereo clean = test::randomInput(rng, frames);
    for (size_t i = burstFrom; i < frames; ++i) {
        if (i < burstTo || i >= 9000) {
            clean.left[i] = 0.0f;
            clean.right[i] = 0.0f;
        }
    }
    // Non-finite samples play as silence.
    Stereo bad = clean;
    const float badValues[] = {nan, inf, -inf, -nan};
    for (size_t i = burstFrom; i < burstTo; ++i) {
        bad.left[i] = badValues[i % 4];
        bad.right[i] = badValues[(i + 1) % 4];
    }
    // Huge finite samples play as the input limit.
    Stereo huge = clean, limited = clean;
    for (size_t i = burstFrom; i < burstTo; ++i) {
        huge.left[i] = i % 2 == 0 ? 1e30f : -3e38f;
        huge.right[i] = i % 3 == 0 ? -1e30f : 2e4f;
        limited.left[i] = i % 2 == 0 ? kInputLimit : -kInputLimit;
        limited.right[i] = i % 3 == 0 ? -kInputLimit : kInputLimit;
    }

    for (const ProgramRecord& record : {test::hallRecord(), saturated}) {
        for (LoopBuild build : kBuilds) {
            const RunResult reference = runProgram(record, build, clean, {256});
            const RunResult withBad = runProgram(record, build, bad, {256});
            ASSERT_TRUE(test::allFinite(withBad.out)) << buildName(build);
            EXPECT_TRUE(sameBits(withBad.out.left, reference.out.left))
                << buildName(build) << " differs at " << firstDifference(withBad.out.left, reference.out.left);
            EXPECT_TRUE(sameBits(withBad.out.right, reference.out.right)) << buildName(build);

            const RunResult withHuge = runProgram(record, build, huge, {256});
            const RunResult withLimit = runProgram(record, build, limited, {256});
            ASSERT_TRUE(test::allFinite(withHuge.out)) << buildName(build);
            EXPECT_TRUE(sameBits(withHuge.out.left, withLimit.out.left)) << buildName(build);
            EXPECT_TRUE(sameBits(withHuge.out.right, withLimit.out.right)) << buildName(build);
            EXPECT_EQ(firstDifference(withHuge.out.left, reference.out.left), static_cast<long>(burstFrom));
            for (float v : withHuge.ring) {
                ASSERT_TRUE(std::isfinite(v)) << buildName(build);
            }
        }
    }
}

}  // namespace
}  // namespace tarsk
