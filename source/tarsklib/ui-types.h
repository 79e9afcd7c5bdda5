// Geometry and colour types shared by the draw list, the font maps and the immediate-mode widgets.
#pragma once

#include <cstdint>

namespace tarsk {

// A rectangle by centre and half extents, in pixels, y growing upwards.
struct UiRect {
    float cx = 0.0f;
    float cy = 0.0f;
    float hw = 0.0f;
    float hh = 0.0f;

    float left() const { return cx - hw; }
    float right() const { return cx + hw; }
    float bottom() const { return cy - hh; }
    float top() const { return cy + hh; }

    bool operator==(const UiRect&) const = default;
};

// A colour as four floats in 0..1.
struct UiColour {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 0.0f;
};

struct UiPoint {
    float x = 0.0f;
    float y = 0.0f;
};

class UiFontmap;

// The style the widgets draw with, set as a whole.
struct UiStyle {
    const UiFontmap* font = nullptr;
    UiColour background;
    UiColour text;
    UiColour shadow;
    float scale = 1.0f;
};

// Colour to four bytes R, G, B, A: each component clamped to 0..1, times 255, plus 0.5, truncated.
uint32_t packColour(const UiColour& colour);

}  // namespace tarsk
