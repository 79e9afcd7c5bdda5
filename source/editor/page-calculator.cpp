// The Calculator page: a pocket calculator with the conversions that help when setting delay times
// (decibels and gain, feet and metres, beats per minute and seconds per beat), over CalculatorState.
#include <cmath>

#include "editor/editor-pages.h"
#include "editor/editor.h"
#include "editor/page-frame.h"

namespace tarsk {

namespace {

constexpr uint32_t kGroupEntryKeys = 4096;
constexpr uint32_t kGroupOperatorKeys = 8192;
constexpr uint32_t kGroupConversionKeys = 12288;

// Entry key ids.
constexpr uint32_t kKeyZero = 10;
constexpr uint32_t kKeyPoint = 11;
constexpr uint32_t kKeySign = 12;
constexpr uint32_t kKeyExponent = 13;
constexpr uint32_t kKeyBackspace = 14;
constexpr uint32_t kKeyPi = 15;
// Operator key ids (1 to 5 are the operators themselves).
constexpr uint32_t kKeyClear = 6;
constexpr uint32_t kKeyEquals = 7;
constexpr uint32_t kKeyRoot = 8;
// Conversion key ids.
constexpr uint32_t kKeyInv = 1;
constexpr uint32_t kKeyDecibels = 2;
constexpr uint32_t kKeyFeet = 3;
constexpr uint32_t kKeyBpm = 4;

constexpr double kPi = 3.141592653589793;
constexpr double kMetresPerFoot = 0.3048;
constexpr double kFeetPerMetre = 3.2808398950131235;
constexpr double kSecondsPerMinute = 60.0;

constexpr float kKeySize = 14.0f;
constexpr float kEqualsSize = 18.0f;
constexpr float kInvSize = 10.0f;
constexpr float kDisplaySize = 20.0f;

// Key grid in units: a key is 1.3u x 1.1u on a 1.5u x 1.25u pitch.
constexpr float kKeyWidth = 1.3f;
constexpr float kKeyHeight = 1.1f;
constexpr float kRowTop = 7.75f;
constexpr float kRowPitch = 1.25f;
constexpr float kDigitColumn = 9.0f;
constexpr float kColumnPitch = 1.5f;
constexpr float kOperatorColumn = 13.75f;
constexpr float kConversionColumn = 18.25f;
constexpr float kConversionWidth = 2.5f;

struct Key {
    uint32_t id;
    const char* label;
    float column;  // in pitches from the group's first column
    float row;     // in pitches down from the top row
};

constexpr Key kEntryKeys[] = {
    {7, "7", 0, 0}, {8, "8", 1, 0}, {9, "9", 2, 0},
    {4, "4", 0, 1}, {5, "5", 1, 1}, {6, "6", 2, 1},
    {1, "1", 0, 2}, {2, "2", 1, 2}, {3, "3", 2, 2},
    {kKeyZero, "0", 0, 3}, {kKeyPoint, "&middot;", 1, 3}, {kKeySign, "&plusmn;", 2, 3},
    {kKeyExponent, "E", 0, 4}, {kKeyBackspace, "&laquo;", 1, 4}, {kKeyPi, "&#x3c0;", 2, 4},
};

constexpr Key kOperatorKeys[] = {
    {kKeyClear, "C", 0, 0},  {kKeyRoot, "&radic;", 1, 0},
    {kOperatorDivide, "&divide;", 0, 1}, {kOperatorMultiply, "&times;", 1, 1},
    {kOperatorSubtract, "&minus;", 0, 2}, {kOperatorAdd, "+", 1, 2},
    {kOperatorPower, "&uarr;", 0, 3},
};

constexpr Key kConversionKeys[] = {
    {kKeyDecibels, "dB", 0, 1},
    {kKeyFeet, "ft", 0, 2},
    {kKeyBpm, "BPM", 0, 3},
};

UiRect keyBox(float firstColumn, const Key& key, float width) {
    return centredBox((firstColumn + key.column * kColumnPitch), kRowTop - key.row * kRowPitch, width, kKeyHeight);
}

UiRect scaled(const UiRect& r, float u) { return UiRect{r.cx * u, r.cy * u, r.hw * u, r.hh * u}; }

void pressEntryKey(CalculatorState& calc, uint32_t id) {
    if (id >= 1 && id <= 9) {
        calc.digit(static_cast<int>(id));
        return;
    }
    switch (id) {
        case kKeyZero: calc.digit(0); break;
        case kKeyPoint: calc.point(); break;
        case kKeySign: calc.changeSign(); break;
        case kKeyExponent: calc.exponent(); break;
        case kKeyBackspace: calc.backspace(); break;
        case kKeyPi: calc.show(kPi); break;
        default: break;
    }
}

void pressOperatorKey(CalculatorState& calc, uint32_t id) {
    if (id >= static_cast<uint32_t>(kOperatorAdd) && id <= static_cast<uint32_t>(kOperatorPower)) {
        calc.enter();
        calc.evaluate();
        calc.show(calc.x);
        calc.pendingOperator = static_cast<int32_t>(id);
        return;
    }
    switch (id) {
        case kKeyClear: calc.clearAll(); break;
        case kKeyEquals:
            calc.enter();
            calc.evaluate();
            calc.show(calc.x);
            break;
        case kKeyRoot:
            calc.enter();
            calc.show(std::sqrt(calc.x));
            break;
        default: break;
    }
}

void pressConversionKey(CalculatorState& calc, uint32_t id) {
    switch (id) {
        case kKeyInv: calc.inv = !calc.inv; break;
        case kKeyDecibels:
            calc.enter();
            calc.show(calc.inv ? 20.0 * std::log10(calc.x) : std::pow(10.0, calc.x * 0.05));
            break;
        case kKeyFeet:
            calc.enter();
            calc.show(calc.x * (calc.inv ? kFeetPerMetre : kMetresPerFoot));
            break;
        case kKeyBpm:
            calc.enter();
            calc.show(kSecondsPerMinute / calc.x);
            break;
        default: break;
    }
}

}  // namespace

void drawCalculatorPage(Editor& editor) {
    const float u = editor.unit();
    CalculatorState& calc = editor.calculator();
    drawPageBackdrop(editor);
    drawPageTitle(editor, "Calculator");

    // The body: a raised panel around the display and the keys.
    UiRect body = edgeBox(7.9f * u, 1.9f * u, 20.0f * u, 10.1f * u);
    if (const UiGroup* group = editor.group()) {
        body.cx += group->originX;
        body.cy += group->originY;
    }
    editor.bevel(body);

    // The display: 9u wide above the keys.
    char shown[64];
    calc.display(shown, sizeof shown);
    editor.useStyle(kStyleLcd);
    editor.label(0, centredBox(13.0f * u, 9.25f * u, 9.0f * u, 1.4f * u), shown, kDisplaySize, kAlignRight);
    editor.useStyle(kStylePlain);

    editor.pushGroup(kGroupEntryKeys, UiPoint{0.0f, 0.0f});
    for (const Key& key : kEntryKeys) {
        editor.button(key.id, scaled(keyBox(kDigitColumn, key, kKeyWidth), u), key.label, kKeySize, 0, kAlignCentre);
    }
    uint32_t entryKey = editor.popGroup();

    editor.pushGroup(kGroupOperatorKeys, UiPoint{0.0f, 0.0f});
    for (const Key& key : kOperatorKeys) {
        editor.button(key.id, scaled(keyBox(kOperatorColumn, key, kKeyWidth), u), key.label, kKeySize, 0,
                      kAlignCentre);
    }
    // "=" spans the last two rows of the second column.
    const float equalsTop = kRowTop - 3.0f * kRowPitch + 0.5f * kKeyHeight;
    const float equalsBottom = kRowTop - 4.0f * kRowPitch - 0.5f * kKeyHeight;
    const float equalsX = kOperatorColumn + kColumnPitch;
    editor.button(kKeyEquals,
                  edgeBox((equalsX - 0.5f * kKeyWidth) * u, equalsBottom * u, (equalsX + 0.5f * kKeyWidth) * u,
                          equalsTop * u),
                  "=", kEqualsSize, 0, kAlignCentre);
    uint32_t operatorKey = editor.popGroup();

    editor.pushGroup(kGroupConversionKeys, UiPoint{0.0f, 0.0f});
    const Key inv{kKeyInv, "INV", 0, 0};
    editor.button(inv.id, scaled(keyBox(kConversionColumn, inv, kConversionWidth), u), inv.label, kInvSize,
                  calc.inv ? 1 : 0, kAlignCentre);
    for (const Key& key : kConversionKeys) {
        editor.button(key.id, scaled(keyBox(kConversionColumn, key, kConversionWidth), u), key.label, kKeySize, 0,
                      kAlignCentre);
    }
    uint32_t conversionKey = editor.popGroup();

    // The keys act after the frame's widgets, so that the display of the next frame shows the result.
    if (entryKey != 0) {
        pressEntryKey(calc, entryKey);
    }
    if (operatorKey != 0) {
        pressOperatorKey(calc, operatorKey);
    }
    if (conversionKey != 0) {
        pressConversionKey(calc, conversionKey);
    }
}

}  // namespace tarsk
