// Measuring a program through the plug-in: a burst of noise at a known level goes in, and the output
// is reduced to the numbers that tell whether a program sounds like what it says (level, decay,
// brightness) and whether it is safe (finite, no runaway level).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/tail-figures.h"

namespace tarskhost {

struct MeasureSettings {
    double sampleRate = 48000.0;
    int32_t blockSize = 512;
    double tempo = 120.0;
    double burstSeconds = 1.0;   // white noise, independent on the two channels
    double burstPeakDbfs = -12.0;
    double maxTailSeconds = 30.0;  // the render stops this long after the burst at the latest
    // The render also stops once the output has stayed below the silence level for this long.
    double quietSecondsToStop = 4.0;
    double silenceDbfs = -90.0;
    // The impulse response for the tail figures stops here at the latest, or earlier once it has
    // stayed 100 dB below its peak for a while.
    double impulseMaxSeconds = 8.0;
};

constexpr double kImpulseMinSeconds = 1.0;
constexpr double kImpulseQuietSeconds = 0.3;
constexpr double kImpulseQuietDb = -100.0;

struct ProgramMeasurement {
    bool finite = true;
    double peakDbfs = -999.0;          // the highest output sample of the whole render
    double gainDb = 0.0;               // output over input level (RMS) in the second half of the burst
    double tailSeconds = 0.0;          // after the burst, until the output stays below the silence level
    bool sustains = false;             // still above the silence level when the render stopped
    double decaySeconds = 0.0;         // RT60 of the tail from the -5 to -35 dB span of its energy decay
    double burstCentroidHz = 0.0;      // spectral centre of the output during the burst
    double tailCentroidHz = 0.0;       // and over the first half second of the tail
    double renderedSeconds = 0.0;
};

// Renders the burst through a freshly loaded instance of the plug-in with the given program chunk
// (empty: the plug-in's own program) and measures the output. Answers false with a message in error
// when the plug-in cannot be loaded or driven.
bool measureProgram(const std::string& pluginPath, const std::vector<uint8_t>& chunk,
                    const MeasureSettings& settings, ProgramMeasurement& result, std::string& error);

// Renders the response of the plug-in with the given chunk to one unit sample on both inputs, until
// it has stayed 100 dB below its peak for 0.3 s (at least 1 s) or for impulseMaxSeconds.
bool renderImpulseResponse(const std::string& pluginPath, const std::vector<uint8_t>& chunk,
                           const MeasureSettings& settings, std::vector<float>& left, std::vector<float>& right,
                           std::string& error);

// The tail figures of a program (the chunk with its dry level set to 0) from its impulse response.
bool measureTailFigures(const std::string& pluginPath, const std::vector<uint8_t>& chunk,
                        const MeasureSettings& settings, TailFigures& figures, std::string& error);

}  // namespace tarskhost
