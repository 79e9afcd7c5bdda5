// Program switches from a host's user-interface thread against a paced audio thread, eight instances
// at once, the way a host that automates program changes drives them. Every block must be written
// (never left as the host's buffer was) and the last switch must be the program that plays.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "plugin/effect-base.h"
#include "plugin/instance.h"
#include "plugin/verb-effect.h"

namespace tarsk {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kInstances = 8;
constexpr int kBlockFrames = 64;
constexpr double kHostRate = 48000.0;
constexpr auto kSwitchInterval = std::chrono::milliseconds(1);
constexpr auto kRunTime = std::chrono::seconds(30);

// A host whose answers are constants, so that eight audio threads can ask it at once.
intptr_t constantHost(vst2::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    static const vst2::VstTimeInfo time = [] {
        vst2::VstTimeInfo t{};
        t.sampleRate = kHostRate;
        t.tempo = 120.0;
        t.flags = vst2::kVstTempoValid;
        return t;
    }();
    switch (opcode) {
        case vst2::audioMasterVersion: return 2400;
        case vst2::audioMasterGetSampleRate: return static_cast<intptr_t>(kHostRate);
        case vst2::audioMasterGetBlockSize: return kBlockFrames;
        case vst2::audioMasterGetTime: return reinterpret_cast<intptr_t>(&time);
        default: return 0;
    }
}

struct InstanceRun {
    vst2::AEffect* record = nullptr;
    int32_t lastSwitch = 0;
    long switches = 0;
    long wrongAnswers = 0;  // effGetProgram right after a switch named another program
    long blocks = 0;
    long unwrittenBlocks = 0;
    double longestSwitchMs = 0.0;
};

intptr_t call(vst2::AEffect* record, int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
              float opt = 0.0f) {
    return record->dispatcher(record, opcode, index, value, ptr, opt);
}

void runAudio(InstanceRun& run, const std::atomic<bool>& going) {
    std::vector<float> inLeft(kBlockFrames), inRight(kBlockFrames), outLeft(kBlockFrames), outRight(kBlockFrames);
    float* in[2] = {inLeft.data(), inRight.data()};
    float* out[2] = {outLeft.data(), outRight.data()};
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(kBlockFrames / kHostRate));
    auto next = Clock::now();
    long frame = 0;
    while (going.load(std::memory_order_acquire)) {
        for (int i = 0; i < kBlockFrames; ++i, ++frame) {
            inLeft[i] = 0.5f * std::sin(0.05f * static_cast<float>(frame % 125600));
            inRight[i] = -inLeft[i];
        }
        // What the host leaves in its buffers: a plug-in that does not write them leaves NaN.
        std::fill(outLeft.begin(), outLeft.end(), std::nanf(""));
        std::fill(outRight.begin(), outRight.end(), std::nanf(""));
        run.record->processReplacing(run.record, in, out, kBlockFrames);
        ++run.blocks;
        bool written = std::none_of(outLeft.begin(), outLeft.end(), [](float v) { return std::isnan(v); }) &&
                       std::none_of(outRight.begin(), outRight.end(), [](float v) { return std::isnan(v); });
        if (!written) {
            ++run.unwrittenBlocks;
        }
        next += period;
        auto now = Clock::now();
        if (now > next + 8 * period) {
            next = now;  // far behind (a loaded machine): keep the pace from here on
        }
        std::this_thread::sleep_until(next);
    }
}

void runSwitches(InstanceRun& run, unsigned seed, Clock::time_point end) {
    std::mt19937 random(seed);
    auto next = Clock::now();
    while (Clock::now() < end) {
        int32_t program = (run.lastSwitch + 1 + static_cast<int32_t>(random() % 3)) % kProgramSlots;
        auto before = Clock::now();
        call(run.record, vst2::effSetProgram, 0, program);
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - before).count();
        run.longestSwitchMs = std::max(run.longestSwitchMs, ms);
        run.lastSwitch = program;
        ++run.switches;
        if (call(run.record, vst2::effGetProgram) != program) {
            ++run.wrongAnswers;
        }
        next += kSwitchInterval;
        std::this_thread::sleep_until(next);
    }
}

TEST(ProgramSwitching, EveryBlockIsWrittenAndTheLastSwitchPlaysWithEightInstances) {
    std::vector<InstanceRun> runs(kInstances);
    for (int n = 0; n < kInstances; ++n) {
        InstanceRun& run = runs[n];
        run.record = createInstance(constantHost);
        ASSERT_NE(run.record, nullptr);
        call(run.record, vst2::effOpen);
        call(run.record, vst2::effSetSampleRate, 0, 0, nullptr, static_cast<float>(kHostRate));
        call(run.record, vst2::effSetBlockSize, 0, kBlockFrames);
        // Every slot gets a name of its own, so that the program playing at the end can be told.
        for (int32_t slot = kProgramSlots - 1; slot >= 0; --slot) {
            call(run.record, vst2::effSetProgram, 0, slot);
            std::string name = "Slot " + std::to_string(slot);
            static_cast<VerbEffect*>(EffectBase::fromRecord(run.record))->setProgramName(name.c_str());
        }
        call(run.record, vst2::effMainsChanged, 0, 1);
    }

    std::atomic<bool> going{true};
    std::vector<std::thread> audio, ui;
    for (InstanceRun& run : runs) {
        audio.emplace_back(runAudio, std::ref(run), std::cref(going));
    }
    const Clock::time_point end = Clock::now() + kRunTime;
    for (int n = 0; n < kInstances; ++n) {
        ui.emplace_back(runSwitches, std::ref(runs[n]), 1234u + static_cast<unsigned>(n), end);
    }
    for (std::thread& t : ui) {
        t.join();
    }
    // One more block after the last switch, as a host's audio thread keeps running.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    going.store(false, std::memory_order_release);
    for (std::thread& t : audio) {
        t.join();
    }

    long blocks = 0, switches = 0, faded = 0, deferred = 0;
    double longest = 0.0;
    for (int n = 0; n < kInstances; ++n) {
        InstanceRun& run = runs[n];
        VerbEffect& effect = *static_cast<VerbEffect*>(EffectBase::fromRecord(run.record));
        EXPECT_EQ(run.unwrittenBlocks, 0) << "instance " << n << " of " << run.blocks << " blocks";
        EXPECT_EQ(run.wrongAnswers, 0) << "instance " << n;
        EXPECT_GT(run.switches, 1000) << "instance " << n;
        EXPECT_EQ(effect.droppedChanges(), 0u) << "instance " << n;
        EXPECT_EQ(effect.currentProgram(), run.lastSwitch) << "instance " << n;
        EXPECT_EQ(effect.editTarget(), static_cast<uint32_t>(run.lastSwitch)) << "instance " << n;
        ProgramSnapshot playing;
        ASSERT_TRUE(effect.snapshot(playing));
        EXPECT_EQ(std::string(playing.record.name()), "Slot " + std::to_string(run.lastSwitch)) << "instance " << n;
        blocks += run.blocks;
        faded += effect.fadedBlocks();
        deferred += effect.deferredChanges();
        switches += run.switches;
        longest = std::max(longest, run.longestSwitchMs);
        call(run.record, vst2::effMainsChanged, 0, 0);
        call(run.record, vst2::effClose);
    }
    std::printf("[ figures  ] %d instances: %ld blocks (%ld faded: lock busy), %ld program switches (%ld left to the "
                "next block), longest effSetProgram %.2f ms\n",
                kInstances, blocks, faded, switches, deferred, longest);
}

}  // namespace
}  // namespace tarsk
