// Engine: cooking and reset through the cooking module, and the processing entry: the load meter,
// the loop's floating-point state and the control periods around the per-sample loop.
//
// Index: helpers (phases, load meter, control periods) | construction | cook and reset | process
#include "engine/engine.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "engine/cook.h"
#include "engine/fp-state.h"
#include "engine/loop.h"
#include "engine/modulation.h"
#include "tarsklib/platform-clock.h"
#include "tarsklib/platform-cpu.h"

namespace tarsk {

namespace {

constexpr float kTwoPi = 6.28318548f;  // 2 pi as a float

LoopFunction loopFor(LoopBuild build) {
    switch (build) {
        case LoopBuild::scalar: return runLoopScalar;
        case LoopBuild::sse: return runLoopSse;
        case LoopBuild::sse2: return runLoopSse2;
    }
    return runLoopScalar;
}

// Brings an LFO phase back into [0, 2 pi); answers whether it had reached 2 pi (a wrap). A phase
// below 0 (an LFO running on the other's phase counts down) is brought back without a wrap.
bool reducePhase(float& phase) {
    if (phase >= kTwoPi) {
        phase = std::fmod(phase, kTwoPi);
        return true;
    }
    if (phase < 0.0f) {
        phase = std::fmod(phase, kTwoPi);
        if (phase < 0.0f) {
            phase += kTwoPi;
        }
        if (!(phase < kTwoPi)) {
            phase = 0.0f;
        }
    }
    return false;
}

// The published figures are plain words that the editor thread reads while this one writes.
template <typename T>
void publish(T& word, T value) {
    std::atomic_ref<T>(word).store(value, std::memory_order_relaxed);
}

// Load meter, step 1: on entry, publish when the interval has passed, then start timing the call.
void meterEnter(EngineState& s, uint64_t now) {
    if (s.meterStart == 0) {
        s.meterStart = now;
        s.meterStartCycles = timeStampCounter();
    } else if (s.meterInterval > 0 && now - s.meterStart > s.meterInterval) {
        const uint64_t cycles = timeStampCounter();
        const double elapsed = static_cast<double>(now - s.meterStart);
        publish(s.published.load, static_cast<float>(static_cast<double>(s.busyTicks) / elapsed));
        publish(s.published.cycles, cycles - s.meterStartCycles);
        publish(s.published.samples, s.meterSamples);
        publish(s.published.controlPeriods, s.meterControlPeriods);
        publish(s.published.callbacks, s.meterCallbacks);
        publish(s.published.structure, networkStructure(s));
        s.busyTicks = 0;
        s.meterSamples = 0;
        s.meterControlPeriods = 0;
        s.meterCallbacks = 0;
        s.meterStart = now;
        s.meterStartCycles = cycles;
    }
    s.busyTicks -= static_cast<int64_t>(now);
}

// Load meter, step 2: on exit, the busy time of the call and what it did.
void meterLeave(EngineState& s, uint64_t now, uint32_t frames, uint32_t periods) {
    s.busyTicks += static_cast<int64_t>(now);
    ++s.meterCallbacks;
    s.meterSamples += frames;
    s.meterControlPeriods += periods;
}

// The block in runs that never cross a control period: each period starts with the reduction of
// the LFO phases and the control update. Answers the number of periods started.
uint32_t runControlPeriods(EngineState& s, float* ring, LoopFunction loop, const LoopRun& block) {
    LoopRun run = block;
    uint32_t periods = 0;
    uint32_t position = 0;
    while (position < block.count) {
        if (s.controlCountdown == 0) {
            s.controlCountdown = std::max<uint32_t>(s.controlPeriod, 1);
            const bool wrapped1 = reducePhase(s.phase[0]);
            const bool wrapped2 = reducePhase(s.phase[1]);
            controlUpdate(s, wrapped1, wrapped2);
            ++periods;
        }
        const uint32_t n = std::min(s.controlCountdown, block.count - position);
        run.first = position;
        run.count = n;
        loop(s, ring, run);
        position += n;
        s.controlCountdown -= n;
        s.periodSamples += n;
        if (s.controlCountdown == 0) {
            const float elapsed = static_cast<float>(s.periodSamples);
            s.phase[0] += s.phaseInc[0] * elapsed;
            s.phase[1] += s.phaseInc[1] * elapsed;
            s.periodSamples = 0;
        }
    }
    return periods;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction

Engine::Engine() : loopBuild(preferredBuild()) {}

LoopBuild Engine::preferredBuild() { return cpuFeatures().hasSse2() ? LoopBuild::sse2 : LoopBuild::sse; }

void Engine::attachRing(float* memory) { ring = memory; }

// ---------------------------------------------------------------------------------------------
// Cook and reset

void Engine::cook(const ProgramRecord& record, const CookRequest& request) {
    // Cooking sets its own floating-point state (see fp-state.h). A sample rate of 0 (host scanners
    // answer 0) or one not finite cooks as 44.1 kHz.
    cookProgram(s, ring, record, request);
    cookedRecord = record;
    cookedRequest = request;
    hasCooked = true;
}

void Engine::setTempo(float bpm) {
    if (std::isfinite(bpm) && bpm >= kMinTempo && bpm <= kMaxTempo) {
        s.tempo = bpm;
    }
}

void Engine::reset() { resetEngine(s, ring); }

void Engine::restartModulation() { tarsk::restartModulation(s); }

// ---------------------------------------------------------------------------------------------
// Process

void Engine::process(const float* inL, const float* inR, float* outL, float* outR, uint32_t frames) {
    meterEnter(s, counterNow());
    if (hasCooked && s.tempoSynced && s.tempo != s.cookedTempo) {
        retuneProgram(s, ring, cookedRecord, cookedRequest);
    }
    uint32_t periods = 0;
    if (frames > 0) {
        if (ring == nullptr) {
            // No delay memory (the effect was not opened, or its memory could not be had): silence.
            for (float* out : {outL, outR}) {
                if (out != nullptr) {
                    std::memset(out, 0, sizeof(float) * frames);
                }
            }
        } else {
            const LoopRun block{inL, inR, outL, outR, 0, frames};
            LoopFpScope fpState;
            periods = runControlPeriods(s, ring, loopFor(loopBuild), block);
        }
    }
    meterLeave(s, counterNow(), frames, periods);
}

}  // namespace tarsk
