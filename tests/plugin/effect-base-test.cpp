// The protocol side of the effect object: host queries at construction, dispatcher rules, the lock
// discipline, event slicing, the tempo query and the message pipe.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "fake-host.h"
#include "plugin/effect-base.h"
#include "plugin/instance.h"
#include "plugin/verb-effect.h"
#include "presets/program-chunk.h"
#include "tarsklib/platform-cpu.h"

namespace tarsk {
namespace {

using test::FakeHost;
using test::FakeHostScope;

// An effect that records what the shell hands it.
class RecordingEffect : public EffectBase {
public:
    explicit RecordingEffect(vst2::HostCallback host) : EffectBase(host, 4, 0) {
        aeffect.numInputs = 2;
        aeffect.numOutputs = 2;
    }
    void process(float** inputs, float** outputs, int32_t frames) override {
        pieces.push_back(frames);
        starts.push_back(inputs[0] != nullptr ? static_cast<int32_t>(inputs[0] - base) : -1);
        if (outputLevel != 0.0f) {
            for (int c = 0; c < 2; ++c) {
                std::fill(outputs[c], outputs[c] + frames, outputLevel);
            }
        }
    }
    void setProgram(int32_t index) override {
        programsSet.push_back(index);
        log.push_back("program " + std::to_string(index));
        current.store(index);
    }
    void setChunk(const void* data, size_t size, bool quiet, int32_t program) override {
        log.push_back("chunk " + std::string(static_cast<const char*>(data), size) + " into " +
                      std::to_string(program == -1 ? currentProgram() : program) + (quiet ? " quiet" : ""));
    }
    void mainsChanged(bool on) override { log.push_back(on ? "resume" : "suspend"); }
    void processEvent(const vst2::VstEvent& event) override {
        handed.push_back(event.flags);  // tests put an event's serial number into flags
        handedAtPiece.push_back(pieces.size());
    }
    void tempoChanged() override { ++tempoChanges; }
    void setSampleRate() override { ++sampleRateChanges; }

