// ParamValue: the descriptor of one host-automatable parameter. Maps its value to the host's 0..1
// position and back, keeps a bound program variable in step and renders the value and unit texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

namespace tarsk {

// Mapping types between value x and position p (span s, offset o, t = (x - o) / s).
constexpr uint32_t kParamMappingNone = 0;           // no mapping: position and value 0
constexpr uint32_t kParamMappingNoneAlt = 1;        // no mapping either
constexpr uint32_t kParamMappingEntries = 2;        // s entries from o; positions snap to entry centres
constexpr uint32_t kParamMappingLinear = 3;         // p = t
constexpr uint32_t kParamMappingExponential = 4;    // x = 2^(p s + o)
constexpr uint32_t kParamMappingSquare = 5;         // t = p^2
constexpr uint32_t kParamMappingInverseSquare = 6;  // t = 1 - (1 - p)^2
constexpr uint32_t kParamMappingSmoothStep = 7;     // t = p^2 (3 - 2p)

constexpr size_t kParamValueTextSize = 9;   // value text with its NUL
constexpr size_t kParamUnitTextSize = 10;   // unit text with its NUL
constexpr size_t kParamEntryNameLength = 8; // characters of an entry name (and of the unit beside it)

class ParamValue {
public:
    // ---- Configuration, set by the parameter's owner before use ----
    uint32_t mappingType = kParamMappingLinear;
    bool siDisplay = false;
    bool zeroIsOff = false;
    float span = 1.0f;    // for kParamMappingEntries the number of entries
    float offset = 0.0f;
    float lowerLimit = std::numeric_limits<float>::lowest();
    float upperLimit = std::numeric_limits<float>::max();
    const char* name = "";
    const char* unit = "";
    const char* format = "";  // printf form taking one float, for values shown without SI prefixes
    int32_t* boundInt = nullptr;
    float* boundFloat = nullptr;
    const char* const* entryNames = nullptr;  // span names, for kParamMappingEntries

    // value <- v (not clamped), position <- toPosition(v); the bound variables follow (the integer
    // truncated toward zero and saturated); the texts are re-rendered on the next request.
    void setValue(float v);
    // value <- fromPosition(p); for entries the position snaps to the entry's own, otherwise it stays p.
    void setPosition(float p);
    // Takes the value from the bound variables; the float one wins when both are bound.
    void syncFromVariables();

    // Copy the value text (up to kParamValueTextSize bytes) or the unit text (up to kParamUnitTextSize
    // bytes) into out, rendering them first when the value changed. Nothing is written to a null out.
    void valueText(char* out);
    void unitText(char* out);
    // For an owner that changed the configuration after the value was set.
    void invalidateText() { textStale = true; }

    float value() const { return currentValue; }
    float position() const { return currentPosition; }

    // The mapping itself: position clamped to 0..1; value clamped to the limits (0 for position 0 when
    // zero is off, whatever the limits).
    float toPosition(float x) const;
    float fromPosition(float p) const;

private:
    void renderTexts();
    void followVariables();

    float currentValue = 0.0f;
    float currentPosition = 0.0f;
    bool textStale = true;
    char valueBuffer[kParamValueTextSize] = {};
    char unitBuffer[kParamUnitTextSize] = {};
};

}  // namespace tarsk
