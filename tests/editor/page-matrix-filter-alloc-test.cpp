// A steady frame of the Matrix and Filter tabs, with the analysis strip running its three phases,
// allocates nothing. Its own binary: it replaces the allocator to count every allocation call.
#include <gtest/gtest.h>

#include "editor-test-support.h"
#include "support/counting-allocator.h"

namespace tarsk {
namespace {

using tarsktest::allocationCalls;
using tarsktest::counting;
using test::EditorRig;

constexpr int kWarmFrames = 6;
constexpr int kSteadyFrames = 30;  // ten rounds of the strip's three phases

long steadyAllocations(EditorRig& rig) {
    rig.frames(kWarmFrames);
    allocationCalls = 0;
    counting = true;
    rig.frames(kSteadyFrames);
    counting = false;
    return allocationCalls.load();
}

TEST(MatrixFilterAllocations, SteadyFramesOfBothTabsAndTheStripAllocateNothing) {
    if (!TARSK_COUNTS_ALLOCATIONS) {
        GTEST_SKIP() << "the sanitizer owns the allocator";
    }
    EditorRig rig;
    ProgramSnapshot snap;
    ASSERT_TRUE(rig.effect.snapshot(snap));
    snap.record.setF(word::halfLife, 1000.0f);
    snap.record.setU(word::flags, snap.record.u(word::flags) | flag::multitap | flag::innerFeedback);
    const uint8_t mask[kChangeFlagCount] = {1, 1, 1, 1};
    ASSERT_EQ(rig.effect.commit(snap, mask), CommitResult::written);
    rig.editor.setPage(kPageEditor);

    rig.editor.setSubPage(kTabMatrix);
    EXPECT_EQ(steadyAllocations(rig), 0) << "Matrix";
    rig.editor.setSubPage(kTabFilter);
    rig.editor.viewWord(kViewFilterTab) = 1;
    EXPECT_EQ(steadyAllocations(rig), 0) << "Filter, Linear";
    rig.editor.viewWord(kViewFilterTab) = 2;
    EXPECT_EQ(steadyAllocations(rig), 0) << "Filter, Nonlinear";
    // The longest analysis length renders at its own rate: the pages' cook at the effect's rate
    // follows every round, still without allocating.
    rig.editor.analysisLength() = 7;
    rig.editor.setSubPage(kTabMatrix);
    EXPECT_EQ(steadyAllocations(rig), 0) << "Matrix, 30 s analysis";
}

}  // namespace
}  // namespace tarsk
