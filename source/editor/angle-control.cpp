// The angle control: box, stepping buttons and the angle's text.
#include "editor/angle-control.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "editor/editor.h"
#include "tarsklib/ui-number-format.h"

namespace tarsk {

namespace {

constexpr float kAngleMin = -180.0f;
constexpr float kAngleMax = 180.0f;
constexpr float kWrapDownFrom = -179.95f;   // at or below: "&larr;" wraps to 165
constexpr float kWrapDownTo = 165.0f;
constexpr float kWrapUpFrom = 164.95f;      // above: "&rarr;" wraps to -180
constexpr float kWrapUpTo = -180.0f;
constexpr float kPastTopFrom = 179.95f;     // above: "&rarr;" steps to -150
constexpr float kPastTopTo = -150.0f;
constexpr float kBoxWidthUnits = 3.0f;
constexpr float kButtonWidthUnits = 0.75f;
constexpr float kBoxTextSize = 14.0f;
constexpr float kButtonTextSize = 10.0f;

}  // namespace

void formatAngle(float degrees, char* out, size_t size) {
    if (out == nullptr || size == 0) {
        return;
    }
    char number[kValueBoxTextSize];
    const float magnitude = std::fabs(degrees);
    if (magnitude == 0.0f || !std::isfinite(magnitude)) {
        std::snprintf(number, sizeof number, "%s", "0.000");
    } else {
        formatEngineering(number, sizeof number, magnitude, "", false);
    }
    const char* digits = number;
    while (*digits == ' ') {
        ++digits;
    }
    size_t length = std::strlen(digits);
    while (length > 0 && digits[length - 1] == ' ') {
        --length;  // the unit's separating space
    }
    std::snprintf(out, size, "%s%.*s&deg;", degrees < 0.0f ? "&minus;" : "", static_cast<int>(length), digits);
}

float angleStepDown(float degrees) {
    if (degrees <= kWrapDownFrom) {
        return kWrapDownTo;
    }
    return kAngleStep * std::ceil((degrees - kAngleTolerance) / kAngleStep) - kAngleStep;
}

float angleStepUp(float degrees) {
    if (degrees > kPastTopFrom) {
        return kPastTopTo;
    }
    if (degrees > kWrapUpFrom) {
        return kWrapUpTo;
    }
    return kAngleStep * std::floor((degrees + kAngleTolerance) / kAngleStep) + kAngleStep;
}

float angleControl(Editor& editor, uint32_t id, float x, float y, float degrees) {
    const float u = editor.unit();
    // The box shows the text as a format without conversions, which the box prints as it stands.
    char text[kValueBoxTextSize];
    formatAngle(degrees, text, sizeof text);
    const float boxHalf = 0.5f * kBoxWidthUnits * u;
    const float buttonHalf = 0.5f * kButtonWidthUnits * u;
    float angle = editor.valueBox(id + kAngleBoxId, UiRect{x, y, boxHalf, 0.5f * u}, text, kBoxTextSize, kAngleMin,
                                  kAngleMax, degrees, kValueBoxCyclic, kAlignCentre);
    if (editor.button(id + kAngleDownId, UiRect{x - boxHalf - buttonHalf, y, buttonHalf, 0.5f * u}, "&larr;",
                      kButtonTextSize, 0, kAlignCentre)) {
        angle = angleStepDown(angle);
    }
    if (editor.button(id + kAngleUpId, UiRect{x + boxHalf + buttonHalf, y, buttonHalf, 0.5f * u}, "&rarr;",
                      kButtonTextSize, 0, kAlignCentre)) {
        angle = angleStepUp(angle);
    }
    return angle;
}

}  // namespace tarsk
