// What a host's timing does to the sound: a resume before an offline render restarts the
// modulation so that two renders match, and the host's tempo reaches tempo-synced programs
// without cutting what the lines hold.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "fake-host.h"
#include "plugin/verb-effect.h"
#include "presets/program-chunk.h"

namespace tarsk {
namespace {

using test::FakeHost;
using test::FakeHostScope;

constexpr int32_t kBlock = 256;

struct Render {
    std::vector<float> left, right;
};

// Stereo noise bursts with silence between them, the same for every seed.
Render testSignal(size_t frames, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    Render in{std::vector<float>(frames), std::vector<float>(frames)};
    for (size_t i = 0; i < frames; ++i) {
        const bool burst = (i / 4800) % 4 == 0;
        in.left[i] = burst ? noise(rng) : 0.0f;
        in.right[i] = burst ? noise(rng) : 0.0f;
    }
    return in;
}

struct TimingFixture : testing::Test {
    FakeHost host;
    FakeHostScope scope{host};
    VerbEffect effect{FakeHost::callback};

    TimingFixture() { host.sampleRate = 48000; }

    void dispatch(int32_t opcode, intptr_t value) { effect.dispatch(opcode, 0, value, nullptr, 0.0f); }

    // The input through the effect in blocks of kBlock.
    Render play(const Render& in) {
        Render out{std::vector<float>(in.left.size()), std::vector<float>(in.left.size())};
        for (size_t at = 0; at < in.left.size(); at += kBlock) {
            const int32_t n = static_cast<int32_t>(std::min<size_t>(kBlock, in.left.size() - at));
            float* inputs[2] = {const_cast<float*>(in.left.data() + at), const_cast<float*>(in.right.data() + at)};
            float* outputs[2] = {out.left.data() + at, out.right.data() + at};
            effect.processReplacing(inputs, outputs, n);
        }
        return out;
    }

    // What an offline render does: suspend, resume, play.
    Render bounce(const Render& in) {
        dispatch(vst2::effMainsChanged, 0);
        dispatch(vst2::effMainsChanged, 1);
        return play(in);
    }
};

// Energy of a - b relative to the energy of a, in dB (-inf when they match).
double differenceDb(const Render& a, const Render& b) {
    double signal = 0.0, difference = 0.0;
    for (size_t i = 0; i < a.left.size(); ++i) {
        signal += double{a.left[i]} * a.left[i] + double{a.right[i]} * a.right[i];
        const double dl = double{a.left[i]} - b.left[i];
        const double dr = double{a.right[i]} - b.right[i];
        difference += dl * dl + dr * dr;
    }
    return 10.0 * std::log10(difference / signal);
}

bool sameBits(const Render& a, const Render& b) {
    return a.left.size() == b.left.size() &&
           std::memcmp(a.left.data(), b.left.data(), a.left.size() * sizeof(float)) == 0 &&
           std::memcmp(a.right.data(), b.right.data(), a.right.size() * sizeof(float)) == 0;
}

// ---------------------------------------------------------------------------------------------
// Resume

TEST_F(TimingFixture, TwoBouncesOfTheSameRegionAreIdentical) {
    dispatch(vst2::effOpen, 0);
    const Render in = testSignal(48000 * 2, 7);
    // The default program is modulated by its LFOs; so is an echo with several LFO shapes.
    ProgramRecord modulated = effect.programCopy(0);
    modulated.setF(word::lfo2 + lfo::levelDepth, 30.0f);
    modulated.setU(word::lfo2 + lfo::shape, 1);
    modulated.setF(word::lfo2 + lfo::period, 0.37f);
    std::vector<uint8_t> chunk(kMaxChunkBytes);
    chunk.resize(writeChunk(chunk.data(), modulated));

    for (int program : {0, 1}) {
        SCOPED_TRACE(program);
        if (program == 1) {
            effect.setChunk(chunk.data(), chunk.size(), true, kNoProgram);
        }
        play(in);  // the LFOs run on from wherever this leaves them
        const Render first = bounce(in);
        play(testSignal(12345, 3));
        const Render second = bounce(in);
        EXPECT_TRUE(sameBits(first, second)) << "difference " << differenceDb(first, second) << " dB";
    }
}

TEST_F(TimingFixture, AProgramChangeKeepsTheModulationRunning) {
    dispatch(vst2::effOpen, 0);
    dispatch(vst2::effMainsChanged, 1);
    play(testSignal(48000, 5));
    const float phase = effect.audioEngine().state().phase[0];
    ASSERT_GT(phase, 0.0f);
    // Program changes clear the lines but leave the LFOs where they are.
    dispatch(vst2::effSetProgram, 1);
    dispatch(vst2::effSetProgram, 0);
    Render silence{std::vector<float>(1), std::vector<float>(1)};
    play(silence);
    EXPECT_GE(effect.audioEngine().state().phase[0], phase);
    dispatch(vst2::effMainsChanged, 0);
    dispatch(vst2::effMainsChanged, 1);
    play(silence);
    EXPECT_LT(effect.audioEngine().state().phase[0], phase);
}

}  // namespace
}  // namespace tarsk
