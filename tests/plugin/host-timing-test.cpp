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

// What the host answers to the tempo query of the next block: a time record with a tempo, with
// the tempo flag or without it, or no record at all.
struct TempoAnswer {
    double tempo = 120.0;
    bool valid = true;
    bool record = true;
};

// The fake host, except that the time query answers the scripted tempo.
TempoAnswer& scriptedTempo() {
    static TempoAnswer answer;
    return answer;
}

intptr_t scriptedHost(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    if (opcode != vst2::audioMasterGetTime) {
        return FakeHost::callback(effect, opcode, index, value, ptr, opt);
    }
    static vst2::VstTimeInfo time{};
    const TempoAnswer& answer = scriptedTempo();
    time.tempo = answer.tempo;
    time.flags = answer.valid ? vst2::kVstTempoValid : 0;
    return answer.record ? reinterpret_cast<intptr_t>(&time) : 0;
}

struct TimingFixture : testing::Test {
    FakeHost host;
    FakeHostScope scope{host};
    VerbEffect effect{scriptedHost};

    void dispatch(int32_t opcode, intptr_t value) { effect.dispatch(opcode, 0, value, nullptr, 0.0f); }

    TimingFixture() {
        host.sampleRate = 48000;
        effect.dispatch(vst2::effSetSampleRate, 0, 0, nullptr, 48000.0f);
        scriptedTempo() = TempoAnswer{};
    }

    // The input through the effect in blocks of kBlock; before each block `tempoAt` (given the
    // block's first sample) scripts the host's tempo answer.
    template <class TempoAt>
    Render play(const Render& in, TempoAt tempoAt) {
        Render out{std::vector<float>(in.left.size()), std::vector<float>(in.left.size())};
        for (size_t at = 0; at < in.left.size(); at += kBlock) {
            scriptedTempo() = tempoAt(at);
            const int32_t n = static_cast<int32_t>(std::min<size_t>(kBlock, in.left.size() - at));
            float* inputs[2] = {const_cast<float*>(in.left.data() + at), const_cast<float*>(in.right.data() + at)};
            float* outputs[2] = {out.left.data() + at, out.right.data() + at};
            effect.processReplacing(inputs, outputs, n);
        }
        return out;
    }
    Render play(const Render& in) {
        return play(in, [](size_t) { return TempoAnswer{}; });
    }

    // Loads a program into the current slot as a host does.
    void load(const ProgramRecord& record) {
        std::vector<uint8_t> chunk(kMaxChunkBytes);
        chunk.resize(writeChunk(chunk.data(), record));
        effect.setChunk(chunk.data(), chunk.size(), true, kNoProgram);
    }

    // What an offline render does: suspend, resume, play.
    Render bounce(const Render& in) {
        dispatch(vst2::effMainsChanged, 0);
        dispatch(vst2::effMainsChanged, 1);
        return play(in);
    }
};

// Energy of both channels from sample `from` to `to`.
double energy(const Render& r, size_t from, size_t to) {
    double sum = 0.0;
    for (size_t i = from; i < std::min(to, r.left.size()); ++i) {
        sum += double{r.left[i]} * r.left[i] + double{r.right[i]} * r.right[i];
    }
    return sum;
}

