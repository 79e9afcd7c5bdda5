// The figures of the Info page: version numbers as text, and the processing power the engine shows
// from its published load figures.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/engine-state.h"

namespace tarsk {

// A version number as text: 2400 -> "2.4", 2410 -> "2.4.10", 12 -> "12.0" (numbers up to 99 are majors,
// then thousands are majors, hundreds minors and the rest the patch level, shown when not 0).
// Answers the length snprintf gave.
int formatVersion(int32_t version, char* buffer, size_t capacity);

// Floating-point operations one sample costs in the network a structure word describes.
uint32_t operationsPerSample(uint32_t structureWord);

// The processing power in Gflop/s while the engine runs: operations per sample times the samples of the
// last meter interval, over the busy time of that interval (load x interval). 0 without a report.
double gigaflopsPerSecond(const LoadFigures& figures, double meterSeconds);

}  // namespace tarsk
