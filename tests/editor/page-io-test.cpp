// The I/O page and its angle control through the effect object: angles and lengths of stored vectors, the
// 15-degree steps with their wrap rules, edits that change only one vector and raise only the cook flag,
// and the drift guard that keeps a merely opened page from rewriting any vector.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "editor/page-io.h"
#include "editor/tab-backdrop.h"
#include "page-test-support.h"

namespace tarsk {
namespace {

using test::EditorRig;
using test::pageX;
using test::pageY;

float rowY(int line) { return pageY(static_cast<float>(3 - line) * 1.5f + 3.5f); }

void openIo(EditorRig& rig, const ProgramRecord& record, int32_t tab) {
    test::putProgram(rig, record);
    rig.editor.viewWord(kViewIoTab) = tab;
    test::openEditorTab(rig, kTabIo);
    test::clearChangeFlags(rig);
}

void setVector(ProgramRecord& record, int first, float left, float right) {
    record.setF(first, left);
    record.setF(first + 1, right);
}

TEST(IoPageVectors, AnglesAndLengthsOfTheChannels) {
    struct Case {
        float left, right, degrees, length;
        const char* angleText;
    } cases[] = {
        {1.0f, 0.0f, -45.0f, 1.0f, "&minus;45.0&deg;"},
        {0.0f, 1.0f, 45.0f, 1.0f, "45.0&deg;"},
        {0.7071f, 0.7071f, 0.0f, 1.0f, "0.0&deg;"},
        {-0.5f, 0.5f, 90.0f, 0.7071f, "90.0&deg;"},
        {-0.7071f, -0.7071f, 180.0f, 1.0f, "180.0&deg;"},
    };
    for (const Case& c : cases) {
        StereoPolar polar = stereoPolar(c.left, c.right);
        EXPECT_NEAR(polar.degrees, c.degrees, 1e-3f) << c.left << ", " << c.right;
        EXPECT_NEAR(polar.length, c.length, 1e-4f);
        char text[48];
        formatAngle(text, sizeof(text), polar.degrees);
        EXPECT_STREQ(text, c.angleText);
        float left = 0.0f, right = 0.0f;
        stereoVector(polar, left, right);
        EXPECT_NEAR(left, c.left, 1e-5f);
        EXPECT_NEAR(right, c.right, 1e-5f);
    }
    char text[40];
    formatVectorLength(text, sizeof(text), 1.0f);
    EXPECT_STREQ(text, "1.000");
    formatVectorLength(text, sizeof(text), -0.00001f);  // rounds to zero: no minus sign
    EXPECT_STREQ(text, "0.000");
    formatAngle(text, sizeof(text), -0.04f);
    EXPECT_STREQ(text, "0.0&deg;");
}

TEST(IoPageVectors, AngleStepsWrapAtTheHalfTurn) {
    EXPECT_EQ(angleStepUp(170.0f), -180.0f);
    EXPECT_EQ(angleStepDown(-180.0f), 165.0f);
    EXPECT_EQ(angleStepUp(179.99f), -150.0f);
    EXPECT_EQ(angleStepDown(45.02f), 30.0f);  // 45 lies within 0.05 and is passed over
    EXPECT_EQ(angleStepUp(44.97f), 60.0f);
    EXPECT_EQ(angleStepUp(-45.0f), -30.0f);
    EXPECT_EQ(angleStepDown(-45.0f), -60.0f);
    EXPECT_EQ(angleStepDown(-179.9f), -180.0f);
    EXPECT_EQ(angleStepUp(164.9f), 165.0f);
    EXPECT_EQ(angleStepUp(0.0f), 15.0f);
    EXPECT_EQ(angleStepDown(0.0f), -15.0f);
}

TEST(IoPageVectors, TheRightArrowTurnsLeftInputToMinusThirtyDegrees) {
    EditorRig rig;
    ProgramRecord start = rig.hostProgram();
    setVector(start, word::inputVectors, 1.0f, 0.0f);
    setVector(start, word::outputVectors + 4, -1.0f, 0.0f);
    openIo(rig, start, kIoInputTab);
    ProgramRecord before = rig.hostProgram();

    rig.click(pageX(5.0f + 1.875f), rowY(0));  // line 1's right arrow
    ProgramRecord after = rig.hostProgram();
    EXPECT_NEAR(after.f(word::inputVectors), 0.9659f, 1e-4f);
    EXPECT_NEAR(after.f(word::inputVectors + 1), 0.2588f, 1e-4f);
    EXPECT_NEAR(stereoPolar(after.f(word::inputVectors), after.f(word::inputVectors + 1)).degrees, -30.0f, 1e-3f);
    test::expectOnlyWordsChanged(before, after, {word::inputVectors, word::inputVectors + 1});
    EXPECT_EQ(test::raisedFlags(rig), kChangeCook);

    // The left arrow on output line 3 (stored (-1, 0), 135 degrees) gives 120 degrees.
    rig.click(pageX(5.75f), pageY(11.0f));  // "Input vectors"
    rig.click(pageX(11.25f), pageY(11.0f));  // "Output vectors"
    ASSERT_EQ(rig.editor.viewWord(kViewIoTab), kIoOutputTab);
    before = rig.hostProgram();
    const int line3 = word::outputVectors + 4;
    ASSERT_NEAR(stereoPolar(before.f(line3), before.f(line3 + 1)).degrees, 135.0f, 1e-3f);
    rig.click(pageX(5.0f - 1.875f), rowY(2));
    after = rig.hostProgram();
    EXPECT_NEAR(stereoPolar(after.f(line3), after.f(line3 + 1)).degrees, 120.0f, 1e-3f);
    EXPECT_NEAR(stereoPolar(after.f(line3), after.f(line3 + 1)).length, 1.0f, 1e-4f);
    test::expectOnlyWordsChanged(before, after, {line3, line3 + 1});
}

TEST(IoPageVectors, TheLengthBoxScalesOneVectorAndKeepsItsAngle) {
    EditorRig rig;
    ProgramRecord start = rig.hostProgram();
    setVector(start, word::outputVectors + 2, 0.3f, 0.4f);  // line 2: length 0.5
    openIo(rig, start, kIoOutputTab);
    ProgramRecord before = rig.hostProgram();
    // Logarithmic 0.01..1 over 256 pixels: -38.5 px is a factor of 1/2.
    rig.drag(pageX(8.75f), rowY(1), -256.0f * std::log2(2.0f) / std::log2(100.0f), 8);
    ProgramRecord after = rig.hostProgram();
    const StereoPolar was = stereoPolar(0.3f, 0.4f);
    const StereoPolar now = stereoPolar(after.f(word::outputVectors + 2), after.f(word::outputVectors + 3));
    EXPECT_NEAR(now.length, 0.25f, 2e-3f);
    EXPECT_NEAR(now.degrees, was.degrees, 1e-3f);
    test::expectOnlyWordsChanged(before, after, {word::outputVectors + 2, word::outputVectors + 3});
    EXPECT_EQ(test::raisedFlags(rig), kChangeCook);
}

TEST(IoPageVectors, DraggingAnArrowMovesItsVectorWithinTheUnitCircle) {
    EditorRig rig;
    ProgramRecord start = rig.hostProgram();
    setVector(start, word::inputVectors + 6, 0.0f, 0.0f);  // line 4 at the centre
    setVector(start, word::inputVectors, 0.5f, 0.5f);     // line 1 towards the centre direction, length 0.707
    openIo(rig, start, kIoInputTab);
    ProgramRecord before = rig.hostProgram();
    // Line 1's handle sits at (0.707, 0) of the display: 23.5u + 0.707 * 3.5u, 6.25u. Drag it straight up
    // far beyond the circle: the vector ends on the circle.
    const float hx = pageX(23.5f + 0.70710677f * 3.5f);
    const float hy = pageY(6.25f);
    rig.drag(hx, hy, 200.0f, 10);
    ProgramRecord after = rig.hostProgram();
    const StereoPolar now = stereoPolar(after.f(word::inputVectors), after.f(word::inputVectors + 1));
    EXPECT_NEAR(now.length, 1.0f, 1e-3f);
    EXPECT_GT(now.degrees, 30.0f);
    test::expectOnlyWordsChanged(before, after, {word::inputVectors, word::inputVectors + 1});
    EXPECT_EQ(test::raisedFlags(rig), kChangeCook);
}

TEST(IoPageVectors, OpeningThePageNeverChangesAStoredVector) {
    EditorRig rig;
    ProgramRecord start = rig.hostProgram();
    std::mt19937 random(20261209);
    std::uniform_real_distribution<float> gain(-1.0f, 1.0f);
    for (int i = 0; i < 16; ++i) {
        start.setF(word::inputVectors + i, gain(random));
    }
    setVector(start, word::outputVectors + 6, 1.0f, 5e-7f);  // the Init record's tiny off-axis parts
    // The guard matters: converting to angle and length and back does not give these very bits.
    int drifting = 0;
    for (int i = 0; i < 8; ++i) {
        const int at = word::inputVectors + 2 * i;
        float left = 0.0f, right = 0.0f;
        stereoVector(stereoPolar(start.f(at), start.f(at + 1)), left, right);
        drifting += (left != start.f(at) || right != start.f(at + 1)) ? 1 : 0;
    }
    ASSERT_GT(drifting, 0);

    openIo(rig, start, kIoInputTab);
    rig.frames(5);
    rig.click(pageX(11.25f), pageY(11.0f));  // "Output vectors"
    rig.frames(5);
    EXPECT_EQ(rig.hostProgram(), start);
    EXPECT_EQ(test::raisedFlags(rig), 0u);
    EXPECT_FALSE(rig.editor.history().canUndo());
}

}  // namespace
}  // namespace tarsk

