// The Algorithm page through the effect object: each scripted edit changes only its own fields of the
// program and raises the cook and lengths flags; taps stay in order with the edited one winning; the
// conditional options appear only when the structure allows them.
#include <gtest/gtest.h>

#include "editor/page-algorithm.h"
#include "page-test-support.h"

namespace tarsk {
namespace {

using test::EditorRig;
using test::pageX;
using test::pageY;

constexpr uint32_t kCookAndLengths = kChangeCook | kChangeLengths;

// Delays tab: row of line i, tap box k.
float rowY(int line) { return pageY(static_cast<float>(3 - line) * 1.5f + 4.0f); }
float tapBoxX(int k) { return pageX(19.75f + 1.75f * static_cast<float>(k) + 0.875f); }

ProgramRecord withFlags(EditorRig& rig, uint32_t flags, float halfLife) {
    ProgramRecord record = rig.hostProgram();
    for (int line = 0; line < 4; ++line) {
        record.setF(word::delayLength + line, 1.5f + 0.25f * static_cast<float>(line));
        record.setF(word::decayScale + line, 1.0f);
    }
    record.setU(word::flags, flags);
    record.setF(word::halfLife, halfLife);
    return record;
}

void openDelays(EditorRig& rig, const ProgramRecord& record) {
    test::putProgram(rig, record);
    test::openEditorTab(rig, kTabAlgorithm);
    rig.click(pageX(9.0f), pageY(11.0f));  // "Delays"
    ASSERT_EQ(rig.editor.viewWord(kViewAlgorithmTab), kAlgorithmDelaysTab);
    test::clearChangeFlags(rig);
}

void openConfig(EditorRig& rig, const ProgramRecord& record) {
    test::putProgram(rig, record);
    test::openEditorTab(rig, kTabAlgorithm);
    rig.click(pageX(5.0f), pageY(11.0f));  // "Config"
    ASSERT_EQ(rig.editor.viewWord(kViewAlgorithmTab), kAlgorithmConfigTab);
    test::clearChangeFlags(rig);
}

TEST(AlgorithmPageTaps, DraggingTapOneAboveTheOthersPushesThemUp) {
    EditorRig rig;
    ProgramRecord start = withFlags(rig, flag::multitap, 1.0f);
    start.setF(word::tap1 + 1, 0.70f);
    start.setF(word::tap2 + 1, 0.75f);
    start.setF(word::tap3 + 1, 0.80f);
    openDelays(rig, start);
    ProgramRecord before = rig.hostProgram();

    rig.drag(tapBoxX(0), rowY(1), 60.0f, 12);  // about +23 percent
    ProgramRecord after = rig.hostProgram();
    const float tap1 = after.f(word::tap1 + 1);
    EXPECT_GT(tap1, 0.85f);
    EXPECT_EQ(after.f(word::tap2 + 1), tap1);
    EXPECT_EQ(after.f(word::tap3 + 1), tap1);
    test::expectOnlyWordsChanged(before, after, {word::tap1 + 1, word::tap2 + 1, word::tap3 + 1});
    EXPECT_EQ(test::raisedFlags(rig), kCookAndLengths);
}

TEST(AlgorithmPageTaps, DraggingTapThreeBelowTheOthersPushesThemDown) {
    EditorRig rig;
    ProgramRecord start = withFlags(rig, flag::multitap, 1.0f);
    start.setF(word::tap1 + 2, 0.60f);
    start.setF(word::tap2 + 2, 0.65f);
    start.setF(word::tap3 + 2, 0.70f);
    openDelays(rig, start);
    ProgramRecord before = rig.hostProgram();

    rig.drag(tapBoxX(2), rowY(2), -60.0f, 12);  // about -23 percent
    ProgramRecord after = rig.hostProgram();
    const float tap3 = after.f(word::tap3 + 2);
    EXPECT_LT(tap3, 0.55f);
    EXPECT_EQ(after.f(word::tap2 + 2), tap3);
    EXPECT_EQ(after.f(word::tap1 + 2), tap3);
    test::expectOnlyWordsChanged(before, after, {word::tap1 + 2, word::tap2 + 2, word::tap3 + 2});
    EXPECT_EQ(test::raisedFlags(rig), kCookAndLengths);
}

TEST(AlgorithmPageTaps, TheMiddleTapPushesBothWaysAndTheEditedTapWins) {
    ProgramRecord record;
    record.setF(word::tap1, 0.3f);
    record.setF(word::tap2, 0.9f);  // dragged above tap 3
    record.setF(word::tap3, 0.5f);
    keepTapsInOrder(record, 0, 1);
    EXPECT_EQ(record.f(word::tap1), 0.3f);
    EXPECT_EQ(record.f(word::tap2), 0.9f);
    EXPECT_EQ(record.f(word::tap3), 0.9f);

    record.setF(word::tap2, 0.1f);  // dragged below tap 1
    keepTapsInOrder(record, 0, 1);
    EXPECT_EQ(record.f(word::tap1), 0.1f);
    EXPECT_EQ(record.f(word::tap2), 0.1f);
    EXPECT_EQ(record.f(word::tap3), 0.9f);

    // Taps already in order stay where they are, and other lines are untouched.
    ProgramRecord ordered;
    for (int line = 0; line < 4; ++line) {
        ordered.setF(word::tap1 + line, 0.2f);
        ordered.setF(word::tap2 + line, 0.4f);
        ordered.setF(word::tap3 + line, 0.6f);
    }
    ProgramRecord copy = ordered;
    for (int edited = 0; edited < 3; ++edited) {
        keepTapsInOrder(copy, 3, edited);
    }
    EXPECT_EQ(copy, ordered);
}

TEST(AlgorithmPageDelays, TapBoxesShowPercentAndOnlyAppearWithMultitap) {
    EditorRig rig;
    openDelays(rig, withFlags(rig, 0, 1.0f));
    ProgramRecord before = rig.hostProgram();
    rig.drag(tapBoxX(0), rowY(0), 40.0f, 8);  // no box here without Multitap
    EXPECT_EQ(rig.hostProgram(), before);
    EXPECT_EQ(test::raisedFlags(rig), 0u);

    // With Multitap a one-pixel drag moves the shown percentage by 99/256: the box works in percent.
    openDelays(rig, withFlags(rig, flag::multitap, 1.0f));
    before = rig.hostProgram();
    rig.drag(tapBoxX(0), rowY(0), 1.0f, 1);
    ProgramRecord after = rig.hostProgram();
    EXPECT_NEAR((after.f(word::tap1) - before.f(word::tap1)) * 100.0f, 99.0f / 256.0f, 1e-3f);

    // At the bottom of its range the box stores 0.5 percent; the taps above it stay where they were.
    before = rig.hostProgram();
    rig.drag(tapBoxX(0), rowY(0), -300.0f, 6);
    after = rig.hostProgram();
    EXPECT_EQ(after.f(word::tap1), 0.005f);
    test::expectOnlyWordsChanged(before, after, {word::tap1});
}

TEST(AlgorithmPageDelays, ANudgeOfALineLongerThanTheBoxRangeMovesItALittle) {
    EditorRig rig;
    ProgramRecord record = withFlags(rig, 0, 1.0f);
    record.setF(word::delayLength + 2, 100.0f);  // as long as many factory programs' lines
    openDelays(rig, record);
    rig.drag(pageX(17.5f), rowY(2), -2.0f, 2);
    float after = rig.hostProgram().f(word::delayLength + 2);
    EXPECT_LT(after, 100.0f);
    EXPECT_GT(after, 98.0f);  // not cut down to 16
}

TEST(AlgorithmPageDelays, LengthBoxFaderAndDecayScaleEditOnlyTheirLine) {
    EditorRig rig;
    openDelays(rig, withFlags(rig, 0, 1.0f));

    ProgramRecord before = rig.hostProgram();
    rig.drag(pageX(17.5f), rowY(3), 32.0f, 8);  // 32 px of 256 over 0..16: +2
    ProgramRecord after = rig.hostProgram();
    EXPECT_NEAR(after.f(word::delayLength + 3), before.f(word::delayLength + 3) + 2.0f, 1e-3f);
    test::expectOnlyWordsChanged(before, after, {word::delayLength + 3});
    EXPECT_EQ(test::raisedFlags(rig), kCookAndLengths);

    // The fader at its right end gives the longest line: 4 squared.
    test::clearChangeFlags(rig);
    before = rig.hostProgram();
    test::dragSideways(rig, pageX(3.5f + 12.0f * 0.25f), rowY(0), 400.0f, 10);
    after = rig.hostProgram();
    EXPECT_EQ(after.f(word::delayLength), 16.0f);
    test::expectOnlyWordsChanged(before, after, {word::delayLength});
    EXPECT_EQ(test::raisedFlags(rig), kCookAndLengths);

    test::clearChangeFlags(rig);
    before = rig.hostProgram();
    rig.drag(pageX(27.5f), rowY(1), 64.0f, 8);  // logarithmic 0.25..4: a quarter of the scale doubles it
    after = rig.hostProgram();
    EXPECT_NEAR(after.f(word::decayScale + 1), 2.0f * before.f(word::decayScale + 1), 1e-3f);
    test::expectOnlyWordsChanged(before, after, {word::decayScale + 1});
    EXPECT_EQ(test::raisedFlags(rig), kCookAndLengths);
}

TEST(AlgorithmPageConfig, WithoutMultitapOnlyTwoOptionsAreOffered) {
    EditorRig rig;
    openConfig(rig, withFlags(rig, 0, 1.0f));
    ProgramRecord before = rig.hostProgram();
    rig.click(pageX(16.5f), pageY(10.0f));  // where "Cross mixing" would be
    rig.click(pageX(16.5f), pageY(9.0f));   // "Inner feedback"
    rig.click(pageX(23.5f), pageY(10.0f));  // "Tap outputs"
    EXPECT_EQ(rig.hostProgram(), before);
    EXPECT_EQ(test::raisedFlags(rig), 0u);

    rig.click(pageX(3.5f), pageY(9.0f));  // "Filters before output"
    ProgramRecord after = rig.hostProgram();
    EXPECT_EQ(after.u(word::flags), before.u(word::flags) | flag::filtersBeforeOutput);
    test::expectOnlyWordsChanged(before, after, {word::flags});
    EXPECT_EQ(test::raisedFlags(rig), kCookAndLengths);

    rig.click(pageX(3.5f), pageY(10.0f));  // "Multitap"
    EXPECT_EQ(rig.hostProgram().u(word::flags), flag::filtersBeforeOutput | flag::multitap);
    rig.click(pageX(16.5f), pageY(10.0f));  // now "Cross mixing" is there
    EXPECT_EQ(rig.hostProgram().u(word::flags), flag::filtersBeforeOutput | flag::multitap | flag::crossMixing);
}

TEST(AlgorithmPageConfig, InnerFeedbackNeedsAHalfLifeAndTapOutputsMoveUpWithoutIt) {
    EditorRig rig;
    // Half life 0: no "Inner feedback"; its bit keeps its value; "Tap outputs" one row higher.
    openConfig(rig, withFlags(rig, flag::multitap | flag::innerFeedback, 0.0f));
    ProgramRecord before = rig.hostProgram();
    rig.click(pageX(16.5f), pageY(9.0f));
    rig.click(pageX(23.5f), pageY(10.0f));
    EXPECT_EQ(rig.hostProgram(), before);
    rig.click(pageX(23.5f), pageY(11.0f));
    EXPECT_EQ(rig.hostProgram().u(word::flags), flag::multitap | flag::innerFeedback | flag::tapOutputs);

    openConfig(rig, withFlags(rig, flag::multitap, 2.0f));
    rig.click(pageX(16.5f), pageY(9.0f));
    EXPECT_EQ(rig.hostProgram().u(word::flags), flag::multitap | flag::innerFeedback);
    rig.click(pageX(23.5f), pageY(10.0f));
    EXPECT_EQ(rig.hostProgram().u(word::flags), flag::multitap | flag::innerFeedback | flag::tapOutputs);
}

TEST(AlgorithmPageConfig, TapOutputLevelsAreEditedInPercentUnderTheShiftedTaps) {
    EditorRig rig;
    // Cross mixing with a half life and filters after the output: no shift; the boxes 4.375u below the
    // "Tap outputs" row (row 10u with "Inner feedback" shown).
    ProgramRecord start = withFlags(rig, flag::multitap | flag::tapOutputs | flag::crossMixing, 1.0f);
    EXPECT_EQ(tapBoxShift(start), 0.0f);
    openConfig(rig, start);
    ProgramRecord before = rig.hostProgram();
    rig.drag(pageX(kTapBoxX[1]), pageY(10.0f - 4.375f), 128.0f, 8);  // half the scale: 50 percent
    ProgramRecord after = rig.hostProgram();
    EXPECT_NEAR(after.f(word::tapLevel + 1), before.f(word::tapLevel + 1) + 0.5f, 1e-4f);
    test::expectOnlyWordsChanged(before, after, {word::tapLevel + 1});
    EXPECT_EQ(test::raisedFlags(rig), kCookAndLengths);

    // No mixing, half life, filters before the output: the boxes move 0.75u to the right.
    start = withFlags(rig, flag::multitap | flag::tapOutputs | flag::filtersBeforeOutput, 1.0f);
    EXPECT_EQ(tapBoxShift(start), 0.75f);
    openConfig(rig, start);
    before = rig.hostProgram();
    rig.drag(pageX(kTapBoxX[2] + 0.75f + 0.6f), pageY(10.0f - 4.375f), 128.0f, 8);
    after = rig.hostProgram();
    EXPECT_NEAR(after.f(word::tapLevel + 2), before.f(word::tapLevel + 2) + 0.5f, 1e-4f);
    test::expectOnlyWordsChanged(before, after, {word::tapLevel + 2});

    // Without a half life the shift depends only on mixing.
    start.setF(word::halfLife, 0.0f);
    EXPECT_EQ(tapBoxShift(start), 0.5f);
    start.setU(word::flags, start.u(word::flags) | flag::innerFeedback);
    EXPECT_EQ(tapBoxShift(start), 0.25f);
}

}  // namespace
}  // namespace tarsk