// Index of the largest magnitude of the left channel from `from` to `to`.
size_t peakIndex(const std::vector<float>& v, size_t from, size_t to) {
    size_t best = from;
    for (size_t i = from; i < to; ++i) {
        if (std::fabs(v[i]) > std::fabs(v[best])) {
            best = i;
        }
    }
    return best;
}

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

    for (int program : {0, 1}) {
        SCOPED_TRACE(program);
        if (program == 1) {
            load(modulated);
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

// ---------------------------------------------------------------------------------------------
// Tempo

// An echo in tempo mode: every line a quarter note (at 120 BPM 0.5 s, 24000 samples at 48 kHz),
// feeding itself, halving every four quarter notes; wet only. `modulated` adds a slow LFO on the
// delay lengths.
ProgramRecord quarterNoteEcho(ProgramRecord r, bool modulated) {
    r.setU(word::flags, flag::timeBaseTempo);
    r.setF(word::timeBase, 4.0f);
    for (int i = 0; i < kLines; ++i) {
        r.setF(word::delayLength + i, 1.0f);
    }
    r.setF(word::halfLife, 4.0f);
    r.setF(word::dry, 0.0f);
    r.setF(word::wet, 100.0f);
    r.setF(word::lowcut, 0.0f);
    r.setF(word::highcut, 50001.0f);
    r.setF(word::alpha, 0.0f);
    if (modulated) {
        r.setF(word::lfo1 + lfo::period, 3.0f);
        r.setF(word::lfo1 + lfo::delayDepth, 0.2f);
    }
    return r;
}

Render burstThenSilence(size_t frames) {
    Render in = testSignal(frames, 21);
    for (size_t i = 4800; i < frames; ++i) {
        in.left[i] = 0.0f;
        in.right[i] = 0.0f;
    }
    return in;
}

TempoAnswer at(double bpm) { return TempoAnswer{bpm, true, true}; }

TEST_F(TimingFixture, ATempoChangeKeepsTheRingingTailAndMovesTheEchoes) {
    dispatch(vst2::effOpen, 0);
    dispatch(vst2::effMainsChanged, 1);
    const size_t oneSecond = 48000;
    const size_t change = oneSecond + 7 * kBlock;  // mid-echo, between the second and third repeat
    for (bool modulated : {false, true}) {
        SCOPED_TRACE(modulated ? "modulated" : "not modulated");
        load(quarterNoteEcho(effect.programCopy(1), modulated));
        const Render in = burstThenSilence(3 * oneSecond);
        bounce(in);  // takes the program over
        dispatch(vst2::effMainsChanged, 0);
        dispatch(vst2::effMainsChanged, 1);
        const Render steady = play(in, [](size_t) { return at(120.0); });
        dispatch(vst2::effMainsChanged, 0);
        dispatch(vst2::effMainsChanged, 1);
        const Render changed = play(in, [&](size_t t) { return at(t < change ? 120.0 : 121.0); });

        // The tail goes on at its level: what the lines held was not cleared.
        const double before = energy(steady, change, change + oneSecond);
        const double after = energy(changed, change, change + oneSecond);
        EXPECT_GT(after, 0.5 * before) << "tail after the change " << 10.0 * std::log10(after / before) << " dB";
        if (!modulated) {
            // Echoes after the change come a quarter note at 121 BPM apart: 23802 samples, not 24000.
            // An impulse shows them: the third echo, written back at 48000 before the change, comes
            // 23802 samples later, and the fourth as far after it.
            Render click{std::vector<float>(in.left.size()), std::vector<float>(in.right.size())};
            click.left[0] = 1.0f;
            dispatch(vst2::effMainsChanged, 0);
            dispatch(vst2::effMainsChanged, 1);
            const Render echoes = play(click, [&](size_t t) { return at(t < change ? 120.0 : 121.0); });
            const size_t second = peakIndex(echoes.left, 40000, 56000);
            const size_t third = peakIndex(echoes.left, second + 20000, second + 26000);
            const size_t fourth = peakIndex(echoes.left, third + 20000, third + 26000);
            EXPECT_EQ(second, 48000u);
            EXPECT_NEAR(static_cast<double>(third - second), 23802.0, 1.0);
            EXPECT_NEAR(static_cast<double>(fourth - third), 23802.0, 1.0);
        }
    }
}

TEST_F(TimingFixture, ATempoRampKeepsTheWetSignal) {
    dispatch(vst2::effOpen, 0);
    dispatch(vst2::effMainsChanged, 1);
    for (bool modulated : {false, true}) {
        SCOPED_TRACE(modulated ? "modulated" : "not modulated");
        load(quarterNoteEcho(effect.programCopy(1), modulated));
        const Render in = testSignal(4 * 48000, 33);
        bounce(in);
        dispatch(vst2::effMainsChanged, 0);
        dispatch(vst2::effMainsChanged, 1);
        const Render steady = play(in, [](size_t) { return at(120.0); });
        dispatch(vst2::effMainsChanged, 0);
        dispatch(vst2::effMainsChanged, 1);
        // From 100 to 140 BPM over the four seconds, a new tempo in every block.
        const Render ramp = play(in, [](size_t t) { return at(100.0 + 40.0 * static_cast<double>(t) / (4 * 48000)); });
        const double reference = energy(steady, 48000, 4 * 48000);
        const double wet = energy(ramp, 48000, 4 * 48000);
        EXPECT_GT(wet, 0.25 * reference) << "wet signal during the ramp " << 10.0 * std::log10(wet / reference) << " dB";
    }
}

TEST_F(TimingFixture, HostileTempoAnswersKeepTheLastValidTempo) {
    dispatch(vst2::effOpen, 0);
    dispatch(vst2::effMainsChanged, 1);
    load(quarterNoteEcho(effect.programCopy(1), false));
    const Render in = burstThenSilence(2 * 48000);
    bounce(in);
    dispatch(vst2::effMainsChanged, 0);
    dispatch(vst2::effMainsChanged, 1);
    const Render steady = play(in, [](size_t) { return at(120.0); });

    const TempoAnswer hostile[] = {
        {std::nan(""), true, true}, {0.0, true, true},  {-120.0, true, true}, {INFINITY, true, true},
        {1.0e9, true, true},        {0.5, true, true},  {60.0, false, true},  {90.0, true, false},
    };
    // After a valid 120 BPM, then hostile answers only: the echoes keep their time.
    dispatch(vst2::effMainsChanged, 0);
    dispatch(vst2::effMainsChanged, 1);
    const Render mixed = play(in, [&](size_t t) { return t < 4 * kBlock ? at(120.0) : hostile[(t / kBlock) % 8]; });
    EXPECT_TRUE(sameBits(steady, mixed)) << "difference " << differenceDb(steady, mixed) << " dB";

    // A host that never reports a valid tempo: 120 BPM.
    VerbEffect fresh(scriptedHost);
    fresh.dispatch(vst2::effOpen, 0, 0, nullptr, 0.0f);
    fresh.dispatch(vst2::effMainsChanged, 0, 1, nullptr, 0.0f);
    std::vector<uint8_t> chunk(kMaxChunkBytes);
    chunk.resize(writeChunk(chunk.data(), quarterNoteEcho(effect.programCopy(1), false)));
    fresh.setChunk(chunk.data(), chunk.size(), true, kNoProgram);
    Render never{std::vector<float>(in.left.size()), std::vector<float>(in.left.size())};
    for (size_t t = 0; t < in.left.size(); t += kBlock) {
        scriptedTempo() = hostile[(t / kBlock) % 8];
        float* inputs[2] = {const_cast<float*>(in.left.data() + t), const_cast<float*>(in.right.data() + t)};
        float* outputs[2] = {never.left.data() + t, never.right.data() + t};
        fresh.processReplacing(inputs, outputs, kBlock);
    }
    EXPECT_TRUE(sameBits(steady, never)) << "difference " << differenceDb(steady, never) << " dB";
}

TEST_F(TimingFixture, ATempoChangeLeavesProgramsInSecondsAlone) {
    dispatch(vst2::effOpen, 0);
    dispatch(vst2::effMainsChanged, 1);
    const Render in = burstThenSilence(2 * 48000);
    bounce(in);  // the default program: a hall timed in seconds
    dispatch(vst2::effMainsChanged, 0);
    dispatch(vst2::effMainsChanged, 1);
    const Render steady = play(in, [](size_t) { return at(120.0); });
    dispatch(vst2::effMainsChanged, 0);
    dispatch(vst2::effMainsChanged, 1);
    const Render changed = play(in, [](size_t t) { return at(120.0 + static_cast<double>(t / 4096)); });
    EXPECT_TRUE(sameBits(steady, changed)) << "difference " << differenceDb(steady, changed) << " dB";
}

}  // namespace
}  // namespace tarsk
