// Small numeric helpers shared by cooking and the control-period update: finite readings of record
// fields and float stores that can never hold a NaN or an infinity.
#pragma once

#include <algorithm>
#include <cmath>

#include "engine/program-record.h"

namespace tarsk {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;
// Largest magnitude a cooked coefficient may take; keeps products of absurd settings finite in float.
constexpr double kCoefficientLimit = 1.0e30;

// A float field of the record, or `init` when the stored value is a NaN or an infinity: a program
// read from a file may carry anything, and such a field then plays as the Init program has it.
inline double recordValue(const ProgramRecord& record, int word, double init) {
    const float value = record.f(word);
    return std::isfinite(value) ? static_cast<double>(value) : init;
}

// x limited to [lo, hi]; a NaN becomes lo.
inline double clampFinite(double x, double lo, double hi) {
    if (!(x >= lo)) {
        return lo;
    }
    return x > hi ? hi : x;
}

// The float that a coefficient is stored as: finite, within +-kCoefficientLimit, NaN stored as 0.
inline float storeCoef(double x) {
    if (std::isnan(x)) {
        return 0.0f;
    }
    return static_cast<float>(std::clamp(x, -kCoefficientLimit, kCoefficientLimit));
}

// x rounded to the nearest integer (halves upwards), independent of the current rounding mode.
inline double nearest(double x) { return std::floor(x + 0.5); }

}  // namespace tarsk
