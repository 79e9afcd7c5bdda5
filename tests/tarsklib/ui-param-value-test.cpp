// Tests of ParamValue: the mapping types at their ends and middles, limits, zero-is-off, entry lists with
// position snapping, bound variables, SI texts with prefixes and printf texts.
#include "tarsklib/ui-param-value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace tarsk {
namespace {

std::string valueOf(ParamValue& param) {
    char text[kParamValueTextSize + 8];
    param.valueText(text);
    return text;
}

std::string unitOf(ParamValue& param) {
    char text[kParamUnitTextSize + 8];
    param.unitText(text);
    return text;
}

ParamValue mapped(uint32_t type, float span, float offset) {
    ParamValue param;
    param.mappingType = type;
    param.span = span;
    param.offset = offset;
    return param;
}

TEST(ParamValueMapping, EveryTypeRoundTripsAtItsEndsAndMiddle) {
    // span 10 from 2 (the exponential one: 2^4 .. 2^14).
    for (uint32_t type : {kParamMappingLinear, kParamMappingExponential, kParamMappingSquare,
                          kParamMappingInverseSquare, kParamMappingSmoothStep}) {
        SCOPED_TRACE(type);
        const ParamValue param = mapped(type, 10.0f, type == kParamMappingExponential ? 4.0f : 2.0f);
        for (float p : {0.0f, 0.25f, 0.5f, 0.75f, 1.0f}) {
            EXPECT_NEAR(param.toPosition(param.fromPosition(p)), p, 2e-6f) << p;
        }
    }
    // What each shape puts at the middle and a quarter of the way.
    EXPECT_FLOAT_EQ(mapped(kParamMappingLinear, 10, 2).fromPosition(0.5f), 7.0f);
    EXPECT_FLOAT_EQ(mapped(kParamMappingExponential, 10, 4).fromPosition(0.5f), 512.0f);
    EXPECT_FLOAT_EQ(mapped(kParamMappingExponential, 10, 4).fromPosition(1.0f), 16384.0f);
    EXPECT_FLOAT_EQ(mapped(kParamMappingSquare, 10, 2).fromPosition(0.5f), 4.5f);
    EXPECT_FLOAT_EQ(mapped(kParamMappingInverseSquare, 10, 2).fromPosition(0.5f), 9.5f);
    EXPECT_FLOAT_EQ(mapped(kParamMappingSmoothStep, 10, 2).fromPosition(0.25f), 3.5625f);
    EXPECT_FLOAT_EQ(mapped(kParamMappingSmoothStep, 10, 2).fromPosition(1.0f), 12.0f);

    // Smooth step: position 0.5 is the middle of the span, and the middle maps back to 0.5.
    ParamValue smooth = mapped(kParamMappingSmoothStep, 8.0f, -4.0f);
    smooth.setPosition(0.5f);
    EXPECT_EQ(smooth.value(), 0.0f);
    EXPECT_EQ(smooth.position(), 0.5f);
    smooth.setValue(0.0f);
    EXPECT_FLOAT_EQ(smooth.position(), 0.5f);
    EXPECT_FLOAT_EQ(smooth.toPosition(-4.0f + 8.0f * 0.15625f), 0.25f);

    // Types 0 and 1 carry no mapping.
    for (uint32_t type : {kParamMappingNone, kParamMappingNoneAlt}) {
        const ParamValue none = mapped(type, 10.0f, 2.0f);
        EXPECT_EQ(none.toPosition(7.0f), 0.0f);
        EXPECT_EQ(none.fromPosition(0.7f), 0.0f);
    }
}

TEST(ParamValueMapping, PositionsAndValuesAreClamped) {
    for (uint32_t type : {kParamMappingLinear, kParamMappingSquare, kParamMappingInverseSquare,
                          kParamMappingSmoothStep}) {
        SCOPED_TRACE(type);
        ParamValue param = mapped(type, 10.0f, 2.0f);
        EXPECT_EQ(param.toPosition(-50.0f), 0.0f);
        EXPECT_EQ(param.toPosition(1.0f), 0.0f);
        EXPECT_EQ(param.toPosition(13.0f), 1.0f);
        EXPECT_EQ(param.toPosition(NAN), 0.0f);
        param.lowerLimit = 3.0f;
        param.upperLimit = 8.0f;
        EXPECT_EQ(param.fromPosition(0.0f), 3.0f);
        EXPECT_EQ(param.fromPosition(1.0f), 8.0f);
        EXPECT_EQ(param.fromPosition(NAN), 3.0f);
    }
    ParamValue exponential = mapped(kParamMappingExponential, 10.0f, 4.0f);
    EXPECT_EQ(exponential.toPosition(0.0f), 0.0f);
    EXPECT_EQ(exponential.toPosition(-8.0f), 0.0f);
    // setValue does not clamp the value, only the position.
    ParamValue linear = mapped(kParamMappingLinear, 1.0f, 0.0f);
    linear.lowerLimit = 0.0f;
    linear.upperLimit = 1.0f;
    linear.setValue(5.0f);
    EXPECT_EQ(linear.value(), 5.0f);
    EXPECT_EQ(linear.position(), 1.0f);
    linear.setPosition(2.0f);
    EXPECT_EQ(linear.value(), 1.0f);
    EXPECT_EQ(linear.position(), 1.0f);
}

TEST(ParamValueMapping, ZeroIsOff) {
    // 20 Hz .. 20 kHz exponentially, with an off position below the lower limit.
    ParamValue cutoff = mapped(kParamMappingExponential, std::log2(1000.0f), std::log2(20.0f));
    cutoff.lowerLimit = 20.0f;
    cutoff.upperLimit = 20000.0f;
    cutoff.zeroIsOff = true;
    cutoff.siDisplay = true;
    cutoff.unit = "Hz";
    cutoff.setPosition(0.0f);
    EXPECT_EQ(cutoff.value(), 0.0f);
    EXPECT_EQ(valueOf(cutoff), "off");
    EXPECT_EQ(unitOf(cutoff), "");
    cutoff.setPosition(1e-7f);
    EXPECT_NEAR(cutoff.value(), 20.0f, 1e-3f);
    EXPECT_EQ(valueOf(cutoff), "  20.00");
    EXPECT_EQ(unitOf(cutoff), "Hz");
    cutoff.setValue(0.0f);
    EXPECT_EQ(cutoff.position(), 0.0f);
    EXPECT_EQ(valueOf(cutoff), "off");
    // Without the flag 0 is an ordinary value: clamped up to the limit, and no "off".
    cutoff.zeroIsOff = false;
    EXPECT_FLOAT_EQ(cutoff.fromPosition(0.0f), 20.0f);
    cutoff.setValue(0.0f);
    EXPECT_EQ(valueOf(cutoff), "---");
}

TEST(ParamValueEntries, PositionsSnapToEntriesAndNamesAreShown) {
    static const char* const kNames[] = {"Hall", "Room", "Plate", "Chamberlain"};
    ParamValue kind = mapped(kParamMappingEntries, 4.0f, 0.0f);
    kind.entryNames = kNames;
    kind.lowerLimit = 0.0f;
    kind.upperLimit = 3.0f;
    kind.unit = "kind";
    kind.setPosition(0.3f);
    EXPECT_EQ(kind.value(), 1.0f);
    EXPECT_EQ(kind.position(), 0.375f);  // the entry's own position, not the one sent
    EXPECT_EQ(valueOf(kind), "Room");
    EXPECT_EQ(unitOf(kind), "kind");
    kind.setPosition(0.0f);
    EXPECT_EQ(valueOf(kind), "Hall");
    EXPECT_EQ(kind.position(), 0.125f);
    kind.setPosition(1.0f);  // floor(4) is held to the upper limit
    EXPECT_EQ(kind.value(), 3.0f);
    EXPECT_EQ(kind.position(), 0.875f);
    EXPECT_EQ(valueOf(kind), "Chamberl");  // eight characters at most
    kind.setValue(4.0f);
    EXPECT_EQ(valueOf(kind), "n/a");
    kind.setValue(-1.0f);
    EXPECT_EQ(valueOf(kind), "n/a");
    kind.setValue(2.9f);
    EXPECT_EQ(valueOf(kind), "Plate");

    // Entries numbered from an offset.
    ParamValue numbered = mapped(kParamMappingEntries, 4.0f, 1.0f);
    numbered.entryNames = kNames;
    numbered.lowerLimit = 1.0f;
    numbered.upperLimit = 4.0f;
    numbered.setValue(1.0f);
    EXPECT_EQ(numbered.position(), 0.125f);
    EXPECT_EQ(valueOf(numbered), "Hall");
    numbered.setPosition(0.8f);
    EXPECT_EQ(numbered.value(), 4.0f);
    EXPECT_EQ(valueOf(numbered), "Chamberl");
}

TEST(ParamValueVariables, BoundVariablesFollowTheValue) {
    int32_t whole = 99;
    float real = 99.0f;
    ParamValue param = mapped(kParamMappingLinear, 10.0f, -5.0f);
    param.boundInt = &whole;
    param.boundFloat = &real;
    param.setValue(2.7f);
    EXPECT_EQ(whole, 2);
    EXPECT_EQ(real, 2.7f);
    param.setValue(-2.7f);
    EXPECT_EQ(whole, -2);  // toward zero, not down
    EXPECT_EQ(real, -2.7f);
    param.setPosition(1.0f);
    EXPECT_EQ(whole, 5);
    EXPECT_EQ(real, 5.0f);
    param.setValue(1e10f);
    EXPECT_EQ(whole, INT32_MAX);
    param.setValue(-1e10f);
    EXPECT_EQ(whole, INT32_MIN);
    param.setValue(NAN);
    EXPECT_EQ(whole, 0);

    // From the variables: the integer alone, then both (the float's fraction survives).
    ParamValue counted = mapped(kParamMappingLinear, 10.0f, 0.0f);
    counted.format = "%1.2f";
    counted.boundInt = &whole;
    whole = 5;
    counted.syncFromVariables();
    EXPECT_EQ(counted.value(), 5.0f);
    EXPECT_EQ(counted.position(), 0.5f);
    EXPECT_EQ(valueOf(counted), "5.00");
    counted.boundFloat = &real;
    whole = 3;
    real = 2.5f;
    counted.syncFromVariables();
    EXPECT_EQ(counted.value(), 2.5f);
    EXPECT_EQ(whole, 2);
    EXPECT_EQ(real, 2.5f);
    EXPECT_EQ(valueOf(counted), "2.50");
}

TEST(ParamValueText, SiPrefixesAndPrecision) {
    ParamValue time;
    time.siDisplay = true;
    time.unit = "s";
    time.setValue(0.0012f);
    EXPECT_EQ(valueOf(time), "  1.200");
    EXPECT_EQ(unitOf(time), "ms");
    time.setValue(0.025f);
    EXPECT_EQ(valueOf(time), "  25.00");
    time.setValue(0.25f);
    EXPECT_EQ(valueOf(time), "  250.0");
    EXPECT_EQ(unitOf(time), "ms");
    time.setValue(2e-6f);
    EXPECT_EQ(valueOf(time), "  2.000");
    EXPECT_EQ(unitOf(time), "\xC2\xB5s");
    time.setValue(0.0f);
    EXPECT_EQ(valueOf(time), "---");
    EXPECT_EQ(unitOf(time), "s");
    time.setValue(-1.0f);
    EXPECT_EQ(valueOf(time), "---");
    time.setValue(1e-24f);
    EXPECT_EQ(valueOf(time), "---");

    ParamValue frequency;
    frequency.siDisplay = true;
    frequency.unit = "Hz";
    frequency.setValue(1500.0f);
    EXPECT_EQ(valueOf(frequency), "  1.500");
    EXPECT_EQ(unitOf(frequency), "kHz");
    frequency.setValue(700.0f);
    EXPECT_EQ(valueOf(frequency), "  700.0");
    EXPECT_EQ(unitOf(frequency), "Hz");
    // Just below a thousand the nudge already takes the next prefix.
    frequency.setValue(999.9f);
    EXPECT_EQ(valueOf(frequency), "  1.000");
    EXPECT_EQ(unitOf(frequency), "kHz");
    // A long unit is cut to fit the unit text.
    frequency.unit = "Hertzians";
    frequency.setValue(2e6f);
    EXPECT_EQ(unitOf(frequency), "MHertzian");
}

TEST(ParamValueText, PrintfTextsAreRenderedLazilyAfterEachChange) {
    ParamValue gain;
    gain.format = "%1.2f";
    gain.unit = "dB";
    gain.setValue(-3.5f);
    EXPECT_EQ(valueOf(gain), "-3.50");
    EXPECT_EQ(unitOf(gain), "dB");
    gain.setValue(6.0f);
    EXPECT_EQ(valueOf(gain), "6.00");
    gain.format = "%1.1f";
    EXPECT_EQ(valueOf(gain), "6.00");  // configuration changes wait for invalidateText
    gain.invalidateText();
    EXPECT_EQ(valueOf(gain), "6.0");
    gain.format = "%s";  // would read a string where a float was passed: shown as it is
    gain.invalidateText();
    EXPECT_EQ(valueOf(gain), "%s");
    gain.format = "%1.2f";
    gain.setValue(123456789.0f);  // cut to the value text's size
    EXPECT_EQ(valueOf(gain), "12345679");  // the float is 123456792
    gain.valueText(nullptr);
    gain.unitText(nullptr);
}

}  // namespace
}  // namespace tarsk
