// What the Summary, Info, Settings and Calculator pages share: the page backdrop (a dark vertical
// gradient over the content area, which also gives the page background colour), the title line with
// its divider, and boxes in units.
#pragma once

#include "tarsklib/ui-types.h"

namespace tarsk {

class Editor;

// A box by its centre and full size.
inline UiRect centredBox(float x, float y, float width, float height) {
    return UiRect{x, y, width * 0.5f, height * 0.5f};
}
// A box by its edges.
inline UiRect edgeBox(float left, float bottom, float right, float top) {
    return UiRect{(left + right) * 0.5f, (bottom + top) * 0.5f, (right - left) * 0.5f, (top - bottom) * 0.5f};
}

// Fills the content area with the page gradient and stores the page background colour.
void drawPageBackdrop(Editor& editor);
// A divider across the rectangle's top edge; the rectangle is in the coordinates of the open group.
void drawPageDivider(Editor& editor, const UiRect& rect);
// The page title in the bold face, left-aligned at x = 3u on the top line, and the divider under the line.
void drawPageTitle(Editor& editor, const char* title);

}  // namespace tarsk
