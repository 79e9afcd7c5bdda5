// The angle control: a cyclic number box for an angle in degrees (-180..180) between two small buttons that
// step the angle to the next lower or higher multiple of 15 degrees, wrapping round at +-180.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarsk {

class Editor;

// Local ids of the control's parts, added to the id the caller passes.
constexpr uint32_t kAngleBoxId = 0x10000;
constexpr uint32_t kAngleDownId = 0x20000;
constexpr uint32_t kAngleUpId = 0x30000;

constexpr float kAngleStep = 15.0f;       // degrees between the buttons' stops
constexpr float kAngleStepSlack = 0.05f;  // a stop this close to the value is passed over

// The angle the left button gives: the next lower multiple of 15 more than 0.05 below the value;
// at or below -179.95 it wraps to 165.
float angleStepDown(float degrees);
// The angle the right button gives: the next higher multiple of 15 more than 0.05 above the value;
// above 164.95 it wraps to -180, and above 179.95 it gives -150.
float angleStepUp(float degrees);

// The angle as the control shows it: one decimal, "&minus;" as minus sign, followed by "&deg;".
void formatAngle(char* out, size_t size, float degrees);
// A number with the given decimals and "&minus;" as minus sign.
void formatSigned(char* out, size_t size, float value, int decimals);

// Draws the control centred at (x, y) (in the open group's coordinates) and returns the new angle.
float angleControl(Editor& editor, uint32_t id, float x, float y, float degrees);

}  // namespace tarsk
