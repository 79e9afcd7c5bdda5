// ParamValue: mappings between value and host position, bound variables, value and unit texts.
#include "tarsklib/ui-param-value.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "tarsklib/ui-number-format.h"

namespace tarsk {

namespace {

constexpr double kLog2ToThousands = 0.10034333188799373;  // log10(2) / 3: log2 x times this is log1000 x
constexpr double kSiNudge = 0.0005;
constexpr const char* kOffText = "off";
constexpr const char* kNoEntryText = "n/a";
constexpr const char* kNoValueText = "---";
constexpr double kMaxEntryCount = 65536.0;  // keeps the entry index an int whatever the span

// NaN gives 0 so that a broken value never reaches the host as a position.
float clampUnit(double p) {
    if (!(p > 0.0)) return 0.0f;
    return p < 1.0 ? static_cast<float>(p) : 1.0f;
}

// Truncation toward zero, saturated at the ends of the range (a float beyond them has no int value).
int32_t truncateToInt(float v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483648.0f) return INT32_MAX;
    if (v <= -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(v);
}

}  // namespace

float ParamValue::toPosition(float x) const {
    if (zeroIsOff && x == 0.0f) return 0.0f;
    const double s = span, o = offset;
    const double t = (x - o) / s;
    switch (mappingType) {
    case kParamMappingEntries:
        return clampUnit((x + 0.5 - o) / s);
    case kParamMappingLinear:
        return clampUnit(t);
    case kParamMappingExponential:
        return x > 0.0f ? clampUnit((std::log2(static_cast<double>(x)) - o) / s) : 0.0f;
    case kParamMappingSquare:
        return t > 0.0 ? clampUnit(std::sqrt(t)) : 0.0f;
    case kParamMappingInverseSquare:
        if (!(t > 0.0)) return 0.0f;
        return t < 1.0 ? clampUnit(1.0 - std::sqrt(1.0 - t)) : 1.0f;
    case kParamMappingSmoothStep:
        // The inverse of p^2 (3 - 2p) on 0..1.
        if (!(t > 0.0)) return 0.0f;
        return t < 1.0 ? clampUnit(0.5 + std::sin(std::asin(2.0 * t - 1.0) / 3.0)) : 1.0f;
    default:
        return 0.0f;
    }
}

float ParamValue::fromPosition(float p) const {
    if (zeroIsOff && p == 0.0f) return 0.0f;
    const double q = clampUnit(p);  // hosts send 0..1; anything else is held to it
    const double s = span, o = offset;
    double x;
    switch (mappingType) {
    case kParamMappingEntries:
        x = std::floor(q * s + o);
        break;
    case kParamMappingLinear:
        x = q * s + o;
        break;
    case kParamMappingExponential:
        x = std::exp2(q * s + o);
        break;
    case kParamMappingSquare:
        x = q * q * s + o;
        break;
    case kParamMappingInverseSquare:
        x = (1.0 - (1.0 - q) * (1.0 - q)) * s + o;
        break;
    case kParamMappingSmoothStep:
        x = q * q * (3.0 - 2.0 * q) * s + o;
        break;
    default:
        return 0.0f;
    }
    if (!(x >= lowerLimit)) return lowerLimit;  // also NaN
    if (x > upperLimit) return upperLimit;
    return static_cast<float>(x);
}

void ParamValue::followVariables() {
    if (boundInt) *boundInt = truncateToInt(currentValue);
    if (boundFloat) *boundFloat = currentValue;
    textStale = true;
}

void ParamValue::setValue(float v) {
    currentValue = v;
    currentPosition = toPosition(v);
    followVariables();
}

void ParamValue::setPosition(float p) {
    currentValue = fromPosition(p);
    currentPosition = mappingType == kParamMappingEntries ? toPosition(currentValue) : clampUnit(p);
    followVariables();
}

void ParamValue::syncFromVariables() {
    // Read the float before setting from the integer: that writes the integer's value into the float.
    const bool fromFloat = boundFloat != nullptr;
    const float floatValue = fromFloat ? *boundFloat : 0.0f;
    if (boundInt) setValue(static_cast<float>(*boundInt));
    if (fromFloat) setValue(floatValue);
    textStale = true;
}

void ParamValue::renderTexts() {
    const char* unitName = unit ? unit : "";
    textStale = false;

    if (mappingType == kParamMappingEntries && entryNames) {
        const double index = static_cast<double>(currentValue) - offset;
        const double count = std::min(std::floor(static_cast<double>(span)), kMaxEntryCount);
        // (int)(value - offset) inside 0..count - 1, i.e. index in (-1, count).
        if (index > -1.0 && index < count) {
            const char* entry = entryNames[static_cast<int>(index)];
            std::snprintf(valueBuffer, sizeof valueBuffer, "%.8s", entry ? entry : "");
            std::snprintf(unitBuffer, sizeof unitBuffer, "%.8s", unitName);
        } else {
            std::snprintf(valueBuffer, sizeof valueBuffer, "%s", kNoEntryText);
            std::snprintf(unitBuffer, sizeof unitBuffer, "%s", unitName);
        }
        return;
    }
    if (zeroIsOff && currentValue == 0.0f) {
        std::snprintf(valueBuffer, sizeof valueBuffer, "%s", kOffText);
        unitBuffer[0] = 0;
        return;
    }
    if (siDisplay) {
        const double v = currentValue;
        int e, precision;
        if (splitEngineering(std::log2(v) * kLog2ToThousands + kSiNudge, e, precision)) {
            std::snprintf(valueBuffer, sizeof valueBuffer, mantissaFormat(precision), siMantissa(v, e));
            std::snprintf(unitBuffer, sizeof unitBuffer, "%s%s", siPrefix(e), unitName);
        } else {
            std::snprintf(valueBuffer, sizeof valueBuffer, "%s", kNoValueText);
            std::snprintf(unitBuffer, sizeof unitBuffer, "%s", unitName);
        }
        return;
    }
    formatPrintf(valueBuffer, sizeof valueBuffer, format, currentValue);
    std::snprintf(unitBuffer, sizeof unitBuffer, "%s", unitName);
}

void ParamValue::valueText(char* out) {
    if (textStale) renderTexts();
    if (out) std::memcpy(out, valueBuffer, std::strlen(valueBuffer) + 1);
}

void ParamValue::unitText(char* out) {
    if (textStale) renderTexts();
    if (out) std::memcpy(out, unitBuffer, std::strlen(unitBuffer) + 1);
}

}  // namespace tarsk
