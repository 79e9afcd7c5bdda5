// The Algorithm page's rules that do not depend on drawing: keeping a line's three taps in order and the
// shift that places the tap-output boxes under the taps of the signal-flow diagram.
#pragma once

#include <cstdint>

#include "engine/program-record.h"

namespace tarsk {

// The Algorithm page's tabs (its view word).
constexpr int32_t kAlgorithmConfigTab = 1;
constexpr int32_t kAlgorithmDelaysTab = 2;

// After tap `edited` (0, 1 or 2) of line `line` (0..3) was set, moves the other two taps of that line so
// that tap 1 <= tap 2 <= tap 3 again; the edited tap keeps its value.
void keepTapsInOrder(ProgramRecord& record, int line, int edited);

// The horizontal shift, in units, of the three tap-output boxes for the record's structure.
float tapBoxShift(const ProgramRecord& record);

// The x centres, in units, of the three tap-output boxes without the shift.
constexpr float kTapBoxX[3] = {11.625f, 15.5f, 19.375f};

}  // namespace tarsk
