// EditorSettings: the four editor settings and their text values in the settings store.
#pragma once

#include "tarsklib/settings-store.h"

namespace tarsk {

// The range of the display scale.
constexpr float kDisplayScaleMin = 0.2f;
constexpr float kDisplayScaleMax = 5.0f;

// The identifier under which the editor settings are stored.
inline constexpr const char* kSettingsIdentifier = "com.tarskcode.tarskverb";

struct EditorSettings {
    float displayScale = 1.0f;
    int fontStyle = 2;  // 1 serif, 2 sans, 3 none
    float fontLodBias = -0.25f;
    int startPage = 0;  // 0 Summary, 1 Editor, 2 Library

    // Reads the values from the store; a missing or unreadable value gives its default, and every
    // value is clamped to its range.
    void load(const SettingsStore& settings);
    // Writes the four values into the store (the caller saves the store).
    void store(SettingsStore& settings) const;
};

}  // namespace tarsk
