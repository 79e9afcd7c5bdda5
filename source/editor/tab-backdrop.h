// What the Matrix and Filter tabs share: the content area's backdrop gradient (which also sets the
// page background colour), page coordinates to window pixels, and the angle control.
#pragma once

#include <cstdint>

#include "tarsklib/ui-types.h"

namespace tarsk {

class Editor;

// Linear colours of the Editor tabs' backdrop: the first at the top, the second at the bottom.
constexpr UiColour kTabBackdropFirst{0.01f, 0.033f, 0.082f, 1.0f};
constexpr UiColour kTabBackdropSecond{0.002f, 0.002f, 0.002f, 1.0f};

// Fills the content area (window width x 12u) with the vertical gradient and stores
// 0.85 x first + 0.15 x second (both gamma-encoded) as the page background colour.
void drawTabBackdrop(Editor& editor);

// A rectangle given by its centre and size.
inline UiRect centredRect(float x, float y, float width, float height) {
    return UiRect{x, y, width * 0.5f, height * 0.5f};
}

// A rectangle of the open group moved into window pixels (for drawing straight into the draw list).
UiRect inWindow(const Editor& editor, const UiRect& rect);
UiPoint inWindow(const Editor& editor, UiPoint point);

// Angle stepping of the angle control's arrows: to the next multiple of 15 degrees more than 0.05
// below or above, wrapping at -180 / 165 and stepping from above 179.95 to -150.
float angleStepDown(float degrees);
float angleStepUp(float degrees);

// The angle text: one decimal, "&minus;" as minus sign, "&deg;" after it.
void formatAngle(char* out, unsigned size, float degrees);

// The angle control at (x, y): a cyclic value box (id + 0x10000, 3u wide, -180 ... 180) between the
// arrows "&larr;" (id + 0x20000) and "&rarr;" (id + 0x30000). Answers the new angle.
float angleControl(Editor& editor, uint32_t id, float x, float y, float degrees);

}  // namespace tarsk
