// The editor's frame cycle over a real effect object: edits reach the effect, undo steps are recorded
// once an edit comes to rest, and frames whose program was replaced drop their edits.
#include <gtest/gtest.h>

#include "editor-test-support.h"

namespace tarsk {
namespace {

using test::EditorRig;

// The dry value box of the header at display scale 1.
constexpr float kDryX = 23.5f * 20.0f;
constexpr float kDryY = 2.5f * 20.0f;

TEST(EditorShell, ADragOverManyFramesWritesEveryFrameAndRecordsOneUndoStep) {
    EditorRig rig;
    float before = rig.hostProgram().f(word::dry);
    EXPECT_FALSE(rig.editor.history().canUndo());
    rig.drag(kDryX, kDryY, -40.0f, 20);
    float after = rig.hostProgram().f(word::dry);
    EXPECT_NE(after, before);
    rig.frames(2);
    EXPECT_TRUE(rig.editor.history().canUndo());
    EXPECT_EQ(rig.editor.history().size(), 2u);
    EXPECT_TRUE(rig.editor.history().isModified());
}

TEST(EditorShell, AProgramReplacedDuringAFrameDropsThatFramesEdits) {
    EditorRig rig;
    ProgramSnapshot snap;
    ASSERT_TRUE(rig.effect.snapshot(snap));
    // Another writer between the editor's snapshot and its commit: the change counter moved.
    struct Replacing final : EditorHost {
        VerbEffect& effect;
        explicit Replacing(VerbEffect& e) : effect(e) {}
        bool snapshot(ProgramSnapshot& out) override { return effect.snapshot(out); }
        CommitResult commit(const ProgramSnapshot& edited, const uint8_t mask[kChangeFlagCount]) override {
            effect.setProgram(effect.currentProgram());  // counts as a write
            return effect.commit(edited, mask);
        }
        ProgramRecord programCopy(int32_t slot) override { return effect.programCopy(slot); }
        float tempo() const override { return 120.0f; }
        float rate() const override { return 44100.0f; }
        LoadFigures loadFigures() const override { return {}; }
        void requestEditorSize(int, int) override {}
    } replacing{rig.effect};
    Editor editor{replacing, nullptr, rig.settings};
    editor.hoverChanged(true);
    float before = rig.hostProgram().f(word::dry);
    editor.mouseMove(kDryX, kDryY);
    editor.draw();
    editor.leftButton(true, kDryX, kDryY);
    editor.draw();
    editor.mouseMove(kDryX, kDryY - 30.0f);
    editor.draw();
    editor.leftButton(false, kDryX, kDryY - 30.0f);
    editor.draw();
    EXPECT_EQ(rig.hostProgram().f(word::dry), before);
    EXPECT_GE(editor.framesDropped(), 3u);
}

}  // namespace
}  // namespace tarsk
