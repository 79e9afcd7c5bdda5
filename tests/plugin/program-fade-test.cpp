// A program change while sound runs clears the delay memory; the output fades out before and in
// after it, so the switch is heard as a short dip, never as a click. A click is broadband: a low
// sine through the plug-in, high-passed above 2 kHz, shows one as energy where there is none.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <thread>
#include <vector>

#include "fake-host.h"
#include "plugin/verb-effect.h"

namespace tarsk {
namespace {

using test::FakeHost;
using test::FakeHostScope;

constexpr double kRate = 48000.0;
constexpr int32_t kBlock = 512;
constexpr double kToneHz = 100.0;
constexpr double kInputDbfs = -12.0;
constexpr double kHighPassHz = 2000.0;
constexpr double kClickLimitDbfs = -60.0;
constexpr size_t kSettleFrames = 24000;  // the tone's onset and the filter's start lie before this

double toDb(double x) { return 20.0 * std::log10(std::max(x, 1e-30)); }

// Eighth-order Butterworth high-pass (four biquad sections), run over a whole signal.
std::vector<double> highPassed(const std::vector<float>& x) {
    std::vector<double> y(x.begin(), x.end());
    const double w0 = 2.0 * std::numbers::pi * kHighPassHz / kRate;
    for (int section = 0; section < 4; ++section) {
        const double q = 1.0 / (2.0 * std::sin(std::numbers::pi * (2.0 * section + 1.0) / 16.0));
        const double alpha = std::sin(w0) / (2.0 * q);
        const double a0 = 1.0 + alpha;
        const double b0 = (1.0 + std::cos(w0)) / 2.0 / a0, b1 = -(1.0 + std::cos(w0)) / a0, b2 = b0;
        const double a1 = -2.0 * std::cos(w0) / a0, a2 = (1.0 - alpha) / a0;
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        for (double& v : y) {
            const double out = b0 * v + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
            x2 = x1;
            x1 = v;
            y2 = y1;
            y1 = out;
            v = out;
        }
    }
    return y;
}

// The loudest high-passed sample after the settling time.
double clickDbfs(const std::vector<float>& signal) {
    const std::vector<double> y = highPassed(signal);
    double peak = 0.0;
    for (size_t i = kSettleFrames; i < y.size(); ++i) {
        peak = std::max(peak, std::fabs(y[i]));
    }
    return toDb(peak);
}

struct FadeFixture : testing::Test {
    FakeHost host;
    FakeHostScope scope{host};
    VerbEffect effect{FakeHost::callback};
    std::vector<float> left, right;  // everything the plug-in has put out
    size_t frame = 0;

