// The audio callback keeps the real-time rules: after its first block it never allocates or frees
// memory, and the only lock it takes is the program lock for the record copy of a pending change.
// This binary counts every allocation call by replacing malloc, free and the C++ allocation
// operators (not under sanitizers, which replace them themselves).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <thread>
#include <vector>

#include "fake-host.h"
#include "plugin/verb-effect.h"

#include "support/counting-allocator.h"

using tarsktest::allocationCalls;
using tarsktest::counting;

namespace tarsk {

// Reaches the effect's program lock.
struct VerbEffectProbe {
    static SpinLock& programLock(VerbEffect& effect) { return effect.programLock; }
};

namespace {

using test::FakeHost;
using test::FakeHostScope;

struct RealtimeFixture : testing::Test {
    FakeHost host;
    FakeHostScope scope{host};
    VerbEffect effect{FakeHost::callback};
    std::vector<float> left = std::vector<float>(8192, 0.25f), right = std::vector<float>(8192, -0.25f);
    std::vector<float> outLeft = std::vector<float>(8192), outRight = std::vector<float>(8192);

    RealtimeFixture() {
        host.tempo = 120.0;
        effect.dispatch(vst2::effOpen, 0, 0, nullptr, 0);
        effect.dispatch(vst2::effSetSampleRate, 0, 0, nullptr, 48000.0f);
        effect.dispatch(vst2::effMainsChanged, 0, 1, nullptr, 0);
    }
    void block(int32_t frames) {
        float* in[2] = {left.data(), right.data()};
        float* out[2] = {outLeft.data(), outRight.data()};
        effect.processReplacing(in, out, frames);
    }
};

TEST_F(RealtimeFixture, AfterTheFirstBlockTheAudioCallbackNeverAllocates) {
    if (!TARSK_COUNTS_ALLOCATIONS) {
        GTEST_SKIP() << "the sanitizer owns the allocator";
    }
    block(256);  // the first block cooks and resets

    // Plain blocks, program changes from the host and edits from the editor: each is cooked in
    // the audio callback, without the heap.
    long calls = 0;
    auto countedBlock = [&](int32_t frames) {
        allocationCalls = 0;
        counting = true;
        block(frames);
        counting = false;
        calls += allocationCalls.load();
    };
    for (int32_t frames : {1, 64, 512, 8192, 7, 1000}) {
        countedBlock(frames);
    }
    for (int32_t program : {1, 2, 0}) {
        effect.dispatch(vst2::effSetProgram, 0, program, nullptr, 0);
        countedBlock(512);
    }
    ProgramSnapshot snap;
    ASSERT_TRUE(effect.snapshot(snap));
    snap.record.setF(word::delayLength, 12.5f);
    snap.record.setF(word::lfo1 + lfo::decayDepth, 20.0f);
    const uint8_t everything[4] = {1, 1, 1, 1};
    ASSERT_NE(effect.commit(snap, everything), CommitResult::dropped);
    countedBlock(512);
    effect.dispatch(vst2::effMainsChanged, 0, 1, nullptr, 0);
    countedBlock(512);
    EXPECT_EQ(calls, 0);

    // The counter does count: an allocation while counting is seen.
    allocationCalls = 0;
    counting = true;
    std::vector<float>* probe = new std::vector<float>(16);
    delete probe;
    counting = false;
    EXPECT_GE(allocationCalls.load(), 2);
}

TEST_F(RealtimeFixture, TheProgramLockIsTakenOnlyForAPendingChange) {
    block(256);
    ASSERT_EQ(effect.changeFlags().cookPending.load(), 0);

    std::atomic<bool> done{false};
    auto waitFor = [&](std::chrono::milliseconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (!done.load() && std::chrono::steady_clock::now() < until) {
            std::this_thread::yield();
        }
        return done.load();
    };

    // With the lock held elsewhere and no change pending, the audio thread runs on.
    {
        LockGuard held = LockGuard::locked(VerbEffectProbe::programLock(effect));
        std::thread audio([&] {
            for (int i = 0; i < 20; ++i) {
                block(512);
            }
            done = true;
        });
        const bool finished = waitFor(std::chrono::seconds(20));
        EXPECT_TRUE(finished) << "the audio callback waited for the program lock";
        held.release();
        audio.join();
    }

    // A pending change is copied under the lock: the callback waits until the lock is free.
    done = false;
    effect.changeFlags().cookPending = 1;
    {
        LockGuard held = LockGuard::locked(VerbEffectProbe::programLock(effect));
        std::thread audio([&] {
            block(64);
            done = true;
        });
        EXPECT_FALSE(waitFor(std::chrono::milliseconds(50)));
        held.release();
        audio.join();
    }
    EXPECT_TRUE(done.load());
    EXPECT_EQ(effect.changeFlags().cookPending.load(), 0);
}

}  // namespace
}  // namespace tarsk
