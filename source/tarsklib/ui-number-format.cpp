// Number box arithmetic and text: mappings, drag steps, wrap, engineering notation, format language.
#include "tarsklib/ui-number-format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace tarsk {

namespace {

constexpr double kEngineeringNudge = 0.0516334;  // takes the next prefix from about 0.7 of it (701 -> 0.701 k)
constexpr double kCyclicBias = 2048.0;           // keeps small negative positions positive before the modulo
constexpr char kLabelListMark = '~';
constexpr const char* kNoPrefixText = " &mdash; ";
constexpr const char* kNoValueText = "---";

// Index e - kSiLowestExponent.
constexpr const char* kPrefixes[] = {"z", "a", "f", "p", "n", "\xC2\xB5", "m", "", "k", "M", "G", "T", "P", "E", "Z"};
constexpr const char* kPrefixesMarkup[] = {"z", "a", "f", "p",       "n", "&micro;", "m", "",
                                           "k", "M", "G", "T",       "P", "E",       "Z"};
constexpr double kThousandPowers[] = {1e21, 1e18, 1e15, 1e12, 1e9,   1e6,   1e3,  1.0,
                                      1e-3, 1e-6, 1e-9, 1e-12, 1e-15, 1e-18, 1e-21};
constexpr const char* kMantissaFormats[] = {"%7.3f", "%7.2f", "%7.1f", "%7.0f"};
constexpr const char* kMantissaPrefixFormats[] = {"%7.3f %s%s", "%7.2f %s%s", "%7.1f %s%s"};
constexpr const char* kMantissaUnitFormats[] = {"%7.3f %s", "%7.2f %s", "%7.1f %s", "%7.0f %s"};
constexpr int kPrecisionCount = 4;

bool validExponent(int e) { return e >= kSiLowestExponent && e <= kSiHighestExponent; }

// The logarithmic mappings need both limits above 0 and apart; otherwise the box works linearly.
bool usableLogRange(float min, float max, uint32_t mapping) {
    return (mapping == kValueBoxLogarithmic || mapping == kValueBoxLogarithmicOff) && min > 0.0f && max > 0.0f &&
           min != max;
}

void copyText(char* out, size_t size, const char* text) {
    if (out && size) std::snprintf(out, size, "%s", text);
}

}  // namespace

// ---- Number box mappings --------------------------------------------------------------------------------

double valueBoxPosition(float value, float min, float max, uint32_t mapping) {
    double p;
    if (usableLogRange(min, max, mapping)) {
        if (!(value > 0.0f)) return 0.0;
        const double low = std::log2(static_cast<double>(min));
        p = (std::log2(static_cast<double>(value)) - low) * kValueBoxScale / (std::log2(static_cast<double>(max)) - low);
    } else {
        if (min == max) return 0.0;
        p = (static_cast<double>(value) - min) * kValueBoxScale / (static_cast<double>(max) - min);
    }
    return std::isfinite(p) ? p : 0.0;
}

float valueBoxValue(double p, float min, float max, uint32_t mapping) {
    if (mapping == kValueBoxLogarithmicOff && p <= 0.0) return 0.0f;
    double v;
    if (usableLogRange(min, max, mapping)) {
        const double low = std::log2(static_cast<double>(min));
        v = std::exp2(low + (std::log2(static_cast<double>(max)) - low) * p / kValueBoxScale);
    } else {
        v = min + (static_cast<double>(max) - min) * p / kValueBoxScale;
    }
    const double bottom = std::min(min, max), top = std::max(min, max);
    if (!(v >= bottom)) v = bottom;  // also NaN
    if (v > top) v = top;
    return static_cast<float>(v);
}

double valueBoxMove(double p, double delta, uint32_t mapping) {
    double q = p + delta;
    if (!std::isfinite(q)) return 0.0;
    if (mapping == kValueBoxCyclic) {
        q = std::fmod(q + kCyclicBias, kValueBoxScale);
        if (q < 0.0) q += kValueBoxScale;  // more than 2048 below the bottom in one step
        return q;
    }
    return std::clamp(q, 0.0, kValueBoxScale);
}

double valueBoxDelta(double steps, bool ctrl, bool alt) {
    if (alt) return steps / kValueBoxFinestDivisor;
    if (ctrl) return steps / kValueBoxFineDivisor;
    return steps;
}

ValueBoxChange valueBoxApply(float value, float min, float max, uint32_t mapping, double delta) {
    if (delta == 0.0 || !std::isfinite(delta)) return {value, false};
    const double p = valueBoxMove(valueBoxPosition(value, min, max, mapping), delta, mapping);
    const float next = valueBoxValue(p, min, max, mapping);
    return {next, next != value};
}

// ---- Engineering notation ------------------------------------------------------------------------------

const char* siPrefix(int exponent) { return validExponent(exponent) ? kPrefixes[exponent - kSiLowestExponent] : ""; }

