// Number box arithmetic and text: value <-> position on the 0..256 drag scale, drag and wheel steps,
// cyclic wrap, engineering notation with SI prefixes and the box's format language. No drawing here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarsk {

// ---- Number box mappings --------------------------------------------------------------------------------

constexpr uint32_t kValueBoxLinear = 0;          // min..max spread evenly over the scale
constexpr uint32_t kValueBoxLogarithmic = 1;     // log2(min)..log2(max) spread evenly
constexpr uint32_t kValueBoxLogarithmicOff = 2;  // as logarithmic, with the value 0 at the bottom
constexpr uint32_t kValueBoxCyclic = 3;          // as linear, wrapping round at both ends

constexpr double kValueBoxScale = 256.0;         // the drag scale: 256 pixels of mouse travel span the range
constexpr double kValueBoxFineDivisor = 256.0;   // Ctrl held: 256 times finer
constexpr double kValueBoxFinestDivisor = 65536.0;  // Alt held: 65536 times finer (wins over Ctrl)

// The value's position on the 0..256 scale. Not clamped: a value outside min..max lies outside 0..256.
// A logarithmic mapping puts 0 and negative values at 0; a mapping over an empty range (min = max),
// or a logarithmic one with a limit at or below 0, answers as the linear mapping does (0 when empty).
double valueBoxPosition(float value, float min, float max, uint32_t mapping);

// The value at position p, kept within min..max (the logarithmic-with-off mapping answers 0 for p <= 0).
float valueBoxValue(double p, float min, float max, uint32_t mapping);

// Position p after moving it by delta: clamped to 0..256, or for the cyclic mapping wrapped into 0..256
// (so that moving past the top continues from the bottom and the other way round).
double valueBoxMove(double p, double delta, uint32_t mapping);

// The movement on the scale for mouse pixels (upwards positive) or wheel steps with the modifiers held.
double valueBoxDelta(double steps, bool ctrl, bool alt);

struct ValueBoxChange {
    float value;   // the new value (the old one when nothing moved)
    bool changed;  // the value differs from the old one
};

// One frame of the box: the value moved by delta on the scale (delta 0 leaves it untouched).
ValueBoxChange valueBoxApply(float value, float min, float max, uint32_t mapping, double delta);

// ---- Engineering notation ------------------------------------------------------------------------------

// Exponents of the SI prefixes: zepto (-7) to zetta (7), powers of 1000.
constexpr int kSiLowestExponent = -7;
constexpr int kSiHighestExponent = 7;

// The prefix for exponent e (kSiLowestExponent..kSiHighestExponent), "" for 0. The host texts take
// UTF-8 ("\xC2\xB5" for micro); the editor's texts take the markup form ("&micro;") that the font maps
// decode in either of their encodings.
const char* siPrefix(int exponent);
const char* siPrefixMarkup(int exponent);

// value * 1000^-e for e in kSiLowestExponent..kSiHighestExponent.
double siMantissa(double value, int exponent);

// The printf form of a mantissa for a precision index 0..3: "%7.3f", "%7.2f", "%7.1f", "%7.0f".
const char* mantissaFormat(int precisionIndex);

// Splits t (a value's log10 / 3 plus a rounding nudge) into the exponent e = floor(t) and the precision
// index int(3 * (t - e)). Answers false when t is not finite or e lies outside the SI prefixes.
bool splitEngineering(double t, int& exponent, int& precisionIndex);

// Text sizes: enough for a seven-character number, a space, the longest prefix markup and a unit.
constexpr size_t kValueBoxTextSize = 48;

// The number with its SI prefix and unit, e.g. "  50.00 ms", "  700.0 Hz", "  0.701 kHz"; " &mdash; " for
// 0, negative values and values beyond the prefixes. Without prefix the number keeps its own size and
// the precision follows it ("  2.500 &times;", "  12.50 %", "  125.0 %", "   1250 %").
void formatEngineering(char* out, size_t size, float value, const char* unit, bool prefix);

// The number and its unit apart: "  1.200" and "ms"; "---" and the bare unit for values that have no
// prefix (0, negative, beyond the prefixes). Either output may be null.
void formatValueAndUnit(float value, const char* unit, char* valueOut, size_t valueSize, char* unitOut,
                        size_t unitSize);

// printf of a format that takes one floating-point number. A format with any other conversion (or more
// than one) cannot be given a float safely and is copied as plain text instead.
void formatPrintf(char* out, size_t size, const char* format, float value);
bool isFloatFormat(const char* format);

// ---- The number box's format language ------------------------------------------------------------------

// The text of value in the format language. The first character of format decides:
//   "@unit"  engineering notation with prefix        "$unit"  the same without prefix
//   "#unit"  the number alone; unitOut receives the prefixed unit (left untouched otherwise)
//   "~a\0b\0...~"  label list: the label at index floor(value + 0.5) (at least 0); empty past the end
//   anything else: printf of format with the value.
void formatValueBoxText(const char* format, float value, char* out, size_t size, char* unitOut = nullptr,
                        size_t unitSize = 0);

// The label at index in a "~" list (format starting with '~'); null when the list is shorter.
const char* labelListEntry(const char* format, int index);

}  // namespace tarsk
