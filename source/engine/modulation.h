// Modulation and dynamics of the engine: the process-wide random source, the inverter coefficient,
// the duck/gate characteristic and the control-period update that turns the LFOs, the envelope and
// the dynamics into per-line targets for the processing loop.
#pragma once

#include <cstdint>

#include "engine/engine-state.h"

namespace tarsk {

// LFO shapes (the Shape word of an LFO block).
namespace lfoShape {
constexpr int32_t sine = 0;
constexpr int32_t triangle = 1;
constexpr int32_t rampUp = 2;
constexpr int32_t rampDown = 3;
constexpr int32_t square = 4;
constexpr int32_t sampleAndHold = 5;
constexpr int32_t noise = 6;
}  // namespace lfoShape

// ---- random source ----
// One state for the whole process, shared by every instance: x <- (x * 3513381) mod 8388608,
// starting at 1 when the library loads. Lock-free; concurrent draws only change which instance
// receives which number.
constexpr double kRandomMultiplier = 3513381.0;
constexpr double kRandomModulus = 8388608.0;  // 2^23
constexpr float kRandomScale = 1.0f / 4194304.0f;  // 2^-22

// Advances the state and answers x * 2^-22 - 1, a value in [-1, 1).
float randomValue();
// The current state (an integer value below 2^23) and a way to set it; for tests and diagnostics.
float randomState();
// Sets the state; x is taken as an integer modulo 2^23 (fractions are dropped).
void setRandomState(float x);

// ---- inverter ----
// Allpass coefficient of the inverter for a base frequency in cycles per sample (0: off) swept by
// m octaves: 1 (transparent) when off or above half the sample rate, else tan(pi (f - 1/4)) in
// [-1, 1]. Transcendental: cooking and control periods only.
float inverterCoefficient(float base, float m);

// ---- dynamics ----
// The constants of one dynamics section from its ratio r and threshold t in dB: r > 1 ducks with
// k = 1 - 1/r, r < 1 gates with k = 1/r, r = 1 is off (k = 0).
struct DynamicsConstants {
    double k = 0.0;
    double threshold = 1.0;  // T as the sections use it: 10^(t/20), or (10^(t/20))^(k - 1) for a gate
    double level = 1.0;      // 10^(t/20)
};
DynamicsConstants dynamicsConstants(double ratio, double thresholdDb);
// The gain factor of a section at envelope level a (linear, > 0), before any support floor:
// duck (T / (a + T))^k, gate (1 + T) a^(k-1) / (T + a^(k-1)), off 1.
double dynamicsFactor(double k, double thresholdLevel, double level);

// One dynamics section as the control period applies it: its k and threshold level, the support floor
// (the decay section's; 0 for the output section) and a gain after it (the output section's Out Gain
// for a display; the loop applies that gain elsewhere and passes 1).
struct DynamicsCurve {
    double k = 0.0;
    double thresholdLevel = 1.0;
    double support = 0.0;
    double gain = 1.0;
};
// The static characteristic: the factor the section applies at a steady envelope level a (linear,
// > 0): gain * (support + (1 - support) * dynamicsFactor(k, T, a)).
double dynamicsGain(const DynamicsCurve& curve, double level);

// ---- LFO shapes ----
// The argument of LFO k's shape for line i (0..3): 4 pi + phase + i * pi/2 * spread + shift, with
// spread as a fraction (1 = the lines a quarter turn apart) and shift in radians.
double lfoArgument(double phase, int line, double spread, double shift);
// The value of a shape at an argument (radians): sine, triangle, ramps and square in [-1, 1];
// sample-and-hold gives holdA for the first half cycle and holdB for the second. Noise, which
// draws from the random source, and unknown shapes give 0 here.
double lfoShapeValue(int32_t shape, double argument, float holdA, float holdB);

// ---- control period ----
// Targets of a program without modulation: cooked segment gains, output gains, high-cut blend,
// inverter coefficient at m = 0, cooked sub-sample crossfade and no read-position glide.
void setUnmodulatedTargets(EngineState& s);
// The update at the start of every control period. lfo1Wrapped / lfo2Wrapped tell whether the
// phase of LFO1 / LFO2 passed 2 pi since the last update (the loop has reduced the phases).
void controlUpdate(EngineState& s, bool lfo1Wrapped, bool lfo2Wrapped);

}  // namespace tarsk
