// The header's controls and the undo history through the effect object: time-base modes with the
// note conversion at the host's tempo, the freeze switch at half life 0, the change flags each control
// raises, undo restoring the page where a change was made, programs replaced during a frame, and the
// host told of a renamed program once per changed frame.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "editor-test-support.h"
#include "editor/time-base.h"
#include "plugin/editor-view.h"

namespace tarsk {
namespace {

using test::EditorRig;

constexpr float kU = 20.0f;
// Header controls at display scale 1 (editor pixels, origin bottom left).
constexpr float kTimeBaseUnitX = 19.1f * kU;
constexpr float kTimeBaseUnitY = 2.5f * kU;
constexpr float kDryX = 23.5f * kU;
constexpr float kDryY = 2.5f * kU;
constexpr float kHalfLifeX = 17.5f * kU;
constexpr float kHalfLifeY = 1.25f * kU;
constexpr float kFreezeX = 26.0f * kU;
constexpr float kFreezeY = 2.5f * kU;
// Undo buttons: group offset 4u, UNDO at (1.5u, 11u), REDO 1u lower.
constexpr float kUndoX = 1.5f * kU;
constexpr float kUndoY = 15.0f * kU;
constexpr float kRedoY = 14.0f * kU;

// Writes a change of the current program into the effect as another writer would (the host, a load).
template <typename Edit>
void writeProgram(VerbEffect& effect, Edit edit) {
    ProgramSnapshot snap;
    ASSERT_TRUE(effect.snapshot(snap));
    edit(snap.record);
    uint8_t none[kChangeFlagCount] = {};
    ASSERT_EQ(effect.commit(snap, none), CommitResult::written);
}

void clearFlags(VerbEffect& effect) {
    ChangeFlags& f = effect.changeFlags();
    f.cookPending = 0;
    f.resetPending = 0;
    f.lengthsChanged = 0;
    f.modulationChanged = 0;
}

TEST(TimeBase, NoteConversionAtTheTempo) {
    // 0.5 s at 120 BPM is a quarter note (index 4), and back.
    EXPECT_EQ(nearestNoteIndex(120.0 * 0.5 / 240.0), 4);
    EXPECT_DOUBLE_EQ(noteSeconds(4.0f, 120.0), 0.5);
    EXPECT_DOUBLE_EQ(noteSeconds(4.4f, 120.0), 0.5);  // the nearest whole index
    EXPECT_DOUBLE_EQ(noteSeconds(3.6f, 120.0), 0.5);
    // Midpoints between neighbours decide; past the ends the longest or shortest.
    EXPECT_EQ(nearestNoteIndex(0.876), 0);
    EXPECT_EQ(nearestNoteIndex(0.874), 1);
    EXPECT_EQ(nearestNoteIndex(0.22), 4);
    EXPECT_EQ(nearestNoteIndex(0.2), 5);
    EXPECT_EQ(nearestNoteIndex(50.0), 0);
    EXPECT_EQ(nearestNoteIndex(0.0), 12);
    EXPECT_EQ(nearestNoteIndex(0.02), 11);
    EXPECT_EQ(nearestNoteIndex(0.019), 12);
    EXPECT_DOUBLE_EQ(noteSeconds(99.0f, 60.0), 0.015625 * 4.0);

    ProgramRecord r;
    r.setU(word::flags, 0x1234u & ~flag::timeBaseMask);
    r.setF(word::timeBase, 0.5f);
    setTimeBaseMode(r, kTimeBaseFrequency, 120.0);  // seconds and frequency store the same word
    EXPECT_EQ(timeBaseMode(r), kTimeBaseFrequency);
    EXPECT_EQ(r.f(word::timeBase), 0.5f);
    setTimeBaseMode(r, kTimeBaseNote, 120.0);
    EXPECT_EQ(r.u(word::flags) & flag::timeBaseMask, flag::timeBaseTempo);
    EXPECT_EQ(r.u(word::flags) & ~flag::timeBaseMask, 0x1234u & ~flag::timeBaseMask);
    EXPECT_EQ(r.f(word::timeBase), 4.0f);
    setTimeBaseMode(r, kTimeBaseSeconds, 90.0);
    EXPECT_FLOAT_EQ(r.f(word::timeBase), 0.25f * 240.0f / 90.0f);
}

TEST(EditorHeader, TheUnitButtonStepsTheTimeBaseModeWithConversionAndRaisesTheLengthFlags) {
    EditorRig rig;
    writeProgram(rig.effect, [](ProgramRecord& r) {
        r.setU(word::flags, r.u(word::flags) & ~flag::timeBaseMask);
        r.setF(word::timeBase, 0.5f);
    });
    rig.frames(2);
    clearFlags(rig.effect);
    rig.click(kTimeBaseUnitX, kTimeBaseUnitY);  // seconds -> frequency: the word stays
    EXPECT_EQ(timeBaseMode(rig.hostProgram()), kTimeBaseFrequency);
    EXPECT_EQ(rig.hostProgram().f(word::timeBase), 0.5f);
    EXPECT_EQ(rig.effect.changeFlags().cookPending.load(), 1);
    EXPECT_EQ(rig.effect.changeFlags().lengthsChanged.load(), 1);
    EXPECT_EQ(rig.effect.changeFlags().modulationChanged.load(), 0);
    EXPECT_EQ(rig.effect.changeFlags().resetPending.load(), 0);
    rig.click(kTimeBaseUnitX, kTimeBaseUnitY);  // frequency -> note at the default tempo of 120
    EXPECT_EQ(timeBaseMode(rig.hostProgram()), kTimeBaseNote);
    EXPECT_EQ(rig.hostProgram().f(word::timeBase), 4.0f);
    // A right click steps back: note -> frequency, 1/4 at 120 BPM is 0.5 s again.
    rig.editor.mouseMove(kTimeBaseUnitX, kTimeBaseUnitY);
    rig.frame();
    rig.editor.rightButton(true, kTimeBaseUnitX, kTimeBaseUnitY);
    rig.frame();
    rig.editor.rightButton(false, kTimeBaseUnitX, kTimeBaseUnitY);
    rig.frames(2);
    EXPECT_EQ(timeBaseMode(rig.hostProgram()), kTimeBaseFrequency);
    EXPECT_FLOAT_EQ(rig.hostProgram().f(word::timeBase), 0.5f);
    // Three mode steps, three undo entries.
    EXPECT_EQ(rig.editor.history().size(), 4u);
}

TEST(EditorHeader, DryRaisesOnlyTheCookFlagAndTheSwitchesToggle) {
    EditorRig rig;
    clearFlags(rig.effect);
    ProgramRecord before = rig.hostProgram();
    rig.drag(kDryX, kDryY, -30.0f, 5);
    ProgramRecord after = rig.hostProgram();
    EXPECT_NE(after.f(word::dry), before.f(word::dry));
    after.setF(word::dry, before.f(word::dry));
    EXPECT_TRUE(after == before) << "only dry changed";
    EXPECT_EQ(rig.effect.changeFlags().cookPending.load(), 1);
    EXPECT_EQ(rig.effect.changeFlags().lengthsChanged.load(), 0);

    EXPECT_FALSE(rig.effect.freezeOn());
    rig.click(kFreezeX, kFreezeY);
    EXPECT_TRUE(rig.effect.freezeOn());
    rig.click(kFreezeX, kFreezeY);
    EXPECT_FALSE(rig.effect.freezeOn());
}

TEST(EditorHeader, FreezeIsDisabledWhileTheHalfLifeIsZero) {
    EditorRig rig;
    writeProgram(rig.effect, [](ProgramRecord& r) { r.setF(word::halfLife, 0.0f); });
    rig.frames(2);
    rig.click(kFreezeX, kFreezeY);
    EXPECT_FALSE(rig.effect.freezeOn());
    EXPECT_FALSE(rig.editor.freezeOn());
    writeProgram(rig.effect, [](ProgramRecord& r) { r.setF(word::halfLife, 0.001f); });
    rig.frames(2);
    rig.click(kFreezeX, kFreezeY);
    EXPECT_TRUE(rig.effect.freezeOn());
}

TEST(EditorUndo, UndoOfAChangeMadeOnTheFilterPageReturnsToThatPageAndTab) {
    EditorRig rig;
    rig.editor.setPage(kPageEditor);
    rig.editor.setSubPage(kTabFilter);
    rig.editor.viewWord(kViewFilterTab) = 3;
    float dryBefore = rig.hostProgram().f(word::dry);
    rig.drag(kDryX, kDryY, -30.0f, 6);  // the change, made while the Filter page's third tab is shown
    rig.frames(2);
    ASSERT_TRUE(rig.editor.history().canUndo());
    // Elsewhere now: the Matrix tab, another Filter tab word, then the Info page.
    rig.editor.setSubPage(kTabMatrix);
    rig.editor.viewWord(kViewFilterTab) = 1;
    rig.editor.setPage(kPageInfo);
    rig.frames(2);
    rig.click(kUndoX, kUndoY);
    EXPECT_EQ(rig.hostProgram().f(word::dry), dryBefore);
    EXPECT_EQ(rig.editor.page(), kPageEditor);
    EXPECT_EQ(rig.editor.subPage(), kTabFilter);
    EXPECT_EQ(rig.editor.viewWord(kViewFilterTab), 3);
    EXPECT_FALSE(rig.editor.history().isModified());
    // The restore raised every change flag and recorded nothing.
    EXPECT_EQ(rig.effect.changeFlags().resetPending.load(), 1);
    rig.frames(3);
    EXPECT_EQ(rig.editor.history().size(), 2u);
    EXPECT_TRUE(rig.editor.history().canRedo());
    // REDO shows the page of the change it brings back, too.
    rig.editor.setPage(kPageSummary);
    rig.frames(1);
    rig.click(kUndoX, kRedoY);
    EXPECT_NE(rig.hostProgram().f(word::dry), dryBefore);
    EXPECT_EQ(rig.editor.page(), kPageEditor);
    EXPECT_EQ(rig.editor.subPage(), kTabFilter);
    EXPECT_TRUE(rig.editor.history().isModified());
    rig.editor.history().markSaved();
    EXPECT_FALSE(rig.editor.history().isModified());
}

TEST(EditorUndo, AProgramReplacedByEffSetChunkDuringAFrameDropsItsEditsAndResetsTheHistories) {
    EditorRig rig;
    // A chunk of another program, as a host would restore it.
    ProgramRecord other = rig.hostProgram();
    std::memcpy(other.name(), "Other", 6);
    other.setF(word::dry, 12.5f);
    std::vector<uint8_t> chunk;
    {
        writeProgram(rig.effect, [&](ProgramRecord& r) { r = other; });
        void* data = nullptr;
        intptr_t size = rig.effect.dispatch(vst2::effGetChunk, 1, 0, &data, 0);
        ASSERT_GT(size, 0);
        chunk.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
        writeProgram(rig.effect, [&](ProgramRecord& r) { r.setF(word::dry, 90.0f); });
    }
    // A history with an entry of the editor's own.
    rig.frames(2);
    rig.drag(kDryX, kDryY, -20.0f, 4);
    rig.frames(2);
    ASSERT_TRUE(rig.editor.history().canUndo());

    // The host loads the chunk between the snapshot and the write-back of a frame in which the dry box
    // is dragged.
    struct LoadingHost final : EditorHost {
        VerbEffect& effect;
        const std::vector<uint8_t>& chunk;
        bool armed = false;
        LoadingHost(VerbEffect& e, const std::vector<uint8_t>& c) : effect(e), chunk(c) {}
        bool snapshot(ProgramSnapshot& out) override { return effect.snapshot(out); }
        CommitResult commit(const ProgramSnapshot& edited, const uint8_t mask[kChangeFlagCount]) override {
            if (armed) {
                armed = false;
                effect.dispatch(vst2::effSetChunk, 1, static_cast<intptr_t>(chunk.size()),
                                const_cast<uint8_t*>(chunk.data()), 0);
            }
            return effect.commit(edited, mask);
        }
        ProgramRecord programCopy(int32_t slot) override { return effect.programCopy(slot); }
        float tempo() const override { return effect.tempo(); }
        float rate() const override { return effect.rate(); }
        LoadFigures loadFigures() const override { return {}; }
        void requestEditorSize(int, int) override {}
    } loading{rig.effect, chunk};
    // The effect's own editor, driven without a window; it hears the effect's notice through its ring.
    Editor& editor = rig.effect.editor()->editor();
    EXPECT_EQ(rig.effect.editor()->rootView().pendingCommandWords(), 0u);
    Editor driven{loading, nullptr, rig.settings};
    driven.hoverChanged(true);
    driven.mouseMove(kDryX, kDryY);
    driven.draw();
    driven.leftButton(true, kDryX, kDryY);
    driven.draw();
    driven.mouseMove(kDryX, kDryY - 10.0f);
    driven.draw();
    ASSERT_TRUE(driven.history().size() >= 1u);
    uint64_t droppedBefore = driven.framesDropped();
    loading.armed = true;
    driven.mouseMove(kDryX, kDryY - 25.0f);
    driven.draw();
    EXPECT_EQ(driven.framesDropped(), droppedBefore + 1);
    EXPECT_EQ(rig.hostProgram().f(word::dry), 12.5f) << "the loaded program, not the frame's edit";
    EXPECT_STREQ(rig.hostProgram().name(), "Other");
    // The effect announced the replaced programs to its editor window.
    EXPECT_EQ(rig.effect.editor()->rootView().pendingCommandWords(), 1u);
    driven.leftButton(false, kDryX, kDryY - 25.0f);
    driven.draw();

    // What the window delivers from the ring: every history starts afresh from its slot's program.
    rig.editor.notify(kEditorCommandProgramsReplaced);
    editor.notify(kEditorCommandProgramsReplaced);
    for (Editor* e : {&rig.editor, &editor}) {
        EXPECT_EQ(e->history().size(), 1u);
        EXPECT_FALSE(e->history().canUndo());
        EXPECT_FALSE(e->history().isModified());
        EXPECT_STREQ(e->history().current().program.name(), "Other");
    }
}

TEST(EditorUndo, ARenamedProgramReachesTheHostOncePerChangedFrame) {
    EditorRig rig;
    ProgramRecord base = rig.hostProgram();
    // Three entries that differ in their names, one that differs only in dry.
    ProgramRecord a = base;
    std::memcpy(a.name(), "First", 6);
    ProgramRecord b = a;
    std::memcpy(b.name(), "Second", 7);
    ProgramRecord c = b;
    c.setF(word::dry, b.f(word::dry) * 0.5f);
    rig.editor.history().push(a, rig.editor.currentView());
    rig.editor.history().push(b, rig.editor.currentView());
    rig.editor.history().push(c, rig.editor.currentView());
    writeProgram(rig.effect, [&](ProgramRecord& r) { r = c; });  // the effect holds the current entry
    rig.frames(2);
    int before = rig.host.count(vst2::audioMasterUpdateDisplay);
    rig.click(kUndoX, kUndoY);  // c -> b: dry only
    EXPECT_EQ(rig.host.count(vst2::audioMasterUpdateDisplay), before);
    rig.click(kUndoX, kUndoY);  // b -> a: renamed
    EXPECT_STREQ(rig.hostProgram().name(), "First");
    EXPECT_EQ(rig.host.count(vst2::audioMasterUpdateDisplay), before + 1);
    rig.click(kUndoX, kUndoY);  // a -> base: renamed
    EXPECT_EQ(rig.host.count(vst2::audioMasterUpdateDisplay), before + 2);
    rig.frames(5);  // quiet frames tell the host nothing
    EXPECT_EQ(rig.host.count(vst2::audioMasterUpdateDisplay), before + 2);
    // The host reads the new name.
    char name[64] = {};
    rig.effect.dispatch(vst2::effGetProgramName, 0, 0, name, 0);
    EXPECT_STREQ(name, base.name());
}

TEST(EditorPages, ThePageIconsSelectPagesAndTheShownPagesIconReturnsToTheSummary) {
    EditorRig rig;
    const float x = 32.0f * kU - 1.5f * kU;
    auto iconY = [](float unitsInContent) { return 4.0f * kU + unitsInContent * kU; };
    rig.click(x, iconY(4.5f));  // Info
    EXPECT_EQ(rig.editor.page(), kPageInfo);
    rig.click(x, iconY(10.5f));  // Editor
    EXPECT_EQ(rig.editor.page(), kPageEditor);
    // The Editor page's tabs: MATR.
    rig.click(1.5f * kU, iconY(5.5f));
    EXPECT_EQ(rig.editor.subPage(), kTabMatrix);
    rig.click(x, iconY(10.5f));  // the shown page's icon
    EXPECT_EQ(rig.editor.page(), kPageSummary);
    rig.click(x, iconY(10.5f));
    EXPECT_EQ(rig.editor.page(), kPageEditor);
    EXPECT_EQ(rig.editor.subPage(), kTabMatrix) << "the tab is kept";
    rig.click(x, iconY(2.5f));  // Settings
    EXPECT_EQ(rig.editor.page(), kPageSettings);
    // Page changes are not program edits: no undo step.
    rig.frames(2);
    EXPECT_EQ(rig.editor.history().size(), 1u);
}

}  // namespace
}  // namespace tarsk
