// The shared page backdrop, title and divider.
#include "editor/page-frame.h"

#include <cmath>

#include "editor/editor.h"

namespace tarsk {

namespace {

constexpr float kGammaEncode = 0.4545f;
// Linear grey levels of the page gradient, bottom and top, and their weights in the background colour.
constexpr float kBackdropBottomGrey = 0.011f;
constexpr float kBackdropTopGrey = 0.002f;
constexpr float kBackgroundBottomWeight = 0.85f;
constexpr float kBackgroundTopWeight = 0.15f;
constexpr float kTitleSize = 12.0f;

UiColour encodedGrey(float linear) {
    float level = std::pow(linear, kGammaEncode);
    return UiColour{level, level, level, 1.0f};
}

}  // namespace

void drawPageBackdrop(Editor& editor) {
    const UiColour bottom = encodedGrey(kBackdropBottomGrey);
    const UiColour top = encodedGrey(kBackdropTopGrey);
    editor.gradientBox(0, edgeBox(0.0f, 0.0f, editor.windowWidth(), editor.contentHeight()), bottom, top);
    UiColour& background = editor.background();
    background.r = kBackgroundBottomWeight * bottom.r + kBackgroundTopWeight * top.r;
    background.g = kBackgroundBottomWeight * bottom.g + kBackgroundTopWeight * top.g;
    background.b = kBackgroundBottomWeight * bottom.b + kBackgroundTopWeight * top.b;
    background.a = 1.0f;
}

void drawPageDivider(Editor& editor, const UiRect& rect) {
    UiRect placed = rect;
    if (const UiGroup* group = editor.group()) {
        placed.cx += group->originX;
        placed.cy += group->originY;
    }
    editor.divider(placed);
}

void drawPageTitle(Editor& editor, const char* title) {
    const float u = editor.unit();
    editor.useStyle(kStylePlain);
    editor.setFont(editor.font(kFaceBold));
    editor.label(0, edgeBox(3.0f * u, 10.5f * u, 12.0f * u, 11.5f * u), title, kTitleSize, kAlignLeft);
    drawPageDivider(editor, edgeBox(3.0f * u, 10.25f * u, editor.windowWidth() - 3.0f * u, 10.3f * u));
    editor.useStyle(kStylePlain);
}

}  // namespace tarsk
