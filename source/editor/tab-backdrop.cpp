// The Editor tabs' backdrop and the angle control.
#include "editor/tab-backdrop.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "editor/editor.h"
#include "tarsklib/ui-fontmap.h"
#include "tarsklib/ui-number-format.h"

namespace tarsk {

namespace {

constexpr float kGammaEncode = 0.4545f;
constexpr float kBackgroundFirstShare = 0.85f;
constexpr float kAngleStep = 15.0f;
constexpr float kAnglePassOver = 0.05f;   // a multiple this close is passed over
constexpr float kAngleLowest = -180.0f;
constexpr float kAngleHighest = 180.0f;
constexpr float kAngleWrapDown = 165.0f;  // "&larr;" from -180
constexpr float kAngleFromTop = -150.0f;  // "&rarr;" from above 179.95
constexpr uint32_t kAngleBoxId = 0x10000;
constexpr uint32_t kAngleDownId = 0x20000;
constexpr uint32_t kAngleUpId = 0x30000;

constexpr uint32_t kLeftArrow = 0x2190;
constexpr uint32_t kRightArrow = 0x2192;
constexpr float kArrowHalfUnits = 0.18f;

// A small arrow head pointing left (direction -1) or right (+1) in the middle of a button.
void drawArrowHead(Editor& editor, const UiRect& button, float direction) {
    const UiRect r = inWindow(editor, button);
    const float half = kArrowHalfUnits * editor.unit();
    editor.drawList().fillTriangle(UiPoint{r.cx + direction * half, r.cy}, UiPoint{r.cx - direction * half, r.cy + half},
                                   UiPoint{r.cx - direction * half, r.cy - half}, uiPalette().text[0]);
}

UiColour encoded(const UiColour& c) {
    return UiColour{std::pow(c.r, kGammaEncode), std::pow(c.g, kGammaEncode), std::pow(c.b, kGammaEncode), c.a};
}

}  // namespace

UiRect inWindow(const Editor& editor, const UiRect& rect) {
    const UiGroup* g = editor.group();
    return g == nullptr ? rect : UiRect{rect.cx + g->originX, rect.cy + g->originY, rect.hw, rect.hh};
}

UiPoint inWindow(const Editor& editor, UiPoint point) {
    const UiGroup* g = editor.group();
    return g == nullptr ? point : UiPoint{point.x + g->originX, point.y + g->originY};
}

void drawTabBackdrop(Editor& editor) {
    const float u = editor.unit();
    const UiColour first = encoded(kTabBackdropFirst);
    const UiColour second = encoded(kTabBackdropSecond);
    const float width = editor.windowWidth();
    editor.gradientBox(0, centredRect(0.5f * width, 6.0f * u, width, 12.0f * u), second, first);
    const float a = kBackgroundFirstShare;
    const float b = 1.0f - kBackgroundFirstShare;
    editor.background() = UiColour{a * first.r + b * second.r, a * first.g + b * second.g, a * first.b + b * second.b, 1.0f};
}

float angleStepDown(float degrees) {
    if (!(degrees > kAngleLowest + kAnglePassOver)) {
        return kAngleWrapDown;
    }
    const float k = std::ceil((degrees - kAnglePassOver) / kAngleStep) - 1.0f;
    return k * kAngleStep;
}

float angleStepUp(float degrees) {
    if (degrees > kAngleHighest - kAnglePassOver) {
        return kAngleFromTop;
    }
    if (degrees > kAngleWrapDown - kAnglePassOver) {
        return kAngleLowest;
    }
    if (!(degrees >= kAngleLowest)) {
        return kAngleLowest + kAngleStep;  // below the range (or not a number): the first step up
    }
    const float k = std::floor((degrees + kAnglePassOver) / kAngleStep) + 1.0f;
    return k * kAngleStep;
}

void formatAngle(char* out, unsigned size, float degrees) {
    const float magnitude = std::fabs(degrees);
    // A value that rounds to 0.0 shows no sign.
    const bool negative = degrees < 0.0f && magnitude >= 0.05f;
    std::snprintf(out, size, "%s%.1f&deg;", negative ? "&minus;" : "", static_cast<double>(magnitude));
}

float angleControl(Editor& editor, uint32_t id, float x, float y, float degrees) {
    const float u = editor.unit();
    char text[kValueBoxTextSize];
    formatAngle(text, sizeof text, degrees);
    // The text holds no conversion, so the value box shows it as it stands.
    float value = editor.valueBox(id + kAngleBoxId, centredRect(x, y, 3.0f * u, u), text, 14.0f, kAngleLowest,
                                  kAngleHighest, degrees, kValueBoxCyclic, kAlignCentre);
    // A face without the arrows (the sans family has none) gets them drawn as small triangles.
    const UiFontmap* face = editor.style().font;
    const bool arrowGlyphs =
        face != nullptr && face->findGlyph(kLeftArrow) != nullptr && face->findGlyph(kRightArrow) != nullptr;
    const UiRect down = centredRect(x - 2.0f * u, y, u, u);
    const UiRect up = centredRect(x + 2.0f * u, y, u, u);
    if (editor.button(id + kAngleDownId, down, arrowGlyphs ? "&larr;" : "", 10.0f, 0, kAlignCentre)) {
        value = angleStepDown(value);
    }
    if (editor.button(id + kAngleUpId, up, arrowGlyphs ? "&rarr;" : "", 10.0f, 0, kAlignCentre)) {
        value = angleStepUp(value);
    }
    if (!arrowGlyphs) {
        drawArrowHead(editor, down, -1.0f);
        drawArrowHead(editor, up, 1.0f);
    }
    return value;
}

}  // namespace tarsk
