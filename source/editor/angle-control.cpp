// The angle control shared by the Matrix and I/O pages.
#include "editor/angle-control.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "editor/editor.h"
#include "tarsklib/ui-number-format.h"

namespace tarsk {

namespace {

constexpr float kHalfTurn = 180.0f;
constexpr float kLastStop = kHalfTurn - kAngleStep;  // 165
constexpr float kAfterWrap = -kHalfTurn + 2.0f * kAngleStep;  // -150
constexpr int kAngleDecimals = 1;

constexpr uint32_t kLeftArrow = 0x2190;
constexpr uint32_t kRightArrow = 0x2192;

UiRect centred(float x, float y, float width, float height) { return UiRect{x, y, width * 0.5f, height * 0.5f}; }

// A small arrow head pointing left (direction -1) or right (+1) in the middle of a button.
void drawArrow(Editor& editor, const UiRect& button, float direction) {
    const UiGroup* g = editor.group();
    const float cx = button.cx + (g != nullptr ? g->originX : 0.0f);
    const float cy = button.cy + (g != nullptr ? g->originY : 0.0f);
    const float half = 0.18f * editor.unit();
    DrawList& list = editor.drawList();
    list.fillTriangle(UiPoint{cx + direction * half, cy}, UiPoint{cx - direction * half, cy + half},
                      UiPoint{cx - direction * half, cy - half}, uiPalette().text[0]);
}

}  // namespace

float angleStepDown(float degrees) {
    if (degrees <= -kHalfTurn + kAngleStepSlack) {
        return kLastStop;
    }
    return std::floor((degrees - kAngleStepSlack) / kAngleStep) * kAngleStep;
}

float angleStepUp(float degrees) {
    if (degrees > kHalfTurn - kAngleStepSlack) {
        return kAfterWrap;
    }
    if (degrees > kLastStop - kAngleStepSlack) {
        return -kHalfTurn;
    }
    return std::ceil((degrees + kAngleStepSlack) / kAngleStep) * kAngleStep;
}

void formatSigned(char* out, size_t size, float value, int decimals) {
    if (out == nullptr || size == 0) {
        return;
    }
    // Round first, so that a value that rounds to zero shows no minus sign.
    const double magnitude = std::fabs(static_cast<double>(value));
    char digits[32];
    std::snprintf(digits, sizeof(digits), "%.*f", decimals, magnitude);
    const double shown = std::atof(digits);
    const bool negative = value < 0.0f && shown != 0.0;
    std::snprintf(out, size, "%s%s", negative ? "&minus;" : "", digits);
}

void formatAngle(char* out, size_t size, float degrees) {
    char number[40];
    formatSigned(number, sizeof(number), degrees, kAngleDecimals);
    std::snprintf(out, size, "%s&deg;", number);
}

float angleControl(Editor& editor, uint32_t id, float x, float y, float degrees) {
    const float u = editor.unit();
    char text[48];
    formatAngle(text, sizeof(text), degrees);
    editor.useStyle(kStylePlain);
    // The text has no conversion of its own, so the box shows it as it stands.
    float value = editor.valueBox(id + kAngleBoxId, centred(x, y, 3.0f * u, u), text, 14.0f, -kHalfTurn, kHalfTurn,
                                  degrees, kValueBoxCyclic, kAlignCentre);
    // A face without the arrows (the sans family has none) gets them drawn as triangles.
    const UiFontmap* face = editor.style().font;
    const bool arrowGlyphs = face != nullptr && face->findGlyph(kLeftArrow) != nullptr &&
                             face->findGlyph(kRightArrow) != nullptr;
    const UiRect down = centred(x - 1.875f * u, y, 0.75f * u, u);
    const UiRect up = centred(x + 1.875f * u, y, 0.75f * u, u);
    if (editor.button(id + kAngleDownId, down, arrowGlyphs ? "&larr;" : "", 10.0f, 0, kAlignCentre)) {
        value = angleStepDown(degrees);
    }
    if (editor.button(id + kAngleUpId, up, arrowGlyphs ? "&rarr;" : "", 10.0f, 0, kAlignCentre)) {
        value = angleStepUp(degrees);
    }
    if (!arrowGlyphs) {
        drawArrow(editor, down, -1.0f);
        drawArrow(editor, up, 1.0f);
    }
    return value;
}

}  // namespace tarsk
