// AnalysisStrip: the Editor page's ambient display of the current program's response. A private
// engine (never the audio thread's, with a delay ring of its own) renders the program's impulse
// response over three frames: phase 0 cooks it, renders the first half of the buffer and transforms
// it, phase 1 renders and transforms the second half, phase 2 reduces the spectra to 256 bands of
// stereo energies and maps them to column colours. A new cycle starts only when its response can
// differ from the one shown: another record, rate, tempo, length or channel, or a modulated program
// (whose random modulation changes every render). The program cooked the same way at the effect's
// sample rate and tempo is what the Matrix and Filter pages read their matrices and filter
// coefficients from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/engine-state.h"
#include "engine/program-record.h"

namespace tarsk {

class Editor;

constexpr int kAnalysisBands = 256;
constexpr uint32_t kAnalysisBufferSamples = 16384;
constexpr uint32_t kAnalysisHalfSamples = kAnalysisBufferSamples / 2;
constexpr int kAnalysisPhases = 3;
constexpr int kAnalysisLengthCount = 8;
constexpr int kAnalysisChannelCount = 5;
constexpr uint32_t kAnalysisLengthButton = 7;   // step button ids in the analysis group
constexpr uint32_t kAnalysisChannelButton = 8;
constexpr size_t kCurveScratchFloats = 81920;

// One analysis channel: stereo weights of the exciting impulse and whether the channel is the
// strip's unweighted view.
struct AnalysisChannel {
    const char* letter;
    float left;
    float right;
    bool unweighted;
};

const char* analysisLengthLabel(int index);
double analysisLengthSeconds(int index);
uint32_t analysisRenderedSamples(int index);
const AnalysisChannel& analysisChannel(int index);

// The three column values (red, green, blue) of a band with left energy p, right energy q and
// cross energy r.
struct BandColumn {
    float a = 0.0f;
    float b = 0.0f;
    float c = 0.0f;
};
BandColumn bandColumn(float p, float q, float r);

// The colour component drawn in additive blending over the gamma-encoded background component
// `background` so that 1 - 2^(-64 v) of linear light is added.
float additiveColumnComponent(float v, float background);

class AnalysisStrip {
public:
    AnalysisStrip();
    ~AnalysisStrip();
    AnalysisStrip(const AnalysisStrip&) = delete;
    AnalysisStrip& operator=(const AnalysisStrip&) = delete;

    // Advances one phase and draws the columns and the length and channel selectors (inside the
    // editor's group 512).
    void draw(Editor& editor);

    // Runs the next phase for a record, without drawing. At phase 0 nothing runs (and the phase stays 0)
    // when the cycle would render the response the columns already show.
    void step(const ProgramRecord& record, float rate, float tempo, int lengthIndex, int channelIndex);

    // The analysis engine's program cooked from `record` at `rate` and `tempo` (the coefficients the
    // pages show; the render engine cooks the same way, at its render rate): cooked again only when
    // one of them differs from the last cook's.
    const EngineState& cooked(const ProgramRecord& record, float rate, float tempo);
    // The same for the editor's record at the effect's rate and tempo.
    const EngineState& cooked(Editor& editor);

    int phase() const { return nextPhase; }
    // The columns of the last completed reduction (256 each).
    const BandColumn* columns() const;
    // The band energies of the last completed reduction: p, q, r of band i at 3i, 3i + 1, 3i + 2.
    const float* bandEnergies() const;
    // Scratch floats for the pages' drawings of engine curves (kCurveScratchFloats; made once).
    float* curveScratch();

    // Cooks done so far (for tests: a steady page frame must not cook).
    uint64_t cookCount() const { return cooks; }

private:
    struct Workspace;
    Workspace& workspace();
    void cookRender(const ProgramRecord& record, float rate, float tempo);
    void renderAndTransformFirstHalf(const ProgramRecord& record, float rate, float tempo, int lengthIndex,
                                     int channelIndex);
    void renderHalf(int half);
    void transformHalf(int half);
    void reduce();
    bool wouldRepeat(const ProgramRecord& record, float rate, float tempo, int lengthIndex, int channelIndex) const;

    std::unique_ptr<Workspace> work;
    int nextPhase = 0;
    bool reduced = false;  // a reduction has completed: the columns hold a picture
    uint64_t cooks = 0;
};

}  // namespace tarsk
