// CalculatorState: entry editing, the four operations and the power, and the result formatting.
#include "editor/calculator-state.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tarsk {

namespace {

// Results with a decimal exponent in [kPlainLowest, kPlainBeyond) are written without an exponent.
constexpr int kPlainLowest = -6;
constexpr int kPlainBeyond = 12;
constexpr int kResultDigits = 20;  // significant digits taken from the exact value before rounding

// Significant digits a result with decimal exponent e keeps in 12 characters.
int significantDigits(int e) {
    if (e < kPlainLowest || e >= kPlainBeyond) {
        return static_cast<int>(kMantissaCharacters) - 1;  // "d." and 10 more
    }
    if (e >= 0) {
        // e + 1 integer digits; a point and fraction digits when there is room for them.
        return e + 1 >= static_cast<int>(kMantissaCharacters) - 1 ? e + 1 : static_cast<int>(kMantissaCharacters) - 1;
    }
    return static_cast<int>(kMantissaCharacters) - 1 + e;  // "0." and -e - 1 zeros before the digits
}

}  // namespace

void CalculatorState::clearAll() {
    clearEntry();
    pendingOperator = kOperatorNone;
    x = 0.0;
    y = 0.0;
    inv = false;
}

void CalculatorState::clearEntry() {
    entry = kEntryInteger;
    mantissaNegative = false;
    mantissaLength = 0;
    exponentNegative = false;
    exponentLength = 0;
    exponentPresent = false;
}

void CalculatorState::setMantissa(const char* text) {
    size_t n = std::min<size_t>(std::strlen(text), kMantissaCharacters);
    std::memcpy(mantissa, text, n);
    mantissaLength = static_cast<uint32_t>(n);
}

void CalculatorState::digit(int d) {
    if (d < 0 || d > 9) {
        return;
    }
    if (entry == kEntryResult) {
        clearEntry();
        if (d == 0) {
            return;
        }
    }
    const char c = static_cast<char>('0' + d);
    if (entry == kEntryInteger || entry == kEntryFraction) {
        if (entry == kEntryInteger && mantissaLength == 0 && d == 0) {
            return;  // no leading zeros
        }
        if (mantissaLength < kMantissaCharacters) {
            mantissa[mantissaLength++] = c;
        }
    } else if (entry == kEntryExponent) {
        if (exponentLength < kExponentDigits) {
            exponentText[exponentLength++] = c;
        }
    }
}

void CalculatorState::point() {
    if (entry == kEntryResult) {
        clearEntry();
        setMantissa("0.");
        entry = kEntryFraction;
        return;
    }
    if (entry != kEntryInteger) {
        return;
    }
    if (mantissaLength == 0) {
        setMantissa("0.");
    } else if (mantissaLength < kMantissaCharacters) {
        mantissa[mantissaLength++] = '.';
    }
    entry = kEntryFraction;
}

void CalculatorState::changeSign() {
    if (entry == kEntryExponent) {
        exponentNegative = !exponentNegative;
    } else {
        mantissaNegative = !mantissaNegative;
    }
}

void CalculatorState::exponent() {
    if ((entry == kEntryInteger || entry == kEntryFraction) && mantissaLength > 0) {
        exponentPresent = true;
        entry = kEntryExponent;
    }
}

void CalculatorState::backspace() {
    switch (entry) {
        case kEntryFraction:
            if (mantissaLength > 0) {
                --mantissaLength;
                if (mantissa[mantissaLength] == '.') {
                    entry = kEntryInteger;
                }
            }
            break;
        case kEntryInteger:
            if (mantissaLength > 0) {
                --mantissaLength;
            }
            break;
        case kEntryExponent:
            if (exponentLength > 0) {
                --exponentLength;
                if (exponentLength == 1 && exponentText[0] == '0') {
                    exponentLength = 0;
                }
            } else {
                // Nothing left to take from the exponent: leave it, back to the mantissa's digits.
                exponentPresent = false;
                exponentNegative = false;
                entry = std::memchr(mantissa, '.', mantissaLength) != nullptr ? kEntryFraction : kEntryInteger;
            }
            break;
        default:
            clearEntry();
            break;
    }
    if (entry == kEntryInteger && mantissaLength == 1 && mantissa[0] == '0') {
        mantissaLength = 0;
    }
}

size_t CalculatorState::display(char* buffer, size_t capacity) const {
    if (buffer == nullptr || capacity == 0) {
        return 0;
    }
    size_t at = 0;
    auto put = [&](char c) {
        if (at + 1 < capacity) {
            buffer[at++] = c;
        }
    };
    if (mantissaNegative) {
        put('-');
    }
    if (mantissaLength == 0) {
        put('0');
    }
    for (uint32_t i = 0; i < mantissaLength && i < kMantissaCharacters; ++i) {
        put(mantissa[i]);
    }
    if (exponentPresent) {
        put('e');
        put(exponentNegative ? '-' : '+');
        if (exponentLength == 0) {
            put('0');
        }
        for (uint32_t i = 0; i < exponentLength && i < kExponentDigits; ++i) {
            put(exponentText[i]);
        }
    }
    buffer[at] = '\0';
    return at;
}

