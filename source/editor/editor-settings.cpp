// EditorSettings: parsing and formatting the values without regard to the host's locale.
#include "editor/editor-settings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace tarsk {

namespace {

constexpr const char* kDisplayScaleName = "Editor:DisplayScale";
constexpr const char* kFontStyleName = "Editor:FontStyle";
constexpr const char* kFontLodBiasName = "Editor:FontLodBias";
constexpr const char* kStartPageName = "Editor:StartPage";

constexpr const char* kDisplayScaleDefault = "1";
constexpr const char* kFontStyleDefault = "2";
constexpr const char* kFontLodBiasDefault = "-0.25";
constexpr const char* kStartPageDefault = "0";

constexpr int kFontStyleMin = 1, kFontStyleMax = 3;
constexpr float kFontLodBiasMin = -1.0f, kFontLodBiasMax = 1.0f;
constexpr int kStartPageMin = 0, kStartPageMax = 2;

constexpr int kFractionDigits = 6;  // as "%f" writes them

// Where a number starts the way scanf sees it: after white space and a '+' sign (from_chars takes
// neither).
const char* numberStart(const std::string& text) {
    const char* p = text.c_str();
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v') {
        ++p;
    }
    if (*p == '+' && p[1] != '-') {
        ++p;
    }
    return p;
}

// Reads a leading number like "%f"; false when the text holds none (or not a number).
bool parseFloat(const std::string& text, float& value) {
    const char* first = numberStart(text);
    const char* last = text.c_str() + text.size();
    float parsed = 0.0f;
    std::from_chars_result result = std::from_chars(first, last, parsed, std::chars_format::general);
    if (result.ptr == first || std::isnan(parsed)) {
        return false;
    }
    if (result.ec == std::errc::result_out_of_range) {
        // Too large or too small for a float: the sign and size decide which end of the range it is.
        bool negative = *first == '-';
        double wide = 0.0;
        std::from_chars(first, last, wide, std::chars_format::general);
        bool tiny = std::fabs(wide) < 1.0;
        parsed = tiny ? 0.0f : negative ? -std::numeric_limits<float>::max() : std::numeric_limits<float>::max();
    }
    value = parsed;
    return true;
}

// Reads a leading integer like "%d"; false when the text holds none.
bool parseInt(const std::string& text, int& value) {
    const char* first = numberStart(text);
    const char* last = text.c_str() + text.size();
    long long parsed = 0;
    std::from_chars_result result = std::from_chars(first, last, parsed);
    if (result.ptr == first) {
        return false;
    }
    if (result.ec == std::errc::result_out_of_range) {
        parsed = *first == '-' ? std::numeric_limits<long long>::min() : std::numeric_limits<long long>::max();
    }
    value = static_cast<int>(std::clamp<long long>(parsed, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max()));
    return true;
}

float loadFloat(const SettingsStore& settings, const char* name, const char* fallback, float low, float high) {
    float value = 0.0f;
    if (!parseFloat(settings.get(name, fallback), value)) {
        parseFloat(fallback, value);
    }
    return std::clamp(value, low, high);
}

int loadInt(const SettingsStore& settings, const char* name, const char* fallback, int low, int high) {
    int value = 0;
    if (!parseInt(settings.get(name, fallback), value)) {
        parseInt(fallback, value);
    }
    return std::clamp(value, low, high);
}

std::string formatFloat(float value) {
    char text[64];
    std::to_chars_result result =
        std::to_chars(text, text + sizeof(text), value, std::chars_format::fixed, kFractionDigits);
    return result.ec == std::errc() ? std::string(text, result.ptr) : std::string();
}

std::string formatInt(int value) {
    char text[16];
    std::to_chars_result result = std::to_chars(text, text + sizeof(text), value);
    return std::string(text, result.ptr);
}

}  // namespace

void EditorSettings::load(const SettingsStore& settings) {
    displayScale = loadFloat(settings, kDisplayScaleName, kDisplayScaleDefault, kDisplayScaleMin, kDisplayScaleMax);
    fontStyle = loadInt(settings, kFontStyleName, kFontStyleDefault, kFontStyleMin, kFontStyleMax);
    fontLodBias = loadFloat(settings, kFontLodBiasName, kFontLodBiasDefault, kFontLodBiasMin, kFontLodBiasMax);
    startPage = loadInt(settings, kStartPageName, kStartPageDefault, kStartPageMin, kStartPageMax);
}

void EditorSettings::store(SettingsStore& settings) const {
    settings.set(kDisplayScaleName, formatFloat(displayScale));
    settings.set(kFontStyleName, formatInt(fontStyle));
    settings.set(kFontLodBiasName, formatFloat(fontLodBias));
    settings.set(kStartPageName, formatInt(startPage));
}

}  // namespace tarsk
