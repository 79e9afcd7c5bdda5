// Steady frames of the Modulation page allocate nothing: every tab, with the mouse resting on a value
// box and while a box is dragged, after a few frames in which the draw list found its storage. Its own
// binary: it replaces the allocator to count.
#include <gtest/gtest.h>

#include "editor-test-support.h"
#include "support/counting-allocator.h"

namespace tarsk {
namespace {

using tarsktest::allocationCalls;
using tarsktest::counting;

constexpr int kWarmFrames = 5;
constexpr int kSteadyFrames = 50;
constexpr float kBoxX = 15.5f * 20.0f;  // a value box of the ENV and LFO tabs
constexpr float kBoxY = 12.5f * 20.0f;

long framesAllocations(test::EditorRig& rig) {
    rig.frames(kWarmFrames);
    allocationCalls = 0;
    counting = true;
    rig.frames(kSteadyFrames);
    counting = false;
    return allocationCalls.load();
}

TEST(ModulationPageAllocations, SteadyFramesOfEveryTabAllocateNothing) {
    if (!TARSK_COUNTS_ALLOCATIONS) {
        GTEST_SKIP() << "the sanitizer owns the allocator";
    }
    test::EditorRig rig;
    rig.editor.setPage(kPageEditor);
    rig.editor.setSubPage(kTabModulation);
    rig.editor.mouseMove(kBoxX, kBoxY);
    for (int32_t source = 1; source <= 3; ++source) {
        rig.editor.viewWord(kViewModulationSourceTab) = source;
        for (int32_t tab = 1; tab <= (source == 3 ? 3 : 1); ++tab) {
            rig.editor.viewWord(kViewModulationEnvelopeTab) = tab;
            EXPECT_EQ(framesAllocations(rig), 0) << "source " << source << " envelope tab " << tab;
        }
    }
    // A drag in progress writes the program every frame.
    rig.editor.leftButton(true, kBoxX, kBoxY);
    rig.frames(kWarmFrames);
    allocationCalls = 0;
    counting = true;
    for (int i = 0; i < kSteadyFrames; ++i) {
        rig.editor.mouseMove(kBoxX, kBoxY + static_cast<float>(i % 7) - 3.0f);
        rig.frame();
    }
    counting = false;
    EXPECT_EQ(allocationCalls.load(), 0);
    rig.editor.leftButton(false, kBoxX, kBoxY);
    rig.frame();
}

}  // namespace
}  // namespace tarsk
