// The Modulation page (the Editor page's MOD tab): the two LFOs (period, shape, spread, shift and their
// four depths) and the envelope follower with its GENERAL depths and the DECAY and OUTPUT dynamics.
// Curves on the right come from the engine's own shape and dynamics functions.
#include <bit>
#include <cmath>
#include <cstdint>

#include "editor/editor-pages.h"
#include "editor/editor.h"
#include "editor/modulation-displays.h"
#include "editor/modulation-fields.h"
#include "editor/tab-backdrop.h"
#include "engine/cook.h"
#include "tarsklib/ui-number-format.h"

namespace tarsk {

namespace {

// ---- ids and layout ----

constexpr uint32_t kGroupSources = 4096;
constexpr uint32_t kGroupControls = 12288;
constexpr uint32_t kGroupEnvelopeTabs = 256;

constexpr int32_t kSourceLfo1 = 1;
constexpr int32_t kSourceLfo2 = 2;
constexpr int32_t kSourceEnv = 3;
constexpr int32_t kEnvelopeGeneral = 1;
constexpr int32_t kEnvelopeDecay = 2;
constexpr int32_t kEnvelopeOutput = 3;

// LFO tab.
constexpr uint32_t kIdFollow = 1;
constexpr uint32_t kIdPeriod = 2;
constexpr uint32_t kIdShape = 3;
constexpr uint32_t kIdSpread = 4;
constexpr uint32_t kIdShift = 5;
constexpr uint32_t kIdDepthFirst = 10;  // 10 .. 13: the depth rows
// ENV tab.
constexpr uint32_t kIdAttack = 1;
constexpr uint32_t kIdRelease = 2;
constexpr uint32_t kIdEnvDelay = 10;
constexpr uint32_t kIdEnvDelayNeg = 11;
constexpr uint32_t kIdEnvInverter = 12;
constexpr uint32_t kIdEnvInverterNeg = 13;
constexpr uint32_t kIdFirstRow = 10;  // Support / Out Gain
constexpr uint32_t kIdRatio = 11;     // Slope / Ratio
constexpr uint32_t kIdThreshold = 12;
constexpr uint32_t kIdDuck = 13;
constexpr uint32_t kIdGate = 14;

constexpr float kCaptionSize = 12.0f;
constexpr float kValueSize = 12.0f;
constexpr float kTabSize = 10.0f;
constexpr float kSmallButtonSize = 10.0f;
constexpr int kRowNormal = 0;
constexpr int kRowSelected = 1;

// Positions in units of u, relative to the content area.
constexpr float kTopLine = 11.0f;
constexpr float kRowTop = 9.5f;  // first row of controls; rows 1u apart downwards
constexpr float kLeftCaptionRight = 5.2f;
constexpr float kLeftCaptionWidth = 2.6f;
constexpr float kLeftBoxX = 7.5f;
constexpr float kLeftBoxWidth = 3.0f;
constexpr float kFollowX = 5.6f;
constexpr float kRightCaptionRight = 14.6f;
constexpr float kRightCaptionWidth = 4.4f;
constexpr float kRightBoxX = 16.2f;
constexpr float kRightBoxWidth = 3.0f;
constexpr float kEnvCaptionRight = 13.4f;
constexpr float kEnvCaptionWidth = 4.0f;
constexpr float kEnvBoxX = 15.5f;
constexpr float kEnvBoxWidth = 4.0f;
constexpr float kEnvButtonX = 18.3f;
constexpr float kEnvSecondButtonX = 19.7f;
constexpr float kEnvButtonWidth = 1.3f;
constexpr float kEnvTabsX = 11.5f;
constexpr float kEnvTabWidth = 2.5f;
constexpr float kDisplayX = 24.0f;
constexpr float kDisplayY = 7.2f;
constexpr float kDisplaySize = 6.0f;

// Source-independent formats and ranges.
constexpr const char* kPeriodFormat = "@s";
constexpr float kPeriodMin = 0.001f, kPeriodMax = 20.0f;
constexpr const char* kEnvelopeTimeFormat = "@s";
constexpr float kEnvelopeTimeMin = 0.0002f, kEnvelopeTimeMax = 5.0f;
constexpr const char* kThresholdFormat = "%1.1f dB(FS)";
constexpr float kThresholdMin = -60.0f, kThresholdMax = 0.0f;

struct DepthRow {
    const char* caption;
    int offset;
    const char* format;
    float min;
    float max;
};
constexpr DepthRow kDepthRows[] = {
    {"Delay length", lfo::delayDepth, "$%", 0.01f, 100.0f},
    {"Decay time", lfo::decayDepth, "$%", 0.01f, 100.0f},
    {"Output level", lfo::levelDepth, "$%", 0.01f, 100.0f},
    {"Inverter freq", lfo::inverterDepth, "$&times;", 0.1f, 1000.0f},
};

constexpr const char* kSourceLabels[] = {"LFO1", "LFO2", "ENV"};
constexpr const char* kEnvelopeLabels[] = {"GENERAL", "DECAY", "OUTPUT"};

// ---- helpers ----

float rowY(int row) { return kRowTop - static_cast<float>(row); }

bool sameBits(float a, float b) { return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); }

class ModulationPage {
public:
    explicit ModulationPage(Editor& e) : editor(e), record(e.program()), u(e.unit()) {}