const char* siPrefixMarkup(int exponent) {
    return validExponent(exponent) ? kPrefixesMarkup[exponent - kSiLowestExponent] : "";
}

double siMantissa(double value, int exponent) {
    return validExponent(exponent) ? value * kThousandPowers[exponent - kSiLowestExponent] : value;
}

const char* mantissaFormat(int precisionIndex) {
    return kMantissaFormats[std::clamp(precisionIndex, 0, kPrecisionCount - 1)];
}

bool splitEngineering(double t, int& exponent, int& precisionIndex) {
    if (!std::isfinite(t)) return false;
    const double e = std::floor(t);
    if (e < kSiLowestExponent || e > kSiHighestExponent) return false;
    exponent = static_cast<int>(e);
    precisionIndex = std::clamp(static_cast<int>(3.0 * (t - e)), 0, 2);
    return true;
}

void formatEngineering(char* out, size_t size, float value, const char* unit, bool prefix) {
    if (!out || !size) return;
    if (!unit) unit = "";
    const double v = value;
    const double t = std::log10(v) / 3.0 + kEngineeringNudge;
    if (!prefix) {
        // The number as it is; the precision index int(3t) limited to 0..3 (NaN and -inf give 0).
        const double third = 3.0 * t;
        const int index = third >= 0.0 ? static_cast<int>(std::min(third, 3.0)) : 0;
        std::snprintf(out, size, kMantissaUnitFormats[std::min(index, kPrecisionCount - 1)], v, unit);
        return;
    }
    int e, index;
    if (!splitEngineering(t, e, index)) {
        copyText(out, size, kNoPrefixText);
        return;
    }
    std::snprintf(out, size, kMantissaPrefixFormats[index], siMantissa(v, e), siPrefixMarkup(e), unit);
}

void formatValueAndUnit(float value, const char* unit, char* valueOut, size_t valueSize, char* unitOut,
                        size_t unitSize) {
    if (!unit) unit = "";
    const double v = value;
    int e, index;
    if (!splitEngineering(std::log10(v) / 3.0 + kEngineeringNudge, e, index)) {
        copyText(valueOut, valueSize, kNoValueText);
        copyText(unitOut, unitSize, unit);
        return;
    }
    if (valueOut && valueSize) std::snprintf(valueOut, valueSize, kMantissaFormats[index], siMantissa(v, e));
    if (unitOut && unitSize) std::snprintf(unitOut, unitSize, "%s%s", siPrefixMarkup(e), unit);
}

bool isFloatFormat(const char* format) {
    if (!format) return false;
    int conversions = 0;
    for (const char* c = format; *c; ++c) {
        if (*c != '%') continue;
        ++c;
        if (*c == '%') continue;
        while (*c == '-' || *c == '+' || *c == ' ' || *c == '#' || *c == '0') ++c;
        while (*c >= '0' && *c <= '9') ++c;
        if (*c == '.') {
            ++c;
            while (*c >= '0' && *c <= '9') ++c;
        }
        if (*c == 'l') ++c;  // "%lf" is the same conversion
        if (*c == 0 || !std::strchr("fFeEgGaA", *c)) return false;
        if (++conversions > 1) return false;
    }
    return true;
}

void formatPrintf(char* out, size_t size, const char* format, float value) {
    if (!out || !size) return;
    if (!format) {
        out[0] = 0;
        return;
    }
    if (!isFloatFormat(format)) {
        copyText(out, size, format);
        return;
    }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(out, size, format, static_cast<double>(value));
#pragma GCC diagnostic pop
}

// ---- The number box's format language ------------------------------------------------------------------

const char* labelListEntry(const char* format, int index) {
    if (!format || format[0] != kLabelListMark || index < 0) return nullptr;
    const char* label = format + 1;
    for (int i = 0; i < index; ++i) {
        if (*label == kLabelListMark) return nullptr;
        label += std::strlen(label) + 1;
    }
    return *label == kLabelListMark ? nullptr : label;
}

void formatValueBoxText(const char* format, float value, char* out, size_t size, char* unitOut, size_t unitSize) {
    if (!out || !size) return;
    if (!format) {
        out[0] = 0;
        return;
    }
    switch (format[0]) {
    case '@':
        formatEngineering(out, size, value, format + 1, true);
        return;
    case '$':
        formatEngineering(out, size, value, format + 1, false);
        return;
    case '#':
        formatValueAndUnit(value, format + 1, out, size, unitOut, unitSize);
        return;
    case kLabelListMark: {
        const double rounded = std::floor(static_cast<double>(value) + 0.5);
        // Negative (and NaN) give the first label; an index past any list gives none.
        const int index = rounded >= 0.0 ? static_cast<int>(std::min(rounded, 65536.0)) : 0;
        const char* label = labelListEntry(format, index);
        copyText(out, size, label ? label : "");
        return;
    }
    default:
        formatPrintf(out, size, format, value);
        return;
    }
}

}  // namespace tarsk
