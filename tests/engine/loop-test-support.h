// Helpers of the processing-loop tests: an engine with its own ring, random programs over every
// feature of the network, random stereo input, and bitwise comparison of sample buffers.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "engine/cook-test-support.h"
#include "engine/engine.h"
#include "engine/modulation.h"
#include "engine/program-record.h"

namespace tarsk::test {

constexpr float kRandomSeedState = 12345.0f;  // the process-wide random source, set before every run

struct Stereo {
    std::vector<float> left, right;
    explicit Stereo(size_t frames = 0, float fill = 0.0f) : left(frames, fill), right(frames, fill) {}
    size_t size() const { return left.size(); }
};

// An engine with a ring of its own, cooked and reset like a freshly opened effect.
struct EngineRig {
    std::vector<float> ring = std::vector<float>(kRingWords, 0.0f);
    std::unique_ptr<Engine> engine = std::make_unique<Engine>();

    explicit EngineRig(LoopBuild build = Engine::preferredBuild()) {
        engine->attachRing(ring.data());
        engine->setLoopBuild(build);
    }
    void start(const ProgramRecord& record, float rate = kTestRate) {
        engine->setSampleRate(rate);
        engine->setTempo(120.0f);
        engine->cook(record, CookRequest{});
        engine->reset();
    }
    EngineState& state() { return engine->state(); }

    // Processes `in` in callbacks of the given sizes (repeated until the input is used up).
    Stereo run(const Stereo& in, const std::vector<uint32_t>& sizes) {
        Stereo out(in.size(), -7.0f);
        size_t position = 0;
        size_t next = 0;
        while (position < in.size()) {
            const uint32_t n = static_cast<uint32_t>(std::min<size_t>(sizes[next++ % sizes.size()], in.size() - position));
            engine->process(in.left.data() + position, in.right.data() + position, out.left.data() + position,
                            out.right.data() + position, n);
            position += n;
        }
        return out;
    }
};

inline bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// Index of the first sample whose bits differ, or -1.
inline long firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) {
            return static_cast<long>(i);
        }
    }
    return a.size() == b.size() ? -1 : static_cast<long>(std::min(a.size(), b.size()));
}

inline bool allFinite(const Stereo& s) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (!std::isfinite(s.left[i]) || !std::isfinite(s.right[i])) {
            return false;
        }
    }
    return true;
}

// Noise with a few clicks and a quiet stretch, at most about 1 in magnitude.
inline Stereo randomInput(std::mt19937& rng, size_t frames) {
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    Stereo in(frames);
    for (size_t i = 0; i < frames; ++i) {
        const bool quiet = (i / 700) % 3 == 2;
        in.left[i] = quiet ? 0.0f : noise(rng);
        in.right[i] = quiet ? 0.0f : noise(rng);
        if (i % 997 == 3) {
            in.left[i] = 1.0f;
            in.right[i] = -1.0f;
        }
    }
    return in;
}

