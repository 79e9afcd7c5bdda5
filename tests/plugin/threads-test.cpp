// The dispatcher and the audio callback on two threads: program changes, chunks and pipe messages
// against processing. Run under ThreadSanitizer by the test command.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "fake-host.h"
#include "plugin/verb-effect.h"
#include "presets/program-chunk.h"

namespace tarsk {
namespace {

using test::FakeHost;
using test::FakeHostScope;

TEST(EffectThreads, ASaveDuringAnAudioBlockIsAnswered) {
    FakeHost host;
    FakeHostScope scope(host);
    VerbEffect effect(FakeHost::callback);
    effect.dispatch(vst2::effOpen, 0, 0, nullptr, 0);
    std::vector<float> buffer(512);
    float* channels[2] = {buffer.data(), buffer.data()};

    host.holdInTimeQuery = true;
    std::thread audio([&] { effect.processReplacing(channels, channels, 512); });
    while (!host.insideTimeQuery.load()) {
        std::this_thread::yield();
    }
    void* data = nullptr;
    EXPECT_EQ(effect.dispatch(vst2::effGetChunk, 0, 0, &data, 0), 880);
    host.holdInTimeQuery = false;
    audio.join();
    ProgramRecord read;
    ASSERT_TRUE(readChunk(read, static_cast<const uint8_t*>(data), 880));
    EXPECT_STREQ(read.name(), "Ridiva ra dez Urerozidu");
}

TEST(EffectThreads, HostEditorAndAudioThreadsShareTheProgramsSafely) {
    FakeHost host;
    host.tempo = 100.0;
    FakeHostScope scope(host);
    VerbEffect effect(FakeHost::callback);
    effect.dispatch(vst2::effOpen, 0, 0, nullptr, 0);
    effect.dispatch(vst2::effMainsChanged, 0, 1, nullptr, 0);

    std::atomic<bool> running{true};
    std::atomic<int> blocks{0};
    std::thread audio([&] {
        std::vector<float> left(64, 0.25f), right(64, -0.25f), outLeft(64), outRight(64);
        float* in[2] = {left.data(), right.data()};
        float* out[2] = {outLeft.data(), outRight.data()};
        while (running.load()) {
            effect.processReplacing(in, out, 64);
            blocks.fetch_add(1);
        }
    });

    while (blocks.load() == 0) {
        std::this_thread::yield();
    }
    std::vector<uint8_t> initChunk(kMaxChunkBytes);
    initChunk.resize(writeChunk(initChunk.data(), effect.programCopy(1)));
    int failedChunks = 0;
    for (int i = 0; i < 2000; ++i) {
        effect.dispatch(vst2::effSetProgram, 0, i % 4, nullptr, 0);
        void* data = nullptr;
        intptr_t size = effect.dispatch(vst2::effGetChunk, 0, 0, &data, 0);
        ProgramRecord read;
        if (size != 880 || !readChunk(read, static_cast<const uint8_t*>(data), 880)) {
            ++failedChunks;
        }
        if (i % 3 == 0) {
            effect.dispatch(vst2::effSetChunk, 0, static_cast<intptr_t>(initChunk.size()), initChunk.data(), 0);
        }
        ProgramSnapshot snap;
        if (effect.snapshot(snap)) {
            snap.record.setF(word::wet, static_cast<float>(i % 100));
            const uint8_t cook[4] = {1, 0, 0, 0};
            effect.commit(snap, cook);
        }
        if (i % 5 == 0) {
            effect.postSetProgram((i / 5) % 4);
            effect.postSetChunk(initChunk.data(), initChunk.size(), (i / 5) % 4);
        }
        effect.dispatch(vst2::effEditIdle, 0, 0, nullptr, 0);
        char name[32];
        effect.dispatch(vst2::effGetProgramNameIndexed, i % 4, 0, name, 0);
    }
    running = false;
    audio.join();
    EXPECT_EQ(failedChunks, 0);
}

TEST(EffectThreads, EachInstanceHandsTheHostItsOwnChunkThatStaysUntilItsNextSave) {
    FakeHost host;
    FakeHostScope scope(host);
    VerbEffect first(FakeHost::callback);
    VerbEffect second(FakeHost::callback);
    first.setProgramName("First instance");
    second.setProgramName("Second instance");
    ProgramRecord program = second.programCopy(0);
    program.setF(word::wet, 0.25f);
    uint8_t edited[kMaxChunkBytes];
    second.dispatch(vst2::effSetChunk, 0, static_cast<intptr_t>(writeChunk(edited, program)), edited, 0);

    // One after the other: the first chunk survives the second instance's save.
    void* firstData = nullptr;
    void* secondData = nullptr;
    ASSERT_EQ(first.dispatch(vst2::effGetChunk, 0, 0, &firstData, 0), 880);
    std::vector<uint8_t> firstCopy(static_cast<uint8_t*>(firstData), static_cast<uint8_t*>(firstData) + 880);
    ASSERT_EQ(second.dispatch(vst2::effGetChunk, 0, 0, &secondData, 0), 880);
    EXPECT_NE(firstData, secondData);
    EXPECT_EQ(std::memcmp(firstData, firstCopy.data(), 880), 0);

    // At the same time from two threads: every save is of its own instance, and the pointer the
    // host holds does not change under it while the other instance saves.
    auto saveMany = [](VerbEffect& effect, const char* name, int& wrong) {
        void* held = nullptr;
        effect.dispatch(vst2::effGetChunk, 0, 0, &held, 0);
        std::vector<uint8_t> expected(static_cast<uint8_t*>(held), static_cast<uint8_t*>(held) + 880);
        for (int i = 0; i < 5000; ++i) {
            if (std::memcmp(held, expected.data(), 880) != 0) {
                ++wrong;
            }
            void* data = nullptr;
            intptr_t size = effect.dispatch(vst2::effGetChunk, 0, 0, &data, 0);
            ProgramRecord read;
            if (data != held || size != 880 || !readChunk(read, static_cast<const uint8_t*>(data), 880) ||
                std::strcmp(read.name(), name) != 0) {
                ++wrong;
            }
        }
    };
    int firstWrong = 0, secondWrong = 0;
    std::thread a([&] { saveMany(first, "First instance", firstWrong); });
    std::thread b([&] { saveMany(second, "Second instance", secondWrong); });
    a.join();
    b.join();
    EXPECT_EQ(firstWrong, 0);
    EXPECT_EQ(secondWrong, 0);
    ProgramRecord read;
    void* data = nullptr;
    second.dispatch(vst2::effGetChunk, 0, 0, &data, 0);
    ASSERT_TRUE(readChunk(read, static_cast<const uint8_t*>(data), 880));
    EXPECT_EQ(read.f(word::wet), 0.25f);
}

}  // namespace
}  // namespace tarsk
