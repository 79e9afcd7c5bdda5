// Helpers for the Editor page tests: page coordinates to editor pixels, setting the effect's program,
// reading the change flags an edit raised, and comparing whole records.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>

#include "editor-test-support.h"

namespace tarsk::test {

constexpr float kUnit = 20.0f;  // u at display scale 1
constexpr float kContentBottom = 4.0f * kUnit;

// A point of the content area, in units, as editor pixels.
inline float pageX(float units) { return units * kUnit; }
inline float pageY(float units) { return kContentBottom + units * kUnit; }

// Makes record the effect's current program (as a host edit would) and lets the editor take it.
inline void putProgram(EditorRig& rig, const ProgramRecord& record) {
    ProgramSnapshot snapshot;
    ASSERT_TRUE(rig.effect.snapshot(snapshot));
    snapshot.record = record;
    const uint8_t mask[kChangeFlagCount] = {1, 0, 0, 0};
    rig.effect.commit(snapshot, mask);
    rig.frames(2);
}

// Shows a tab of the Editor page.
inline void openEditorTab(EditorRig& rig, int32_t tab) {
    rig.editor.setPage(kPageEditor);
    rig.editor.setSubPage(tab);
    rig.frames(2);
}

inline void clearChangeFlags(EditorRig& rig) {
    ChangeFlags& flags = rig.effect.changeFlags();
    flags.cookPending = 0;
    flags.resetPending = 0;
    flags.lengthsChanged = 0;
    flags.modulationChanged = 0;
}

// The effect's change flags as kChange* bits.
inline uint32_t raisedFlags(EditorRig& rig) {
    ChangeFlags& flags = rig.effect.changeFlags();
    return (flags.cookPending != 0 ? kChangeCook : 0u) | (flags.resetPending != 0 ? kChangeReset : 0u) |
           (flags.lengthsChanged != 0 ? kChangeLengths : 0u) |
           (flags.modulationChanged != 0 ? kChangeModulation : 0u);
}

// Every word outside `allowed` is equal in both records.
inline void expectOnlyWordsChanged(const ProgramRecord& before, const ProgramRecord& after,
                                   std::initializer_list<int> allowed) {
    for (int i = 0; i < kRecordWords; ++i) {
        bool free = false;
        for (int a : allowed) {
            free = free || a == i;
        }
        if (!free) {
            EXPECT_EQ(before.words[i], after.words[i]) << "word " << i << " changed";
        }
    }
}

// A horizontal drag: press at (x, y), move by dx in steps, release.
inline void dragSideways(EditorRig& rig, float x, float y, float dx, int steps) {
    rig.editor.mouseMove(x, y);
    rig.frame();
    rig.editor.leftButton(true, x, y);
    rig.frame();
    for (int i = 1; i <= steps; ++i) {
        rig.editor.mouseMove(x + dx * static_cast<float>(i) / static_cast<float>(steps), y);
        rig.frame();
    }
    rig.editor.leftButton(false, x + dx, y);
    rig.frame();
}

}  // namespace tarsk::test
