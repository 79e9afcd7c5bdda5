// Texts of the Filter page's value boxes: frequencies as "%.0f Hz", and "&mdash;" where the value
// means that the filter is off.
#pragma once

#include <cstddef>

namespace tarsk {

constexpr size_t kFilterTextSize = 48;

// "&mdash;" at or below 2 Hz (off), else "%.0f Hz".
void formatLowcutText(char* out, size_t size, float hz);
// "&mdash;" at or above 50000 Hz (off), else "%.0f Hz"; for Highcut and Inverter.
void formatOffAboveText(char* out, size_t size, float hz);
// "%.0f Hz".
void formatHertzText(char* out, size_t size, float hz);

}  // namespace tarsk
