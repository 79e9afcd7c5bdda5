// The engine's state: cooked coefficients, modulation constants and the running states of the
// four-line feedback delay network. Every per-line quantity is a group of four floats (one lane per
// line) aligned to 16 bytes, so that one four-wide SIMD operation serves all lines.
//
// Index: lanes | ring | lengths and taps | matrices | gains | filters | saturator and inverter |
//        modulation | dynamics | load meter
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarsk {

constexpr int kLines = 4;
constexpr int kSegments = 4;  // segment 0 ends at the line output, 1..3 at taps 1..3
constexpr int kTaps = 3;
constexpr int kLfos = 2;

constexpr uint32_t kRingWords = 524288;  // 2 MiB of floats shared by the four lines
constexpr uint32_t kMaxLineSamples = 131071;
constexpr float kOffFrequency = 50000.0f;  // Highcut and Inverter at or above it are off
constexpr float kLowcutOffBelow = 2.0f;    // Lowcut at or below it is off
constexpr float kSmoothing = 0.0031f;      // per-sample glide of gains and coefficients
constexpr float kAllpassLeak = 0.99975f;   // keeps the allpass states from holding DC for ever
constexpr float kLineClamp = 16.0f;

struct alignas(16) Lanes {
    float v[kLines] = {};
    float& operator[](int i) { return v[i]; }
    float operator[](int i) const { return v[i]; }
};

struct alignas(16) LaneIndices {
    uint32_t v[kLines] = {};
    uint32_t& operator[](int i) { return v[i]; }
    uint32_t operator[](int i) const { return v[i]; }
};

// One 4x4 matrix: row r holds the weights of line r's signal in lines 0..3 (M[r][c]).
struct alignas(16) Matrix4 {
    Lanes row[kLines];
};

// The published figures of the load meter: written by the audio thread, read by the editor.
struct LoadFigures {
    float load = 0.0f;             // busy ticks / elapsed ticks of the last interval
    uint64_t cycles = 0;           // time-stamp-counter cycles of the last interval
    uint32_t samples = 0;          // samples, control periods and callbacks counted in it
    uint32_t controlPeriods = 0;
    uint32_t callbacks = 0;
    uint32_t structure = 0;        // networkStructure() of the cooked program, as of the last report
};

// Bits of the structure word: which stages the cooked network runs (what a sample costs depends on them).
namespace structure {
constexpr uint32_t feedback = 0x0001;             // the main matrix feeds the lines back (half life not 0)
constexpr uint32_t modulated = 0x0002;            // some modulation is active
constexpr uint32_t saturator = 0x0040;            // the saturator runs (drive above 0)
constexpr uint32_t multitap = 0x0080;             // four segments per line
constexpr uint32_t filtersBeforeOutput = 0x0100;  // the outputs are taken after the loop filters
}  // namespace structure

struct EngineState {
    // ---- environment (set by the shell) ----
    float sampleRate = 0.0f;
    float tempo = 120.0f;  // beats per minute: the last valid host tempo, 120 until one arrives

    // ---- modes derived at cooking ----
    bool multitap = false;
    bool filtersBeforeOutput = false;
    bool decayActive = false;
    bool saturatorActive = false;
    bool modulated = false;
    bool freeze = false;  // copied from the instance switch at cooking
    bool bypass = false;

    // ---- delay ring ----
    uint32_t ringSize = 0;  // power of two; 0 before the first layout
    LaneIndices ringMask;
    LaneIndices writeIndex;
    LaneIndices readIndex;
    Lanes readFrac;  // fractional read position while modulated
    Lanes readStep;  // its per-sample increment

    // ---- lengths and taps ----
    Lanes lengthSamples;
    LaneIndices lengthInt;
    Lanes fracCoef;        // interpolation allpass coefficient
    Lanes subSampleGain;   // crossfade of a line shorter than one sample (also set per control period)
    Lanes subSampleGainCooked;  // the crossfade as cooked, restored while unmodulated
    LaneIndices tapOffset[kTaps];  // taps 1..3 at index 0..2, in samples
    Lanes lineLengthUnits;  // max(0.01, Delay length i), time-base units
    // The length each line's room in the ring is laid out for: the line's length, or for a line
    // synced to the tempo its length at the slowest tempo, so that tempo changes never move a line.
    Lanes roomSamples;
    bool tempoSynced = false;  // the lengths follow the tempo (time-base mode 2)
    float cookedTempo = 0.0f;  // the tempo the lengths were cooked at
    float tap3Fraction[kLines] = {};

    // ---- matrices ----
    Matrix4 mainMatrix;
    Matrix4 innerMatrix[kLines];  // per line, mixes its four segments
    Matrix4 crossMatrix;

    // ---- gains ----
    Lanes inputGainL, inputGainR;    // per line: weight of the left and right input
    Lanes outputGainL, outputGainR;  // cooked output vector gains (wet included)
    Lanes outTargetL, outTargetR;    // modulated targets, per control period
    Lanes outGainL, outGainR;        // smoothed per sample
    float dryGain = 0.0f;
    Lanes tapLevel[kTaps];
    float lastDrive = 0.0f;  // drive stored by the filter step, used by the make-up gain

    // ---- loop filters, per segment ----
    Lanes segmentGainCooked[kSegments];  // cooked pass gain of each segment
    Lanes segmentGainTarget[kSegments];  // modulated per control period
    Lanes segmentGain[kSegments];        // smoothed per sample
    Lanes highcutPole[kSegments];        // V
    Lanes highcutBlend[kSegments];       // h (cooked)
    Lanes highcutBlendTarget;            // segment 0: modulated h
    Lanes highcutBlendNow;               // segment 0: smoothed h
    Lanes lowcutCoef[kSegments];         // l
    Lanes midC0[kSegments], midC1[kSegments], midC2[kSegments];
    float midCenterRealised = 0.0f;  // Hz: the mid-band centre the design settled on (line 1, segment 0)
    Lanes highcutState[kSegments];
    Lanes lowcutState[kSegments];
    Lanes midS1[kSegments], midS2[kSegments], midPrev[kSegments];

    // ---- saturator ----
    Lanes drive;
    Lanes postGain;
    uint32_t emphasisMode = 0;  // flags & 0x0300
    Lanes emphIn, emphOut;

    // ---- interpolation and inverter allpasses ----
    Lanes interpState;  // z1
    float inverterBase = 0.0f;  // Inverter / sampleRate, or 0 when off
    Lanes inverterTarget;
    Lanes inverterCoef;  // smoothed per sample
    Lanes inverterState;  // z2

    // ---- modulation ----
    uint32_t controlPeriod = 1;
    uint32_t controlCountdown = 0;
    // Samples run in the current control period; the LFO phases advance by them when it ends, so
    // that a period split over several callbacks advances them exactly as an unsplit one.
    uint32_t periodSamples = 0;
    float smooth = 0.0f;  // 1 - 2^(-2 / controlPeriod)
    float phaseInc[kLfos] = {};  // radians per sample; -1: LFO2 runs on LFO1's phase
    float phase[kLfos] = {};
    int32_t shape[kLfos] = {};
    float spread[kLfos] = {};
    float shift[kLfos] = {};
    float decayDepth[kLfos] = {};
    float outputDepth[kLfos] = {};
    float inverterDepth[kLfos] = {};
    Lanes delayDepth[kLfos];
    Lanes envDelayDepth;
    float envInverterDepth = 0.0f;
    float holdA[kLfos] = {};  // sample-and-hold pairs
    float holdB[kLfos] = {};
    float noise[kLfos] = {};

    // ---- envelope and dynamics ----
    float attackCoef = 0.0f;
    float releaseCoef = 0.0f;
    float envelope = 0.0f;
    float decayK = 0.0f, decayT = 1.0f;    // DECAY section
    float outputK = 0.0f, outputT = 1.0f;  // OUTPUT section
    float support = 0.0f;
    // Linear threshold levels 10^(threshold/20); the gate side's T (above) can lie below the float
    // range, so the control update forms it from these in double precision.
    float decayThresholdLevel = 1.0f, outputThresholdLevel = 1.0f;
    bool smoothedPrimed = false;  // the smoothed gains hold cooked values (set by the first cook)

    // ---- load meter ----
    uint64_t meterInterval = 0;  // counter ticks between reports; 0 = never report
    uint64_t meterStart = 0;
    uint64_t meterStartCycles = 0;
    int64_t busyTicks = 0;
    uint32_t meterSamples = 0;
    uint32_t meterControlPeriods = 0;
    uint32_t meterCallbacks = 0;
    LoadFigures published;
};

}  // namespace tarsk