    float* base = nullptr;
    float outputLevel = 0.0f;  // written into the outputs when not 0
    std::vector<int32_t> pieces, starts, handed, programsSet;
    std::vector<std::string> log;  // program switches, chunks and the power switch, in order
    std::vector<size_t> handedAtPiece;
    int tempoChanges = 0;
    int sampleRateChanges = 0;
};

vst2::VstEvent makeEvent(int32_t offset, int32_t serial) {
    vst2::VstEvent event{};
    event.type = 1;
    event.byteSize = 24;
    event.deltaFrames = offset;
    event.flags = serial;
    return event;
}

void sendEvents(EffectBase& effect, std::vector<vst2::VstEvent>& list) {
    std::vector<uint8_t> storage(sizeof(vst2::VstEvents) + list.size() * sizeof(void*));
    auto* block = reinterpret_cast<vst2::VstEvents*>(storage.data());
    block->numEvents = static_cast<int32_t>(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        block->events[i] = &list[i];
    }
    EXPECT_EQ(effect.dispatch(vst2::effProcessEvents, 0, 0, block, 0), 1);
}

TEST(EffectConstruction, AsksAnOldHostNothingBeyondItsVersion) {
    for (int32_t version : {0, 1}) {
        FakeHost host;
        host.vstVersion = version;
        FakeHostScope scope(host);
        RecordingEffect effect(FakeHost::callback);
        EXPECT_EQ(host.count(vst2::audioMasterVersion), 1);
        EXPECT_EQ(host.count(vst2::audioMasterCurrentId), 1);
        EXPECT_EQ(host.count(vst2::audioMasterGetVendorString), 0);
        EXPECT_EQ(host.count(vst2::audioMasterGetSampleRate), 0);
        EXPECT_STREQ(effect.hostVendor(), "");
        EXPECT_STREQ(effect.hostProduct(), "");
        EXPECT_FALSE(effect.canSizeWindow());
        EXPECT_EQ(effect.sampleRate(), 0.0f);
        EXPECT_EQ(effect.blockSize(), 0);
    }
}

TEST(EffectConstruction, ReadsHostInformationAndQuirks) {
    FakeHost host;
    host.vendor = std::string(100, 'v');
    FakeHostScope scope(host);
    {
        RecordingEffect effect(FakeHost::callback);
        EXPECT_EQ(std::string(effect.hostVendor()), std::string(63, 'v'));
        EXPECT_STREQ(effect.hostProduct(), "Test Product");
        EXPECT_EQ(effect.hostVendorVersion(), 7);
        EXPECT_TRUE(effect.canSizeWindow());
        EXPECT_EQ(effect.sampleRate(), 44100.0f);
        EXPECT_EQ(effect.blockSize(), 256);
        EXPECT_EQ(effect.editorHostMode(), kEditorHostModeDefault);
    }
    host.vendor = "Sony Creative Software";
    host.product = "Vegas Pro";
    {
        RecordingEffect effect(FakeHost::callback);
        EXPECT_FALSE(effect.canSizeWindow());
    }
    host.vendor = "Test";
    host.product = "Test";
    host.canSizeWindow = 2;  // only exactly 1 means yes
    {
        RecordingEffect effect(FakeHost::callback);
        EXPECT_FALSE(effect.canSizeWindow());
    }
    host.vendor = "Raw Material Software";
    host.product = "Tracktion Waveform";
    EXPECT_EQ(RecordingEffect(FakeHost::callback).editorHostMode(), kEditorHostModeTracktion);
    host.vendor = "MAGIX Raw Material";
    host.product = "Samplitude Tracktion";
    EXPECT_EQ(RecordingEffect(FakeHost::callback).editorHostMode(), kEditorHostModeSamplitude);
}

TEST(EffectRecord, SitsRightAfterTheVirtualTablePointerAndIsValidated) {
    FakeHost host;
    FakeHostScope scope(host);
    RecordingEffect effect(FakeHost::callback);
    vst2::AEffect* record = effect.record();
    EXPECT_EQ(reinterpret_cast<char*>(record), reinterpret_cast<char*>(&effect) + sizeof(void*));
    EXPECT_EQ(EffectBase::fromRecord(record), &effect);
    EXPECT_EQ(record->magic, vst2::kEffectMagic);
    EXPECT_EQ(record->uniqueID, kUniqueId);
    EXPECT_EQ(record->version, 760);
    EXPECT_EQ(record->object, nullptr);
    EXPECT_EQ(record->user, nullptr);
    EXPECT_EQ(record->process, nullptr);
    EXPECT_EQ(record->processDoubleReplacing, nullptr);
    EXPECT_EQ(record->getParameter(record, 0), 0.0f);

    EXPECT_EQ(EffectBase::fromRecord(nullptr), nullptr);
    record->uniqueID = 0x12345678;
    EXPECT_EQ(EffectBase::fromRecord(record), nullptr);
    EXPECT_EQ(record->dispatcher(record, vst2::effGetVendorVersion, 0, 0, nullptr, 0), 0);
    record->uniqueID = kUniqueId;
    EXPECT_EQ(record->dispatcher(record, vst2::effGetVendorVersion, 0, 0, nullptr, 0), 760);
}

TEST(EffectDispatcher, AnswersNamesVersionsAndUnknownOpcodes) {
    FakeHost host;
    FakeHostScope scope(host);
    RecordingEffect effect(FakeHost::callback);
    char text[256];
    std::memset(text, 'x', sizeof(text));
    EXPECT_EQ(effect.dispatch(vst2::effGetEffectName, 0, 0, text, 0), 1);
    EXPECT_STREQ(text, "TarskVerb 0.7.6");
    EXPECT_EQ(effect.dispatch(vst2::effGetVendorString, 0, 0, text, 0), 1);
    EXPECT_STREQ(text, "TarskCode");
    EXPECT_EQ(effect.dispatch(vst2::effGetProductString, 0, 0, text, 0), 1);
    EXPECT_STREQ(text, "TarskVerb FDN Processor 0.7.6");
    EXPECT_EQ(effect.dispatch(vst2::effGetVstVersion, 0, 0, nullptr, 0), 2400);
    EXPECT_EQ(effect.dispatch(vst2::effGetPlugCategory, 0, 0, nullptr, 0), 6);
    EXPECT_EQ(effect.dispatch(vst2::effIdentify, 0, 0, nullptr, 0), 0x4E764566);
    EXPECT_EQ(effect.dispatch(vst2::effGetCurrentMidiProgram, 0, 0, nullptr, 0), -1);
    EXPECT_EQ(effect.dispatch(vst2::effKeysRequired, 0, 0, nullptr, 0), 1);
    EXPECT_EQ(effect.dispatch(vst2::effCanBeAutomated, 0, 0, nullptr, 0), 1);
    EXPECT_EQ(effect.dispatch(vst2::effSetProcessPrecision, 0, 0, nullptr, 0), 1);
    EXPECT_EQ(effect.dispatch(vst2::effSetProcessPrecision, 0, 1, nullptr, 0), 0);
    for (int32_t opcode : {-5, 78, 1000, int32_t{vst2::effGetTailSize}, int32_t{vst2::effSetBypass},
                           int32_t{vst2::effGetParamName}}) {
        EXPECT_EQ(effect.dispatch(opcode, 0, 0, text, 0), 0) << opcode;
    }
    EXPECT_EQ(effect.dispatch(vst2::effCanDo, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(effect.dispatch(vst2::effGetChunk, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(effect.dispatch(vst2::effEditGetRect, 0, 0, text, 0), 0);  // no editor view
    EXPECT_EQ(effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0), 0);
}

TEST(EffectAudioCallback, SlicesBlocksAtEventOffsetsInStableOrder) {
    FakeHost host;
    FakeHostScope scope(host);
    RecordingEffect effect(FakeHost::callback);
    effect.dispatch(vst2::effOpen, 0, 0, nullptr, 0);
    std::vector<float> left(512), right(512);
    float* channels[2] = {left.data(), right.data()};
    effect.base = left.data();

    // Arrival order 300, 100 (first), 100 (second), 900: the two 100s keep their order.
    std::vector<vst2::VstEvent> list = {makeEvent(300, 1), makeEvent(100, 2), makeEvent(100, 3), makeEvent(900, 4)};
    sendEvents(effect, list);
    effect.processReplacing(channels, channels, 512);
    EXPECT_EQ(effect.pieces, (std::vector<int32_t>{100, 200, 212}));
    EXPECT_EQ(effect.starts, (std::vector<int32_t>{0, 100, 300}));
    EXPECT_EQ(effect.handed, (std::vector<int32_t>{2, 3, 1}));
    EXPECT_EQ(effect.handedAtPiece, (std::vector<size_t>{1, 1, 2}));

    // The event beyond the block stays queued and is handed over in a later callback.
    effect.pieces.clear();
    effect.handed.clear();
    effect.processReplacing(channels, channels, 512);  // offset 900 lies beyond it
    EXPECT_TRUE(effect.handed.empty());
    std::vector<float> longLeft(1024);
    float* longChannels[2] = {longLeft.data(), longLeft.data()};
    effect.base = longLeft.data();
    effect.pieces.clear();
    effect.processReplacing(longChannels, longChannels, 1024);
    EXPECT_EQ(effect.handed, (std::vector<int32_t>{4}));
    EXPECT_EQ(effect.pieces, (std::vector<int32_t>{900, 124}));

    // An event at offset 0 is handed over before any frame; a block of 0 frames does nothing.
    std::vector<vst2::VstEvent> atStart = {makeEvent(0, 5)};
    sendEvents(effect, atStart);
    effect.pieces.clear();
    effect.handed.clear();
    effect.processReplacing(channels, channels, 0);
    EXPECT_TRUE(effect.pieces.empty());
    effect.base = left.data();
    effect.processReplacing(channels, channels, 64);
    EXPECT_EQ(effect.handed, (std::vector<int32_t>{5}));
    EXPECT_EQ(effect.pieces, (std::vector<int32_t>{64}));
}

TEST(EffectAudioCallback, DoesNothingBeforeOpenAndReportsTempoChanges) {
    FakeHost host;
    FakeHostScope scope(host);
    RecordingEffect effect(FakeHost::callback);
    std::vector<float> buffer(64);
    float* channels[2] = {buffer.data(), buffer.data()};
    effect.processReplacing(channels, channels, 64);
    EXPECT_TRUE(effect.pieces.empty());
    EXPECT_EQ(host.count(vst2::audioMasterGetTime), 0);

    effect.dispatch(vst2::effOpen, 0, 0, nullptr, 0);
    effect.processReplacing(channels, channels, 64);  // no tempo reported
    EXPECT_EQ(effect.tempoChanges, 0);
    host.tempo = 120.0;
    effect.processReplacing(channels, channels, 64);
    effect.processReplacing(channels, channels, 64);
    EXPECT_EQ(effect.tempoChanges, 1);
    EXPECT_EQ(effect.hostTempo(), 120.0f);
    host.tempo = 121.0;
    effect.processReplacing(channels, channels, 64);
    EXPECT_EQ(effect.tempoChanges, 2);
}

TEST(EffectLocking, ChangesThatLoseTheRaceWaitForTheNextBlockAndSilenceNothing) {
    FakeHost host;
    FakeHostScope scope(host);
    RecordingEffect effect(FakeHost::callback);
    effect.dispatch(vst2::effOpen, 0, 0, nullptr, 0);
    std::vector<float> buffer(64);
    float* channels[2] = {buffer.data(), buffer.data()};

    // The audio thread holds the host-call lock for longer than a caller waits.
    host.holdInTimeQuery = true;
    std::thread audio([&] { effect.processReplacing(channels, channels, 64); });
    while (!host.insideTimeQuery.load()) {
        std::this_thread::yield();
    }
    effect.dispatch(vst2::effSetSampleRate, 0, 0, nullptr, 96000.0f);
    effect.dispatch(vst2::effSetBlockSize, 0, 128, nullptr, 0);
    effect.dispatch(vst2::effSetProgram, 0, 1, nullptr, 0);
    effect.dispatch(vst2::effSetProgram, 0, 3, nullptr, 0);  // the last switch wins
    EXPECT_EQ(effect.sampleRateChanges, 0);
    EXPECT_EQ(effect.dispatch(vst2::effGetProgram, 0, 0, nullptr, 0), 3);  // the host sees its choice
    EXPECT_TRUE(effect.programsSet.empty());
    host.holdInTimeQuery = false;
    audio.join();

    // The next block carries the changes out before it processes, and is processed.
    size_t before = effect.pieces.size();
    effect.processReplacing(channels, channels, 64);
    EXPECT_EQ(effect.pieces.size(), before + 1);
    EXPECT_EQ(effect.sampleRate(), 96000.0f);
    EXPECT_EQ(effect.blockSize(), 128);
    EXPECT_EQ(effect.sampleRateChanges, 1);
    EXPECT_EQ(effect.programsSet, (std::vector<int32_t>{3}));

    // A waiting switch that the host takes back is not carried out.
    host.holdInTimeQuery = true;
    std::thread again([&] { effect.processReplacing(channels, channels, 64); });
    while (!host.insideTimeQuery.load()) {
        std::this_thread::yield();
    }
    effect.dispatch(vst2::effSetProgram, 0, 2, nullptr, 0);
    effect.dispatch(vst2::effSetProgram, 0, 3, nullptr, 0);
    EXPECT_EQ(effect.dispatch(vst2::effGetProgram, 0, 0, nullptr, 0), 3);
    host.holdInTimeQuery = false;
    again.join();
    effect.processReplacing(channels, channels, 64);
    EXPECT_EQ(effect.programsSet, (std::vector<int32_t>{3}));

    // A waiting switch is carried out by the next dispatcher call that gets the lock, too.
    host.holdInTimeQuery = true;
    std::thread third([&] { effect.processReplacing(channels, channels, 64); });
    while (!host.insideTimeQuery.load()) {
        std::this_thread::yield();
    }
    effect.dispatch(vst2::effSetProgram, 0, 0, nullptr, 0);
    host.holdInTimeQuery = false;
    third.join();
    effect.dispatch(vst2::effMainsChanged, 0, 1, nullptr, 0);
    EXPECT_EQ(effect.programsSet, (std::vector<int32_t>{3, 0}));
}

TEST(EffectLocking, WaitingChunksAndPowerSwitchesKeepTheHostsOrder) {
    FakeHost host;
    FakeHostScope scope(host);
    RecordingEffect effect(FakeHost::callback);
    effect.dispatch(vst2::effOpen, 0, 0, nullptr, 0);
    std::vector<float> buffer(64);
    float* channels[2] = {buffer.data(), buffer.data()};
    // Runs `calls` while an audio block holds the host-call lock, then one more block.
    auto whileBusy = [&](const std::function<void()>& calls) {
        host.holdInTimeQuery = true;
        std::thread audio([&] { effect.processReplacing(channels, channels, 64); });
        while (!host.insideTimeQuery.load()) {
            std::this_thread::yield();
        }
        calls();
        host.holdInTimeQuery = false;
        audio.join();
        effect.processReplacing(channels, channels, 64);
    };
    char first[] = "first chunk of 17";
    char second[] = "second chunk of 18";

    // A switch and then a chunk: the chunk goes into the program switched to.
    whileBusy([&] {
        effect.dispatch(vst2::effSetProgram, 0, 2, nullptr, 0);
        effect.dispatch(vst2::effSetChunk, 0, 17, first, 0);
    });
    EXPECT_EQ(effect.log, (std::vector<std::string>{"program 2", "chunk first chunk of 17 into 2"}));

    // A chunk and then a switch: the chunk goes into the program that was current.
    effect.log.clear();
    whileBusy([&] {
        effect.dispatch(vst2::effSetChunk, 0, 18, second, 0);
        effect.dispatch(vst2::effSetProgram, 0, 1, nullptr, 0);
    });
    EXPECT_EQ(effect.log, (std::vector<std::string>{"chunk second chunk of 18 into 2", "program 1"}));

    // A chunk posted for a slot of its own, and a suspend followed by a resume, in that order.
    effect.log.clear();
    whileBusy([&] {
        EXPECT_TRUE(effect.postSetChunk(first, 17, 3));
        effect.dispatch(vst2::effEditIdle, 0, 0, nullptr, 0);
        effect.dispatch(vst2::effMainsChanged, 0, 0, nullptr, 0);
        effect.dispatch(vst2::effMainsChanged, 0, 1, nullptr, 0);
    });
    EXPECT_EQ(effect.log, (std::vector<std::string>{"suspend", "resume", "chunk first chunk of 17 into 3 quiet"}));

    // A save asked for while a chunk waits carries the chunk out first.
    effect.log.clear();
    whileBusy([&] { effect.dispatch(vst2::effSetChunk, 0, 17, first, 0); });
    effect.log.clear();
    host.holdInTimeQuery = true;
    std::thread audio([&] { effect.processReplacing(channels, channels, 64); });
    while (!host.insideTimeQuery.load()) {
        std::this_thread::yield();
    }
    effect.dispatch(vst2::effSetChunk, 0, 18, second, 0);
    host.holdInTimeQuery = false;
    audio.join();
    void* data = nullptr;
    effect.dispatch(vst2::effGetChunk, 0, 0, &data, 0);
    EXPECT_EQ(effect.log, (std::vector<std::string>{"chunk second chunk of 18 into 1"}));
    EXPECT_EQ(effect.droppedChanges(), 0u);
    EXPECT_GE(effect.deferredChanges(), 8u);
}

TEST(EffectLocking, ABlockThatCannotBeProcessedFadesFromTheLastOutput) {
    FakeHost host;
    FakeHostScope scope(host);
    RecordingEffect effect(FakeHost::callback);
    std::vector<float> left(64, 0.3f), right(64, 0.3f), outLeft(64), outRight(64);
    float* in[2] = {left.data(), right.data()};
    float* out[2] = {outLeft.data(), outRight.data()};
    const float untouched = std::nanf("");

    // Before effOpen the outputs are silence, not whatever the host left in them.
    std::fill(outLeft.begin(), outLeft.end(), untouched);
    effect.processReplacing(in, out, 64);
    EXPECT_EQ(outLeft[0], 0.0f);
    EXPECT_EQ(outLeft[63], 0.0f);

    effect.dispatch(vst2::effOpen, 0, 0, nullptr, 0);
    effect.outputLevel = 0.5f;
    effect.processReplacing(in, out, 64);
    ASSERT_EQ(outLeft[63], 0.5f);

    // Another thread holds the host-call lock: the block fades from 0.5 towards silence.
    host.holdInTimeQuery = true;
    std::vector<float> hold(64);
    float* holdChannels[2] = {hold.data(), hold.data()};
    std::thread audio([&] { effect.processReplacing(holdChannels, holdChannels, 64); });
    while (!host.insideTimeQuery.load()) {
        std::this_thread::yield();
    }
    std::fill(outLeft.begin(), outLeft.end(), untouched);
    std::fill(outRight.begin(), outRight.end(), untouched);
    size_t before = effect.pieces.size();
    effect.processReplacing(in, out, 64);
    EXPECT_EQ(effect.pieces.size(), before);
    for (const std::vector<float>* channel : {&outLeft, &outRight}) {
        const std::vector<float>& o = *channel;
        EXPECT_GT(o[0], 0.4f);
        EXPECT_LT(o[0], 0.5f);
        for (size_t i = 1; i < o.size(); ++i) {
            ASSERT_TRUE(std::isfinite(o[i]));
            EXPECT_LE(o[i], o[i - 1]);
        }
        EXPECT_LT(o[63], 0.001f);  // below -54 dB re the last output
    }
    EXPECT_EQ(effect.fadedBlocks(), 1u);
    // A second unprocessed block goes on from where the first ended and reaches zero.
    effect.processReplacing(in, out, 64);
    EXPECT_LE(outLeft[0], 0.001f);
    EXPECT_EQ(outLeft[63], 0.0f);
    host.holdInTimeQuery = false;
    audio.join();
}

TEST(EffectPipe, CarriesPostedProgramsAndChunksToTheIdleCall) {
    FakeHost host;
    FakeHostScope scope(host);
    VerbEffect effect(FakeHost::callback);
    effect.dispatch(vst2::effOpen, 0, 0, nullptr, 0);
    EXPECT_EQ(effect.dispatch(vst2::effEditIdle, 0, 0, nullptr, 0), 0);  // nothing waiting

    EXPECT_TRUE(effect.postSetProgram(2));
    EXPECT_EQ(effect.currentProgram(), 0);
    effect.dispatch(vst2::effEditIdle, 0, 0, nullptr, 0);
    EXPECT_EQ(effect.currentProgram(), 2);

    // A chunk posted for slot 3 lands there and becomes what the engine plays.
    ProgramRecord program = effect.programCopy(0);
    program.setName("Posted");
    uint8_t chunk[kMaxChunkBytes];
    size_t size = writeChunk(chunk, program);
    EXPECT_TRUE(effect.postSetChunk(chunk, size, 3));
    effect.changeFlags().cookPending = 0;
    effect.dispatch(vst2::effEditIdle, 0, 0, nullptr, 0);
    EXPECT_STREQ(effect.programCopy(3).name(), "Posted");
    EXPECT_EQ(effect.editTarget(), 3u);
    EXPECT_EQ(effect.changeFlags().cookPending.load(), 1);

    // A posted host call reaches the host on the idle call with every argument whole (a negative
    // value and a pointer keep their full width).
    int target = 0;
    host.lastOther = {};
    EXPECT_TRUE(effect.postHostCall(vst2::audioMasterUpdateDisplay, -5, intptr_t{-123456789}, &target, 0.75f));
    EXPECT_EQ(host.lastOther.opcode, -1);  // not before the idle call
    effect.dispatch(vst2::effEditIdle, 0, 0, nullptr, 0);
    EXPECT_EQ(host.lastOther.opcode, vst2::audioMasterUpdateDisplay);
    EXPECT_EQ(host.lastOther.index, -5);
    EXPECT_EQ(host.lastOther.value, intptr_t{-123456789});
    EXPECT_EQ(host.lastOther.ptr, &target);
    EXPECT_EQ(host.lastOther.opt, 0.75f);

    // A chunk too large for one message is refused; a full pipe refuses without waiting.
    std::vector<uint8_t> large(message::kMaxChunk + 1, 0);
    EXPECT_FALSE(effect.postSetChunk(large.data(), large.size(), 0));
    int posted = 0;
    while (effect.postSetChunk(chunk, size, 1) && posted < 100) {
        ++posted;
    }
    EXPECT_EQ(posted, static_cast<int>(kEffectPipeBytes / (size + message::kChunkOffset)));
    for (int i = 0; i < posted; ++i) {
        effect.dispatch(vst2::effEditIdle, 0, 0, nullptr, 0);
    }
    EXPECT_TRUE(effect.postSetProgram(1));
}

TEST(EffectInstances, EntryRefusesNoHostAndNoSse) {
    EXPECT_EQ(createInstance(nullptr), nullptr);
    CpuFeatures noSse;
    overrideCpuFeatures(&noSse);
    testing::internal::CaptureStderr();
    EXPECT_EQ(createInstance(nullptr), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // no message without a host
    FakeHost host;
    FakeHostScope scope(host);
    testing::internal::CaptureStderr();
    EXPECT_EQ(createInstance(FakeHost::callback), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("does not support the SSE instruction set"),
              std::string::npos);
    overrideCpuFeatures(nullptr);

    int32_t before = instanceCount();
    vst2::AEffect* record = createInstance(FakeHost::callback);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(instanceCount(), before + 1);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(EffectBase::fromRecord(record)) % 4096, 0u);  // page-aligned block
    record->dispatcher(record, vst2::effOpen, 0, 0, nullptr, 0);
    record->dispatcher(record, vst2::effClose, 0, 0, nullptr, 0);
    EXPECT_EQ(instanceCount(), before);
}

}  // namespace
}  // namespace tarsk
