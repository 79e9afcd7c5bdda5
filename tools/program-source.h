// Readable program sources: a text format with one record field per line, its parser and formatter, and
// the builder of the .fxp file a source describes.
//
// Format: one entry a line, `fieldName value [value...]`, with exactly as many values as the field has
// words. Float fields take decimal numbers (exponents allowed, no hexadecimal, no inf or nan); integer
// fields take decimal or 0x-prefixed hexadecimal numbers. `name` and `description` take the rest of the
// line, trimmed, where `\n` stands for a line break and `\\` for a backslash. Lines whose first
// non-blank character is `#` are comments; numeric lines may end in a `#` comment. Every field may be
// given once; fields not given are 0. File-level lines describe the .fxp framing:
//   layout 0x4000     the layout the chunk is written in (default 0xD000, the current one)
//   fxpVersion 1      the header's fxVersion (default 760)
//   fxpByteSize 0     the header's byteSize (default: chunk size + 52, as the plug-in writes it)
//   fxpNumParams 0    the header's numParams (default 0)
// and one line describes the sound rather than the file, for the checks of the factory programs:
//   tail 2.5          after the input stops, the output falls below -90 dBFS within 2.5 seconds
//   tail sustain      the program is meant to hold its sound (a freeze, an endless loop)
//   exempt bass,density REASON
//                     the reverb figures the program is not held to (peakiness, correlation, bass,
//                     density or all), and why: a sustaining or special-effect program, a bright hall
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/program-record.h"
#include "presets/fxp-file.h"

namespace tarsk {

// The reverb figures of the factory check, as bits of ProgramSource::exemptFigures.
constexpr uint32_t kFigurePeakiness = 1;
constexpr uint32_t kFigureCorrelation = 2;
constexpr uint32_t kFigureBass = 4;
constexpr uint32_t kFigureDensity = 8;
constexpr uint32_t kAllFigures = 15;

// What a source says about how its sound ends.
enum class TailPromise { none, seconds, sustain };

struct ProgramSource {
    ProgramRecord record;  // starts all zero
    uint32_t layout = kCurrentLayout;
    uint32_t fxpVersion = kFxpWrittenPluginVersion;
    uint32_t fxpNumParams = 0;
    bool hasFxpByteSize = false;  // otherwise byteSize is chunk size + 52
    uint32_t fxpByteSize = 0;
    TailPromise tail = TailPromise::none;
    double tailSeconds = 0.0;  // with TailPromise::seconds
    uint32_t exemptFigures = 0;  // figures the program is not held to, with the reason
    std::string exemptReason;
};

// Parses source text; fileName only labels the messages ("file:line: what"). On failure the answer is
// false and error holds the first problem.
bool parseProgramSource(std::string_view text, std::string_view fileName, ProgramSource& source,
                        std::string& error);

// Reads and parses a source file.
bool readProgramSourceFile(const std::string& path, ProgramSource& source, std::string& error);

// Writes a source that parses back into the same record and framing. Text after the NUL of the name or
// description is not kept; non-finite floats cannot be written and answer false.
bool formatProgramSource(const ProgramSource& source, std::string& text, std::string& error);

// Builds the bytes of the .fxp file: the big-endian header with the source's framing fields and the
// record as a chunk of the source's layout.
bool buildProgramFile(const ProgramSource& source, std::vector<uint8_t>& bytes, std::string& error);

// Reads a whole file; answers false when it cannot be read.
bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes);
// Writes a whole file, replacing it; answers false when it cannot be written.
bool writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace tarsk
