// The table of named program record fields and its lookups.
#include "engine/program-fields.h"

#include <array>

#include "engine/program-record.h"

namespace tarsk {

namespace {

constexpr FieldKind F = FieldKind::Float;
constexpr FieldKind I = FieldKind::Integer;
constexpr FieldKind T = FieldKind::Text;

constexpr ProgramField field(const char* name, int first, int count, FieldKind kind) {
    return ProgramField{name, static_cast<int16_t>(first), static_cast<int16_t>(count), kind};
}

// Fields of one LFO block starting at word `base`; the names carry the LFO's prefix.
#define TARSK_LFO_FIELDS(prefix, base)                                     \
    field(prefix ".period", (base) + lfo::period, 1, F),                   \
        field(prefix ".delayDepth", (base) + lfo::delayDepth, 1, F),       \
        field(prefix ".spread", (base) + lfo::spread, 1, F),               \
        field(prefix ".shape", (base) + lfo::shape, 1, I),                 \
        field(prefix ".decayDepth", (base) + lfo::decayDepth, 1, F),       \
        field(prefix ".levelDepth", (base) + lfo::levelDepth, 1, F),       \
        field(prefix ".shift", (base) + lfo::shift, 1, F),                 \
        field(prefix ".inverterDepth", (base) + lfo::inverterDepth, 1, F)

constexpr std::array kFields = {
    field("magic", word::magic, 1, I),
    field("version", word::version, 1, I),
    field("flags", word::flags, 1, I),
    field("reserved", word::reserved, 1, I),
    field("name", word::name, kNameBytes / 4, T),
    field("dry", word::dry, 1, F),
    field("wet", word::wet, 1, F),
    field("timeBase", word::timeBase, 1, F),
    field("delayLength", word::delayLength, 4, F),
    field("tap1", word::tap1, 4, F),
    field("tap2", word::tap2, 4, F),
    field("tap3", word::tap3, 4, F),
    field("halfLife", word::halfLife, 1, F),
    field("vectorU", word::vectorU, 4, F),
    field("vectorV", word::vectorV, 4, F),
    field("alpha", word::alpha, 1, F),
    field("beta", word::beta, 1, F),
    field("lowcut", word::lowcut, 1, F),
    field("highcut", word::highcut, 1, F),
    field("inverter", word::inverter, 1, F),
    field("drive", word::drive, 1, F),
    field("overunity", word::overunity, 1, F),
    field("decayScale", word::decayScale, 4, F),
    field("midCenter", word::midCenter, 1, F),
    field("midQ", word::midQ, 1, F),
    field("midStretch", word::midStretch, 1, F),
    field("phi", word::phi, 1, F),
    field("theta", word::theta, 1, F),
    TARSK_LFO_FIELDS("lfo1", word::lfo1),
    TARSK_LFO_FIELDS("lfo2", word::lfo2),
    field("attack", word::attack, 1, F),
    field("release", word::release, 1, F),
    field("envDelayDepth", word::envDelayDepth, 1, F),
    field("decaySlope", word::decaySlope, 1, F),
    field("decayThreshold", word::decayThreshold, 1, F),
    field("outputRatio", word::outputRatio, 1, F),
    field("outputThreshold", word::outputThreshold, 1, F),
    field("support", word::support, 1, F),
    field("envInverterDepth", word::envInverterDepth, 1, F),
    field("inputVectors", word::inputVectors, 8, F),
    field("outputVectors", word::outputVectors, 8, F),
    field("inputGain", word::inputGain, 1, F),
    field("outGain", word::outGain, 1, F),
    field("tapLevel", word::tapLevel, 3, F),
    field("description", word::description, kDescriptionBytes / 4, T),
};

#undef TARSK_LFO_FIELDS

// The table is in word order without gaps or overlaps and ends at the last word.
constexpr bool tableCoversRecord() {
    int next = 0;
    for (const ProgramField& f : kFields) {
        if (f.firstWord != next || f.wordCount <= 0) {
            return false;
        }
        next += f.wordCount;
    }
    return next == kRecordWords;
}
static_assert(tableCoversRecord(), "the field table covers every record word once, in order");

}  // namespace

std::span<const ProgramField> programFields() { return kFields; }

const ProgramField* findProgramField(std::string_view name) {
    for (const ProgramField& f : kFields) {
        if (name == f.name) {
            return &f;
        }
    }
    return nullptr;
}

const ProgramField* programFieldAtWord(int wordIndex) {
    if (wordIndex < 0 || wordIndex >= kRecordWords) {
        return nullptr;
    }
    // The table is sorted by first word: find the last field that starts at or before the word.
    size_t low = 0;
    size_t high = kFields.size();
    while (high - low > 1) {
        size_t middle = (low + high) / 2;
        if (kFields[middle].firstWord <= wordIndex) {
            low = middle;
        } else {
            high = middle;
        }
    }
    return &kFields[low];
}

}  // namespace tarsk
