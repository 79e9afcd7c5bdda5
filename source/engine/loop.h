// The per-sample loop of the delay network in three builds of the same arithmetic: a plain scalar
// reference, an SSE build and an SSE2 build. They give bit-identical results under the loop's
// floating-point state (flush-to-zero, rounding toward minus infinity; see fp-state.h).
#pragma once

#include <cstdint>

#include "engine/engine-state.h"

namespace tarsk {

// Added to both input channels, indexed by the sample's position within the callback modulo 32,
// so that the recursive filters never decay into denormals.
constexpr int kGuardLength = 32;
inline constexpr float kDenormalGuard[kGuardLength] = {
    2.0e-12f,  9.5e-12f,  -6.8e-12f, 1.7e-12f,  -9.5e-12f, -1.0e-12f, 9.5e-12f,  -7.8e-12f,
    2.0e-13f,  -3.4e-12f, 9.8e-12f,  -5.7e-12f, 2.5e-12f,  -8.9e-12f, 6.0e-13f,  -5.0e-13f,
    -9.6e-12f, 1.8e-12f,  7.5e-12f,  -8.6e-12f, -7.2e-12f, 6.8e-12f,  9.7e-12f,  -2.7e-12f,
    -6.7e-12f, -8.9e-12f, -5.0e-13f, 6.9e-12f,  8.0e-13f,  4.0e-12f,  9.4e-12f,  -4.2e-12f,
};

// Input samples are made safe where the guard is added: a NaN or an infinity becomes 0, finite
// values are limited to +-kInputLimit (+80 dBFS, far beyond any real signal).
constexpr float kInputLimit = 1.0e4f;

// Saturator constants: sat(p) = p'(p'^2 + 27) / (9 p'^2 + 27), p' = p limited to +-3, and the
// emphasis filters around it.
constexpr float kSaturatorLimit = 3.0f;
constexpr float kSaturatorCubic = 27.0f;
constexpr float kSaturatorSquare = 9.0f;
constexpr float kEmphasis = 0.7f;
constexpr uint32_t kEmphasisLow = 0x0000;   // "L"
constexpr uint32_t kEmphasisNone = 0x0100;  // "N"
constexpr uint32_t kEmphasisHigh = 0x0200;  // "H"

// The saturator's static curve sat(p), and one sample of line i's saturator with its emphasis filters
// (the scalar reference; the editor draws the transfer curve with them).
float saturate(float p);
float saturator(EngineState& s, int i, float y);

// One run of samples inside a control period. The channel pointers are those of the whole
// callback; the run covers samples first .. first + count - 1 of it. A null input is silence,
// a null output is skipped. Inputs and outputs may be the same buffers.
struct LoopRun {
    const float* inL = nullptr;
    const float* inR = nullptr;
    float* outL = nullptr;
    float* outR = nullptr;
    uint32_t first = 0;
    uint32_t count = 0;
};

using LoopFunction = void (*)(EngineState& s, float* ring, const LoopRun& run);

// The three builds. They must run under the loop's MXCSR (LoopFpScope); the SSE build sets the x87
// control word for its conversions itself and restores it before it returns.
void runLoopScalar(EngineState& s, float* ring, const LoopRun& run);
void runLoopSse(EngineState& s, float* ring, const LoopRun& run);
void runLoopSse2(EngineState& s, float* ring, const LoopRun& run);

}  // namespace tarsk
