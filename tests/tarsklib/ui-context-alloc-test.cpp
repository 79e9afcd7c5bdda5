// A steady frame of the widget gallery allocates nothing after its first: the context, the draw list and
// the paragraph scratch keep their storage. This binary counts every allocation call by replacing malloc,
// free and the C++ allocation operators (not under sanitizers, which replace them themselves).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "tarsklib/ui-gallery.h"
#include "tarsklib/ui-test-support.h"

#include "support/counting-allocator.h"

using tarsktest::allocationCalls;
using tarsktest::counting;

namespace tarsk {
namespace {

// Drives the gallery with the mouse over its widgets, a drag on a fader, the wheel and typing into the
// focused text area, so that every widget runs its active paths.
void scriptedFrame(test::UiHarness& h, GalleryState& state, int frame) {
    const UiFontmap* fonts[3] = {&h.font, &h.font, &h.font};
    const float x = 300.0f + static_cast<float>((frame * 37) % 300);
    const float y = 40.0f + static_cast<float>((frame * 53) % 500);
    h.move(x, y);
    if (frame % 9 == 0) h.ui.wheel(0, (frame % 2) != 0 ? 1.0f : -1.0f);
    h.ui.leftButton(frame % 4 == 1 || frame % 4 == 2, x, y);
    if (h.ui.wantsFocus()) {
        h.ui.key(true, kKeyCharacter | static_cast<uint32_t>('a' + frame % 26));
        h.ui.key(true, kKeyLeft);
    }
    h.ui.beginFrame();
    drawWidgetGallery(h.ui, state, fonts, 3, 7, 800.0f, 600.0f);
    h.ui.endFrame();
}

TEST(UiAllocation, SteadyGalleryFramesAllocateNothing) {
#if !TARSK_COUNTS_ALLOCATIONS
    GTEST_SKIP() << "allocations are not counted under sanitizers";
#endif
    test::UiHarness h;
    h.renderer.keep = false;  // count batches only
    GalleryState state;
    // Give the text area the focus: a click in it.
    const UiRect area = galleryTextAreaRect(800.0f, 600.0f);
    h.press(area.cx, area.cy);
    h.ui.beginFrame();
    const UiFontmap* fonts[3] = {&h.font, &h.font, &h.font};
    drawWidgetGallery(h.ui, state, fonts, 3, 7, 800.0f, 600.0f);
    h.ui.endFrame();
    h.release(area.cx, area.cy);
    ASSERT_TRUE(h.ui.wantsFocus());
    const std::string before = state.text;
    for (int frame = 0; frame < 200; ++frame) scriptedFrame(h, state, frame);
    ASSERT_GT(h.renderer.batchCount, 0);
    counting = true;
    for (int frame = 200; frame < 600; ++frame) scriptedFrame(h, state, frame);
    counting = false;
    EXPECT_EQ(allocationCalls.load(), 0);
    EXPECT_NE(before, state.text);  // the typing reached the text area
}

}  // namespace
}  // namespace tarsk
