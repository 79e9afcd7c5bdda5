// The Modulation page's curve displays: one cycle of an LFO's shape on the four lines, and the static
// characteristic of a dynamics section (output level against input level). Both evaluate the engine's
// own functions; they draw into the editor's draw list inside the current group.
#pragma once

#include "engine/cook.h"
#include "tarsklib/ui-types.h"

namespace tarsk {

class Editor;

constexpr int kLfoDisplaySegments = 96;
constexpr int kDynamicsDisplaySegments = 72;
constexpr float kDynamicsDisplayLowDb = -72.0f;  // both axes span -72 .. 0 dB(FS)
constexpr float kDynamicsDisplayHighDb = 0.0f;
// The sample-and-hold pair the shape display draws (the engine draws its own at random).
constexpr float kDisplayHoldA = 0.6f;
constexpr float kDisplayHoldB = -0.35f;

// The display's curve in its own coordinates: output dB(FS) for an input of inDb dB(FS).
double dynamicsOutputDb(const DynamicsCurve& curve, double inDb);

// rect is relative to the current group.
void drawLfoShapeDisplay(Editor& editor, const UiRect& rect, const LfoShapeSettings& shape);
void drawDynamicsDisplay(Editor& editor, const UiRect& rect, const DynamicsCurve& curve, float thresholdDb);

}  // namespace tarsk
