// CalculatorState: the pocket calculator of the Calculator page. The entry is kept as text (the digits
// the user typed, or the formatted result) so that the display shows exactly what was typed; x is the
// display register and y the first operand of a pending operator.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarsk {

// Entry states.
constexpr int32_t kEntryInteger = 0;   // digits before the point (also: nothing typed yet)
constexpr int32_t kEntryFraction = 1;  // digits after the point
constexpr int32_t kEntryExponent = 2;  // digits of the exponent
constexpr int32_t kEntryResult = 3;    // a result is shown

// Pending operators.
constexpr int32_t kOperatorNone = 0;
constexpr int32_t kOperatorAdd = 1;
constexpr int32_t kOperatorSubtract = 2;
constexpr int32_t kOperatorMultiply = 3;
constexpr int32_t kOperatorDivide = 4;
constexpr int32_t kOperatorPower = 5;

constexpr uint32_t kMantissaCharacters = 12;
constexpr uint32_t kExponentDigits = 3;
// The longest display text: sign, 12 mantissa characters, "e", sign, 3 digits, NUL.
constexpr size_t kCalculatorDisplayBytes = 1 + kMantissaCharacters + 2 + kExponentDigits + 1;

struct CalculatorState {
    int32_t entry = kEntryInteger;
    int32_t pendingOperator = kOperatorNone;
    bool mantissaNegative = false;
    uint32_t mantissaLength = 0;
    char mantissa[kMantissaCharacters] = {};
    bool exponentNegative = false;
    uint32_t exponentLength = 0;
    char exponentText[kExponentDigits] = {};
    bool exponentPresent = false;
    double x = 0.0;
    double y = 0.0;
    bool inv = false;

    // Everything back to 0: registers, entry, operator, INV.
    void clearAll();
    // Entry keys.
    void digit(int d);
    void point();
    void changeSign();
    void exponent();
    void backspace();
    // The entry as text ("-", the mantissa or "0", and "e", sign and exponent digits when there is one);
    // answers the length written (the text is cut to the capacity, always NUL-terminated when capacity > 0).
    size_t display(char* buffer, size_t capacity) const;
    // y <- x; x <- the number the display shows.
    void enter();
    // x <- y (op) x by the pending operator; then no operator.
    void evaluate();
    // x <- value, formatted into the entry; the entry shows a result.
    void show(double value);

private:
    void clearEntry();
    void setMantissa(const char* text);
};

}  // namespace tarsk
