// The angle control of the editor pages: a cyclic number box over -180 .. 180 degrees with a button on
// each side that steps to the next multiple of 15 degrees.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarsk {

class Editor;

constexpr uint32_t kAngleBoxId = 0x10000;   // added to the control's id
constexpr uint32_t kAngleDownId = 0x20000;  // the left button
constexpr uint32_t kAngleUpId = 0x30000;    // the right button
constexpr float kAngleStep = 15.0f;
constexpr float kAngleTolerance = 0.05f;  // a multiple this close to the value is passed over

// The angle as the control shows it: the number in the box's engineering notation without prefix, with
// "&minus;" as the minus sign, followed by "&deg;".
void formatAngle(float degrees, char* out, size_t size);
// The next multiple of 15 more than 0.05 below; from -180 (or anything at or below -179.95) 165.
float angleStepDown(float degrees);
// The next multiple of 15 more than 0.05 above; from above 164.95 -180, from above 179.95 -150.
float angleStepUp(float degrees);

// Draws the control centred at (x, y) in the current group and answers the new angle.
float angleControl(Editor& editor, uint32_t id, float x, float y, float degrees);

}  // namespace tarsk