    void draw() {
        drawTabBackdrop(editor);
        drawSourceTabs();
        editor.pushGroup(kGroupControls, UiPoint{0.0f, 0.0f});
        const int32_t source = editor.viewWord(kViewModulationSourceTab);
        if (source == kSourceEnv) {
            drawEnvelope();
        } else {
            drawLfo(source == kSourceLfo2 ? 1 : 0);
        }
        if (editor.popGroup() != 0) {
            editor.markChanged(kChangeCook | kChangeModulation);
        }
    }

private:
    void drawSourceTabs() {
        int32_t& source = editor.viewWord(kViewModulationSourceTab);
        editor.pushGroup(kGroupSources, UiPoint{0.0f, 0.0f});
        editor.useStyle(kStylePlain);
        editor.setFont(editor.font(kFaceBold));
        for (int i = 0; i < 3; ++i) {
            const auto id = static_cast<uint32_t>(i + 1);
            editor.button(id, centredRect((4.0f + 2.0f * static_cast<float>(i)) * u, kTopLine * u, 2.0f * u, u),
                          kSourceLabels[i], kTabSize, source == static_cast<int32_t>(id) ? kRowSelected : kRowNormal,
                          kAlignCentre);
        }
        const uint32_t chosen = editor.popGroup();
        if (chosen != 0) {
            source = static_cast<int32_t>(chosen);
        }
        editor.useStyle(kStylePlain);
        editor.divider(inWindow(editor, UiRect{15.5f * u, (kTopLine - 0.55f) * u, 12.5f * u, 0.0f}));
    }

    void caption(float right, float width, float y, const char* text) {
        editor.label(0, UiRect{(right - 0.5f * width) * u, y * u, 0.5f * width * u, 0.5f * u}, text, kCaptionSize,
                     kAlignRight);
    }

    // A number box on a stored float through its view; writes only when the box moved.
    template <typename Store>
    void box(uint32_t id, float x, float width, float y, const BoxView& view, Store store) {
        const float result = editor.valueBox(id, centredRect(x * u, y * u, width * u, u), view.format, kValueSize,
                                             view.min, view.max, view.shown, view.mapping, kAlignCentre);
        if (!sameBits(result, view.shown)) {
            store(result);
        }
    }

    void plainBox(uint32_t id, float x, float width, float y, int field, const char* format, float min, float max,
                  uint32_t mapping) {
        const BoxView view{record.f(field), format, min, max, mapping};
        box(id, x, width, y, view, [&](float v) { record.setF(field, v); });
    }

    // ---- LFO1 / LFO2 ----