namespace tarsk {
namespace {

// The tip of the arrow head an arrow handle draws (the triangle vertex farthest along the arrow).
float arrowTipX(float radius) {
    UiContext ui;
    ui.beginFrame();
    ui.xyHandle(1, UiRect{100.0f, 100.0f, 50.0f, 50.0f}, UiPoint{1.0f, 0.0f}, radius, 1.0f, kHandleArrow);
    float tip = -1.0f;
    float base = 1e9f;
    for (const DrawList::Bucket& bucket : ui.drawList().buckets()) {
        if (bucket.primitive != kPrimitiveTriangles) {
            continue;
        }
        const auto* v = reinterpret_cast<const DrawVertex*>(bucket.bytes.data());
        for (size_t i = 0; i < bucket.bytes.size() / sizeof(DrawVertex); ++i) {
            // The two base corners lie off the axis, the tip on it.
            if (std::fabs(v[i].y - 100.0f) < 0.01f) {
                tip = v[i].x;
            } else {
                base = std::min(base, v[i].x);
            }
        }
    }
    ui.endFrame();
    return tip - base;  // positive: the head points outwards
}

TEST(IoPageVectors, InputArrowsPointInwardsOutputArrowsOutwards) {
    EXPECT_NEAR(arrowTipX(5.0f), 10.0f, 1e-3f);    // tip at the handle (150), base 10 px inside
    EXPECT_NEAR(arrowTipX(-5.0f), -10.0f, 1e-3f);  // base at the handle, tip 10 px towards the centre
}

}  // namespace
}  // namespace tarsk
