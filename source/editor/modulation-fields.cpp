// The Modulation page's field views and write-backs.
#include "editor/modulation-fields.h"

#include <cmath>

#include "tarsklib/ui-number-format.h"

namespace tarsk {

namespace {

constexpr const char* kShapeLabels[kLfoShapeCount] = {"Sine", "Triangle", "RampUp", "RampDown",
                                                       "Square", "S&amp;H", "Noise"};

constexpr const char* kFactorFormat = "$&times;";
constexpr const char* kPercentFormat = "$%";
constexpr float kEnvDelayFactorMin = 0.0001f, kEnvDelayFactorMax = 100.0f;
constexpr float kEnvDelayPercentMin = 0.01f, kEnvDelayPercentMax = 10000.0f;
constexpr float kInverterDepthMin = 0.1f, kInverterDepthMax = 1000.0f;

constexpr const char* kGateFormat = "%1.1f : 1";
constexpr const char* kDuckFormat = "1 : %1.1f";
constexpr float kGateMax = 15.0f;
constexpr float kDuckMax = 30.0f;

constexpr const char* kSupportFormat = "%1.1f %%";
constexpr float kSupportMin = 0.1f, kSupportMax = 100.0f;

constexpr const char* kGainFormat = "%1.1f dB";
constexpr float kGainMinDb = -60.0f, kGainMaxDb = 60.0f;
constexpr float kDbPerDecade = 20.0f;
constexpr float kDecadesPerDb = 0.05f;

float withSignOf(float value, float magnitude) { return value < 0.0f ? -magnitude : magnitude; }

}  // namespace

const char* lfoShapeLabel(uint32_t shape) { return shape < kLfoShapeCount ? kShapeLabels[shape] : "?"; }

uint32_t stepLfoShape(uint32_t shape, int step) {
    const int32_t n = kLfoShapeCount;
    const int32_t from = static_cast<int32_t>(shape % static_cast<uint32_t>(n));
    return static_cast<uint32_t>(((from + step) % n + n) % n);
}

bool lfo2Follows(const ProgramRecord& record) { return record.f(word::lfo2 + lfo::period) < 0.0f; }

int periodWordShown(const ProgramRecord& record, int lfoIndex) {
    if (lfoIndex == 1 && !lfo2Follows(record)) {
        return word::lfo2 + lfo::period;
    }
    return word::lfo1 + lfo::period;
}

float spreadDegrees(float spread) { return spread * kSpreadToDegrees; }
float spreadFromDegrees(float degrees) { return degrees * kDegreesToSpread; }

BoxView envDelayView(float value) {
    const float magnitude = std::fabs(value);
    if (magnitude > kEnvDelayTimesLimit) {
        return {magnitude / kEnvDelayTimesLimit, kFactorFormat, kEnvDelayFactorMin, kEnvDelayFactorMax,
                kValueBoxLogarithmicOff};
    }
    return {magnitude, kPercentFormat, kEnvDelayPercentMin, kEnvDelayPercentMax, kValueBoxLogarithmicOff};
}

float envDelayFromBox(float value, float result) {
    const bool factor = std::fabs(value) > kEnvDelayTimesLimit;
    return withSignOf(value, factor ? result * kEnvDelayTimesLimit : result);
}

BoxView envInverterView(float value) {
    return {std::fabs(value), kFactorFormat, kInverterDepthMin, kInverterDepthMax, kValueBoxLogarithmicOff};
}

float envInverterFromBox(float value, float result) { return withSignOf(value, result); }

float flipSign(float value) { return value == 0.0f ? value : -value; }

BoxView ratioView(float ratio, RatioBox which) {
    if (ratio > 0.0f && ratio < 1.0f) {
        const uint32_t mapping = which == RatioBox::slope ? kValueBoxLogarithmic : kValueBoxLogarithmicOff;
        return {1.0f / ratio, kGateFormat, 1.0f, kGateMax, mapping};
    }
    const float shown = ratio >= 1.0f ? ratio : 1.0f;  // not positive (or not a number): plays as 1
    return {shown, kDuckFormat, 1.0f, kDuckMax, kValueBoxLogarithmic};
}

float ratioFromBox(float ratio, float result) {
    if (ratio > 0.0f && ratio < 1.0f) {
        return result > 0.0f ? 1.0f / result : ratio;
    }
    return result;
}

bool duckSelected(float ratio) { return ratio > 1.0f; }
bool gateSelected(float ratio) { return ratio > 0.0f && ratio < 1.0f; }
float pressDuck(float ratio) { return gateSelected(ratio) ? 1.0f / ratio : ratio; }
float pressGate(float ratio) { return duckSelected(ratio) ? 1.0f / ratio : ratio; }

BoxView supportView(float support) {
    return {support * kPercentPerUnit, kSupportFormat, kSupportMin, kSupportMax, kValueBoxLogarithmicOff};
}

float supportFromBox(float result) { return result / kPercentPerUnit; }

BoxView outGainView(float gain) {
    return {kDbPerDecade * std::log10(gain), kGainFormat, kGainMinDb, kGainMaxDb, kValueBoxLinear};
}

float outGainFromDb(float db) { return std::pow(10.0f, db * kDecadesPerDb); }

}  // namespace tarsk