    void drawLfo(int index) {
        const int base = index == 0 ? word::lfo1 : word::lfo2;
        editor.useStyle(kStylePlain);

        caption(kLeftCaptionRight, kLeftCaptionWidth, rowY(0), "Period");
        if (index == 1) {
            const bool follows = lfo2Follows(record);
            if (editor.button(kIdFollow, centredRect(kFollowX * u, rowY(0) * u, 0.7f * u, u), "S", kSmallButtonSize,
                              follows ? kRowSelected : kRowNormal, kAlignCentre)) {
                record.setF(word::lfo2 + lfo::period, -record.f(word::lfo2 + lfo::period));
            }
        }
        plainBox(kIdPeriod, kLeftBoxX, kLeftBoxWidth, rowY(0), periodWordShown(record, index), kPeriodFormat,
                 kPeriodMin, kPeriodMax, kValueBoxLogarithmic);

        caption(kLeftCaptionRight, kLeftCaptionWidth, rowY(1), "Shape");
        const uint32_t shape = record.u(base + lfo::shape);
        const int step = editor.stepButton(kIdShape, centredRect(kLeftBoxX * u, rowY(1) * u, kLeftBoxWidth * u, u),
                                           lfoShapeLabel(shape), kValueSize, kRowNormal, kAlignCentre);
        if (step != 0) {
            record.setU(base + lfo::shape, stepLfoShape(shape, step));
        }

        caption(kLeftCaptionRight - 0.2f, kLeftCaptionWidth, rowY(2), "Spread");
        const float spread = record.f(base + lfo::spread);
        const float spreadShown = spreadDegrees(spread);
        const float spreadAngle = angleControl(editor, kIdSpread, kLeftBoxX * u, rowY(2) * u, spreadShown);
        if (!sameBits(spreadAngle, spreadShown)) {
            record.setF(base + lfo::spread, spreadFromDegrees(spreadAngle));
        }

        caption(kLeftCaptionRight - 0.2f, kLeftCaptionWidth, rowY(3), "Shift");
        const float shift = record.f(base + lfo::shift);
        const float shiftAngle = angleControl(editor, kIdShift, kLeftBoxX * u, rowY(3) * u, shift);
        if (!sameBits(shiftAngle, shift)) {
            record.setF(base + lfo::shift, shiftAngle);
        }

        for (int row = 0; row < 4; ++row) {
            const DepthRow& depth = kDepthRows[row];
            caption(kRightCaptionRight, kRightCaptionWidth, rowY(row), depth.caption);
            plainBox(kIdDepthFirst + static_cast<uint32_t>(row), kRightBoxX, kRightBoxWidth, rowY(row),
                     base + depth.offset, depth.format, depth.min, depth.max, kValueBoxLogarithmicOff);
        }

        drawLfoShapeDisplay(editor, centredRect(kDisplayX * u, kDisplayY * u, kDisplaySize * u, kDisplaySize * u),
                            lfoShapeOf(record, index));
    }

    // ---- ENV ----

    void drawEnvelope() {
        editor.useStyle(kStylePlain);
        caption(kLeftCaptionRight, kLeftCaptionWidth, rowY(0), "Attack");
        plainBox(kIdAttack, kLeftBoxX, kLeftBoxWidth, rowY(0), word::attack, kEnvelopeTimeFormat, kEnvelopeTimeMin,
                 kEnvelopeTimeMax, kValueBoxLogarithmic);
        caption(kLeftCaptionRight, kLeftCaptionWidth, rowY(1), "Release");
        plainBox(kIdRelease, kLeftBoxX, kLeftBoxWidth, rowY(1), word::release, kEnvelopeTimeFormat,
                 kEnvelopeTimeMin, kEnvelopeTimeMax, kValueBoxLogarithmic);

        int32_t& tab = editor.viewWord(kViewModulationEnvelopeTab);
        editor.pushGroup(kGroupEnvelopeTabs, UiPoint{0.0f, 0.0f});
        for (int i = 0; i < 3; ++i) {
            const auto id = static_cast<uint32_t>(i + 1);
            editor.button(id,
                          centredRect((kEnvTabsX + kEnvTabWidth * static_cast<float>(i)) * u, rowY(0) * u,
                                  kEnvTabWidth * u, u),
                          kEnvelopeLabels[i], kTabSize, tab == static_cast<int32_t>(id) ? kRowSelected : kRowNormal,
                          kAlignCentre);
        }
        const uint32_t chosen = editor.popGroup();
        if (chosen != 0) {
            tab = static_cast<int32_t>(chosen);
        }

        if (tab == kEnvelopeDecay) {
            drawDynamics(kDynamicsDecay);
        } else if (tab == kEnvelopeOutput) {
            drawDynamics(kDynamicsOutput);
        } else {
            drawGeneral();
        }
    }

