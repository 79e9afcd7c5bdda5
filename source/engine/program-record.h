// The program record: 221 little-endian 32-bit words holding every parameter of one program.
#pragma once

#include <cstdint>
#include <cstring>

namespace tarsk {

constexpr int kRecordWords = 221;
constexpr int kRecordBytes = kRecordWords * 4;

constexpr uint32_t kProgramMagic = 0x5D3B607C;
constexpr uint32_t kProgramMagicOld = 0x5D3B6001;  // also the plug-in's unique id
constexpr uint32_t kCurrentLayout = 0xD000;

constexpr int kNameBytes = 28;
constexpr int kShownNameChars = 24;
constexpr int kDescriptionBytes = 480;

// Word indices of the fields.
namespace word {
constexpr int magic = 0;
constexpr int version = 1;
constexpr int flags = 2;
constexpr int reserved = 3;
constexpr int name = 4;  // 7 words, 28 bytes
constexpr int dry = 11;
constexpr int wet = 12;
constexpr int timeBase = 13;
constexpr int delayLength = 14;  // 4 words
constexpr int tap1 = 18;         // 4 words
constexpr int tap2 = 22;         // 4 words
constexpr int tap3 = 26;         // 4 words
constexpr int halfLife = 30;
constexpr int vectorU = 31;  // 4 words
constexpr int vectorV = 35;  // 4 words
constexpr int alpha = 39;
constexpr int beta = 40;
constexpr int lowcut = 41;
constexpr int highcut = 42;
constexpr int inverter = 43;
constexpr int drive = 44;
constexpr int overunity = 45;
constexpr int decayScale = 46;  // 4 words
constexpr int midCenter = 50;
constexpr int midQ = 51;
constexpr int midStretch = 52;
constexpr int phi = 53;
constexpr int theta = 54;
constexpr int lfo1 = 55;  // 8 words, see lfo offsets
constexpr int lfo2 = 63;  // 8 words
constexpr int attack = 71;
constexpr int release = 72;
constexpr int envDelayDepth = 73;
constexpr int decaySlope = 74;
constexpr int decayThreshold = 75;
constexpr int outputRatio = 76;
constexpr int outputThreshold = 77;
constexpr int support = 78;
constexpr int envInverterDepth = 79;
constexpr int inputVectors = 80;   // 8 words: line i left at 80+2i, right at 81+2i
constexpr int outputVectors = 88;  // 8 words
constexpr int inputGain = 96;
constexpr int outGain = 97;
constexpr int tapLevel = 98;  // 3 words
constexpr int description = 101;  // 120 words, 480 bytes
}  // namespace word

// Offsets inside an LFO block.
namespace lfo {
constexpr int period = 0;
constexpr int delayDepth = 1;
constexpr int spread = 2;
constexpr int shape = 3;  // integer word
constexpr int decayDepth = 4;
constexpr int levelDepth = 5;
constexpr int shift = 6;
constexpr int inverterDepth = 7;
}  // namespace lfo

// Bits of the flags word.
namespace flag {
constexpr uint32_t filtersBeforeOutput = 0x0010;
constexpr uint32_t crossMixing = 0x0020;
constexpr uint32_t timeBaseMask = 0x00C0;
constexpr uint32_t timeBaseTempo = 0x0080;
constexpr uint32_t emphasisMask = 0x0300;
constexpr int emphasisShift = 8;
constexpr uint32_t swapRowsColumns = 0x0800;
constexpr uint32_t innerFeedback = 0x1000;
constexpr uint32_t tapOutputs = 0x4000;
constexpr uint32_t multitap = 0x8000;
}  // namespace flag

struct ProgramRecord {
    uint32_t words[kRecordWords] = {};

    uint32_t u(int i) const { return words[i]; }
    void setU(int i, uint32_t v) { words[i] = v; }
    float f(int i) const {
        float v;
        std::memcpy(&v, &words[i], 4);
        return v;
    }
    void setF(int i, float v) { std::memcpy(&words[i], &v, 4); }

    char* name() { return reinterpret_cast<char*>(&words[word::name]); }
    const char* name() const { return reinterpret_cast<const char*>(&words[word::name]); }
    char* description() { return reinterpret_cast<char*>(&words[word::description]); }
    const char* description() const { return reinterpret_cast<const char*>(&words[word::description]); }

    // Copies text into the name field (at most 27 characters, NUL-terminated, the rest zeroed).
    void setName(const char* text);
    // Copies text into the description field (at most 479 characters, NUL-terminated, the rest zeroed).
    void setDescription(const char* text);

    bool operator==(const ProgramRecord& other) const {
        return std::memcmp(words, other.words, sizeof(words)) == 0;
    }
};
static_assert(sizeof(ProgramRecord) == kRecordBytes, "the record is exactly 221 words");

// Copies at most 24 characters of the record's name into text and terminates it at text[24].
// The buffer needs 25 bytes.
void copyShownName(const ProgramRecord& record, char* text);

}  // namespace tarsk
