// The immediate-mode core driven frame by frame: hot and active ids, clicks, drags, the wheel, groups,
// disabled widgets, the key queue and the palette.
#include <gtest/gtest.h>

#include <cmath>

#include "tarsklib/gl-root-view.h"
#include "tarsklib/ui-number-format.h"
#include "tarsklib/ui-root-host.h"
#include "tarsklib/ui-test-support.h"

namespace tarsk {
namespace {

using test::UiHarness;

const UiRect kButton{50.0f, 50.0f, 20.0f, 10.0f};

TEST(UiPalette, RowsAreGammaEncoded) {
    const UiPalette& p = uiPalette();
    EXPECT_NEAR(p.text[0].g, std::pow(0.78f, 1.0f / 2.2f), 1e-4f);
    EXPECT_NEAR(p.text[2].b, std::pow(0.19f, 1.0f / 2.2f), 1e-4f);
    EXPECT_NEAR(p.background[1].b, std::pow(0.88f, 1.0f / 2.2f), 1e-4f);
    EXPECT_NEAR(p.text[6].r, std::pow(0.75f, 1.0f / 2.2f), 1e-4f);
    EXPECT_EQ(p.background[0].a, 0.0f);
    UiContext ui;
    EXPECT_EQ(packColour(ui.style().text), packColour(p.text[0]));
    EXPECT_EQ(ui.style().font, nullptr);
    EXPECT_EQ(ui.style().scale, 1.0f);
}

TEST(UiButton, ClickIsReportedOnReleaseOnlyOverTheWidget) {
    UiHarness h;
    bool clicked = false;
    auto draw = [&] { clicked = h.ui.button(7, kButton, "Go", 12.0f, 0, kAlignCentre); };

    h.move(50, 50);
    h.frame(draw);
    EXPECT_FALSE(clicked);
    EXPECT_EQ(h.ui.hotId(), 7u);
    h.press(50, 50);
    const int capturesBefore = h.host.captures;
    h.frame(draw);
    EXPECT_FALSE(clicked);
    EXPECT_EQ(h.ui.leftActiveId(), 7u);
    EXPECT_EQ(h.host.captures, capturesBefore + 1);
    // Drawn in the active row while held over it.
    EXPECT_GT(h.verticesOfColour(uiPalette().text[4]), 0);
    h.frame(draw);
    EXPECT_FALSE(clicked);
    h.release(52, 48);
    h.frame(draw);
    EXPECT_TRUE(clicked);
    EXPECT_EQ(h.ui.leftActiveId(), 0u);
    h.frame(draw);
    EXPECT_FALSE(clicked);

    // Pressed over it, released elsewhere: no click.
    h.press(50, 50);
    h.frame(draw);
    h.move(200, 200);
    h.frame(draw);
    EXPECT_EQ(h.ui.leftActiveId(), 7u);
    h.release(200, 200);
    h.frame(draw);
    EXPECT_FALSE(clicked);
    // Outside the window nothing is hot.
    h.ui.hoverChanged(false);
    h.move(50, 50);
    h.frame(draw);
    EXPECT_EQ(h.ui.hotId(), 0u);
}

TEST(UiButton, APressAndReleaseBetweenTwoFramesIsStillAClick) {
    UiHarness h;
    bool clicked = false;
    int clicks = 0;
    auto draw = [&] {
        clicked = h.ui.button(7, kButton, "Go", 12.0f, 0, kAlignCentre);
        clicks += clicked ? 1 : 0;
    };
    h.move(50, 50);
    h.frame(draw);
    // A quick click: both events before the next frame. The frame sees the button down, the next
    // one the release.
    h.press(50, 50);
    h.release(50, 50);
    h.frame(draw);
    EXPECT_FALSE(clicked);
    EXPECT_EQ(h.ui.leftActiveId(), 7u);  // the frame saw the press; the release waits for the next one
    h.frame(draw);
    EXPECT_TRUE(clicked);
    EXPECT_FALSE(h.ui.leftDown());
    h.frame(draw);
    EXPECT_EQ(clicks, 1);

    // The right button likewise (a step button steps down on a right click).
    int step = 0;
    auto drawStep = [&] { step += h.ui.stepButton(8, kButton, "S", 12.0f, 0, kAlignCentre); };
    h.frame(drawStep);
    h.rightPress(50, 50);
    h.rightRelease(50, 50);
    h.frame(drawStep);
    h.frame(drawStep);
    h.frame(drawStep);
    EXPECT_EQ(step, -1);
}

TEST(UiButton, PressOverEmptySpaceBlocksEveryWidgetUntilRelease) {
    UiHarness h;
    bool clicked = false;
    auto draw = [&] { clicked = h.ui.button(7, kButton, "Go", 12.0f, 0, kAlignCentre); };
    h.press(200, 200);
    h.frame(draw);
    EXPECT_EQ(h.ui.leftActiveId(), kBlockedId);
    h.move(50, 50);
    h.frame(draw);
    EXPECT_EQ(h.ui.leftActiveId(), kBlockedId);
    EXPECT_FALSE(clicked);
    h.release(50, 50);
    h.frame(draw);
    EXPECT_FALSE(clicked);
    EXPECT_EQ(h.ui.leftActiveId(), 0u);
    // The block ends with the release: the next click counts.
    h.press(50, 50);
    h.frame(draw);
    h.release(50, 50);
    h.frame(draw);
    EXPECT_TRUE(clicked);
}

TEST(UiButton, ClipLimitsWhereWidgetsBecomeHot) {
    UiHarness h;
    h.move(65, 50);
    h.frame([&] {
        h.ui.setClip({40.0f, 50.0f, 20.0f, 20.0f});  // right edge at 60
        h.ui.button(7, kButton, "Go", 12.0f, 0, kAlignCentre);
        h.ui.resetClip();
    });
    EXPECT_EQ(h.ui.hotId(), 0u);
    h.move(55, 50);
    h.frame([&] {
        h.ui.setClip({40.0f, 50.0f, 20.0f, 20.0f});
        h.ui.button(7, kButton, "Go", 12.0f, 0, kAlignCentre);
        h.ui.resetClip();
    });
    EXPECT_EQ(h.ui.hotId(), 7u);
}

TEST(UiStepButton, WheelAndBothButtons) {
    UiHarness h;
    int step = 0;
    auto draw = [&] { step = h.ui.stepButton(3, kButton, "+/-", 12.0f, 0, kAlignCentre); };
    h.move(50, 50);
    for (int i = 0; i < 3; ++i) {
        h.ui.wheel(0, 1);
        h.frame(draw);
        EXPECT_EQ(step, 1);
    }
    h.ui.wheel(0, -2);
    h.frame(draw);
    EXPECT_EQ(step, -1);
    h.frame(draw);
    EXPECT_EQ(step, 0);  // the wheel was reset at the frame end

    h.ui.rightButton(true, 50, 50);
    h.frame(draw);
    EXPECT_EQ(h.ui.rightActiveId(), 3u);
    EXPECT_EQ(step, 0);
    h.ui.rightButton(false, 50, 50);
    h.frame(draw);
    EXPECT_EQ(step, -1);

    h.press(50, 50);
    h.frame(draw);
    h.release(50, 50);
    h.frame(draw);
    EXPECT_EQ(step, 1);

    // Left and right released in one frame cancel out: the left press takes the left-active id, the right
    // press arriving while it is held takes the right-active id.
    h.press(50, 50);
    h.frame(draw);
    h.ui.rightButton(true, 50, 50);
    h.frame(draw);
    EXPECT_EQ(h.ui.leftActiveId(), 3u);
    EXPECT_EQ(h.ui.rightActiveId(), 3u);
    h.release(50, 50);
    h.ui.rightButton(false, 50, 50);
    h.frame(draw);
    EXPECT_EQ(step, 0);
}

TEST(UiFader, DragWithCtrlAndAltPrecision) {
    UiHarness h;
    const UiRect rect{100.0f, 20.0f, 50.0f, 5.0f};  // 100 pixels wide
    float value = 0.5f;
    auto draw = [&] { value = h.ui.fader(4, rect, 0.0f, 1.0f, value); };
    h.move(100, 20);
    h.press(100, 20);
    h.frame(draw);
    EXPECT_EQ(h.ui.leftActiveId(), 4u);
    h.move(110, 25);
    h.frame(draw);
    EXPECT_NEAR(value, 0.6f, 1e-6f);

    h.input.down[kModifierCtrl] = true;
    h.move(120, 25);
    h.frame(draw);
    EXPECT_NEAR(value, 0.6f + 0.1f / 256.0f, 1e-6f);
    h.input.down[kModifierAlt] = true;  // Ctrl wins when both are held
    h.move(130, 25);
    h.frame(draw);
    EXPECT_NEAR(value, 0.6f + 0.2f / 256.0f, 1e-6f);
    h.input.down[kModifierCtrl] = false;
    const float before = value;
    h.move(140, 25);
    h.frame(draw);
    EXPECT_NEAR(value, before + 0.1f / 65536.0f, 2e-7f);
    EXPECT_GT(value, before);
    h.input.down[kModifierAlt] = false;

    // Clamped to the bar.
    h.move(1000, 25);
    h.frame(draw);
    EXPECT_FLOAT_EQ(value, 1.0f);
    h.move(-1000, 25);
    h.frame(draw);
    EXPECT_FLOAT_EQ(value, 0.0f);
}

TEST(UiGroups, OverflowSuspendsTheRestOfTheFrameAndTheNextFrameRecovers) {
    UiHarness h;
    h.move(50, 50);
    bool clicked = true;
    h.frame([&] {
        for (int i = 0; i < kGroupStackSize; ++i) h.ui.pushGroup(0, {0, 0});
        EXPECT_FALSE(h.ui.suspended());
        h.ui.pushGroup(0, {0, 0});
        EXPECT_TRUE(h.ui.suspended());
        clicked = h.ui.button(1, kButton, "Go", 12.0f, 0, 0);
        EXPECT_EQ(h.ui.fader(2, kButton, 0.0f, 1.0f, 0.5f), 0.0f);
        EXPECT_EQ(h.ui.valueBox(3, kButton, "%f", 12.0f, 0.0f, 1.0f, 0.5f, kValueBoxLinear, 0), 0.0f);
        EXPECT_EQ(h.ui.scrollBar(4, kButton, 0.0f, 1.0f, 0.5f, 0.1f, kButton, 1.0f), 0.0f);
        h.ui.paragraph(5, kButton, "words", 12.0f, 0);
        h.ui.gradientBox(6, kButton, {1, 1, 1, 1}, {1, 1, 1, 1});
        for (int i = 0; i < kGroupStackSize + 1; ++i) h.ui.popGroup();
        EXPECT_FALSE(h.ui.groupOpen());
        EXPECT_EQ(h.ui.hotId(), 0u);
    });
    EXPECT_FALSE(clicked);
    EXPECT_EQ(h.vertexCount(), 0);
    h.frame([&] { h.ui.button(1, kButton, "Go", 12.0f, 0, 0); });
    EXPECT_FALSE(h.ui.suspended());
    EXPECT_EQ(h.ui.hotId(), 1u);
    EXPECT_GT(h.vertexCount(), 0);
}

TEST(UiGroups, IdsOriginsAndChangedIds) {
    UiHarness h;
    bool clicked = false;
    uint32_t inner = 0, outer = 0;
    auto draw = [&] {
        h.ui.pushGroup(0x100, {10, 20});
        h.ui.pushGroup(0x20, {5, 5});
        EXPECT_EQ(h.ui.group()->id, 0x120u);
        clicked = h.ui.button(3, {0, 0, 4, 4}, "x", 10.0f, 0, 0);
        inner = h.ui.popGroup();
        outer = h.ui.popGroup();
        EXPECT_EQ(h.ui.popGroup(), 0u);  // no group open
    };
    h.move(15, 25);  // the button's centre plus both origins
    h.frame(draw);
    EXPECT_EQ(h.ui.hotId(), 0x123u);
    h.press(15, 25);
    h.frame(draw);
    h.release(15, 25);
    h.frame(draw);
    EXPECT_TRUE(clicked);
    EXPECT_EQ(inner, 3u);
    EXPECT_EQ(outer, 0x120u + 3u);
    h.frame(draw);
    EXPECT_EQ(inner, 0u);
    EXPECT_EQ(outer, 0u);
}

TEST(UiGroups, GroupLeftOpenIsCountedAndClosed) {
    UiHarness h;
    h.frame([&] { h.ui.pushGroup(1, {0, 0}); });
    EXPECT_EQ(h.ui.openGroupErrors(), 1u);
    EXPECT_FALSE(h.ui.groupOpen());
}

TEST(UiDisabled, DrawsRowSixAndNeverReports) {
    UiHarness h;
    h.move(50, 50);
    h.input.down[kModifierCtrl] = false;
    bool clicked = false;
    int step = 0;
    float fade = 0.5f, box = 0.5f;
    auto draw = [&] {
        clicked = clicked || h.ui.button(kDisabledId, kButton, "Off", 12.0f, 1, 0);
        step += h.ui.stepButton(kDisabledId, kButton, "Off", 12.0f, 1, 0);
        fade = h.ui.fader(kDisabledId, kButton, 0.0f, 1.0f, fade);
        box = h.ui.valueBox(kDisabledId, kButton, "%4.2f", 12.0f, 0.0f, 1.0f, box, kValueBoxLinear, 0);
    };
    h.ui.wheel(0, 3);
    h.frame(draw);
    EXPECT_EQ(h.ui.hotId(), 0u);
    EXPECT_GT(h.verticesOfColour(uiPalette().text[6]), 0);
    for (int row = 0; row < 6; ++row) {
        EXPECT_EQ(h.verticesOfColour(uiPalette().text[row]), 0) << row;
    }
    h.press(50, 50);
    h.frame(draw);
    EXPECT_EQ(h.ui.leftActiveId(), kBlockedId);
    h.move(80, 60);
    h.frame(draw);
    h.release(80, 60);
    h.frame(draw);
    EXPECT_FALSE(clicked);
    EXPECT_EQ(step, 0);
    EXPECT_EQ(fade, 0.5f);
    EXPECT_EQ(box, 0.5f);
}

TEST(UiScrollBar, ClampsPositionAndTakesTheWheelInsideItsWheelRectangle) {
    UiHarness h;
    const UiRect bar{100.0f, 100.0f, 5.0f, 50.0f};
    const UiRect wheelArea{60.0f, 100.0f, 50.0f, 50.0f};
    float result = 0.0f;
    auto draw = [&](float position) {
        return [&, position] { result = h.ui.scrollBar(9, bar, 0.0f, 100.0f, position, 10.0f, wheelArea, 5.0f); };
    };
    h.move(300, 300);
    h.frame(draw(-50.0f));
    EXPECT_FLOAT_EQ(result, 10.0f);  // at least min + span
    h.frame(draw(500.0f));
    EXPECT_FLOAT_EQ(result, 90.0f);  // at most max - span

    // The wheel outside the wheel rectangle leaves the bar alone and is not consumed.
    h.ui.wheel(0, 1);
    h.frame([&] {
        result = h.ui.scrollBar(9, bar, 0.0f, 100.0f, 50.0f, 10.0f, wheelArea, 5.0f);
        EXPECT_EQ(h.ui.wheelY(), 1.0f);
    });
    EXPECT_FLOAT_EQ(result, 50.0f);
    // Inside: one step up per notch, consumed.
    h.move(40, 100);
    h.ui.wheel(0, 2);
    h.frame([&] {
        result = h.ui.scrollBar(9, bar, 0.0f, 100.0f, 50.0f, 10.0f, wheelArea, 5.0f);
        EXPECT_EQ(h.ui.wheelY(), 0.0f);
    });
    EXPECT_NEAR(result, 60.0f, 1e-4f);
    // The thumb stays inside the bar.
    h.ui.wheel(0, 50);
    h.frame(draw(80.0f));
    EXPECT_NEAR(result, 90.0f, 1e-4f);

    // Dragging the thumb: it keeps the grab offset and stays inside the bar.
    const float thumbY = 100.0f + (2.0f * 50.0f / 100.0f - 1.0f) * 50.0f;  // 100
    h.move(100, thumbY + 3.0f);
    h.press(100, thumbY + 3.0f);
    h.frame(draw(50.0f));
    EXPECT_EQ(h.ui.leftActiveId(), 9u);
    h.move(100, thumbY + 13.0f);
    h.frame(draw(50.0f));
    EXPECT_NEAR(result, 60.0f, 1e-4f);
    h.move(100, 1000.0f);
    h.frame(draw(60.0f));
    EXPECT_NEAR(result, 90.0f, 1e-4f);
    h.release(100, 1000.0f);
    h.frame(draw(90.0f));
}

TEST(UiValueBox, WheelDragAndCyclicWrap) {
    UiHarness h;
    const UiRect rect{50.0f, 50.0f, 30.0f, 8.0f};
    float value = 0.0f;
    auto draw = [&](uint32_t mapping) {
        return [&, mapping] {
            value = h.ui.valueBox(5, rect, "%6.3f", 12.0f, 0.0f, 256.0f, value, mapping, kAlignRight);
        };
    };
    h.move(50, 50);
    value = 100.0f;
    h.ui.wheel(0, 1);
    h.frame(draw(kValueBoxLinear));
    EXPECT_FLOAT_EQ(value, 101.0f);  // 1/256 of the range per notch
    h.input.down[kModifierCtrl] = true;
    h.ui.wheel(0, 1);
    h.frame(draw(kValueBoxLinear));
    EXPECT_NEAR(value, 101.0f + 1.0f / 256.0f, 1e-5f);
    h.input.down[kModifierCtrl] = false;

    // A cyclic box dragged past its top continues from its bottom; a linear one stops.
    value = 250.0f;
    h.press(50, 50);
    h.frame(draw(kValueBoxCyclic));
    h.move(50, 60);
    h.frame(draw(kValueBoxCyclic));
    EXPECT_NEAR(value, 4.0f, 1e-4f);
    h.move(50, 50);
    h.frame(draw(kValueBoxCyclic));
    EXPECT_NEAR(value, 250.0f, 1e-4f);
    h.move(50, 60);
    h.frame(draw(kValueBoxLinear));
    EXPECT_FLOAT_EQ(value, 256.0f);
    h.release(50, 60);
    h.frame(draw(kValueBoxLinear));
}

TEST(UiXyHandle, ModesKeepThePointInTheirLimits) {
    struct Case {
        int mode;
        UiPoint expected;
    };
    // A drag of (+40, +40) pixels on a 20 x 20 half-size box at scale 1 moves the point by (2, 2).
    const Case cases[] = {{kHandleSquare, {0.70710678f, 0.70710678f}},
                          {kHandleArea, {0.70710678f, 0.70710678f}},
                          {kHandleClampX, {1.0f, 2.0f}},
                          {kHandleClampY, {2.0f, 1.0f}},
                          {kHandleClampBoth, {1.0f, 1.0f}}};
    for (const Case& c : cases) {
        UiHarness h;
        UiPoint point{0.0f, 0.0f};
        auto draw = [&] { point = h.ui.xyHandle(8, {100, 100, 20, 20}, point, 3.0f, 1.0f, c.mode); };
        h.move(101, 101);
        h.press(101, 101);
        h.frame(draw);
        ASSERT_EQ(h.ui.leftActiveId(), 8u) << c.mode;
        h.move(141, 141);
        h.frame(draw);
        EXPECT_NEAR(point.x, c.expected.x, 1e-5f) << c.mode;
        EXPECT_NEAR(point.y, c.expected.y, 1e-5f) << c.mode;
    }
    // Mode 0 is hot only near the handle, mode 2 anywhere in the box.
    UiHarness h;
    h.move(115, 85);
    h.frame([&] { h.ui.xyHandle(8, {100, 100, 20, 20}, {0, 0}, 3.0f, 1.0f, kHandleSquare); });
    EXPECT_EQ(h.ui.hotId(), 0u);
    h.frame([&] { h.ui.xyHandle(8, {100, 100, 20, 20}, {0, 0}, 3.0f, 1.0f, kHandleArea); });
    EXPECT_EQ(h.ui.hotId(), 8u);
}

TEST(UiKeys, QueuedOnlyForAFocusedTextAreaUntilTheQueueIsFull) {
    UiHarness h;
    EXPECT_FALSE(h.ui.key(true, kKeyCharacter | 'a'));  // no text area has the focus
    char text[8] = "";
    int caret = 0;
    const UiRect rect{50.0f, 50.0f, 40.0f, 20.0f};
    h.press(50, 50);
    h.frame([&] { h.ui.textArea(2, rect, text, 10.0f, 0, caret, 7); });
    EXPECT_EQ(h.ui.focusId(), 2u);
    EXPECT_TRUE(h.ui.wantsFocus());
    EXPECT_GT(h.host.focusRequests, 0);
    EXPECT_FALSE(h.ui.key(false, kKeyCharacter | 'a'));
    for (size_t i = 0; i < kKeyQueueBytes / kKeyValueBytes; ++i) {
        ASSERT_TRUE(h.ui.key(true, kKeyLeft));
    }
    EXPECT_FALSE(h.ui.key(true, kKeyRight));
    EXPECT_EQ(h.ui.keyQueueFree(), 0u);
    h.frame([&] { h.ui.textArea(2, rect, text, 10.0f, 0, caret, 7); });
    EXPECT_EQ(h.ui.keyQueueUsed(), 0u);

    // Pressing elsewhere takes the focus away; so does the view losing the keyboard.
    h.release(50, 50);
    h.frame([&] { h.ui.textArea(2, rect, text, 10.0f, 0, caret, 7); });
    h.press(300, 300);
    h.frame([&] { h.ui.textArea(2, rect, text, 10.0f, 0, caret, 7); });
    EXPECT_EQ(h.ui.focusId(), 0u);
    h.release(300, 300);
    h.frame([&] { h.ui.textArea(2, rect, text, 10.0f, 0, caret, 7); });
    h.press(50, 50);
    h.frame([&] { h.ui.textArea(2, rect, text, 10.0f, 0, caret, 7); });
    EXPECT_EQ(h.ui.focusId(), 2u);
    EXPECT_TRUE(h.ui.key(true, kKeyCharacter | 'x'));
    h.ui.focusChanged(false);
    EXPECT_EQ(h.ui.focusId(), 0u);
    EXPECT_EQ(h.ui.keyQueueUsed(), 0u);  // nothing left over for the next text area
}

TEST(UiDrawText, BackgroundBelowShadowBelowText) {
    UiHarness h;
    const UiColour bg{0.0f, 0.0f, 1.0f, 1.0f}, fg{1.0f, 0.0f, 0.0f, 1.0f}, sh{0.0f, 1.0f, 0.0f, 1.0f};
    h.frame([&] { h.ui.drawText(&h.font, "AB", bg, fg, sh, 10.0f, 20.0f, 100.0f, 20.0f, 10.0f, kAlignLeft); });
    // Two layers: the background first, then the text batch with the shadow before the text.
    ASSERT_EQ(h.renderer.batches.size(), 2u);
    EXPECT_EQ(h.renderer.batches[0].state.texture, 0u);
    const auto& glyphs = h.renderer.batches[1].vertices;
    ASSERT_EQ(glyphs.size(), 24u);
    EXPECT_EQ(glyphs[0].colour, packColour(sh));
    EXPECT_EQ(glyphs[12].colour, packColour(fg));
    // Shadow one pixel right and down; baseline floor(20 + 10) - (0.9 - 0.25) * 10 / 2; pen at left + 2.
    EXPECT_NEAR(glyphs[0].x - glyphs[12].x, 1.0f, 1e-4f);
    EXPECT_NEAR(glyphs[12].y - glyphs[0].y, 1.0f, 1e-4f);
    const float baseline = 30.0f - 0.65f * 5.0f;
    EXPECT_NEAR(glyphs[12].y, baseline + 0.72f * 10.0f, 1e-3f);  // top-left corner of "A"
    EXPECT_NEAR(glyphs[12].x, 12.0f + 0.02f * 10.0f, 1e-3f);
    // Right alignment puts the text's end two pixels inside the box; no font draws nothing.
    h.frame([&] {
        h.ui.drawText(&h.font, "AB", bg, fg, {}, 10.0f, 20.0f, 100.0f, 20.0f, 10.0f, kAlignRight);
        h.ui.drawText(nullptr, "AB", bg, fg, sh, 10.0f, 20.0f, 100.0f, 20.0f, 10.0f, kAlignRight);
    });
    const float width = h.font.textWidth("AB") * 10.0f;
    ASSERT_EQ(h.renderer.batches.size(), 2u);
    EXPECT_NEAR(h.renderer.batches[1].vertices[0].x, 110.0f - 2.0f - width + 0.2f, 1e-3f);
}

GlEvent windowMouse(uint32_t type, float x, float y) {
    GlEvent e;
    e.type = type;
    e.x = x;
    e.y = y;
    e.extra = withTopByte(button::kLeft);
    return e;
}

TEST(UiInRootView, ClicksAndKeysArriveThroughTheViewTree) {
    GlRootView root;
    root.resizeTo(200.0f, 100.0f);
    UiHarness h;
    RootViewUiHost host(root);
    h.ui.setHost(&host);
    h.ui.hoverChanged(false);
    h.ui.resizeTo(200.0f, 100.0f);
    root.addChild(h.ui);
    char text[16] = "ab";
    int caret = 0;
    bool clicked = false;
    auto draw = [&] {
        clicked = h.ui.button(1, kButton, "Go", 12.0f, 0, kAlignCentre);
        h.ui.textArea(2, {150.0f, 50.0f, 40.0f, 20.0f}, text, 10.0f, kAlignLeft, caret, 15);
    };
    // Window pixel (49, 49) is view point (49.5, 50.5), y up: over the button.
    root.handleEvent(windowMouse(event::kMouseMove, 49.0f, 49.0f));
    EXPECT_TRUE(h.ui.mouseInside());
    EXPECT_FLOAT_EQ(h.ui.mouseY(), 50.5f);
    root.handleEvent(windowMouse(event::kButtonDown, 49.0f, 49.0f));
    h.frame(draw);
    root.handleEvent(windowMouse(event::kButtonUp, 49.0f, 49.0f));
    h.frame(draw);
    EXPECT_TRUE(clicked);

    // Keys reach the context only while its text area has the focus.
    EXPECT_FALSE(root.handleEvent(keyEvent('x', 0)));
    root.handleEvent(windowMouse(event::kButtonDown, 189.0f, 49.0f));
    h.frame(draw);
    root.handleEvent(windowMouse(event::kButtonUp, 189.0f, 49.0f));
    h.frame(draw);
    EXPECT_EQ(h.ui.focusId(), 2u);
    EXPECT_TRUE(root.handleEvent(keyEvent('x', 0)));
    EXPECT_TRUE(root.handleEvent(keyEvent(0, key::kHome)));
    h.frame(draw);
    EXPECT_STREQ(text, "abx");
    EXPECT_EQ(caret, 0);
}

}  // namespace
}  // namespace tarsk
