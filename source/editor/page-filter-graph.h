// The Filter page's displays: the three-dimensional decay graph of the loop over frequency and time,
// and the saturator's transfer curve. Both read the analysis engine cooked from the editor record and
// evaluate it with the engine's own routines.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/engine-state.h"
#include "tarsklib/ui-types.h"

namespace tarsk {

class Editor;

constexpr int kDecayGraphFrequencies = 96;
constexpr int kDecayGraphTimeSteps = 28;  // steps of 1/7 over the four units of the time axis

// Frequency i of the graph in Hz: 20000 x 10^(3i/95 - 3), i = 0 ... 95.
double decayGraphFrequency(int i);

// The decay rate of the cooked loop at hz: the level lost per second in units of 60 dB (the mean of
// the four lines; log2 of each line's gain per pass at hz, over its pass time, divided by log2 1000).
// 0 when the loop does not decay.
double loopDecayRate(const EngineState& s, double hz);

// The inverter's phase at hz in units of pi: atan2((1 - a^2) sin w, 2a + (1 + a^2) cos w) / pi with the
// cooked allpass coefficient a.
double inverterPhase(const EngineState& s, double hz);

constexpr int kDecayGraphVertexFloats = 5;  // screen x, y and lit colour r, g, b
constexpr size_t kDecayGraphGridFloats =
    static_cast<size_t>(kDecayGraphFrequencies) * (kDecayGraphTimeSteps + 1) * kDecayGraphVertexFloats;

// The decay graph's columns as worked out from one cook: the loop's decay rate and the inverter's phase
// at each frequency; and the surface's vertices as seen from one view point in one box. The columns
// change only with the cooked program and the vertices only with it, a turn or a move, so the frames
// in between draw the graph from here.
struct DecayGraphColumns {
    static constexpr uint64_t kNoCook = ~uint64_t{0};
    uint64_t cook = kNoCook;  // the analysis strip's cook count the columns were worked out for
    double rate[kDecayGraphFrequencies] = {};
    double phase[kDecayGraphFrequencies] = {};

    uint64_t gridCook = kNoCook;  // what the vertices were worked out for
    float gridView[2] = {};
    UiRect gridBox;
    float grid[kDecayGraphGridFloats] = {};
};

// The decay graph in `box` (page coordinates), turned by dragging the box (widget `id`), which moves
// the view point stored in the editor.
void drawDecayGraph(Editor& editor, uint32_t id, const UiRect& box);

// The saturator's transfer curve in `box` (page coordinates) for the cooked drive and gains.
void drawTransferCurve(Editor& editor, const UiRect& box);

// The curve's output for input x (the saturator's static curve; the input itself while it is off).
float transferCurve(const EngineState& s, float x);

}  // namespace tarsk
