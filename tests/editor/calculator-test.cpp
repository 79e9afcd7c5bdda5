// CalculatorState: entry editing, result formatting (12 characters, rounding half up with carry, the
// switch to an exponent), and the Info page's version text and processing-power figure.
#include "editor/calculator-state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "editor/info-figures.h"

namespace tarsk {
namespace {

std::string shown(const CalculatorState& calc) {
    char text[64];
    calc.display(text, sizeof text);
    return text;
}

std::string formatted(double value) {
    CalculatorState calc;
    calc.show(value);
    return shown(calc);
}

// Types a number's text: digits, '.', 'e' (exponent), '-' (change sign), '<' (backspace).
void type(CalculatorState& calc, const char* keys) {
    for (const char* k = keys; *k != '\0'; ++k) {
        if (*k >= '0' && *k <= '9') calc.digit(*k - '0');
        if (*k == '.') calc.point();
        if (*k == 'e') calc.exponent();
        if (*k == '-') calc.changeSign();
        if (*k == '<') calc.backspace();
    }
}

TEST(CalculatorEntry, DigitsPointSignAndExponentBuildTheDisplay) {
    CalculatorState calc;
    EXPECT_EQ(shown(calc), "0");
    calc.digit(0);
    EXPECT_EQ(shown(calc), "0");
    EXPECT_EQ(calc.mantissaLength, 0u) << "a leading zero is not kept";
    calc.point();
    EXPECT_EQ(shown(calc), "0.");
    type(calc, "05");
    EXPECT_EQ(shown(calc), "0.05");
    calc.point();  // a second point does nothing
    EXPECT_EQ(shown(calc), "0.05");

    CalculatorState big;
    type(big, "1234567890123");
    EXPECT_EQ(shown(big), "123456789012") << "at most 12 characters";
    big.point();
    EXPECT_EQ(shown(big), "123456789012") << "a full mantissa only switches to the fraction";
    EXPECT_EQ(big.entry, kEntryFraction);

    CalculatorState exp;
    type(exp, "1.5e1234-");
    EXPECT_EQ(shown(exp), "1.5e-123") << "three exponent digits; the sign key acts on the exponent";
    exp.enter();
    EXPECT_DOUBLE_EQ(exp.x, 1.5e-123);

    CalculatorState empty;
    empty.exponent();
    EXPECT_EQ(empty.entry, kEntryInteger) << "no exponent without a digit";
    empty.changeSign();
    EXPECT_EQ(shown(empty), "-0");
}

TEST(CalculatorEntry, BackspaceTakesCharactersAndEmptiesALoneZero) {
    CalculatorState calc;
    type(calc, "12.5");
    calc.backspace();
    EXPECT_EQ(shown(calc), "12.");
    calc.backspace();
    EXPECT_EQ(shown(calc), "12");
    EXPECT_EQ(calc.entry, kEntryInteger) << "dropping the point returns to the integer digits";
    calc.digit(7);
    EXPECT_EQ(shown(calc), "127");

    CalculatorState point;
    point.point();
    point.backspace();
    EXPECT_EQ(point.mantissaLength, 0u) << "\"0.\" less its point is empty";
    EXPECT_EQ(shown(point), "0");

    CalculatorState exp;
    type(exp, "2e10");
    exp.backspace();
    EXPECT_EQ(shown(exp), "2e+1");
    exp.backspace();
    EXPECT_EQ(shown(exp), "2e+0");
    exp.backspace();  // nothing left in the exponent: back to the mantissa
    EXPECT_EQ(shown(exp), "2");
    exp.digit(3);
    EXPECT_EQ(shown(exp), "23");

    CalculatorState zeroExponent;
    type(zeroExponent, "4e05<");
    EXPECT_EQ(zeroExponent.exponentLength, 0u) << "an exponent left as \"0\" is empty";

    CalculatorState result;
    result.show(42.0);
    result.backspace();
    EXPECT_EQ(shown(result), "0");
}

TEST(CalculatorEntry, TypingAfterAResultStartsANewNumber) {
    CalculatorState calc;
    calc.show(-42.0);
    calc.digit(0);
    EXPECT_EQ(shown(calc), "0") << "a zero after a result clears the entry and stops there";
    EXPECT_EQ(calc.entry, kEntryInteger);
    calc.show(42.0);
    calc.digit(7);
    EXPECT_EQ(shown(calc), "7");
    calc.show(42.0);
    calc.point();
    EXPECT_EQ(shown(calc), "0.");
    EXPECT_DOUBLE_EQ(calc.x, 42.0) << "the register keeps the result until the next operation";
}

TEST(CalculatorOperations, EvaluateAppliesThePendingOperatorToYAndX) {
    struct Case {
        int32_t op;
        double y, x, expected;
    };
    const Case cases[] = {
        {kOperatorAdd, 2, 3, 5},         {kOperatorSubtract, 7, 2, 5}, {kOperatorMultiply, 6, 7, 42},
        {kOperatorDivide, 1, 4, 0.25},   {kOperatorPower, 2, 10, 1024}, {kOperatorNone, 9, 8, 8},
    };
    for (const Case& c : cases) {
        CalculatorState calc;
        calc.y = c.y;
        calc.x = c.x;
        calc.pendingOperator = c.op;
        calc.evaluate();
        EXPECT_DOUBLE_EQ(calc.x, c.expected) << "operator " << c.op;
        EXPECT_EQ(calc.pendingOperator, kOperatorNone);
    }
    CalculatorState calc;
    calc.x = 3.0;
    type(calc, "25");
    calc.enter();
    EXPECT_DOUBLE_EQ(calc.y, 3.0);
    EXPECT_DOUBLE_EQ(calc.x, 25.0);
    calc.inv = true;
    calc.pendingOperator = kOperatorAdd;
    calc.clearAll();
    EXPECT_EQ(calc.x, 0.0);
    EXPECT_EQ(calc.y, 0.0);
    EXPECT_FALSE(calc.inv);
    EXPECT_EQ(calc.pendingOperator, kOperatorNone);
    EXPECT_EQ(shown(calc), "0");
}

TEST(CalculatorFormat, ResultsFitTwelveCharactersRoundedHalfUp) {
    EXPECT_EQ(formatted(5.0), "5");
    EXPECT_EQ(formatted(-2.5), "-2.5");
    EXPECT_EQ(formatted(0.0), "0");
    EXPECT_EQ(formatted(1024.0), "1024");
    EXPECT_EQ(formatted(3.141592653589793), "3.1415926536");
    EXPECT_EQ(formatted(1.0 / 3.0), "0.3333333333");
    EXPECT_EQ(formatted(2.0 / 3.0), "0.6666666667");
    EXPECT_EQ(formatted(std::pow(10.0, 0.3)), "1.995262315") << "trailing zeros are dropped";
    EXPECT_EQ(formatted(123456789012.0), "123456789012") << "twelve integer digits, no point";
    EXPECT_EQ(formatted(100000000000.5), "100000000001") << "a tie rounds up";
    EXPECT_EQ(formatted(9.99999999999999), "10") << "the carry runs through every digit";
    EXPECT_EQ(formatted(99999999999.96), "100000000000") << "a carry that adds a digit";
    EXPECT_EQ(formatted(0.000001), "0.000001");
    EXPECT_EQ(formatted(0.00000123456789), "0.0000012346");
    EXPECT_EQ(formatted(1e-7), "1e-7");
    EXPECT_EQ(formatted(1e12), "1e+12");
    EXPECT_EQ(formatted(-6.02214076e23), "-6.02214076e+23");
    EXPECT_EQ(formatted(1.7976931348623157e308), "1.7976931349e+308");
    EXPECT_EQ(formatted(999999999999.7), "1e+12") << "rounding up past twelve digits switches to an exponent";
    EXPECT_EQ(formatted(std::nan("")), "err");
    EXPECT_EQ(formatted(INFINITY), "inf");
    EXPECT_EQ(formatted(-INFINITY), "-inf");
}

TEST(CalculatorFormat, AShownResultReadsBackAsTheNumberShown) {
    for (double value : {1.0 / 3.0, -123.456, 6.02214076e23, 1e-7, 0.5, 65536.0}) {
        CalculatorState calc;
        calc.show(value);
        calc.enter();
        EXPECT_NEAR(calc.x, value, std::fabs(value) * 1e-9) << value;
        EXPECT_EQ(calc.entry, kEntryResult);
    }
}

TEST(InfoFigures, VersionsAreWrittenAsMajorMinorAndPatch) {
    char text[32];
    auto version = [&](int32_t v) {
        formatVersion(v, text, sizeof text);
        return std::string(text);
    };
    EXPECT_EQ(version(2400), "2.4");
    EXPECT_EQ(version(2410), "2.4.10");
    EXPECT_EQ(version(12), "12.0");
    EXPECT_EQ(version(99), "99.0");
    EXPECT_EQ(version(100), "0.1");
    EXPECT_EQ(version(2099), "2.99") << "a remainder up to 99 is taken as hundreds";
    EXPECT_EQ(version(0), "0.0");
    EXPECT_EQ(version(1100), "1.1");
}

TEST(InfoFigures, ProcessingPowerFollowsTheNetworksStructure) {
    EXPECT_EQ(operationsPerSample(structure::feedback), 172u);
    EXPECT_EQ(operationsPerSample(0), 164u) << "no feedback saves the matrix";
    EXPECT_EQ(operationsPerSample(structure::feedback | structure::multitap), 368u);
    EXPECT_EQ(operationsPerSample(structure::feedback | structure::saturator), 296u);
    EXPECT_EQ(operationsPerSample(structure::feedback | structure::multitap | structure::saturator), 732u);
    EXPECT_EQ(operationsPerSample(structure::feedback | structure::modulated), 172u);
    EXPECT_EQ(operationsPerSample(structure::feedback | structure::modulated | structure::filtersBeforeOutput), 232u);
    EXPECT_EQ(operationsPerSample(structure::feedback | structure::modulated | structure::saturator), 356u);

    LoadFigures figures;
    figures.structure = structure::feedback;
    figures.samples = 22050;  // half a second at 44.1 kHz
    figures.load = 0.25f;
    // 172 operations x 22050 samples in 0.125 s of work.
    EXPECT_NEAR(gigaflopsPerSecond(figures, 0.5), 172.0 * 22050.0 / 0.125 * 1e-9, 1e-9);
    figures.load = 0.0f;
    EXPECT_EQ(gigaflopsPerSecond(figures, 0.5), 0.0) << "no report yet";
    figures.load = 0.25f;
    EXPECT_EQ(gigaflopsPerSecond(figures, 0.0), 0.0) << "a meter that never reports";
}

}  // namespace
}  // namespace tarsk
