// The I/O page's conversions between a stored (left, right) gain pair and its place in the stereo field.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/program-record.h"

namespace tarsk {

// The I/O page's tabs (its view word).
constexpr int32_t kIoInputTab = 1;
constexpr int32_t kIoOutputTab = 2;

constexpr float kStereoHalfRoot = 0.70710677f;  // 1 / sqrt(2)
// A rebuilt vector is stored only when it moved by more than this fraction of the stored vector's length.
constexpr float kVectorDriftGuard = 3e-5f;

// A vector as the stereo field shows it: angle in degrees (0 centre, 45 right, -45 left, 90 side) and length.
struct StereoPolar {
    float degrees = 0.0f;
    float length = 0.0f;
};

// (left, right) -> the stereo field point (x, y) -> angle and length.
StereoPolar stereoPolar(float left, float right);
// Angle and length -> (left, right).
void stereoVector(const StereoPolar& polar, float& left, float& right);

// The length as its box shows it: three decimals, "&minus;" as minus sign.
void formatVectorLength(char* out, size_t size, float length);

// Stores (left, right) at words first, first + 1 only when it differs from the stored pair by more than the
// drift guard; true when it stored.
bool storeVector(ProgramRecord& record, int first, float left, float right);

}  // namespace tarsk
