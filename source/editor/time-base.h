// The header's time base in its three modes: seconds, frequency (1 / seconds) and note length at the
// host's tempo (an index into the engine's note lengths). Switching modes converts the value.
#pragma once

#include <cstdint>

#include "engine/program-record.h"

namespace tarsk {

constexpr int32_t kTimeBaseSeconds = 0;
constexpr int32_t kTimeBaseFrequency = 1;
constexpr int32_t kTimeBaseNote = 2;
constexpr int32_t kTimeBaseModes = 3;
constexpr int kTimeBaseModeShift = 6;

// The mode in the record's flags word (a mode 3 that a damaged record may carry reads as seconds).
int32_t timeBaseMode(const ProgramRecord& record);

// The note length nearest to a length in whole notes, by the arithmetic midpoints between neighbouring
// lengths: 0 above the midpoint of the two longest, the shortest's index below the midpoint of the two
// shortest.
int32_t nearestNoteIndex(double wholeNotes);
// Seconds of the note length at index (rounded to the nearest whole index, kept in the list) at tempo.
double noteSeconds(float index, double tempo);

// Puts the record into mode, converting its time-base word: into note mode from seconds at the tempo,
// out of note mode into seconds; seconds and frequency store the same word.
void setTimeBaseMode(ProgramRecord& record, int32_t mode, double tempo);

}  // namespace tarsk
