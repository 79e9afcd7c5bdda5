// Time-base modes and the conversion between seconds and note lengths.
#include "editor/time-base.h"

#include <cmath>

#include "engine/cook.h"

namespace tarsk {

int32_t timeBaseMode(const ProgramRecord& record) {
    int32_t mode = static_cast<int32_t>((record.u(word::flags) & flag::timeBaseMask) >> kTimeBaseModeShift);
    return mode < kTimeBaseModes ? mode : kTimeBaseSeconds;
}

int32_t nearestNoteIndex(double wholeNotes) {
    for (int i = 0; i + 1 < kNoteFractionCount; ++i) {
        if (wholeNotes > (kNoteFractions[i] + kNoteFractions[i + 1]) * 0.5) {
            return i;
        }
    }
    return kNoteFractionCount - 1;
}

double noteSeconds(float index, double tempo) {
    double at = std::isfinite(index) ? std::trunc(static_cast<double>(index) + 0.5) : 0.0;
    int i = at < 0.0 ? 0 : at > kNoteFractionCount - 1 ? kNoteFractionCount - 1 : static_cast<int>(at);
    return kNoteFractions[i] / tempo * kSecondsPerWholeNoteAt1Bpm;
}

void setTimeBaseMode(ProgramRecord& record, int32_t mode, double tempo) {
    int32_t from = timeBaseMode(record);
    if (mode < 0 || mode >= kTimeBaseModes || mode == from) {
        return;
    }
    if (!(tempo > 0.0) || !std::isfinite(tempo)) {
        return;  // no tempo to convert with: the mode stays
    }
    if (mode == kTimeBaseNote) {
        double seconds = record.f(word::timeBase);
        record.setF(word::timeBase, static_cast<float>(nearestNoteIndex(tempo * seconds / kSecondsPerWholeNoteAt1Bpm)));
    } else if (from == kTimeBaseNote) {
        record.setF(word::timeBase, static_cast<float>(noteSeconds(record.f(word::timeBase), tempo)));
    }
    uint32_t flags = record.u(word::flags) & ~flag::timeBaseMask;
    record.setU(word::flags, flags | (static_cast<uint32_t>(mode) << kTimeBaseModeShift));
}

}  // namespace tarsk
