// The LFO shape display and the dynamics curve display of the Modulation page.
#include "editor/modulation-displays.h"

#include <algorithm>
#include <cmath>

#include "editor/editor.h"
#include "editor/tab-backdrop.h"
#include "engine/modulation.h"

namespace tarsk {

namespace {

constexpr double kTwoPiTurn = 6.283185307179586;
constexpr double kDbPerDecade = 20.0;
constexpr double kLevelFloorDb = -400.0;  // what a gain of 0 shows as
constexpr float kGridStepDb = 12.0f;
constexpr float kCurveHeight = 0.42f;  // of the box height, either side of the middle
constexpr float kPanelShade = 0.0f;
constexpr UiColour kPanel{kPanelShade, kPanelShade, kPanelShade, 0.35f};
constexpr UiColour kGrid{0.45f, 0.45f, 0.5f, 0.35f};
constexpr UiColour kAxis{0.6f, 0.6f, 0.65f, 0.6f};
constexpr UiColour kThresholdColour{0.4f, 1.0f, 0.14f, 0.5f};
constexpr UiColour kCurveColour{1.0f, 0.63f, 0.34f, 1.0f};
// One colour per line.
constexpr UiColour kLineColours[kLines] = {
    {1.0f, 0.63f, 0.34f, 1.0f}, {0.4f, 1.0f, 0.14f, 0.9f}, {0.45f, 0.7f, 1.0f, 0.9f}, {1.0f, 0.4f, 0.7f, 0.9f}};
constexpr float kLabelSize = 10.0f;

// The panel behind a display: shaded and framed. Its lines go into the layer above (the draw list
// draws lines before triangles within a layer, so the page's backdrop would cover them); curves are
// kept inside the panel by their own clamps. Answers the layer to return to.
int32_t beginPanel(Editor& editor, const UiRect& box) {
    DrawList& list = editor.drawList();
    list.fillRect(box, kPanel);
    editor.bevel(box);
    const int32_t layer = list.layer();
    list.setLayer(list.nextLayer());
    return layer;
}

}  // namespace

double dynamicsOutputDb(const DynamicsCurve& curve, double inDb) {
    const double level = std::pow(10.0, inDb / kDbPerDecade);
    const double gain = dynamicsGain(curve, level);
    return gain > 0.0 ? inDb + kDbPerDecade * std::log10(gain) : kLevelFloorDb;
}

void drawLfoShapeDisplay(Editor& editor, const UiRect& rect, const LfoShapeSettings& shape) {
    const UiRect box = inWindow(editor, rect);
    const int32_t layer = beginPanel(editor, box);
    DrawList& list = editor.drawList();
    list.line(UiPoint{box.left(), box.cy}, UiPoint{box.right(), box.cy}, kAxis);
    const float quarter = box.hw * 0.5f;
    for (int q = 1; q < 4; ++q) {
        const float x = box.left() + quarter * static_cast<float>(q);
        list.line(UiPoint{x, box.bottom()}, UiPoint{x, box.top()}, kGrid);
    }
    if (shape.shape != lfoShape::noise) {
        const float height = kCurveHeight * 2.0f * box.hh;
        // One cycle of the phase, the lines drawn last to first so that line 1 lies on top.
        for (int line = kLines - 1; line >= 0; --line) {
            UiPoint previous{};
            for (int i = 0; i <= kLfoDisplaySegments; ++i) {
                const double phase = kTwoPiTurn * i / kLfoDisplaySegments;
                const double value = lfoShapeValue(shape.shape, lfoArgument(phase, line, shape.spread, shape.shift),
                                                   kDisplayHoldA, kDisplayHoldB);
                const UiPoint point{box.left() + 2.0f * box.hw * static_cast<float>(i) / kLfoDisplaySegments,
                                    box.cy + height * static_cast<float>(value)};
                if (i > 0) {
                    list.line(previous, point, kLineColours[line]);
                }
                previous = point;
            }
        }
    } else {
        editor.useStyle(kStylePlain);
        editor.label(0, rect, "random", kLabelSize, kAlignCentre);
    }
    list.setLayer(layer);
}

void drawDynamicsDisplay(Editor& editor, const UiRect& rect, const DynamicsCurve& curve, float thresholdDb) {
    const UiRect box = inWindow(editor, rect);
    const int32_t layer = beginPanel(editor, box);
    DrawList& list = editor.drawList();
    const float span = kDynamicsDisplayHighDb - kDynamicsDisplayLowDb;
    auto xOf = [&](double db) {
        return box.left() + 2.0f * box.hw * (static_cast<float>(db) - kDynamicsDisplayLowDb) / span;
    };
    auto yOf = [&](double db) {
        const double clamped =
            std::clamp(db, static_cast<double>(kDynamicsDisplayLowDb), static_cast<double>(kDynamicsDisplayHighDb));
        return box.bottom() + 2.0f * box.hh * (static_cast<float>(clamped) - kDynamicsDisplayLowDb) / span;
    };
    for (float db = kDynamicsDisplayLowDb + kGridStepDb; db < kDynamicsDisplayHighDb; db += kGridStepDb) {
        list.line(UiPoint{xOf(db), box.bottom()}, UiPoint{xOf(db), box.top()}, kGrid);
        list.line(UiPoint{box.left(), yOf(db)}, UiPoint{box.right(), yOf(db)}, kGrid);
    }
    // Unity (no dynamics) and the threshold.
    list.line(UiPoint{box.left(), box.bottom()}, UiPoint{box.right(), box.top()}, kAxis);
    if (std::isfinite(thresholdDb)) {
        list.line(UiPoint{xOf(thresholdDb), box.bottom()}, UiPoint{xOf(thresholdDb), box.top()}, kThresholdColour);
    }
    UiPoint previous{};
    for (int i = 0; i <= kDynamicsDisplaySegments; ++i) {
        const double inDb = kDynamicsDisplayLowDb + span * i / kDynamicsDisplaySegments;
        const UiPoint point{xOf(inDb), yOf(dynamicsOutputDb(curve, inDb))};
        if (i > 0) {
            list.line(previous, point, kCurveColour);
        }
        previous = point;
    }
    list.setLayer(layer);
}

}  // namespace tarsk
