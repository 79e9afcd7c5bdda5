// The placeholder editor view: background, header strip and a key log.
#include "editor/header-placeholder-view.h"

#include "tarsklib/gl-event.h"
#include "tarsklib/gl-root-view.h"

namespace tarsk {

namespace {

constexpr float kBackground[4] = {0.13f, 0.14f, 0.16f, 1.0f};
constexpr float kHeaderUnits = 4.0f;
constexpr int kMetalBands = 8;
constexpr float kMetalDark = 0.46f;
constexpr float kMetalLight = 0.66f;
constexpr float kTitle[4] = {0.93f, 0.48f, 0.10f, 1.0f};  // the product's orange
constexpr float kTitleLeftUnits = 1.0f;
constexpr float kTitleWidthUnits = 6.0f;
constexpr float kTitleMarginUnits = 1.0f;

}  // namespace

HeaderPlaceholderView::HeaderPlaceholderView(GlRootView& r) : root(r) { flags = viewflag::kTakesButtons; }

void HeaderPlaceholderView::draw() {
    PlatformWindow* window = root.platformWindow();
    if (window == nullptr) {
        return;
    }
    GlSurface& surface = window->surface();
    surface.fillRect(0.0f, 0.0f, width(), height(), kBackground);
    // Metal stand-in: horizontal bands of alternating brightness across the bottom 4u.
    float header = kHeaderUnits * unit;
    float band = header / kMetalBands;
    for (int i = 0; i < kMetalBands; ++i) {
        float t = static_cast<float>(i) / (kMetalBands - 1);
        float grey = kMetalDark + (kMetalLight - kMetalDark) * (i % 2 == 0 ? t : 1.0f - t * 0.5f);
        const float colour[4] = {grey, grey, grey * 1.02f, 1.0f};
        surface.fillRect(0.0f, band * static_cast<float>(i), width(), band * static_cast<float>(i + 1), colour);
    }
    // Where the caption-style title goes once text can be drawn.
    surface.fillRect(kTitleLeftUnits * unit, kTitleMarginUnits * unit, (kTitleLeftUnits + kTitleWidthUnits) * unit,
                     header - kTitleMarginUnits * unit, kTitle);
}

bool HeaderPlaceholderView::key(bool /*down*/, uint32_t code) {
    if (keysLogged < kKeyLogEntries) {
        keyLog[keysLogged++] = code;
    }
    return (code & key::kCharacterTag) == key::kCharacterTag;
}

void HeaderPlaceholderView::notify(uint32_t /*code*/) { ++noticeCount; }

void HeaderPlaceholderView::leftButton(bool pressed, float /*x*/, float /*y*/) {
    if (pressed) {
        ++clickCount;
    }
}

}  // namespace tarsk
