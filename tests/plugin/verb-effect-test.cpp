// Program slots and the exchange of programs between host, editor and engine.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "fake-host.h"
#include "plugin/verb-effect.h"
#include "presets/program-chunk.h"

namespace tarsk {
namespace {

using test::FakeHost;
using test::FakeHostScope;

constexpr const char* kDefaultName = "Ridiva ra dez Urerozidu";

class CountingView final : public EditorView {
public:
    bool getRect(void*) override { return false; }
    bool open(void*) override { return false; }
    void close() override {}
    bool postCommand(uint32_t command) override {
        commands.push_back(command);
        return true;
    }
    std::vector<uint32_t> commands;
};

struct EffectFixture : testing::Test {
    FakeHost host;
    FakeHostScope scope{host};
    VerbEffect effect{FakeHost::callback};

    void clearFlags() {
        effect.changeFlags().cookPending = 0;
        effect.changeFlags().resetPending = 0;
        effect.changeFlags().lengthsChanged = 0;
        effect.changeFlags().modulationChanged = 0;
    }
    bool allFlagsSet() {
        ChangeFlags& f = effect.changeFlags();
        return f.cookPending && f.resetPending && f.lengthsChanged && f.modulationChanged;
    }
    bool noFlagSet() {
        ChangeFlags& f = effect.changeFlags();
        return !f.cookPending && !f.resetPending && !f.lengthsChanged && !f.modulationChanged;
    }
    std::vector<uint8_t> chunkOf(const ProgramRecord& record) {
        std::vector<uint8_t> chunk(kMaxChunkBytes);
        chunk.resize(writeChunk(chunk.data(), record));
        return chunk;
    }
    std::string name(int32_t index) {
        char text[64];
        std::memset(text, 'x', sizeof(text));
        EXPECT_TRUE(effect.getProgramNameIndexed(text, index));
        return text;
    }
};

TEST_F(EffectFixture, StartsWithTheDefaultProgramAndThreeInits) {
    EXPECT_EQ(effect.record()->numPrograms, 4);
    EXPECT_EQ(effect.record()->numParams, 0);
    EXPECT_EQ(effect.record()->numInputs, 2);
    EXPECT_EQ(effect.record()->numOutputs, 2);
    EXPECT_EQ(effect.record()->flags, 0x39);
    EXPECT_EQ(effect.currentProgram(), 0);
    EXPECT_EQ(name(0), kDefaultName);
    for (int32_t i = 1; i < 4; ++i) {
        EXPECT_EQ(name(i), "Init");
        EXPECT_STREQ(effect.programCopy(i).description(), "This preset is a non-operation (identity).");
        EXPECT_EQ(effect.programCopy(i).u(word::version), kCurrentLayout);
    }
    char text[32];
    EXPECT_FALSE(effect.getProgramNameIndexed(text, 4));
    EXPECT_FALSE(effect.getProgramNameIndexed(text, -1));
    // effGetProgramName fills the buffer and still answers 0.
    std::memset(text, 0, sizeof(text));
    EXPECT_EQ(effect.dispatch(vst2::effGetProgramName, 0, 0, text, 0), 0);
    EXPECT_STREQ(text, kDefaultName);
}

TEST_F(EffectFixture, SwitchingProgramsKeepsTheEditsOfTheOldOne) {
    ProgramSnapshot snap;
    ASSERT_TRUE(effect.snapshot(snap));
    snap.record.setF(word::wet, 55.0f);
    const uint8_t cook[4] = {1, 0, 0, 0};
    ASSERT_NE(effect.commit(snap, cook), CommitResult::dropped);

    clearFlags();
    effect.dispatch(vst2::effSetProgram, 0, 2, nullptr, 0);
    EXPECT_EQ(effect.currentProgram(), 2);
    EXPECT_EQ(effect.editTarget(), 2u);
    EXPECT_TRUE(allFlagsSet());
    EXPECT_EQ(effect.programCopy(0).f(word::wet), 55.0f);  // written back into its slot
    EXPECT_EQ(name(2), "Init");

    // The current index, -1 and 4 change nothing.
    for (intptr_t index : {intptr_t{2}, intptr_t{-1}, intptr_t{4}}) {
        clearFlags();
        EXPECT_EQ(effect.dispatch(vst2::effSetProgram, 0, index, nullptr, 0), 0);
        EXPECT_EQ(effect.currentProgram(), 2);
        EXPECT_TRUE(noFlagSet());
    }
    EXPECT_EQ(effect.dispatch(vst2::effGetProgram, 0, 0, nullptr, 0), 2);
}

TEST_F(EffectFixture, SettingTheCurrentProgramStillInvalidatesAnEditorFrame) {
    ProgramSnapshot snap;
    ASSERT_TRUE(effect.snapshot(snap));
    effect.setProgram(0);  // same index: nothing moves, but the counter grows
    snap.record.setF(word::dry, 10.0f);
    const uint8_t cook[4] = {1, 0, 0, 0};
    EXPECT_EQ(effect.commit(snap, cook), CommitResult::dropped);
    EXPECT_NE(effect.programCopy(0).f(word::dry), 10.0f);
}

TEST_F(EffectFixture, NamesAreShownWithAtMost24Characters) {
    effect.setProgramName("A name of 27 characters ok");
    EXPECT_EQ(name(0), "A name of 27 characters ");
    ProgramSnapshot snap;
    ASSERT_TRUE(effect.snapshot(snap));
    snap.record.setName("abcdefghijklmnopqrstuvwxyz0");  // 27 characters in the record
    const uint8_t none[4] = {};
    ASSERT_NE(effect.commit(snap, none), CommitResult::dropped);
    EXPECT_EQ(name(0), "abcdefghijklmnopqrstuvwx");  // the working record, not yet the slot
    EXPECT_EQ(host.count(vst2::audioMasterUpdateDisplay), 1);
}

TEST_F(EffectFixture, ChunksRoundTripThroughTheHost) {
    void* data = nullptr;
    intptr_t size = effect.dispatch(vst2::effGetChunk, 0, 0, &data, 0);
    ASSERT_EQ(size, 880);
    ProgramRecord read;
    ASSERT_TRUE(readChunk(read, static_cast<const uint8_t*>(data), static_cast<size_t>(size)));
    EXPECT_STREQ(read.name(), kDefaultName);
    void* programData = nullptr;
    EXPECT_EQ(effect.dispatch(vst2::effGetChunk, 1, 0, &programData, 0), 880);  // program or bank: same

    EXPECT_EQ(programData, data);  // the instance's buffer stays where it is

    // Another instance answers with a buffer of its own and leaves this one's chunk alone.
    VerbEffect other(FakeHost::callback);
    other.setProgram(1);
    void* otherData = nullptr;
    EXPECT_EQ(other.dispatch(vst2::effGetChunk, 0, 0, &otherData, 0), 880);
    EXPECT_NE(otherData, data);
    ASSERT_TRUE(readChunk(read, static_cast<const uint8_t*>(otherData), 880));
    EXPECT_STREQ(read.name(), "Init");
    ASSERT_TRUE(readChunk(read, static_cast<const uint8_t*>(data), 880));
    EXPECT_STREQ(read.name(), kDefaultName);

    // A modified program set through the host lands in the current slot.
    ProgramRecord changed = effect.programCopy(1);
    changed.setName("From the host");
    changed.setF(word::halfLife, 2.5f);
    std::vector<uint8_t> chunk = chunkOf(changed);
    clearFlags();
    uint32_t targetBefore = effect.editTarget();
    EXPECT_EQ(effect.dispatch(vst2::effSetChunk, 0, static_cast<intptr_t>(chunk.size()), chunk.data(), 0), 0);
    EXPECT_EQ(name(0), "From the host");
    EXPECT_EQ(effect.programCopy(0).f(word::halfLife), 2.5f);
    EXPECT_TRUE(allFlagsSet());
    EXPECT_EQ(effect.editTarget(), targetBefore);
}

TEST_F(EffectFixture, BadChunksChangeNothing) {
    ProgramRecord before = effect.programCopy(0);
    ProgramRecord other = effect.programCopy(1);
    std::vector<uint8_t> chunk = chunkOf(other);

    clearFlags();
    effect.setChunk(chunk.data(), 16, true, -1);  // shorter than 17 bytes
    std::vector<uint8_t> foreign = chunk;
    foreign[0] ^= 0xFF;
    effect.setChunk(foreign.data(), foreign.size(), true, -1);  // foreign magic
    effect.setChunk(chunk.data(), 500, true, -1);               // cut short
    std::vector<uint8_t> unknown = chunk;
    unknown[5] = 0x77;  // version 0x7700
    effect.setChunk(unknown.data(), unknown.size(), true, -1);
    effect.setChunk(chunk.data(), chunk.size(), true, 7);  // no such slot
    effect.setChunk(nullptr, 880, true, -1);
    EXPECT_EQ(effect.programCopy(0), before);
    EXPECT_TRUE(noFlagSet());
    EXPECT_EQ(effect.dispatch(vst2::effSetChunk, 0, 880, nullptr, 0), 0);

    // The old magic is accepted and kept.
    std::vector<uint8_t> old = chunk;
    uint32_t oldMagic = kProgramMagicOld;
    std::memcpy(old.data(), &oldMagic, 4);
    effect.setChunk(old.data(), old.size(), true, -1);
    EXPECT_EQ(effect.programCopy(0).u(word::magic), kProgramMagicOld);
}

TEST_F(EffectFixture, AChunkForAnExplicitSlotBecomesTheEditTarget) {
    ProgramRecord program = effect.programCopy(0);
    program.setName("Slot two");
    std::vector<uint8_t> chunk = chunkOf(program);
    clearFlags();
    effect.setChunk(chunk.data(), chunk.size(), true, 2);
    EXPECT_EQ(name(2), "Slot two");
    EXPECT_EQ(name(0), kDefaultName);
    EXPECT_EQ(effect.editTarget(), 2u);
    EXPECT_TRUE(allFlagsSet());
    ProgramRecord played;
    effect.copyPlayedRecord(played);
    EXPECT_STREQ(played.name(), "Slot two");
}

TEST_F(EffectFixture, TellsTheEditorWhenTheHostReplacesPrograms) {
    CountingView view;
    effect.attachEditorView(&view);
    std::vector<uint8_t> chunk = chunkOf(effect.programCopy(1));
    effect.dispatch(vst2::effSetChunk, 0, static_cast<intptr_t>(chunk.size()), chunk.data(), 0);
    EXPECT_EQ(view.commands, (std::vector<uint32_t>{kEditorCommandProgramsReplaced}));
    effect.setChunk(chunk.data(), chunk.size(), true, 1);  // quiet: from the editor's own side
    EXPECT_EQ(view.commands.size(), 1u);
    effect.attachEditorView(nullptr);
}

TEST_F(EffectFixture, FreezeIsClearedByAProgramWithoutFeedback) {
    ProgramSnapshot snap;
    ASSERT_TRUE(effect.snapshot(snap));
    snap.freeze = 1;
    const uint8_t none[4] = {};
    clearFlags();
    ASSERT_NE(effect.commit(snap, none), CommitResult::dropped);
    EXPECT_TRUE(effect.freezeOn());
    EXPECT_EQ(effect.changeFlags().cookPending.load(), 1);  // a switch change needs a cook
    effect.setProgram(1);  // Init: half life exactly 0
    EXPECT_FALSE(effect.freezeOn());
}

TEST_F(EffectFixture, CommitsOnlyWhatChanged) {
    ProgramSnapshot snap;
    ASSERT_TRUE(effect.snapshot(snap));
    snap.record.setF(word::wet, 30.0f);
    const uint8_t lengths[4] = {1, 0, 1, 0};
    clearFlags();
    ASSERT_NE(effect.commit(snap, lengths), CommitResult::dropped);  // nothing differs: no flags
    EXPECT_TRUE(noFlagSet());

    ASSERT_TRUE(effect.snapshot(snap));
    snap.editTarget = 3;
    ASSERT_NE(effect.commit(snap, lengths), CommitResult::dropped);  // only the edit target differs
    EXPECT_EQ(effect.editTarget(), 3u);
    EXPECT_EQ(effect.changeFlags().cookPending.load(), 1);
    EXPECT_EQ(effect.changeFlags().lengthsChanged.load(), 1);
    EXPECT_EQ(effect.changeFlags().resetPending.load(), 0);

    // A host write between snapshot and commit drops the edits.
    ASSERT_TRUE(effect.snapshot(snap));
    snap.record.setF(word::wet, 1.0f);
    std::vector<uint8_t> chunk = chunkOf(effect.programCopy(1));
    effect.setChunk(chunk.data(), chunk.size(), true, 2);
    EXPECT_EQ(effect.commit(snap, lengths), CommitResult::dropped);
    EXPECT_EQ(host.count(vst2::audioMasterUpdateDisplay), 0);
}

TEST_F(EffectFixture, OpenAndCloseManageTheDelayMemory) {
    EXPECT_FALSE(effect.hasDelayMemory());
    clearFlags();
    effect.dispatch(vst2::effOpen, 0, 0, nullptr, 0);
    EXPECT_TRUE(effect.hasDelayMemory());
    EXPECT_TRUE(allFlagsSet());
    clearFlags();
    effect.dispatch(vst2::effMainsChanged, 0, 0, nullptr, 0);
    EXPECT_EQ(effect.changeFlags().resetPending.load(), 0);
    effect.dispatch(vst2::effMainsChanged, 0, 1, nullptr, 0);
    EXPECT_EQ(effect.changeFlags().resetPending.load(), 1);
    effect.dispatch(vst2::effSetSampleRate, 0, 0, nullptr, 48000.0f);
    EXPECT_TRUE(allFlagsSet());
    effect.close();
    EXPECT_FALSE(effect.hasDelayMemory());
}

// The Init program passes the input through: only the denormal guard (below 1e-11) is added, and
// the loop's rounding toward minus infinity may take one unit in the last place off that sum.
void expectPassedThrough(const std::vector<float>& out, const std::vector<float>& in) {
    ASSERT_EQ(out.size(), in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        ASSERT_NEAR(out[i], in[i], 1e-11 + std::fabs(in[i]) * 0x1p-23) << i;
    }
}

TEST_F(EffectFixture, InitPassesAudioThroughTheEngine) {
    effect.dispatch(vst2::effOpen, 0, 0, nullptr, 0);
    effect.setProgram(1);
    std::vector<float> left(300), right(300), outLeft(300, 9.0f), outRight(300, 9.0f);
    for (size_t i = 0; i < left.size(); ++i) {
        left[i] = static_cast<float>(i) * 0.001f;
        right[i] = -static_cast<float>(i) * 0.002f;
    }
    float* in[2] = {left.data(), right.data()};
    float* out[2] = {outLeft.data(), outRight.data()};
    effect.processReplacing(in, out, 300);
    expectPassedThrough(outLeft, left);
    expectPassedThrough(outRight, right);
    EXPECT_EQ(effect.changeFlags().cookPending.load(), 0);  // the program was taken over
    EXPECT_EQ(effect.changeFlags().resetPending.load(), 0);
    // In place, as many hosts call it.
    std::vector<float> inPlaceLeft = left, inPlaceRight = right;
    float* channels[2] = {inPlaceLeft.data(), inPlaceRight.data()};
    effect.processReplacing(channels, channels, 300);
    expectPassedThrough(inPlaceLeft, left);
    expectPassedThrough(inPlaceRight, right);
}

TEST_F(EffectFixture, TheEngineCooksWhatTheFlagsAsk) {
    host.sampleRate = 0;  // a scanner: the engine plays at its fallback rate and stays finite
    VerbEffect scanned(FakeHost::callback);
    scanned.dispatch(vst2::effOpen, 0, 0, nullptr, 0);
    std::vector<float> left(2048, 0.25f), right(2048, -0.5f);
    float* in[2] = {left.data(), right.data()};
    scanned.processReplacing(in, in, 2048);
    for (size_t i = 0; i < left.size(); ++i) {
        ASSERT_TRUE(std::isfinite(left[i]) && std::isfinite(right[i])) << i;
    }

    // A commit that only touches the wet level cooks without relaying the lines.
    effect.dispatch(vst2::effOpen, 0, 0, nullptr, 0);
    std::vector<float> buffer(64);
    float* channels[2] = {buffer.data(), buffer.data()};
    effect.processReplacing(channels, channels, 64);
    const uint32_t lengthBefore = effect.audioEngine().state().lengthInt[0];
    ProgramSnapshot snap;
    ASSERT_TRUE(effect.snapshot(snap));
    snap.record.setF(word::delayLength, snap.record.f(word::delayLength) * 2.0f);
    snap.record.setF(word::wet, 0.0f);
    const uint8_t cookOnly[4] = {1, 0, 0, 0};
    ASSERT_NE(effect.commit(snap, cookOnly), CommitResult::dropped);
    effect.processReplacing(channels, channels, 64);
    EXPECT_EQ(effect.changeFlags().cookPending.load(), 0);
    EXPECT_EQ(effect.audioEngine().state().lengthInt[0], lengthBefore);  // lengths were not asked for
    EXPECT_EQ(effect.audioEngine().state().outputGainL[0], 0.0f);        // the gains were cooked

    ASSERT_TRUE(effect.snapshot(snap));
    snap.record.setF(word::wet, 30.0f);
    const uint8_t lengths[4] = {1, 0, 1, 0};
    ASSERT_NE(effect.commit(snap, lengths), CommitResult::dropped);
    effect.processReplacing(channels, channels, 64);
    EXPECT_EQ(effect.changeFlags().lengthsChanged.load(), 0);
    EXPECT_GT(effect.audioEngine().state().lengthInt[0], lengthBefore + lengthBefore / 2);
}

TEST_F(EffectFixture, WithoutDelayMemoryTheOutputIsSilent) {
    std::vector<float> left(64, 0.5f), right(64, 0.5f), outLeft(64, 9.0f), outRight(64, 9.0f);
    float* in[2] = {left.data(), right.data()};
    float* out[2] = {outLeft.data(), outRight.data()};
    effect.process(in, out, 64);  // never opened
    EXPECT_EQ(outLeft, std::vector<float>(64, 0.0f));
    EXPECT_EQ(outRight, std::vector<float>(64, 0.0f));
    EXPECT_EQ(effect.changeFlags().cookPending.load(), 1);  // kept for when memory is there
}

}  // namespace
}  // namespace tarsk
