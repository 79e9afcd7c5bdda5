// How the Modulation page shows and stores its fields: a number box's view of a stored value (what it
// shows, how it drags) and the way the box's result goes back into the record. Pure functions; the
// page draws with them and the tests check them.
#pragma once

#include <cstdint>

#include "engine/program-record.h"

namespace tarsk {

constexpr int32_t kLfoShapeCount = 7;
constexpr float kSpreadToDegrees = 0.9f;         // +-200 % of spread shows as +-180 degrees
constexpr float kDegreesToSpread = 1.1111112f;   // 1 / 0.9
constexpr float kPercentPerUnit = 100.0f;        // Support is a fraction, shown in percent
constexpr float kEnvDelayTimesLimit = 100.0f;    // above this magnitude ENV > Delay length shows as a factor

// A number box's view of a stored field.
struct BoxView {
    float shown = 0.0f;
    const char* format = "";
    float min = 0.0f;
    float max = 1.0f;
    uint32_t mapping = 0;
};

// ---- LFO ----

// The label of a shape index ("?" outside 0..6).
const char* lfoShapeLabel(uint32_t shape);
// The shape stepped by +1 or -1, modulo 7 (a shape word outside 0..6 steps from its remainder).
uint32_t stepLfoShape(uint32_t shape, int step);
// The word of the Period the LFO tab edits: LFO2's own, except while LFO2 follows LFO1 (its Period is
// negative), when the LFO2 tab shows and edits LFO1's.
int periodWordShown(const ProgramRecord& record, int lfoIndex);
// Whether LFO2 runs on LFO1's phase.
bool lfo2Follows(const ProgramRecord& record);
float spreadDegrees(float spread);
float spreadFromDegrees(float degrees);

// ---- ENV ----

// ENV > Delay length as a magnitude: a factor "$&times;" (stored / 100) while |value| > 100, else percent.
BoxView envDelayView(float value);
// The magnitude the box returned, stored with the value's sign.
float envDelayFromBox(float value, float result);
// ENV > Inverter freq as a magnitude, "$&times;" 0.1 .. 1000.
BoxView envInverterView(float value);
float envInverterFromBox(float value, float result);
// The value with its sign flipped by the "neg" button (0 stays 0: it has no sign to show).
float flipSign(float value);

// ---- dynamics ----

enum class RatioBox { slope, outputRatio };
// A slope or ratio r: r < 1 is the gate side, shown as 1/r with "%1.1f : 1" (1 .. 15); r >= 1 the duck
// side, shown as r with "1 : %1.1f" (1 .. 30). A ratio that is not positive plays as 1 and shows as 1.
BoxView ratioView(float ratio, RatioBox which);
float ratioFromBox(float ratio, float result);
bool duckSelected(float ratio);
bool gateSelected(float ratio);
// "Duck" turns a gate ratio r into 1/r; "Gate" turns a ducking ratio into 1/r; otherwise unchanged.
float pressDuck(float ratio);
float pressGate(float ratio);

BoxView supportView(float support);
float supportFromBox(float result);
// Out Gain in dB, -60 .. 60, linear; stored as 10^(dB / 20).
BoxView outGainView(float gain);
float outGainFromDb(float db);

}  // namespace tarsk
