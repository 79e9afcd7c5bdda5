// The signal-flow diagram of the Algorithm page's Config tab.
#pragma once

#include "tarsklib/ui-types.h"

namespace tarsk {

class Editor;

// Draws the network the editor record describes (input, the four lines with their matrix, filters before or
// after the output tap, taps, cross mixing, inner feedback, decay, tap outputs) into box, which is given in
// the coordinates of the open group. Draws only; reports nothing.
void drawSignalFlow(Editor& editor, const UiRect& box);

}  // namespace tarsk
