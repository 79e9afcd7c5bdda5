// Engine: cooks a program record into the engine state and runs the four-line feedback delay network
// over blocks of stereo audio. One engine per effect instance; audio thread only.
#pragma once

#include <cstdint>

#include "engine/engine-state.h"
#include "engine/program-record.h"

namespace tarsk {

// Which build of the per-sample loop runs. The SSE2 and SSE builds give bit-identical results; the
// scalar build is the plain reference they are tested against.
enum class LoopBuild { scalar, sse, sse2 };

// Host tempos outside this range (and missing, non-finite ones) are not tempos: the engine keeps
// the last valid one.
constexpr float kMinTempo = 1.0f;
constexpr float kMaxTempo = 1000.0f;
constexpr float kDefaultTempo = 120.0f;

// What a cook is asked to redo, and the instance switches it takes over.
struct CookRequest {
    bool lengthsChanged = true;
    bool modulationChanged = true;
    bool freeze = false;
    bool bypass = false;
};

class Engine {
public:
    Engine();

    // The delay ring (kRingWords floats) that the effect owns; null before open.
    void attachRing(float* ring);
    void setSampleRate(float rate) { s.sampleRate = rate; }
    // The host's tempo in beats per minute; an invalid one is ignored. A tempo-synced program follows
    // a change at the next block, without losing what its lines hold.
    void setTempo(float bpm);
    // Interval of the load meter in counter ticks (0: never publish).
    void setMeterInterval(uint64_t ticks) { s.meterInterval = ticks; }

    // Turns a record into coefficients; allocation-free, audio thread.
    void cook(const ProgramRecord& record, const CookRequest& request);
    // Clears the ring and every filter, allpass, saturator and envelope state; lays the ring out again.
    void reset();
    // Starts the LFOs, sample-and-hold values, noise states and the envelope over (a host's resume).
    void restartModulation();

    // Replacing processing of one stereo block. Null inputs count as silence; null outputs are skipped.
    void process(const float* inL, const float* inR, float* outL, float* outR, uint32_t frames);

    void setLoopBuild(LoopBuild build) { loopBuild = build; }
    LoopBuild build() const { return loopBuild; }
    // The build that the processor's features call for.
    static LoopBuild preferredBuild();

    EngineState& state() { return s; }
    const EngineState& state() const { return s; }
    const LoadFigures& loadFigures() const { return s.published; }

private:
    EngineState s;
    float* ring = nullptr;
    // The record last cooked and its switches: a tempo change cooks it again.
    ProgramRecord cookedRecord;
    CookRequest cookedRequest;
    bool hasCooked = false;
    LoopBuild loopBuild;
};

}  // namespace tarsk
