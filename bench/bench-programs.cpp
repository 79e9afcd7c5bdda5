// Benchmark programs built from the start programs.
#include "bench-programs.h"

#include <memory>

#include "presets/fxp-file.h"
#include "tarsklib/resource.h"

namespace tarsk::bench {

namespace {

ProgramRecord loadResourceProgram(const char* fileName) {
    ProgramRecord record;
    std::unique_ptr<MemoryStream> stream = openResource(fileName);
    if (stream != nullptr) {
        readFxpIntoRecord(*stream, record);
    }
    return record;
}

void setLanes(ProgramRecord& r, int first, float a, float b, float c, float d) {
    r.setF(first, a);
    r.setF(first + 1, b);
    r.setF(first + 2, c);
    r.setF(first + 3, d);
}

ProgramRecord longHall(const ProgramRecord& base) {
    ProgramRecord r = base;
    setLanes(r, word::delayLength, 89.3f, 103.7f, 117.1f, 131.9f);
    r.setF(word::halfLife, 900.0f);
    r.setF(word::lfo1 + lfo::delayDepth, 0.0f);
    r.setF(word::lfo2 + lfo::delayDepth, 0.0f);
    return r;
}

ProgramRecord chorus(const ProgramRecord& base) {
    ProgramRecord r = base;
    r.setF(word::halfLife, 40.0f);
    setLanes(r, word::delayLength, 11.0f, 13.0f, 17.0f, 19.0f);
    r.setF(word::lfo1 + lfo::period, 1.7f);
    r.setF(word::lfo1 + lfo::delayDepth, 2.0f);
    r.setF(word::lfo1 + lfo::spread, 100.0f);
    r.setF(word::lfo2 + lfo::period, 0.23f);
    r.setF(word::lfo2 + lfo::delayDepth, 0.5f);
    r.setF(word::lfo2 + lfo::spread, 50.0f);
    r.setU(word::lfo2 + lfo::shape, 1);
    return r;
}

ProgramRecord multitap(const ProgramRecord& base) {
    ProgramRecord r = base;
    r.setU(word::flags, r.u(word::flags) | flag::multitap | flag::innerFeedback | flag::crossMixing |
                            flag::tapOutputs);
    r.setF(word::phi, 30.0f);
    r.setF(word::theta, 20.0f);
    r.setF(word::tapLevel, 0.5f);
    r.setF(word::tapLevel + 1, 0.35f);
    r.setF(word::tapLevel + 2, 0.25f);
    return r;
}

ProgramRecord saturated(const ProgramRecord& base, uint32_t emphasis) {
    ProgramRecord r = base;
    r.setF(word::drive, 2.5f);
    r.setF(word::overunity, 0.5f);
    r.setU(word::flags, (r.u(word::flags) & ~flag::emphasisMask) | (emphasis << flag::emphasisShift));
    return r;
}

ProgramRecord dynamics(const ProgramRecord& base) {
    ProgramRecord r = base;
    r.setF(word::decaySlope, 3.0f);
    r.setF(word::decayThreshold, -24.0f);
    r.setF(word::support, 0.3f);
    r.setF(word::outputRatio, 2.0f);
    r.setF(word::outputThreshold, -18.0f);
    return r;
}

ProgramRecord heaviest(const ProgramRecord& base) {
    ProgramRecord r = dynamics(saturated(multitap(chorus(base)), 0));
    r.setU(word::flags, r.u(word::flags) | flag::filtersBeforeOutput);
    r.setF(word::halfLife, 600.0f);
    r.setF(word::inverter, 900.0f);
    r.setF(word::midCenter, 400.0f);
    r.setF(word::midQ, 0.7f);
    r.setF(word::midStretch, 1.6f);
    for (int lfoBase : {word::lfo1, word::lfo2}) {
        r.setF(lfoBase + lfo::decayDepth, 20.0f);
        r.setF(lfoBase + lfo::levelDepth, 10.0f);
        r.setF(lfoBase + lfo::inverterDepth, 0.5f);
    }
    r.setF(word::envDelayDepth, 0.5f);
    r.setF(word::envInverterDepth, 1.0f);
    return r;
}

}  // namespace

std::vector<BenchProgram> benchPrograms() {
    ProgramRecord init = loadResourceProgram("Init.fxp");
    ProgramRecord standard = loadResourceProgram("Ridiva ra dez Urerozidu.fxp");
    return {
        {"Init", init},
        {"Default", standard},
        {"LongHall", longHall(standard)},
        {"Chorus", chorus(standard)},
        {"Multitap", multitap(standard)},
        {"SaturatorL", saturated(standard, 0)},
        {"SaturatorN", saturated(standard, 1)},
        {"SaturatorH", saturated(standard, 2)},
        {"Dynamics", dynamics(standard)},
        {"Heaviest", heaviest(standard)},
    };
}

}  // namespace tarsk::bench
