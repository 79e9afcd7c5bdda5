// Texts of the Filter page's value boxes.
#include "editor/filter-rows.h"

#include <cstdio>

#include "engine/engine-state.h"

namespace tarsk {

namespace {
constexpr const char* kOffText = "&mdash;";
}  // namespace

void formatHertzText(char* out, size_t size, float hz) { std::snprintf(out, size, "%.0f Hz", static_cast<double>(hz)); }

void formatLowcutText(char* out, size_t size, float hz) {
    if (hz > kLowcutOffBelow) {
        formatHertzText(out, size, hz);
    } else {
        std::snprintf(out, size, "%s", kOffText);
    }
}

void formatOffAboveText(char* out, size_t size, float hz) {
    if (hz < kOffFrequency) {
        formatHertzText(out, size, hz);
    } else {
        std::snprintf(out, size, "%s", kOffText);
    }
}

}  // namespace tarsk
