// The Modulation page through the effect object: scripted clicks and drags on its boxes and buttons
// change exactly the fields they show (the whole record is compared before and after) and raise the
// cook and modulation flags; the fields' views (sides of a ratio, signed magnitudes, dB, degrees), the
// angle steps and the dynamics display's curve.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "editor-test-support.h"
#include "editor/modulation-displays.h"
#include "editor/modulation-fields.h"
#include "engine/cook.h"
#include "tarsklib/ui-number-format.h"

namespace tarsk {
namespace {

using test::EditorRig;

// Widget centres in editor pixels at display scale 1 (u = 20; the content area starts at y = 4u).
constexpr float kU = 20.0f;
constexpr float yOf(float contentY) { return (4.0f + contentY) * kU; }
constexpr float kRow0 = yOf(9.5f), kRow1 = yOf(8.5f), kRow2 = yOf(7.5f), kRow3 = yOf(6.5f);
constexpr float kSourceTabY = yOf(11.0f);
constexpr float kLfo2TabX = 6.0f * kU, kEnvTabX = 8.0f * kU;
constexpr float kFollowX = 5.6f * kU;
constexpr float kLeftBoxX = 7.5f * kU;
constexpr float kAngleUpX = 9.5f * kU;  // the angle control's right arrow
constexpr float kDepthBoxX = 16.2f * kU;
constexpr float kEnvTabDecayX = 14.0f * kU, kEnvTabOutputX = 16.5f * kU;
constexpr float kEnvBoxX = 15.5f * kU;
constexpr float kEnvButtonX = 18.3f * kU;  // "neg" and "Duck"
constexpr float kGateX = 19.7f * kU;

// The rig on the Editor page's MOD tab with the given record fields set in the effect's program.
struct ModulationRig : EditorRig {
    ModulationRig() {
        editor.setPage(kPageEditor);
        editor.setSubPage(kTabModulation);
        frame();
    }
    // Writes fields into the effect's working record, as another writer would.
    void seed(std::initializer_list<std::pair<int, float>> fields) {
        ProgramSnapshot snap;
        ASSERT_TRUE(effect.snapshot(snap));
        for (const auto& [w, v] : fields) {
            snap.record.setF(w, v);
        }
        const uint8_t mask[kChangeFlagCount] = {1, 1, 1, 1};
        effect.commit(snap, mask);
        frame();
    }
    void clearFlags() {
        effect.changeFlags().cookPending = 0;
        effect.changeFlags().resetPending = 0;
        effect.changeFlags().lengthsChanged = 0;
        effect.changeFlags().modulationChanged = 0;
    }
    void rightClick(float x, float y) {
        editor.mouseMove(x, y);
        frame();
        editor.rightButton(true, x, y);
        frame();
        editor.rightButton(false, x, y);
        frame();
    }
};

// Only the listed words differ between the two records.
void expectOnlyChanged(const ProgramRecord& before, const ProgramRecord& after, std::initializer_list<int> words) {
    for (int w = 0; w < kRecordWords; ++w) {
        bool listed = false;
        for (int l : words) {
            listed = listed || l == w;
        }
        if (!listed) {
            EXPECT_EQ(before.u(w), after.u(w)) << "word " << w << " changed";
        }
    }
}

// An edit of modulation fields raises the cook and modulation flags and no other.
void expectModulationFlags(ModulationRig& rig) {
    EXPECT_EQ(rig.effect.changeFlags().cookPending.load(), 1);
    EXPECT_EQ(rig.effect.changeFlags().modulationChanged.load(), 1);
    EXPECT_EQ(rig.effect.changeFlags().lengthsChanged.load(), 0);
    EXPECT_EQ(rig.effect.changeFlags().resetPending.load(), 0);
}

std::string boxText(const BoxView& view) {
    char text[kValueBoxTextSize];
    formatValueBoxText(view.format, view.shown, text, sizeof text);
    return text;
}

// ---- field views ----

TEST(ModulationFields, RatiosShowOnTheirSideAndDuckAndGateSwapThem) {
    const BoxView gate = ratioView(0.5f, RatioBox::slope);
    EXPECT_STREQ(gate.format, "%1.1f : 1");
    EXPECT_EQ(boxText(gate), "2.0 : 1");
    EXPECT_EQ(gate.max, 15.0f);
    EXPECT_EQ(gate.mapping, kValueBoxLogarithmic);
    EXPECT_EQ(ratioView(0.5f, RatioBox::outputRatio).mapping, kValueBoxLogarithmicOff);
    EXPECT_FLOAT_EQ(ratioFromBox(0.5f, 4.0f), 0.25f);

    const BoxView duck = ratioView(2.0f, RatioBox::slope);
    EXPECT_EQ(boxText(duck), "1 : 2.0");
    EXPECT_EQ(duck.max, 30.0f);
    EXPECT_FLOAT_EQ(ratioFromBox(2.0f, 3.0f), 3.0f);

    EXPECT_FLOAT_EQ(pressDuck(0.5f), 2.0f);
    EXPECT_FLOAT_EQ(pressGate(2.0f), 0.5f);
    EXPECT_EQ(pressDuck(2.0f), 2.0f);
    EXPECT_EQ(pressGate(0.5f), 0.5f);
    EXPECT_EQ(pressDuck(1.0f), 1.0f);
    EXPECT_EQ(pressGate(1.0f), 1.0f);
    EXPECT_FALSE(duckSelected(1.0f));
    EXPECT_FALSE(gateSelected(1.0f));
    // A ratio that is not positive plays as 1: it shows as 1 on the duck side and no button swaps it.
    EXPECT_EQ(boxText(ratioView(0.0f, RatioBox::slope)), "1 : 1.0");
    EXPECT_EQ(pressDuck(-2.0f), -2.0f);
    EXPECT_EQ(pressGate(-2.0f), -2.0f);
}

TEST(ModulationFields, SignedMagnitudesGainAndSpreadConvert) {
    const BoxView large = envDelayView(-250.0f);
    EXPECT_FLOAT_EQ(large.shown, 2.5f);
    EXPECT_STREQ(large.format, "$&times;");
    EXPECT_NE(boxText(large).find("2.500"), std::string::npos);
    EXPECT_FLOAT_EQ(envDelayFromBox(-250.0f, 3.0f), -300.0f);
    const BoxView small = envDelayView(-40.0f);
    EXPECT_FLOAT_EQ(small.shown, 40.0f);
    EXPECT_STREQ(small.format, "$%");
    EXPECT_FLOAT_EQ(envDelayFromBox(-40.0f, 60.0f), -60.0f);
    EXPECT_FLOAT_EQ(envInverterFromBox(-2.0f, 3.0f), -3.0f);
    EXPECT_EQ(flipSign(0.0f), 0.0f);
    EXPECT_FALSE(std::signbit(flipSign(0.0f)));

    EXPECT_EQ(boxText(outGainView(1.0f)), "0.0 dB");
    EXPECT_NEAR(outGainFromDb(6.0f), 1.9953f, 1e-4);
    EXPECT_EQ(boxText(supportView(0.5f)), "50.0 %");
    EXPECT_FLOAT_EQ(supportFromBox(25.0f), 0.25f);

    EXPECT_FLOAT_EQ(spreadDegrees(200.0f), 180.0f);
    EXPECT_FLOAT_EQ(spreadDegrees(-200.0f), -180.0f);
    EXPECT_NEAR(spreadFromDegrees(180.0f), 200.0f, 1e-4);
    EXPECT_NEAR(spreadFromDegrees(-90.0f), -100.0f, 1e-4);

    EXPECT_EQ(stepLfoShape(6, 1), 0u);
    EXPECT_EQ(stepLfoShape(0, -1), 6u);
    EXPECT_STREQ(lfoShapeLabel(5), "S&amp;H");
    EXPECT_STREQ(lfoShapeLabel(9), "?");
}

TEST(ModulationDisplay, TheDynamicsCurveIsTheEnginesCharacteristic) {
    ProgramRecord r;
    r.setF(word::decaySlope, 1.0f);
    r.setF(word::outputRatio, 1.0f);
    r.setF(word::outGain, 2.0f);
    // Off: the output section shows only its gain.
    const DynamicsCurve off = dynamicsCurveOf(r, kDynamicsOutput);
    EXPECT_NEAR(dynamicsOutputDb(off, -30.0), -30.0 + 20.0 * std::log10(2.0), 1e-9);
    // A ducking decay section with support 0.5 never falls below half.
    r.setF(word::decaySlope, 4.0f);
    r.setF(word::decayThreshold, -40.0f);
    r.setF(word::support, 0.5f);
    const DynamicsCurve duck = dynamicsCurveOf(r, kDynamicsDecay);
    EXPECT_EQ(duck.gain, 1.0);
    for (double in = -72.0; in <= 0.0; in += 6.0) {
        const double out = dynamicsOutputDb(duck, in);
        EXPECT_LE(out, in + 1e-9);
        EXPECT_GE(out, in + 20.0 * std::log10(0.5) - 1e-9);
        EXPECT_NEAR(out, in + 20.0 * std::log10(dynamicsGain(duck, std::pow(10.0, in / 20.0))), 1e-9);
    }
    // A gate lowers quiet input more than loud input.
    r.setF(word::outputRatio, 0.5f);
    r.setF(word::outputThreshold, -30.0f);
    r.setF(word::outGain, 1.0f);
    const DynamicsCurve gate = dynamicsCurveOf(r, kDynamicsOutput);
    EXPECT_LT(dynamicsOutputDb(gate, -60.0) - (-60.0), dynamicsOutputDb(gate, -10.0) - (-10.0));
}

TEST(ModulationDisplay, TheShapeDisplayReadsTheLfoAsCooked) {
    ProgramRecord r;
    r.setF(word::lfo2 + lfo::spread, 100.0f);
    r.setF(word::lfo2 + lfo::shift, 90.0f);
    r.setU(word::lfo2 + lfo::shape, 0);
    const LfoShapeSettings sine = lfoShapeOf(r, 1);
    EXPECT_FLOAT_EQ(sine.spread, 1.0f);
    EXPECT_NEAR(sine.shift, 1.5707963, 1e-6);
    // Spread 100 % puts the lines a quarter turn apart; the shift moves them all.
    for (int line = 0; line < kLines; ++line) {
        const double value = lfoShapeValue(sine.shape, lfoArgument(0.0, line, sine.spread, sine.shift), 0.0f, 0.0f);
        EXPECT_NEAR(value, std::cos(line * 1.5707963267948966), 1e-6) << "line " << line;
    }
    EXPECT_NEAR(lfoShapeValue(lfoShape::triangle, lfoArgument(0.0, 0, 0.0, 0.0), 0.0f, 0.0f), 0.0, 1e-12);
    EXPECT_EQ(lfoShapeValue(lfoShape::sampleAndHold, lfoArgument(0.5, 0, 0.0, 0.0), 0.25f, -0.5f), 0.25);
    EXPECT_EQ(lfoShapeValue(lfoShape::sampleAndHold, lfoArgument(4.0, 0, 0.0, 0.0), 0.25f, -0.5f), -0.5);
    EXPECT_EQ(lfoShapeValue(lfoShape::noise, 1.0, 0.25f, -0.5f), 0.0);
    EXPECT_EQ(lfoShapeValue(9, 1.0, 0.25f, -0.5f), 0.0);
}

// ---- scripted edits through the effect ----

TEST(ModulationPage, SourceAndEnvelopeTabsAreViewStateOnly) {
    ModulationRig rig;
    const ProgramRecord before = rig.hostProgram();
    rig.click(kEnvTabX, kSourceTabY);
    EXPECT_EQ(rig.editor.viewWord(kViewModulationSourceTab), 3);
    rig.click(kEnvTabOutputX, kRow0);
    EXPECT_EQ(rig.editor.viewWord(kViewModulationEnvelopeTab), 3);
    rig.click(kEnvTabDecayX, kRow0);
    EXPECT_EQ(rig.editor.viewWord(kViewModulationEnvelopeTab), 2);
    rig.click(kLfo2TabX, kSourceTabY);
    EXPECT_EQ(rig.editor.viewWord(kViewModulationSourceTab), 2);
    EXPECT_EQ(rig.hostProgram(), before);
}

TEST(ModulationPage, SlopeSwapsBetweenGateAndDuck) {
    ModulationRig rig;
    rig.seed({{word::decaySlope, 0.5f}});
    rig.click(kEnvTabX, kSourceTabY);
    rig.click(kEnvTabDecayX, kRow0);
    rig.clearFlags();
    ProgramRecord before = rig.hostProgram();
    rig.click(kEnvButtonX, kRow2);  // Duck
    ProgramRecord after = rig.hostProgram();
    EXPECT_EQ(after.f(word::decaySlope), 2.0f);
    expectOnlyChanged(before, after, {word::decaySlope});
    expectModulationFlags(rig);

    rig.click(kEnvButtonX, kRow2);  // Duck again: already ducking
    EXPECT_EQ(rig.hostProgram(), after);
    rig.click(kGateX, kRow2);
    EXPECT_EQ(rig.hostProgram().f(word::decaySlope), 0.5f);
    expectOnlyChanged(before, rig.hostProgram(), {});

    // Dragging the gate-side box up makes the gate steeper: a smaller stored ratio.
    rig.drag(kEnvBoxX, kRow2, 30.0f, 5);
    const float dragged = rig.hostProgram().f(word::decaySlope);
    EXPECT_LT(dragged, 0.5f);
    EXPECT_GT(dragged, 1.0f / 15.0f - 1e-6f);
    expectOnlyChanged(before, rig.hostProgram(), {word::decaySlope});
}

TEST(ModulationPage, OutputSectionGainRatioAndThreshold) {
    ModulationRig rig;
    rig.click(kEnvTabX, kSourceTabY);
    rig.click(kEnvTabOutputX, kRow0);
    rig.clearFlags();
    ProgramRecord before = rig.hostProgram();
    ASSERT_EQ(before.f(word::outGain), 1.0f);
    // 12.8 pixels of a linear -60 .. 60 dB box are 6 dB.
    rig.drag(kEnvBoxX, kRow1, 12.8f, 4);
    ProgramRecord after = rig.hostProgram();
    EXPECT_NEAR(after.f(word::outGain), 1.995f, 1e-3);
    expectOnlyChanged(before, after, {word::outGain});
    expectModulationFlags(rig);

    before = after;
    rig.click(kGateX, kRow2);  // Ratio 1 is neither side: unchanged
    EXPECT_EQ(rig.hostProgram(), before);
    rig.drag(kEnvBoxX, kRow2, 20.0f, 4);
    after = rig.hostProgram();
    EXPECT_GT(after.f(word::outputRatio), 1.0f);
    rig.click(kGateX, kRow2);
    EXPECT_FLOAT_EQ(rig.hostProgram().f(word::outputRatio), 1.0f / after.f(word::outputRatio));
    rig.drag(kEnvBoxX, kRow3, -40.0f, 4);
    EXPECT_LT(rig.hostProgram().f(word::outputThreshold), 0.0f);
    expectOnlyChanged(before, rig.hostProgram(), {word::outputRatio, word::outputThreshold});
}

TEST(ModulationPage, EnvDelayKeepsItsSignWhileDraggedAndNegFlipsIt) {
    ModulationRig rig;
    rig.seed({{word::envDelayDepth, -250.0f}});
    rig.click(kEnvTabX, kSourceTabY);
    rig.clearFlags();
    const ProgramRecord before = rig.hostProgram();
    rig.drag(kEnvBoxX, kRow1, 10.0f, 5);
    const float dragged = rig.hostProgram().f(word::envDelayDepth);
    EXPECT_LT(dragged, -250.0f);
    expectOnlyChanged(before, rig.hostProgram(), {word::envDelayDepth});
    expectModulationFlags(rig);

    rig.click(kEnvButtonX, kRow1);  // neg
    EXPECT_EQ(rig.hostProgram().f(word::envDelayDepth), -dragged);
    rig.click(kEnvButtonX, kRow2);  // the inverter's neg on 0: nothing to flip
    expectOnlyChanged(before, rig.hostProgram(), {word::envDelayDepth});
}

TEST(ModulationPage, Lfo2FollowSwitchAndPeriod) {
    ModulationRig rig;
    rig.seed({{word::lfo1 + lfo::period, 0.5f}, {word::lfo2 + lfo::period, 2.0f}});
    rig.click(kLfo2TabX, kSourceTabY);
    rig.clearFlags();
    const ProgramRecord before = rig.hostProgram();
    rig.click(kFollowX, kRow0);  // "S" on
    EXPECT_EQ(rig.hostProgram().f(word::lfo2 + lfo::period), -2.0f);
    expectModulationFlags(rig);
    // While LFO2 follows, its Period box edits LFO1's.
    rig.drag(kLeftBoxX, kRow0, 20.0f, 4);
    ProgramRecord after = rig.hostProgram();
    EXPECT_GT(after.f(word::lfo1 + lfo::period), 0.5f);
    EXPECT_EQ(after.f(word::lfo2 + lfo::period), -2.0f);
    rig.click(kFollowX, kRow0);  // "S" off: LFO2's own period again
    after = rig.hostProgram();
    EXPECT_EQ(after.f(word::lfo2 + lfo::period), 2.0f);
    rig.drag(kLeftBoxX, kRow0, -20.0f, 4);
    EXPECT_LT(rig.hostProgram().f(word::lfo2 + lfo::period), 2.0f);
    EXPECT_EQ(rig.hostProgram().f(word::lfo1 + lfo::period), after.f(word::lfo1 + lfo::period));
    expectOnlyChanged(before, rig.hostProgram(), {word::lfo1 + lfo::period, word::lfo2 + lfo::period});
}

TEST(ModulationPage, ShapeSpreadShiftAndDepthsOfTheSelectedLfo) {
    ModulationRig rig;
    rig.seed({{word::lfo1 + lfo::spread, 183.33333f}});
    rig.clearFlags();
    const ProgramRecord before = rig.hostProgram();
    rig.rightClick(kLeftBoxX, kRow1);  // Sine -1: Noise
    EXPECT_EQ(rig.hostProgram().u(word::lfo1 + lfo::shape), 6u);
    rig.click(kLeftBoxX, kRow1);  // Noise +1: Sine
    EXPECT_EQ(rig.hostProgram().u(word::lfo1 + lfo::shape), 0u);
    rig.click(kLeftBoxX, kRow1);
    EXPECT_EQ(rig.hostProgram().u(word::lfo1 + lfo::shape), 1u);
    // Spread 183.3 % shows 165 degrees; the step up wraps to -180 degrees, stored as -200 %.
    rig.click(kAngleUpX, kRow2);
    EXPECT_NEAR(rig.hostProgram().f(word::lfo1 + lfo::spread), -200.0f, 1e-3);
    rig.click(kAngleUpX, kRow3);
    EXPECT_EQ(rig.hostProgram().f(word::lfo1 + lfo::shift), 15.0f);
    rig.drag(kDepthBoxX, kRow3, 40.0f, 4);  // Inverter freq from 0
    EXPECT_GT(rig.hostProgram().f(word::lfo1 + lfo::inverterDepth), 0.0f);
    expectOnlyChanged(before, rig.hostProgram(),
                      {word::lfo1 + lfo::shape, word::lfo1 + lfo::spread, word::lfo1 + lfo::shift,
                       word::lfo1 + lfo::inverterDepth});
    expectModulationFlags(rig);

    // The LFO2 tab edits LFO2's block.
    rig.click(kLfo2TabX, kSourceTabY);
    const ProgramRecord lfo1Done = rig.hostProgram();
    rig.drag(kDepthBoxX, kRow0, 40.0f, 4);
    EXPECT_GT(rig.hostProgram().f(word::lfo2 + lfo::delayDepth), 0.0f);
    expectOnlyChanged(lfo1Done, rig.hostProgram(), {word::lfo2 + lfo::delayDepth});
}

TEST(ModulationPage, OddStoredValuesShowAndEditWithoutHarm) {
    ModulationRig rig;
    const float nan = std::nanf("");
    const float inf = std::numeric_limits<float>::infinity();
    rig.seed({{word::lfo1 + lfo::period, -3.0f}, {word::lfo2 + lfo::period, nan}, {word::lfo1 + lfo::spread, inf},
              {word::lfo1 + lfo::shift, -1.0e9f}, {word::lfo2 + lfo::delayDepth, -5.0f}, {word::attack, 0.0f},
              {word::envDelayDepth, -inf}, {word::envInverterDepth, nan}, {word::decaySlope, -2.0f},
              {word::outputRatio, 0.0f}, {word::support, 7.0f}, {word::outGain, 0.0f},
              {word::decayThreshold, nan}});
    ProgramSnapshot snap;
    ASSERT_TRUE(rig.effect.snapshot(snap));
    snap.record.setU(word::lfo1 + lfo::shape, 99);
    const uint8_t mask[kChangeFlagCount] = {1, 1, 1, 1};
    rig.effect.commit(snap, mask);
    const ProgramRecord seeded = rig.hostProgram();
    // Every view draws them and, untouched, writes nothing back.
    for (int32_t source = 1; source <= 3; ++source) {
        rig.editor.viewWord(kViewModulationSourceTab) = source;
        for (int32_t tab = 1; tab <= 3; ++tab) {
            rig.editor.viewWord(kViewModulationEnvelopeTab) = tab;
            rig.frames(2);
            EXPECT_EQ(rig.hostProgram(), seeded) << source << " " << tab;
        }
    }
    // Out Gain 0 (shown as -inf dB) dragged up comes back into the box's range.
    rig.editor.viewWord(kViewModulationSourceTab) = 3;
    rig.editor.viewWord(kViewModulationEnvelopeTab) = 3;
    rig.drag(kEnvBoxX, kRow1, 10.0f, 2);
    const float gain = rig.hostProgram().f(word::outGain);
    EXPECT_TRUE(gain >= outGainFromDb(-60.0f) && gain <= 1.0f) << gain;
    // A ratio of 0 plays as 1: "Gate" leaves it, the box edits it from 1 on the duck side.
    rig.click(kGateX, kRow2);
    EXPECT_EQ(rig.hostProgram().f(word::outputRatio), 0.0f);
    rig.drag(kEnvBoxX, kRow2, 10.0f, 2);
    EXPECT_GT(rig.hostProgram().f(word::outputRatio), 1.0f);
    // An unknown shape steps from its remainder.
    rig.editor.viewWord(kViewModulationSourceTab) = 1;
    rig.click(kLeftBoxX, kRow1);
    EXPECT_EQ(rig.hostProgram().u(word::lfo1 + lfo::shape), (99u % 7u + 1u) % 7u);
    expectOnlyChanged(seeded, rig.hostProgram(), {word::outGain, word::outputRatio, word::lfo1 + lfo::shape});
}

}  // namespace
}  // namespace tarsk