    // A magnitude box and its "neg" button; the stored value carries the (possibly flipped) sign.
    template <typename View, typename FromBox>
    void signedBox(uint32_t id, uint32_t negId, int row, int field, View view, FromBox fromBox) {
        float value = record.f(field);
        const BoxView shown = view(value);
        box(id, kEnvBoxX, kEnvBoxWidth, rowY(row), shown, [&](float result) { value = fromBox(value, result); });
        if (editor.button(negId, centredRect(kEnvButtonX * u, rowY(row) * u, kEnvButtonWidth * u, u), "neg", kValueSize,
                          value < 0.0f ? kRowSelected : kRowNormal, kAlignCentre)) {
            value = flipSign(value);
        }
        if (!sameBits(value, record.f(field))) {
            record.setF(field, value);
        }
    }

    void drawGeneral() {
        caption(kEnvCaptionRight, kEnvCaptionWidth, rowY(1), "Delay length");
        signedBox(kIdEnvDelay, kIdEnvDelayNeg, 1, word::envDelayDepth, envDelayView, envDelayFromBox);
        caption(kEnvCaptionRight, kEnvCaptionWidth, rowY(2), "Inverter freq");
        signedBox(kIdEnvInverter, kIdEnvInverterNeg, 2, word::envInverterDepth, envInverterView,
                  envInverterFromBox);
    }

    void drawDynamics(int section) {
        const bool decay = section == kDynamicsDecay;
        const int ratioField = decay ? word::decaySlope : word::outputRatio;
        if (decay) {
            caption(kEnvCaptionRight, kEnvCaptionWidth, rowY(1), "Support");
            box(kIdFirstRow, kEnvBoxX, kEnvBoxWidth, rowY(1), supportView(record.f(word::support)),
                [&](float v) { record.setF(word::support, supportFromBox(v)); });
        } else {
            caption(kEnvCaptionRight, kEnvCaptionWidth, rowY(1), "Out Gain");
            box(kIdFirstRow, kEnvBoxX, kEnvBoxWidth, rowY(1), outGainView(record.f(word::outGain)),
                [&](float v) { record.setF(word::outGain, outGainFromDb(v)); });
        }

        caption(kEnvCaptionRight, kEnvCaptionWidth, rowY(2), decay ? "Slope" : "Ratio");
        const float ratio = record.f(ratioField);
        box(kIdRatio, kEnvBoxX, kEnvBoxWidth, rowY(2), ratioView(ratio, decay ? RatioBox::slope : RatioBox::outputRatio),
            [&](float v) { record.setF(ratioField, ratioFromBox(ratio, v)); });

        caption(kEnvCaptionRight, kEnvCaptionWidth, rowY(3), "Threshold");
        plainBox(kIdThreshold, kEnvBoxX, kEnvBoxWidth, rowY(3), decay ? word::decayThreshold : word::outputThreshold,
                 kThresholdFormat, kThresholdMin, kThresholdMax, kValueBoxLinear);

        const float current = record.f(ratioField);
        if (editor.button(kIdDuck, centredRect(kEnvButtonX * u, rowY(2) * u, kEnvButtonWidth * u, u), "Duck", kValueSize,
                          duckSelected(current) ? kRowSelected : kRowNormal, kAlignCentre)) {
            record.setF(ratioField, pressDuck(current));
        }
        const float afterDuck = record.f(ratioField);
        if (editor.button(kIdGate, centredRect(kEnvSecondButtonX * u, rowY(2) * u, kEnvButtonWidth * u, u), "Gate",
                          kValueSize, gateSelected(afterDuck) ? kRowSelected : kRowNormal, kAlignCentre)) {
            record.setF(ratioField, pressGate(afterDuck));
        }

        drawDynamicsDisplay(editor, centredRect(kDisplayX * u, kDisplayY * u, kDisplaySize * u, kDisplaySize * u),
                            dynamicsCurveOf(record, section),
                            record.f(decay ? word::decayThreshold : word::outputThreshold));
    }

    Editor& editor;
    ProgramRecord& record;
    float u;
};

}  // namespace

void drawModulationPage(Editor& editor) { ModulationPage(editor).draw(); }

}  // namespace tarsk
