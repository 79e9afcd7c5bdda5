// A steady frame of the Summary, Info, Settings and Calculator pages allocates nothing: every text the
// pages format goes into stack buffers, and the widgets draw into storage kept from the first frames.
// Its own binary: it replaces the allocator to count.
#include <gtest/gtest.h>

#include "editor-test-support.h"
#include "support/counting-allocator.h"

namespace tarsk {
namespace {

using tarsktest::allocationCalls;
using tarsktest::counting;
using test::EditorRig;

constexpr int kWarmFrames = 5;
constexpr int kCountedFrames = 50;

long allocationsOfSteadyFrames(EditorRig& rig) {
    rig.frames(kWarmFrames);
    allocationCalls = 0;
    counting = true;
    rig.frames(kCountedFrames);
    counting = false;
    return allocationCalls.load();
}

TEST(PageAllocations, ASteadyFrameOfTheSummaryInfoSettingsAndCalculatorPagesAllocatesNothing) {
    if (!TARSK_COUNTS_ALLOCATIONS) {
        GTEST_SKIP() << "the sanitizer owns the allocator";
    }
    EditorRig rig;
    struct Shown {
        int32_t page;
        int32_t infoTab;
        const char* name;
    };
    const Shown shown[] = {
        {kPageSummary, 1, "Summary"},     {kPageCalculator, 1, "Calculator"}, {kPageSettings, 1, "Settings"},
        {kPageInfo, 1, "Info: Plugin"},   {kPageInfo, 2, "Info: Host"},       {kPageInfo, 3, "Info: System"},
    };
    for (const Shown& s : shown) {
        rig.editor.setPage(s.page);
        rig.editor.viewWord(kViewInfoTab) = s.infoTab;
        // The mouse rests over a widget of the page (a key, a choice, a tab, the name area).
        rig.editor.mouseMove(13.5f * 20.0f, 14.5f * 20.0f);
        EXPECT_EQ(allocationsOfSteadyFrames(rig), 0) << s.name;
    }
    // With the keyboard in the name area.
    rig.editor.setPage(kPageSummary);
    rig.click(13.75f * 20.0f, 14.75f * 20.0f);
    ASSERT_TRUE(rig.editor.wantsFocus());
    EXPECT_EQ(allocationsOfSteadyFrames(rig), 0) << "Summary with a focused text area";
}

}  // namespace
}  // namespace tarsk
