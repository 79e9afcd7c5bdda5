// Helpers of the cooking and modulation tests: the Init record, a cooked engine state and a check
// that every float of the state is finite.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <vector>

#include "engine/cook.h"
#include "engine/engine-state.h"
#include "engine/program-record.h"

namespace tarsk::test {

constexpr float kTestRate = 48000.0f;

// The Init program: the identity with dry 100 and wet 0.
inline ProgramRecord initRecord() {
    ProgramRecord r;
    r.setU(word::magic, kProgramMagic);
    r.setU(word::version, kCurrentLayout);
    r.setU(word::flags, flag::swapRowsColumns);
    r.setName("Init");
    auto set = [&r](int first, std::initializer_list<float> values) {
        for (float v : values) {
            r.setF(first++, v);
        }
    };
    set(word::dry, {100, 0, 0.001f, 1, 1, 1, 1});
    set(word::tap1, {0.7141f, 0.7114f, 0.7085f, 0.6926f, 0.7984f, 0.7969f, 0.7953f, 0.7863f});
    set(word::tap3, {0.8944f, 0.8927f, 0.8909f, 0.8808f, 0});
    set(word::vectorU, {0.7071f, 0, 0, -0.7071f, 0, 0.7071f, -0.7071f, 0, 0, 0});
    set(word::lowcut, {500, 50001, 50001, 0, 0, 1, 1, 1, 1, 100, 1, 1, 0, 0});
    for (int base : {word::lfo1, word::lfo2}) {
        set(base, {1, 0, 0});
        r.setU(base + lfo::shape, 0);
        set(base + lfo::decayDepth, {0, 0, 0, 0});
    }
    set(word::attack, {0.002f, 0.05f, 0, 1, 0, 1, 0, 0, 0});
    set(word::inputVectors, {1, 0, 0, 1, -1, 0, 0, -1});
    set(word::outputVectors, {1, 0, 0, 1, -1, 0, 0, -1});
    set(word::inputGain, {1, 1, 0, 0, 0});
    return r;
}

// A record with seconds as its time base: line lengths in seconds.
inline ProgramRecord secondsRecord(std::initializer_list<float> lengths) {
    ProgramRecord r = initRecord();
    r.setF(word::timeBase, 1.0f);
    int i = 0;
    for (float length : lengths) {
        r.setF(word::delayLength + i++, length);
    }
    return r;
}

// A record whose time base is one sample at kTestRate: line lengths in samples.
inline ProgramRecord samplesRecord(std::initializer_list<float> lengths) {
    ProgramRecord r = secondsRecord(lengths);
    r.setF(word::timeBase, 1.0f / kTestRate);
    return r;
}

inline EngineState freshState(float rate = kTestRate) {
    EngineState s;
    s.sampleRate = rate;
    s.tempo = 120.0f;
    return s;
}

inline EngineState cooked(const ProgramRecord& r, CookRequest request = {}, float* ring = nullptr) {
    EngineState s = freshState();
    cookProgram(s, ring, r, request);
    return s;
}

// Every float the cook and the control update write, checked for NaN and infinity.
inline ::testing::AssertionResult allFinite(const EngineState& s) {
    std::vector<const Lanes*> lanes = {&s.readStep,    &s.lengthSamples,      &s.fracCoef,        &s.subSampleGain,
                                       &s.inputGainL,  &s.inputGainR,         &s.outputGainL,     &s.outputGainR,
                                       &s.outTargetL,  &s.outTargetR,         &s.outGainL,        &s.outGainR,
                                       &s.drive,       &s.highcutBlendTarget, &s.highcutBlendNow, &s.postGain,
                                       &s.inverterTarget, &s.inverterCoef,    &s.envDelayDepth,   &s.delayDepth[0],
                                       &s.delayDepth[1]};
    for (int r = 0; r < kLines; ++r) {
        lanes.insert(lanes.end(), {&s.mainMatrix.row[r], &s.crossMatrix.row[r]});
        for (const Matrix4& inner : s.innerMatrix) {
            lanes.push_back(&inner.row[r]);
        }
    }
    for (const Lanes& level : s.tapLevel) {
        lanes.push_back(&level);
    }
    for (int k = 0; k < kSegments; ++k) {
        lanes.insert(lanes.end(), {&s.segmentGainCooked[k], &s.segmentGainTarget[k], &s.segmentGain[k],
                                   &s.highcutPole[k], &s.highcutBlend[k], &s.lowcutCoef[k], &s.midC0[k], &s.midC1[k],
                                   &s.midC2[k]});
    }
    std::vector<float> values = {s.dryGain, s.inverterBase, s.smooth,  s.envInverterDepth, s.attackCoef,
                                 s.releaseCoef, s.decayK,   s.decayT,  s.outputK,          s.outputT,
                                 s.support, s.midCenterRealised};
    for (int k = 0; k < kLfos; ++k) {
        values.insert(values.end(), {s.phaseInc[k], s.spread[k], s.shift[k], s.decayDepth[k], s.outputDepth[k],
                                     s.inverterDepth[k]});
    }
    for (const Lanes* l : lanes) {
        values.insert(values.end(), l->v, l->v + kLines);
    }
    for (size_t n = 0; n < values.size(); ++n) {
        if (!std::isfinite(values[n])) {
            return ::testing::AssertionFailure() << "value " << n << " is " << values[n];
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace tarsk::test
