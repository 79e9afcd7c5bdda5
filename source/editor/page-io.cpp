// The I/O page: how the stereo input feeds each line (input vectors) and how each line feeds the stereo
// output (output vectors), as arrows in a stereo-field display and as angle and length controls.
#include "editor/page-io.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "editor/editor-pages.h"
#include "editor/editor.h"
#include "editor/tab-backdrop.h"
#include "tarsklib/ui-number-format.h"

namespace tarsk {

namespace {

constexpr uint32_t kGroupTabs = 4096;
constexpr uint32_t kGroupBody = 8192;
constexpr int kVectorLines = 4;
constexpr uint32_t kIdsPerLine = 3;  // handle, angle control, length box

constexpr float kRadiansPerDegree = 0.017453292f;
constexpr float kDegreesPerRadian = 57.29578f;
constexpr float kHandleRadius = 5.0f;  // negative for input vectors: their arrows point inwards
constexpr float kLengthMin = 0.01f;
constexpr float kLengthMax = 1.0f;
constexpr int kLengthDecimals = 3;

// The stereo-field display, in units of the content area.
constexpr float kFieldX = 23.5f;
constexpr float kFieldY = 6.25f;
constexpr float kFieldRadius = 3.5f;
constexpr int kCircleSegments = 72;

constexpr UiColour kCircle{0.75f, 0.75f, 0.78f, 0.9f};
constexpr UiColour kAxis{0.75f, 0.75f, 0.78f, 0.45f};
constexpr UiColour kDiagonal{0.75f, 0.75f, 0.78f, 0.25f};
constexpr UiColour kFieldFill{0.0f, 0.0f, 0.0f, 0.25f};
constexpr UiColour kClear{0.0f, 0.0f, 0.0f, 0.0f};
constexpr UiColour kBlack{0.0f, 0.0f, 0.0f, 1.0f};
// One colour per line, for the marks at the arrow tips and the row captions.
constexpr UiColour kLineColours[kVectorLines] = {
    {1.0f, 0.63f, 0.34f, 1.0f},
    {0.45f, 0.9f, 0.45f, 1.0f},
    {0.35f, 0.75f, 1.0f, 1.0f},
    {1.0f, 0.45f, 0.75f, 1.0f},
};
constexpr const char* kLineNames[kVectorLines] = {"1", "2", "3", "4"};

// Channel labels around the display: angle in the stereo field and text.
struct FieldLabel {
    float degrees;
    const char* text;
};
constexpr FieldLabel kFieldLabels[] = {
    {0.0f, "center"},  {45.0f, "R"},          {90.0f, "side"},       {135.0f, "&minus;L"},
    {180.0f, "&minus;center"}, {-135.0f, "&minus;R"}, {-90.0f, "&minus;side"}, {-45.0f, "L"},
};

UiRect centred(float x, float y, float width, float height) { return UiRect{x, y, width * 0.5f, height * 0.5f}; }

void drawField(Editor& editor) {
    const float u = editor.unit();
    const UiGroup* g = editor.group();
    const float cx = (g != nullptr ? g->originX : 0.0f) + kFieldX * u;
    const float cy = (g != nullptr ? g->originY : 0.0f) + kFieldY * u;
    const float r = kFieldRadius * u;
    DrawList& list = editor.drawList();
    list.setLayer(list.layer() - 1);  // the fill under the circle and the arrows
    list.fillRect(UiRect{cx, cy, r, r}, kFieldFill);
    list.setLayer(list.nextLayer());
    UiPoint previous{cx + r, cy};
    for (int s = 1; s <= kCircleSegments; ++s) {
        const float a = 2.0f * 3.14159265f * static_cast<float>(s) / static_cast<float>(kCircleSegments);
        const UiPoint next{cx + r * std::cos(a), cy + r * std::sin(a)};
        list.line(previous, next, kCircle);
        previous = next;
    }
    list.line(UiPoint{cx - r, cy}, UiPoint{cx + r, cy}, kAxis);
    list.line(UiPoint{cx, cy - r}, UiPoint{cx, cy + r}, kAxis);
    const float d = r * kStereoHalfRoot;
    list.line(UiPoint{cx - d, cy - d}, UiPoint{cx + d, cy + d}, kDiagonal);
    list.line(UiPoint{cx - d, cy + d}, UiPoint{cx + d, cy - d}, kDiagonal);

    const UiFontmap* micr = editor.font(kFaceMicr);
    const float labelRadius = r + 0.55f * u;
    for (const FieldLabel& label : kFieldLabels) {
        const float a = label.degrees * kRadiansPerDegree;
        const float x = cx + labelRadius * std::cos(a);
        const float y = cy + labelRadius * std::sin(a);
        editor.drawText(micr, label.text, kClear, kCircle, kBlack, x - 1.5f * u, y - 0.5f * u, 3.0f * u, u,
                        10.0f * editor.displayScale(), kAlignCentre);
    }
}

void drawTabs(Editor& editor) {
    const float u = editor.unit();
    int32_t& tab = editor.viewWord(kViewIoTab);
    editor.pushGroup(kGroupTabs, UiPoint{0.0f, 0.0f});
    editor.useStyle(kStylePlain);
    editor.setFont(editor.font(kFaceBold));
    editor.button(1, centred(5.75f * u, 11.0f * u, 5.5f * u, u), "Input vectors", 12.0f, tab == kIoInputTab ? 1 : 0,
                  kAlignCentre);
    editor.button(2, centred(11.25f * u, 11.0f * u, 5.5f * u, u), "Output vectors", 12.0f,
                  tab == kIoOutputTab ? 1 : 0, kAlignCentre);
    const UiGroup* g = editor.group();  // the divider takes window coordinates
    editor.divider(UiRect{(g != nullptr ? g->originX : 0.0f) + 13.0f * u,
                          (g != nullptr ? g->originY : 0.0f) + 10.5f * u - 0.5f, 10.0f * u, 0.5f});
    const uint32_t chosen = editor.popGroup();
    if (chosen != 0) {
        tab = static_cast<int32_t>(chosen);
    }
}

void drawVectors(Editor& editor, bool input) {
    const float u = editor.unit();
    ProgramRecord& record = editor.program();
    const int first = input ? word::inputVectors : word::outputVectors;
    const UiRect field = centred(kFieldX * u, kFieldY * u, 2.0f * kFieldRadius * u, 2.0f * kFieldRadius * u);

    editor.pushGroup(kGroupBody, UiPoint{0.0f, 0.0f});
    const UiGroup* g = editor.group();
    const float ox = g != nullptr ? g->originX : 0.0f;
    const float oy = g != nullptr ? g->originY : 0.0f;
    editor.useStyle(kStylePlain);
    editor.label(0, centred(5.0f * u, 9.75f * u, 3.0f * u, u), "angle", 12.0f, kAlignCentre);
    editor.label(0, centred(8.75f * u, 9.75f * u, 2.0f * u, u), "length", 12.0f, kAlignCentre);

    for (int i = 0; i < kVectorLines; ++i) {
        const uint32_t base = 1 + kIdsPerLine * static_cast<uint32_t>(i);
        const int at = first + 2 * i;
        const float left = record.f(at);
        const float right = record.f(at + 1);
        const UiPoint stored{(left + right) * kStereoHalfRoot, (right - left) * kStereoHalfRoot};

        const UiPoint point =
            editor.xyHandle(base, field, stored, input ? -kHandleRadius : kHandleRadius, 1.0f, kHandleArrow);
        const float length = std::sqrt(point.x * point.x + point.y * point.y);
        StereoPolar polar{std::atan2(point.y, point.x) * kDegreesPerRadian, length};

        // The line's mark just beyond the arrow tip.
        const float tipX = ox + field.cx + point.x * field.hw;
        const float tipY = oy + field.cy + point.y * field.hh;
        const float along = length > 0.0f ? 0.45f * u / length : 0.0f;
        editor.drawText(editor.font(kFaceMicr), kLineNames[i], kClear, kLineColours[i], kBlack,
                        tipX + point.x * along - 0.5f * u, tipY + point.y * along - 0.5f * u, u, u,
                        10.0f * editor.displayScale(), kAlignCentre);

        const float y = (static_cast<float>(3 - i) * 1.5f + 3.5f) * u;
        editor.drawText(editor.font(kFaceMicr), kLineNames[i], kClear, kLineColours[i], kBlack,
                        ox + 10.25f * u, oy + y - 0.5f * u, u, u, 12.0f * editor.displayScale(), kAlignCentre);
        polar.degrees = angleControl(editor, base + 1, 5.0f * u, y, polar.degrees);

        char text[40];
        formatVectorLength(text, sizeof(text), polar.length);
        editor.useStyle(kStylePlain);
        polar.length = editor.valueBox(base + 2, centred(8.75f * u, y, 2.0f * u, u), text, 14.0f, kLengthMin,
                                       kLengthMax, polar.length, kValueBoxLogarithmicOff, kAlignCentre);

        float newLeft = 0.0f;
        float newRight = 0.0f;
        stereoVector(polar, newLeft, newRight);
        storeVector(record, at, newLeft, newRight);
    }
    if (editor.popGroup() != 0) {
        editor.markChanged(kChangeCook);
    }
}

}  // namespace

void formatVectorLength(char* out, size_t size, float length) {
    if (out == nullptr || size == 0) {
        return;
    }
    char digits[32];
    std::snprintf(digits, sizeof(digits), "%.*f", kLengthDecimals, std::fabs(static_cast<double>(length)));
    // A value that rounds to zero shows no sign.
    const bool negative = length < 0.0f && std::atof(digits) != 0.0;
    std::snprintf(out, size, "%s%s", negative ? "&minus;" : "", digits);
}

StereoPolar stereoPolar(float left, float right) {
    const float x = (left + right) * kStereoHalfRoot;
    const float y = (right - left) * kStereoHalfRoot;
    return StereoPolar{std::atan2(y, x) * kDegreesPerRadian, std::sqrt(x * x + y * y)};
}

void stereoVector(const StereoPolar& polar, float& left, float& right) {
    const float a = polar.degrees * kRadiansPerDegree;
    const float x = polar.length * std::cos(a);
    const float y = polar.length * std::sin(a);
    left = (x - y) * kStereoHalfRoot;
    right = (x + y) * kStereoHalfRoot;
}

bool storeVector(ProgramRecord& record, int first, float left, float right) {
    const float oldLeft = record.f(first);
    const float oldRight = record.f(first + 1);
    const float dl = left - oldLeft;
    const float dr = right - oldRight;
    const float moved = std::sqrt(dl * dl + dr * dr);
    const float stored = std::sqrt(oldLeft * oldLeft + oldRight * oldRight);
    if (!(moved > kVectorDriftGuard * stored)) {
        return false;
    }
    record.setF(first, left);
    record.setF(first + 1, right);
    return true;
}

void drawIoPage(Editor& editor) {
    // The background and the field's fill in the page's layer; lines and widgets one layer up, since a
    // layer draws its lines before its filled shapes.
    DrawList& list = editor.drawList();
    const int32_t base = list.layer();
    drawTabBackdrop(editor);
    list.setLayer(base + 1);
    drawField(editor);
    drawTabs(editor);
    const int32_t tab = editor.viewWord(kViewIoTab);
    if (tab == kIoInputTab || tab == kIoOutputTab) {
        drawVectors(editor, tab == kIoInputTab);
    }
    list.setLayer(base);
}

}  // namespace tarsk
