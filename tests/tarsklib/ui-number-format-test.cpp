// Tests of the number box's arithmetic and texts: mappings, drag and wheel steps with modifiers, cyclic wrap,
// engineering notation with and without prefixes, value and unit apart, label lists and printf forms.
#include "tarsklib/ui-number-format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace tarsk {
namespace {

std::string boxText(const char* format, float value) {
    char text[kValueBoxTextSize];
    formatValueBoxText(format, value, text, sizeof text);
    return text;
}

TEST(ValueBoxMapping, EachMappingAtItsEndsAndMiddle) {
    // Linear and cyclic: even steps.
    for (uint32_t mapping : {kValueBoxLinear, kValueBoxCyclic}) {
        EXPECT_DOUBLE_EQ(valueBoxPosition(-20.0f, -20.0f, 100.0f, mapping), 0.0);
        EXPECT_DOUBLE_EQ(valueBoxPosition(40.0f, -20.0f, 100.0f, mapping), 128.0);
        EXPECT_DOUBLE_EQ(valueBoxPosition(100.0f, -20.0f, 100.0f, mapping), 256.0);
        EXPECT_FLOAT_EQ(valueBoxValue(128.0, -20.0f, 100.0f, mapping), 40.0f);
        EXPECT_FLOAT_EQ(valueBoxValue(64.0, -20.0f, 100.0f, mapping), 10.0f);
    }
    // Logarithmic: the middle of the scale is the geometric mean of the limits.
    const float mean = std::sqrt(0.001f * 20.0f);
    EXPECT_NEAR(valueBoxPosition(0.001f, 0.001f, 20.0f, kValueBoxLogarithmic), 0.0, 1e-9);
    EXPECT_NEAR(valueBoxPosition(mean, 0.001f, 20.0f, kValueBoxLogarithmic), 128.0, 1e-4);
    EXPECT_NEAR(valueBoxPosition(20.0f, 0.001f, 20.0f, kValueBoxLogarithmic), 256.0, 1e-9);
    EXPECT_NEAR(valueBoxValue(128.0, 0.001f, 20.0f, kValueBoxLogarithmic), mean, 1e-6);
    EXPECT_NEAR(valueBoxValue(256.0, 0.001f, 20.0f, kValueBoxLogarithmic), 20.0f, 1e-5);
    // With an off position: 0 sits at the bottom, and the bottom is 0, not the lower limit.
    EXPECT_DOUBLE_EQ(valueBoxPosition(0.0f, 0.1f, 1000.0f, kValueBoxLogarithmicOff), 0.0);
    EXPECT_EQ(valueBoxValue(0.0, 0.1f, 1000.0f, kValueBoxLogarithmicOff), 0.0f);
    EXPECT_NEAR(valueBoxValue(1e-9, 0.1f, 1000.0f, kValueBoxLogarithmicOff), 0.1f, 1e-6);
    EXPECT_NEAR(valueBoxValue(128.0, 0.1f, 1000.0f, kValueBoxLogarithmicOff), 10.0f, 1e-4);
    // Plain logarithmic has no off position: its bottom is the lower limit.
    EXPECT_FLOAT_EQ(valueBoxValue(0.0, 0.1f, 1000.0f, kValueBoxLogarithmic), 0.1f);
}

TEST(ValueBoxMapping, ValuesStayWithinTheLimitsAndBrokenRangesStayFinite) {
    EXPECT_FLOAT_EQ(valueBoxValue(300.0, 0.0f, 100.0f, kValueBoxLinear), 100.0f);
    EXPECT_FLOAT_EQ(valueBoxValue(-5.0, 0.0f, 100.0f, kValueBoxLinear), 0.0f);
    EXPECT_FLOAT_EQ(valueBoxValue(400.0, 1.0f, 1e6f, kValueBoxLogarithmic), 1e6f);
    EXPECT_DOUBLE_EQ(valueBoxMove(250.0, 10.0, kValueBoxLinear), 256.0);
    EXPECT_DOUBLE_EQ(valueBoxMove(3.0, -10.0, kValueBoxLogarithmic), 0.0);
    // An empty range, a zero or negative value on a logarithmic scale, a limit at 0 on one.
    EXPECT_DOUBLE_EQ(valueBoxPosition(5.0f, 5.0f, 5.0f, kValueBoxLinear), 0.0);
    EXPECT_FLOAT_EQ(valueBoxValue(100.0, 5.0f, 5.0f, kValueBoxLinear), 5.0f);
    EXPECT_DOUBLE_EQ(valueBoxPosition(-3.0f, 1.0f, 100.0f, kValueBoxLogarithmic), 0.0);
    EXPECT_DOUBLE_EQ(valueBoxPosition(50.0f, 0.0f, 100.0f, kValueBoxLogarithmic), 128.0);  // works linearly
    EXPECT_DOUBLE_EQ(valueBoxPosition(NAN, 0.0f, 100.0f, kValueBoxLinear), 0.0);
}

TEST(ValueBoxDrag, ModifiersMakeStepsFinerAndAltWins) {
    EXPECT_DOUBLE_EQ(valueBoxDelta(3.0, false, false), 3.0);
    EXPECT_DOUBLE_EQ(valueBoxDelta(3.0, true, false), 3.0 / 256.0);
    EXPECT_DOUBLE_EQ(valueBoxDelta(3.0, false, true), 3.0 / 65536.0);
    EXPECT_DOUBLE_EQ(valueBoxDelta(3.0, true, true), 3.0 / 65536.0);

    // A wheel notch moves a linear value by 1/256 of its range, with Ctrl by 1/65536, with Alt by 1/2^24.
    const float range = 65536.0f;
    EXPECT_EQ(valueBoxApply(32768.0f, 0.0f, range, kValueBoxLinear, valueBoxDelta(1, false, false)).value, 33024.0f);
    EXPECT_EQ(valueBoxApply(32768.0f, 0.0f, range, kValueBoxLinear, valueBoxDelta(1, true, false)).value, 32769.0f);
    EXPECT_EQ(valueBoxApply(32768.0f, 0.0f, range, kValueBoxLinear, valueBoxDelta(-1, false, true)).value,
              32768.0f - 1.0f / 256.0f);
    // On a logarithmic box a step is a constant ratio: 8 pixels over 1..256 (8 octaves) is a quarter octave.
    EXPECT_NEAR(valueBoxApply(16.0f, 1.0f, 256.0f, kValueBoxLogarithmic, 8.0).value, 16.0 * std::exp2(0.25), 1e-4);
}

TEST(ValueBoxDrag, ChangeIsReportedOnlyWhenTheValueMoves) {
    ValueBoxChange step = valueBoxApply(99.5f, 0.0f, 100.0f, kValueBoxLinear, 10.0);
    EXPECT_TRUE(step.changed);
    EXPECT_EQ(step.value, 100.0f);
    step = valueBoxApply(100.0f, 0.0f, 100.0f, kValueBoxLinear, 10.0);  // pinned at the top
    EXPECT_FALSE(step.changed);
    EXPECT_EQ(step.value, 100.0f);
    step = valueBoxApply(42.0f, 0.0f, 100.0f, kValueBoxLinear, 0.0);
    EXPECT_FALSE(step.changed);
    EXPECT_EQ(step.value, 42.0f);
    // Dragging a log box with an off position down to the bottom switches it off, and up again leaves 0.
    step = valueBoxApply(0.2f, 0.1f, 1000.0f, kValueBoxLogarithmicOff, -20.0);
    EXPECT_TRUE(step.changed);
    EXPECT_EQ(step.value, 0.0f);
    step = valueBoxApply(0.0f, 0.1f, 1000.0f, kValueBoxLogarithmicOff, 1.0);
    EXPECT_TRUE(step.changed);
    EXPECT_NEAR(step.value, 0.1f * std::pow(10000.0f, 1.0f / 256.0f), 1e-6);
}

TEST(ValueBoxDrag, CyclicBoxWrapsAtBothEnds) {
    EXPECT_DOUBLE_EQ(valueBoxMove(250.0, 10.0, kValueBoxCyclic), 4.0);
    EXPECT_DOUBLE_EQ(valueBoxMove(3.0, -10.0, kValueBoxCyclic), 249.0);
    EXPECT_DOUBLE_EQ(valueBoxMove(0.0, -2100.0, kValueBoxCyclic), 204.0);  // beyond the modulo's bias
    EXPECT_DOUBLE_EQ(valueBoxMove(100.0, 512.0, kValueBoxCyclic), 100.0);

    // An angle 0..360: dragged 10 pixels past the top continues from the bottom, and back.
    ValueBoxChange up = valueBoxApply(355.0f, 0.0f, 360.0f, kValueBoxCyclic, 10.0);
    EXPECT_TRUE(up.changed);
    EXPECT_NEAR(up.value, 355.0f + 10.0f * 360.0f / 256.0f - 360.0f, 1e-4);
    ValueBoxChange down = valueBoxApply(2.0f, 0.0f, 360.0f, kValueBoxCyclic, -5.0);
    EXPECT_NEAR(down.value, 2.0f - 5.0f * 360.0f / 256.0f + 360.0f, 1e-4);
    // The same drags on a linear box stop at the ends.
    EXPECT_EQ(valueBoxApply(355.0f, 0.0f, 360.0f, kValueBoxLinear, 10.0).value, 360.0f);
    EXPECT_EQ(valueBoxApply(2.0f, 0.0f, 360.0f, kValueBoxLinear, -5.0).value, 0.0f);
}

TEST(ValueBoxText, EngineeringWithPrefixes) {
    EXPECT_EQ(boxText("@s", 0.05f), "  50.00 ms");
    EXPECT_EQ(boxText("@Hz", 700.0f), "  700.0 Hz");
    EXPECT_EQ(boxText("@Hz", 701.0f), "  0.701 kHz");
    EXPECT_EQ(boxText("@s", 1.0f), "  1.000 s");
    EXPECT_EQ(boxText("@s", 0.0125f), "  12.50 ms");
    EXPECT_EQ(boxText("@s", 2.5e-6f), "  2.500 &micro;s");
    EXPECT_EQ(boxText("@Hz", 3.2e6f), "  3.200 MHz");
    // No prefix for nothing, for negative numbers or beyond zepto and zetta.
    EXPECT_EQ(boxText("@s", 0.0f), " &mdash; ");
    EXPECT_EQ(boxText("@s", -0.05f), " &mdash; ");
    EXPECT_EQ(boxText("@s", 1e-25f), " &mdash; ");
    EXPECT_EQ(boxText("@s", 5e24f), " &mdash; ");
    EXPECT_EQ(boxText("@s", INFINITY), " &mdash; ");
}

TEST(ValueBoxText, EngineeringWithoutPrefixes) {
    EXPECT_EQ(boxText("$&times;", 2.5f), "  2.500 &times;");
    EXPECT_EQ(boxText("$%", 6.9f), "  6.900 %");
    EXPECT_EQ(boxText("$%", 7.1f), "   7.10 %");
    EXPECT_EQ(boxText("$%", 125.0f), "  125.0 %");
    EXPECT_EQ(boxText("$%", 1250.0f), "   1250 %");
    EXPECT_EQ(boxText("$%", 125000.0f), " 125000 %");
    EXPECT_EQ(boxText("$%", 0.004f), "  0.004 %");
    EXPECT_EQ(boxText("$%", 0.0f), "  0.000 %");
}

TEST(ValueBoxText, ValueAndUnitApart) {
    char value[kValueBoxTextSize], unit[kValueBoxTextSize] = "untouched";
    formatValueBoxText("#s", 0.0012f, value, sizeof value, unit, sizeof unit);
    EXPECT_STREQ(value, "  1.200");
    EXPECT_STREQ(unit, "ms");
    formatValueBoxText("#Hz", 1500.0f, value, sizeof value, unit, sizeof unit);
    EXPECT_STREQ(value, "  1.500");
    EXPECT_STREQ(unit, "kHz");
    formatValueBoxText("#s", 3e-6f, value, sizeof value, unit, sizeof unit);
    EXPECT_STREQ(value, "  3.000");
    EXPECT_STREQ(unit, "&micro;s");
    formatValueBoxText("#Hz", 100.0f, value, sizeof value, unit, sizeof unit);
    EXPECT_STREQ(value, "  100.0");
    EXPECT_STREQ(unit, "Hz");
    formatValueBoxText("#s", 0.0f, value, sizeof value, unit, sizeof unit);
    EXPECT_STREQ(value, "---");
    EXPECT_STREQ(unit, "s");
    // Other formats leave the unit alone.
    formatValueBoxText("%1.2f", 1.0f, value, sizeof value, unit, sizeof unit);
    EXPECT_STREQ(unit, "s");
}

TEST(ValueBoxText, LabelLists) {
    static constexpr char kNotes[] = "~1/1\0" "3/4\0" "1/2\0" "~";
    EXPECT_EQ(boxText(kNotes, 0.0f), "1/1");
    EXPECT_EQ(boxText(kNotes, 0.49f), "1/1");
    EXPECT_EQ(boxText(kNotes, 0.5f), "3/4");
    EXPECT_EQ(boxText(kNotes, 2.0f), "1/2");
    EXPECT_EQ(boxText(kNotes, -3.0f), "1/1");
    EXPECT_EQ(boxText(kNotes, 2.6f), "");
    EXPECT_EQ(boxText(kNotes, NAN), "1/1");
    EXPECT_EQ(labelListEntry(kNotes, 3), nullptr);
    EXPECT_EQ(labelListEntry("~~", 0), nullptr);
    EXPECT_EQ(labelListEntry("%1.2f", 0), nullptr);
}

TEST(ValueBoxText, PrintfFormsAndUnsafeOnes) {
    EXPECT_EQ(boxText("%1.2f &times;", 2.5f), "2.50 &times;");
    EXPECT_EQ(boxText("%1.1f %%", 50.0f), "50.0 %");
    EXPECT_EQ(boxText("1 : %1.1f", 2.0f), "1 : 2.0");
    EXPECT_EQ(boxText("%.0f Hz", 2.5f), "2 Hz");
    EXPECT_EQ(boxText("%+08.3lf", -1.5f), "-001.500");
    EXPECT_EQ(boxText("fixed", 2.0f), "fixed");
    // Conversions that cannot take a float are shown as they are instead of reading a wrong argument.
    EXPECT_EQ(boxText("%s", 2.0f), "%s");
    EXPECT_EQ(boxText("%d dB", 2.0f), "%d dB");
    EXPECT_EQ(boxText("%f %f", 2.0f), "%f %f");
    EXPECT_EQ(boxText("%*f", 2.0f), "%*f");
    EXPECT_EQ(boxText("50%", 2.0f), "50%");
    EXPECT_EQ(boxText("%n", 2.0f), "%n");
    // A small buffer is cut, not overrun.
    char small[5] = {'x', 'x', 'x', 'x', 'x'};
    formatValueBoxText("@s", 0.05f, small, 4);
    EXPECT_STREQ(small, "  5");
    EXPECT_EQ(small[4], 'x');
}

}  // namespace
}  // namespace tarsk