void CalculatorState::enter() {
    char text[kCalculatorDisplayBytes];
    size_t n = display(text, sizeof text);
    double value = 0.0;
    // from_chars reads the C locale's decimal point whatever locale the host set; "err" reads as 0.
    std::from_chars(text, text + n, value);
    y = x;
    x = value;
}

void CalculatorState::evaluate() {
    switch (pendingOperator) {
        case kOperatorAdd: x = y + x; break;
        case kOperatorSubtract: x = y - x; break;
        case kOperatorMultiply: x = y * x; break;
        case kOperatorDivide: x = y / x; break;
        case kOperatorPower: x = std::pow(y, x); break;
        default: break;
    }
    pendingOperator = kOperatorNone;
}

void CalculatorState::show(double value) {
    x = value;
    clearEntry();
    entry = kEntryResult;
    if (std::isnan(value)) {
        setMantissa("err");
        return;
    }
    if (value == 0.0) {
        return;  // an empty mantissa shows "0"
    }
    mantissaNegative = value < 0.0;
    if (1.0 / value == 0.0) {
        setMantissa("inf");
        return;
    }

    // The decimal digits of |value| and its decimal exponent: "d?ddd...e+XX" (the second character is the
    // locale's decimal point, so the digits are read by position).
    char exact[48];
    int written = std::snprintf(exact, sizeof exact, "%.*e", kResultDigits - 1, std::fabs(value));
    const char* e = written > 0 ? std::strchr(exact, 'e') : nullptr;
    if (e == nullptr) {
        setMantissa("err");
        return;
    }
    char digits[kResultDigits + 1];
    int count = 0;
    for (const char* p = exact; p < e && count < kResultDigits; ++p) {
        if (*p >= '0' && *p <= '9') {
            digits[count++] = *p;
        }
    }
    while (count < kResultDigits) {
        digits[count++] = '0';
    }
    int decimalExponent = std::atoi(e + 1);

    // Round half up to the digits that fit, carrying through them; a carry out of the first digit
    // raises the exponent, which may change how many digits fit.
    int keep = 0;
    for (;;) {
        keep = std::min(significantDigits(decimalExponent), kResultDigits);
        if (keep < 1) {
            keep = 1;
        }
        if (keep >= kResultDigits || digits[keep] < '5') {
            break;
        }
        int i = keep - 1;
        while (i >= 0 && digits[i] == '9') {
            digits[i--] = '0';
        }
        if (i >= 0) {
            ++digits[i];
            break;
        }
        // 9...9 rounded up: a 1 and zeros, one decade higher (no digit of the old value is left to round).
        digits[0] = '1';
        std::memset(digits + 1, '0', kResultDigits - 1);
        ++decimalExponent;
    }
    for (int i = keep; i < kResultDigits; ++i) {
        digits[i] = '0';
    }

    char text[kMantissaCharacters + 4];
    int n = 0;
    const bool plain = decimalExponent >= kPlainLowest && decimalExponent < kPlainBeyond;
    if (plain && decimalExponent >= 0) {
        for (int i = 0; i <= decimalExponent; ++i) {
            text[n++] = digits[i];
        }
        if (keep > decimalExponent + 1) {
            text[n++] = '.';
            for (int i = decimalExponent + 1; i < keep; ++i) {
                text[n++] = digits[i];
            }
        }
    } else if (plain) {
        text[n++] = '0';
        text[n++] = '.';
        for (int i = 0; i < -decimalExponent - 1; ++i) {
            text[n++] = '0';
        }
        for (int i = 0; i < keep; ++i) {
            text[n++] = digits[i];
        }
    } else {
        text[n++] = digits[0];
        text[n++] = '.';
        for (int i = 1; i < keep; ++i) {
            text[n++] = digits[i];
        }
    }
    if (std::memchr(text, '.', static_cast<size_t>(n)) != nullptr) {
        while (n > 0 && text[n - 1] == '0') {
            --n;
        }
        if (n > 0 && text[n - 1] == '.') {
            --n;
        }
    }
    text[n] = '\0';
    setMantissa(text);

    if (!plain) {
        exponentPresent = true;
        exponentNegative = decimalExponent < 0;
        char magnitude[8];
        int m = std::snprintf(magnitude, sizeof magnitude, "%d", std::abs(decimalExponent));
        m = std::clamp(m, 0, static_cast<int>(kExponentDigits));
        std::memcpy(exponentText, magnitude, static_cast<size_t>(m));
        exponentLength = static_cast<uint32_t>(m);
    }
}

}  // namespace tarsk