    FadeFixture() {
        host.sampleRate = static_cast<intptr_t>(kRate);
        host.blockSize = kBlock;
        host.tempo = 120.0;
        effect.dispatch(vst2::effOpen, 0, 0, nullptr, 0);
        effect.dispatch(vst2::effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
        effect.dispatch(vst2::effSetBlockSize, 0, kBlock, nullptr, 0);
        effect.dispatch(vst2::effMainsChanged, 0, 1, nullptr, 0);
    }

    // A 100 Hz sine at -12 dBFS on both inputs, faded in over 50 ms so that its own start is smooth.
    void play(double seconds, int32_t block = kBlock) {
        const size_t frames = static_cast<size_t>(seconds * kRate);
        for (size_t done = 0; done < frames; done += static_cast<size_t>(block)) {
            playBlock(block);
        }
    }

    void playBlock(int32_t block) {
        const double amplitude = std::pow(10.0, kInputDbfs / 20.0);
        std::vector<float> inL(static_cast<size_t>(block)), inR(inL.size()), outL(inL.size()), outR(inL.size());
        for (size_t i = 0; i < inL.size(); ++i) {
            const double t = static_cast<double>(frame + i) / kRate;
            const double onset = std::min(1.0, t / 0.05);
            inL[i] = inR[i] =
                static_cast<float>(amplitude * onset * onset * std::sin(2.0 * std::numbers::pi * kToneHz * t));
        }
        float* in[2] = {inL.data(), inR.data()};
        float* out[2] = {outL.data(), outR.data()};
        effect.processReplacing(in, out, block);
        left.insert(left.end(), outL.begin(), outL.end());
        right.insert(right.end(), outR.begin(), outR.end());
        frame += inL.size();
    }

    // The largest difference of the left output from the dry tone over frames [from, to).
    double dryDeviation(size_t from, size_t to) const {
        const double amplitude = std::pow(10.0, kInputDbfs / 20.0);
        double worst = 0.0;
        for (size_t i = from; i < to; ++i) {
            const double t = static_cast<double>(i) / kRate;
            const double dry = amplitude * std::sin(2.0 * std::numbers::pi * kToneHz * t);
            worst = std::max(worst, std::fabs(left[i] - dry));
        }
        return worst;
    }

    // The lowest peak level of any millisecond of the left output in frames [from, to): a 100 Hz
    // tone never falls below a third of its amplitude in one, a fade to silence does.
    double quietestMillisecond(size_t from, size_t to) const {
        const size_t width = static_cast<size_t>(kRate / 1000.0);
        double quietest = 1e9;
        for (size_t start = from; start + width <= to; start += width / 4) {
            double peak = 0.0;
            for (size_t i = start; i < start + width; ++i) {
                peak = std::max(peak, std::fabs(double{left[i]}));
            }
            quietest = std::min(quietest, peak);
        }
        return quietest;
    }
};

TEST_F(FadeFixture, ProgramsAndChunksSwitchedMidStreamDoNotClick) {
    void* data = nullptr;
    const size_t size = static_cast<size_t>(effect.dispatch(vst2::effGetChunk, 1, 0, &data, 0));
    ASSERT_GT(size, 0u);
    const std::vector<uint8_t> hall(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);

    play(1.0);                                                  // the start program, a hall with its tail
    const size_t firstSwitch = frame;
    effect.dispatch(vst2::effSetProgram, 0, 1, nullptr, 0);     // to Init: the tail is cut
    play(0.5);
    std::vector<uint8_t> copy = hall;
    effect.dispatch(vst2::effSetChunk, 1, static_cast<intptr_t>(copy.size()), copy.data(), 0);  // the hall again
    play(0.5);
    effect.dispatch(vst2::effSetProgram, 0, 0, nullptr, 0);     // another slot with the hall
    play(0.3, 97);                                               // odd blocks: the fade spans several
    effect.dispatch(vst2::effSetChunk, 1, static_cast<intptr_t>(copy.size()), copy.data(), 0);
    play(0.3, 7);

    EXPECT_LT(clickDbfs(left), kClickLimitDbfs);
    EXPECT_LT(clickDbfs(right), kClickLimitDbfs);
    // The switch happened: the hall's tail was there before it and is gone a few milliseconds after.
    const double amplitude = std::pow(10.0, kInputDbfs / 20.0);
    EXPECT_GT(dryDeviation(firstSwitch - 4800, firstSwitch), 0.01);      // dry plus reverb
    EXPECT_LT(dryDeviation(firstSwitch + 960, firstSwitch + 4800), 1e-5);  // dry alone after the fade

    // The measurement sees a click: the same output with the tail cut in one sample.
    std::vector<float> cut(left.begin(), left.begin() + static_cast<std::ptrdiff_t>(firstSwitch));
    for (size_t i = firstSwitch; i < firstSwitch + 4800; ++i) {
        cut.push_back(static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * kToneHz * static_cast<double>(i) / kRate)));
    }
    EXPECT_GT(clickDbfs(cut), kClickLimitDbfs);
}

TEST_F(FadeFixture, TheFadeTakesAFewMillisecondsAndEditsDoNotFade) {
    play(0.5);
    const size_t before = frame;
    effect.dispatch(vst2::effSetProgram, 0, 0, nullptr, 0);  // the same slot: nothing changes
    play(0.1);
    ProgramSnapshot snap;
    ASSERT_TRUE(effect.snapshot(snap));
    snap.record.setF(word::wet, 20.0f);
    const uint8_t cookOnly[4] = {1, 0, 0, 0};
    ASSERT_EQ(effect.commit(snap, cookOnly), CommitResult::written);  // an edit: no reset, no fade
    play(0.1);
    EXPECT_GT(quietestMillisecond(before, frame), 0.02);  // the sound never dipped

    // A reset from the editor's library (all flags) fades: out to silence, then back.
    ASSERT_TRUE(effect.snapshot(snap));
    const uint8_t everything[4] = {1, 1, 1, 1};
    snap.record.setF(word::wet, 25.0f);
    ASSERT_EQ(effect.commit(snap, everything), CommitResult::written);
    const size_t change = frame;
    play(0.1, 64);
    const size_t fadeFrames = static_cast<size_t>(std::lround(kProgramFadeSeconds * kRate));
    EXPECT_EQ(left[change + fadeFrames - 1], 0.0f);  // the reset happens at silence
    EXPECT_EQ(right[change + fadeFrames - 1], 0.0f);
    EXPECT_LT(quietestMillisecond(change, frame), 0.01);
    EXPECT_GT(quietestMillisecond(change + 2 * fadeFrames + 48, frame), 0.02);
    EXPECT_LT(clickDbfs(left), kClickLimitDbfs);
    EXPECT_EQ(effect.changeFlags().resetPending.load(), 0);
}

TEST_F(FadeFixture, ASwitchCarriedOutByTheAudioThreadFadesToo) {
    play(1.0);
    // The audio thread holds the host-call lock for longer than the host waits: the switch is left
    // for the next block, which carries it out before it processes.
    host.holdInTimeQuery = true;
    std::thread audio([&] { playBlock(kBlock); });
    while (!host.insideTimeQuery.load()) {
        std::this_thread::yield();
    }
    effect.dispatch(vst2::effSetProgram, 0, 1, nullptr, 0);
    host.holdInTimeQuery = false;
    audio.join();
    ASSERT_EQ(effect.deferredChanges(), 1u);
    const size_t switched = frame;
    play(0.5);
    EXPECT_EQ(effect.currentProgram(), 1);
    EXPECT_LT(dryDeviation(switched + 960, switched + 4800), 1e-5);  // Init plays: dry alone
    EXPECT_LT(clickDbfs(left), kClickLimitDbfs);
    EXPECT_LT(clickDbfs(right), kClickLimitDbfs);
}

TEST_F(FadeFixture, AResumeResetsAtOnce) {
    play(0.2);
    effect.dispatch(vst2::effMainsChanged, 0, 0, nullptr, 0);
    effect.dispatch(vst2::effMainsChanged, 0, 1, nullptr, 0);
    const size_t resumed = frame;
    play(0.05);
    // No fade after a resume: the dry tone alone (the lines are empty) from the first frame on.
    EXPECT_LT(dryDeviation(resumed, resumed + 960), 1e-5);
    EXPECT_EQ(effect.changeFlags().resetPending.load(), 0);
}

}  // namespace
}  // namespace tarsk