// A random program over every part of the network. `index` walks the LFO shapes (0 to 7, 7 being
// an unknown shape) through both LFOs so that a run of 64 programs meets every pair of them.
inline ProgramRecord randomRecord(std::mt19937& rng, int index) {
    auto uniform = [&rng](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
    auto chance = [&rng](float p) { return std::uniform_real_distribution<float>(0.0f, 1.0f)(rng) < p; };
    ProgramRecord r = initRecord();

    uint32_t flags = 0;
    for (uint32_t bit : {flag::filtersBeforeOutput, flag::crossMixing, flag::swapRowsColumns, flag::innerFeedback,
                         flag::tapOutputs}) {
        if (chance(0.5f)) {
            flags |= bit;
        }
    }
    if (chance(0.8f)) {
        flags |= flag::multitap;
    }
    flags |= static_cast<uint32_t>(index % 4) << flag::emphasisShift;  // every emphasis, and none
    r.setU(word::flags, flags);

    r.setF(word::dry, uniform(0.0f, 100.0f));
    r.setF(word::wet, uniform(20.0f, 100.0f));
    r.setF(word::timeBase, 0.001f);  // lengths and half life in milliseconds
    for (int i = 0; i < kLines; ++i) {
        r.setF(word::delayLength + i, chance(0.03f) ? uniform(0.001f, 0.02f) : uniform(1.0f, 60.0f));
        float t[3] = {uniform(0.05f, 0.95f), uniform(0.05f, 0.95f), uniform(0.05f, 0.95f)};
        std::sort(t, t + 3);
        r.setF(word::tap1 + i, t[0]);
        r.setF(word::tap2 + i, t[1]);
        r.setF(word::tap3 + i, t[2]);
        r.setF(word::decayScale + i, uniform(0.5f, 2.0f));
        r.setF(word::inputVectors + 2 * i, std::cos(uniform(-3.14f, 3.14f)));
        r.setF(word::inputVectors + 2 * i + 1, std::sin(uniform(-3.14f, 3.14f)));
        r.setF(word::outputVectors + 2 * i, std::cos(uniform(-3.14f, 3.14f)));
        r.setF(word::outputVectors + 2 * i + 1, std::sin(uniform(-3.14f, 3.14f)));
    }
    r.setF(word::halfLife, chance(0.15f) ? 0.0f : uniform(5.0f, 3000.0f));

    // Orthonormal u and v.
    float u[4], v[4];
    for (int i = 0; i < 4; ++i) {
        u[i] = uniform(-1.0f, 1.0f);
        v[i] = uniform(-1.0f, 1.0f);
    }
    float nu = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2] + u[3] * u[3]);
    float dot = 0.0f;
    for (int i = 0; i < 4; ++i) {
        u[i] /= nu;
    }
    for (int i = 0; i < 4; ++i) {
        dot += u[i] * v[i];
    }
    float nv = 0.0f;
    for (int i = 0; i < 4; ++i) {
        v[i] -= dot * u[i];
        nv += v[i] * v[i];
    }
    nv = std::sqrt(nv);
    for (int i = 0; i < 4; ++i) {
        r.setF(word::vectorU + i, u[i]);
        r.setF(word::vectorV + i, v[i] / nv);
    }
    r.setF(word::alpha, uniform(-180.0f, 180.0f));
    r.setF(word::beta, uniform(-180.0f, 180.0f));
    r.setF(word::phi, uniform(-180.0f, 180.0f));
    r.setF(word::theta, uniform(-180.0f, 180.0f));

    r.setF(word::lowcut, chance(0.3f) ? 1.0f : uniform(10.0f, 800.0f));
    r.setF(word::highcut, chance(0.3f) ? 50001.0f : uniform(300.0f, 18000.0f));
    r.setF(word::inverter, chance(0.3f) ? 50001.0f : uniform(50.0f, 12000.0f));
    r.setF(word::drive, chance(0.25f) ? 0.0f : uniform(0.2f, 8.0f));
    r.setF(word::overunity, uniform(0.0f, 1.1f));
    r.setF(word::midCenter, uniform(60.0f, 8000.0f));
    r.setF(word::midQ, uniform(0.3f, 4.0f));
    r.setF(word::midStretch, uniform(0.5f, 3.0f));

    const int shapes[kLfos] = {index % 8, (index / 8) % 8};
    for (int k = 0; k < kLfos; ++k) {
        const int base = k == 0 ? word::lfo1 : word::lfo2;
        float period = uniform(0.01f, 3.0f);
        if (k == 1 && chance(0.25f)) {
            period = -1.0f;  // LFO2 on LFO1's phase
        }
        r.setF(base + lfo::period, period);
        r.setF(base + lfo::delayDepth, chance(0.8f) ? uniform(0.0f, 40.0f) : 0.0f);
        r.setF(base + lfo::spread, uniform(0.0f, 100.0f));
        r.setU(base + lfo::shape, static_cast<uint32_t>(shapes[k]));
        r.setF(base + lfo::decayDepth, chance(0.7f) ? uniform(0.0f, 60.0f) : 0.0f);
        r.setF(base + lfo::levelDepth, chance(0.7f) ? uniform(0.0f, 60.0f) : 0.0f);
        r.setF(base + lfo::shift, uniform(0.0f, 360.0f));
        r.setF(base + lfo::inverterDepth, chance(0.7f) ? uniform(0.0f, 2.0f) : 0.0f);
    }

    r.setF(word::attack, uniform(0.0002f, 0.02f));
    r.setF(word::release, uniform(0.005f, 0.3f));
    r.setF(word::envDelayDepth, chance(0.5f) ? uniform(-30.0f, 30.0f) : 0.0f);
    r.setF(word::decaySlope, chance(0.3f) ? 1.0f : (chance(0.5f) ? uniform(1.2f, 6.0f) : uniform(0.2f, 0.9f)));
    r.setF(word::decayThreshold, uniform(-40.0f, 0.0f));
    r.setF(word::outputRatio, chance(0.3f) ? 1.0f : (chance(0.5f) ? uniform(1.2f, 6.0f) : uniform(0.3f, 0.9f)));
    r.setF(word::outputThreshold, uniform(-40.0f, 0.0f));
    r.setF(word::support, uniform(0.0f, 1.0f));
    r.setF(word::envInverterDepth, chance(0.5f) ? uniform(-2.0f, 2.0f) : 0.0f);

    r.setF(word::inputGain, uniform(0.5f, 2.0f));
    r.setF(word::outGain, uniform(0.5f, 2.0f));
    for (int k = 0; k < kTaps; ++k) {
        r.setF(word::tapLevel + k, uniform(0.0f, 1.0f));
    }
    return r;
}

// A reverb like the default program: modulated, filtered, no saturation.
inline ProgramRecord hallRecord() {
    ProgramRecord r = initRecord();
    r.setF(word::wet, 30.0f);
    const float lengths[kLines] = {41.3f, 53.7f, 67.1f, 79.9f};
    for (int i = 0; i < kLines; ++i) {
        r.setF(word::delayLength + i, lengths[i]);
    }
    r.setF(word::halfLife, 200.0f);
    r.setF(word::alpha, 45.0f);
    r.setF(word::beta, 45.0f);
    r.setF(word::lowcut, 60.0f);
    r.setF(word::highcut, 7000.0f);
    r.setF(word::lfo1 + lfo::period, 2.7f);
    r.setF(word::lfo1 + lfo::delayDepth, 0.3f);
    r.setF(word::lfo1 + lfo::spread, 50.0f);
    const float in[8] = {1, 0, 0, 1, 0.7071f, 0.7071f, 0.7071f, -0.7071f};
    const float out[8] = {1, 0, 0, 1, 0.7071f, -0.7071f, 0.7071f, 0.7071f};
    for (int i = 0; i < 8; ++i) {
        r.setF(word::inputVectors + i, in[i]);
        r.setF(word::outputVectors + i, out[i]);
    }
    return r;
}

}  // namespace tarsk::test
