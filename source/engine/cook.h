// Parameter cooking: turns a program record into the coefficients of the engine state, lays out the
// delay ring, and resets the engine's running states. Also the loop-filter design routines, which
// the editor's decay display shares.
#pragma once

#include "engine/engine-state.h"
#include "engine/engine.h"
#include "engine/modulation.h"
#include "engine/program-record.h"

namespace tarsk {

// Cooks `record` into `s` (audio thread, no allocation): lengths and taps (when request.lengthsChanged),
// matrices, filters and decay, modulation and dynamics constants, gains, and the ring layout when
// lengths or modulation changed. `ring` (kRingWords floats) may be null: indices are computed anyway.
void cookProgram(EngineState& s, float* ring, const ProgramRecord& record, const CookRequest& request);

// Clears the ring (when given) and every filter, allpass, saturator and envelope state, and lays the
// ring out again with the read positions reset.
void resetEngine(EngineState& s, float* ring);

// Starts the modulation over as at the first block of a fresh instance: LFO phases, sample-and-hold
// values, noise states and the envelope at 0, a new control period at the next sample, and the
// smoothed gains set to the targets of phase 0. Run after resetEngine, two renders of the same input
// are then identical (unless an LFO draws random values).
void restartModulation(EngineState& s);

// Cooks a tempo-synced program again for the engine's current tempo: new lengths and taps, the
// delay memory kept. Lines that are not modulated jump to their new lengths, taps to their new
// places, each with a short crossfade that the ring itself carries; modulated lines glide there.
// The modulation's targets stay as they are until the next control period.
void retuneProgram(EngineState& s, float* ring, const ProgramRecord& record, const CookRequest& request);

// Lays the four lines out in the ring. With resetPositions every read index sits exactly lengthInt
// behind its write index; without it each line keeps its write-to-read distance.
void layoutRing(EngineState& s, float* ring, bool resetPositions);

// The structure word of the cooked network (structure:: bits), a 16-bit description of the stages that run.
uint32_t networkStructure(const EngineState& s);

// ---- modulation and dynamics as cooking reads them ----

// The two dynamics sections.
constexpr int kDynamicsDecay = 0;
constexpr int kDynamicsOutput = 1;

// One dynamics section of a record as the control period applies it: ratio, threshold and support
// read and limited as cooking reads them. The decay section carries its Support and gain 1; the
// output section support 0 and the record's Out Gain (which cooking folds into the wet level).
DynamicsCurve dynamicsCurveOf(const ProgramRecord& record, int section);

// The shape of LFO k (0, 1) of a record as cooked: shape index, spread as a fraction (1 = the lines a
// quarter turn apart) and shift in radians, for lfoArgument and lfoShapeValue.
struct LfoShapeSettings {
    int32_t shape = 0;
    float spread = 0.0f;
    float shift = 0.0f;
};
LfoShapeSettings lfoShapeOf(const ProgramRecord& record, int lfoIndex);

// ---- loop-filter design ----

// The settings that shape every segment's filters; frequencies in Hz, already limited to safe ranges.
struct LoopFilterSettings {
    double sampleRate = 44100.0;
    double highcut = 50001.0;  // at or above 50000: off
    double lowcut = 0.0;       // at or below 2: off
    double midCenter = 100.0;
    double midQ = 1.0;
    double midStretch = 1.0;
};

// The coefficients of one segment: its pass gain (with the low-cut correction), the high-cut pole V
// and blend h, the low-cut coefficient l, the mid-band coefficients, and the centre in Hz that the
// mid band was finally solved at.
struct SegmentFilter {
    double gain = 1.0;
    double pole = 1.0;
    double blend = 1.0;
    double lowcut = 0.0;
    double c0 = 0.0, c1 = 0.0, c2 = 0.0;
    double realisedCenter = 0.0;
};

// Solves the filters of a segment whose pass gain is g (0 <= g <= 1) so that the decay per pass,
// filters and gain together, has the requested corners.
SegmentFilter designSegmentFilter(double g, const LoopFilterSettings& settings);

// Magnitudes of the loop-filter stages at frequency f in cycles per sample (0 .. 0.5).
double highcutMagnitude(double blend, double f);
double lowcutMagnitude(double lowcut, double f);
// Power response |H|^2 of the mid-band stage.
double midPowerResponse(double c0, double c1, double c2, double f);

// Make-up gain of the saturator for a drive d >= 0 (1 at d = 0).
double saturatorMakeUpGain(double drive);

}  // namespace tarsk
