// AnalysisStrip: the private analysis engine, the impulse-response render (half of it per phase), a split radix-2 transform
// of both channels at once, the reduction to 256 logarithmic bands of stereo energies, their colours,
// and the selectors of length and channel.
#include "editor/analysis-strip.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "editor/editor.h"
#include "editor/tab-backdrop.h"
#include "engine/cook.h"
#include "engine/engine.h"

namespace tarsk {

namespace {

constexpr const char* kLengthLabels[kAnalysisLengthCount] = {"0.01 s", "0.03 s", "0.1 s", "0.3 s",
                                                             "1 s",    "3 s",    "10 s",  "30 s"};
constexpr double kLengthSeconds[kAnalysisLengthCount] = {0.01, 0.03, 0.1, 0.3, 1.0, 3.0, 10.0, 30.0};
constexpr uint32_t kRenderedSamples[kAnalysisLengthCount] = {512, 1792, 6400, 16384, 16384, 16384, 16384, 16384};

constexpr AnalysisChannel kChannels[kAnalysisChannelCount] = {
    {"U", 1.002f, 1.0f, true},
    {"C", -1.002f, -1.0f, false},
    {"R", 0.02f, -1.4142f, false},
    {"S", 1.002f, -1.0f, false},
    {"L", 1.4142f, 0.02f, false},
};
constexpr float kChannelWeightScale = 1.0526316f;  // 20 / 19

// Linear colours of the channel swatches (U white, C amber, R blue, S violet, L green).
constexpr UiColour kChannelColours[kAnalysisChannelCount] = {
    {0.9f, 0.9f, 0.9f, 1.0f}, {1.0f, 0.55f, 0.1f, 1.0f}, {0.2f, 0.45f, 1.0f, 1.0f},
    {0.75f, 0.3f, 1.0f, 1.0f}, {0.3f, 1.0f, 0.35f, 1.0f},
};

// The bands: logarithmic from 20 Hz to 20 kHz.
constexpr double kLowestBandHz = 20.0;
constexpr double kBandSpan = 1000.0;  // 20 kHz / 20 Hz

// Scales a band's mean energy per transform bin so that a typical reverberant response sits in the
// middle of the colour curve 1 - 2^(-64 v).
constexpr double kEnergyScale = 1.0 / 4096.0;

constexpr float kFloor = 1e-36f;
constexpr float kColumnGain = 64.0f;
constexpr float kGammaEncode = 0.4545f;
constexpr float kGammaDecode = 2.2f;

constexpr uint32_t kRenderBlock = 512;
constexpr int kTransformBits = 13;  // 8192 points per half
static_assert((1u << kTransformBits) == kAnalysisHalfSamples, "one transform per half buffer");

UiRect centred(float x, float y, float width, float height) { return UiRect{x, y, width * 0.5f, height * 0.5f}; }

}  // namespace

const char* analysisLengthLabel(int index) { return kLengthLabels[std::clamp(index, 0, kAnalysisLengthCount - 1)]; }
double analysisLengthSeconds(int index) { return kLengthSeconds[std::clamp(index, 0, kAnalysisLengthCount - 1)]; }
uint32_t analysisRenderedSamples(int index) {
    return kRenderedSamples[std::clamp(index, 0, kAnalysisLengthCount - 1)];
}
const AnalysisChannel& analysisChannel(int index) { return kChannels[std::clamp(index, 0, kAnalysisChannelCount - 1)]; }

BandColumn bandColumn(float p, float q, float r) {
    // The eigenvalues of the band's stereo energy matrix [[p, r], [r, q]].
    const float m = (p + q) * 0.5f;
    const float d = std::sqrt(std::max(m * m + r * r - p * q, kFloor));
    const float l1 = std::max(d + m, kFloor);
    const float l2 = std::max(m - d, kFloor);
    // The direction of the principal axis as a hue on three colour weights.
    const float t = ((0.9999f * q - p) * 0.70710677f + kFloor) / std::max((r + d) * 1.4142135f, kFloor);
    const float s = 1.7320508f * t;
    const float u = 1.0f - t * t;
    const float w = 0.6666667f / (1.0f + t * t);
    const float h = -0.5f * u;
    const float c1 = std::max((h - s) * w + 1.0f / 3.0f, kFloor);
    const float c2 = std::max((h + s) * w + 1.0f / 3.0f, kFloor);
    const float c3 = std::max(1.0f / 3.0f + u * w, kFloor);
    const float e = 0.05f * c3;
    // Correlated energy is coloured, the uncorrelated rest (twice the smaller eigenvalue) is grey.
    const float top = std::sqrt(l1 + l2);
    const float bottom = std::sqrt(2.0f * l2);
    BandColumn out;
    out.a = (0.95f * c1 + e) * (top - bottom) + bottom;
    out.b = (0.95f * c2 + e) * (top - bottom) + bottom;
    out.c = c3 * (top - bottom) + bottom;
    return out;
}

float additiveColumnComponent(float v, float background) {
    const float linearBackground = std::pow(std::max(background, 0.0f), kGammaDecode);
    const float added = 1.0f + linearBackground - std::exp2(-kColumnGain * v);
    return std::pow(std::max(added, 0.0f), kGammaEncode) - background;
}

// Everything the strip needs beyond a few words: made once, on first use.
struct AnalysisStrip::Workspace {
    Engine engine;
    std::unique_ptr<float[]> ring{new float[kRingWords]()};
    // What the render engine was last cooked from.
    ProgramRecord renderRecord;
    float renderRate = 0.0f;
    float renderTempo = 0.0f;
    bool renderValid = false;
    // The same program cooked at the effect's rate for the pages (no ring), and what it came from.
    EngineState pages;
    ProgramRecord pagesRecord;
    float pagesRate = 0.0f;
    float pagesTempo = 0.0f;
    bool pagesValid = false;

    // What the last cycle rendered: the record, the effect's rate and tempo, the length and channel.
    ProgramRecord cycleRecord;
    float cycleRate = 0.0f;
    float cycleTempo = 0.0f;
    int cycleLength = -1;
    int cycleChannel = -1;

    // The rendered response (left and right, zero after the rendered samples).
    float left[kAnalysisBufferSamples] = {};
    float right[kAnalysisBufferSamples] = {};
    uint32_t renderCount = 0;

    // Transform scratch (both channels packed as one complex signal) and its twiddles.
    float re[kAnalysisHalfSamples] = {};
    float im[kAnalysisHalfSamples] = {};
    float cosTable[kAnalysisHalfSamples / 2] = {};
    float sinTable[kAnalysisHalfSamples / 2] = {};
    uint16_t bitReverse[kAnalysisHalfSamples] = {};

    // Energies per transform bin, summed over both halves: |L|^2, |R|^2, Re(L conj R).
    float binP[kAnalysisHalfSamples / 2 + 1] = {};
    float binQ[kAnalysisHalfSamples / 2 + 1] = {};
    float binR[kAnalysisHalfSamples / 2 + 1] = {};

    // Bins of each band at the render rate: [first, last) or, for a band narrower than a bin, the
    // nearest bin with the band's share of it.
    float bandRate = -1.0f;
    int32_t bandFirst[kAnalysisBands] = {};
    int32_t bandLast[kAnalysisBands] = {};
    float bandWeight[kAnalysisBands] = {};

    float energies[kAnalysisBands * 3] = {};
    float curves[kCurveScratchFloats] = {};
    BandColumn columns[kAnalysisBands];

    Workspace() {
        constexpr uint32_t n = kAnalysisHalfSamples;
        for (uint32_t k = 0; k < n / 2; ++k) {
            const double angle = -2.0 * 3.14159265358979323846 * k / n;
            cosTable[k] = static_cast<float>(std::cos(angle));
            sinTable[k] = static_cast<float>(std::sin(angle));
        }
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t r = 0;
            for (int b = 0; b < kTransformBits; ++b) {
                r |= ((i >> b) & 1u) << (kTransformBits - 1 - b);
            }
            bitReverse[i] = static_cast<uint16_t>(r);
        }
        engine.attachRing(ring.get());
    }

    void layBands(float rate) {
        if (rate == bandRate) {
            return;
        }
        bandRate = rate;
        const double binHz = rate / static_cast<double>(kAnalysisHalfSamples);
        const int32_t lastBin = static_cast<int32_t>(kAnalysisHalfSamples / 2);
        for (int b = 0; b < kAnalysisBands; ++b) {
            const double lo = kLowestBandHz * std::pow(kBandSpan, static_cast<double>(b) / kAnalysisBands);
            const double hi = kLowestBandHz * std::pow(kBandSpan, static_cast<double>(b + 1) / kAnalysisBands);
            int32_t first = static_cast<int32_t>(std::ceil(lo / binHz));
            int32_t last = static_cast<int32_t>(std::ceil(hi / binHz));
            first = std::clamp(first, 0, lastBin + 1);
            last = std::clamp(last, 0, lastBin + 1);
            if (last > first) {
                bandFirst[b] = first;
                bandLast[b] = last;
                bandWeight[b] = 1.0f / static_cast<float>(last - first);
            } else if (lo / binHz <= lastBin) {
                // Narrower than a bin: the bin around its centre.
                const int32_t nearest = std::clamp(static_cast<int32_t>(std::lround(std::sqrt(lo * hi) / binHz)), 0, lastBin);
                bandFirst[b] = nearest;
                bandLast[b] = nearest + 1;
                bandWeight[b] = 1.0f;
            } else {
                // Above half the render rate: nothing there.
                bandFirst[b] = 0;
                bandLast[b] = 0;
                bandWeight[b] = 0.0f;
            }
        }
    }
};

AnalysisStrip::AnalysisStrip() = default;
AnalysisStrip::~AnalysisStrip() = default;

AnalysisStrip::Workspace& AnalysisStrip::workspace() {
    if (!work) {
        work = std::make_unique<Workspace>();
    }
    return *work;
}

float* AnalysisStrip::curveScratch() { return workspace().curves; }

const BandColumn* AnalysisStrip::columns() const { return work ? work->columns : nullptr; }
const float* AnalysisStrip::bandEnergies() const { return work ? work->energies : nullptr; }

const EngineState& AnalysisStrip::cooked(const ProgramRecord& record, float rate, float tempo) {
    Workspace& w = workspace();
    if (!w.pagesValid || w.pagesRate != rate || w.pagesTempo != tempo || !(w.pagesRecord == record)) {
        // The same cook as the render engine's, without a ring to lay out.
        w.pages.sampleRate = rate;
        if (std::isfinite(tempo) && tempo >= kMinTempo && tempo <= kMaxTempo) {
            w.pages.tempo = tempo;
        }
        cookProgram(w.pages, nullptr, record, CookRequest{});
        w.pagesRecord = record;
        w.pagesRate = rate;
        w.pagesTempo = tempo;
        w.pagesValid = true;
        ++cooks;
    }
    return w.pages;
}

void AnalysisStrip::cookRender(const ProgramRecord& record, float rate, float tempo) {
    Workspace& w = workspace();
    if (!w.renderValid || w.renderRate != rate || w.renderTempo != tempo || !(w.renderRecord == record)) {
        w.engine.setSampleRate(rate);
        w.engine.setTempo(tempo);
        w.engine.cook(record, CookRequest{});
        w.renderRecord = record;
        w.renderRate = rate;
        w.renderTempo = tempo;
        w.renderValid = true;
        ++cooks;
    }
}

const EngineState& AnalysisStrip::cooked(Editor& editor) {
    return cooked(editor.program(), editor.host().rate(), editor.host().tempo());
}

void AnalysisStrip::renderAndTransformFirstHalf(const ProgramRecord& record, float rate, float tempo,
                                                int lengthIndex, int channelIndex) {
    Workspace& w = workspace();
    const double seconds = analysisLengthSeconds(lengthIndex);
    const uint32_t count = analysisRenderedSamples(lengthIndex);
    const float effectRate = rate > 0.0f ? rate : 44100.0f;
    // A length longer than the buffer holds at the effect's rate is rendered at the rate that fits it.
    const float renderRate = static_cast<float>(std::min<double>(effectRate, count / seconds));
    cookRender(record, renderRate, tempo);
    // A fresh start: every filter and modulation state, and the part of the ring the lines use
    // (clearing all of it would cost more than the render).
    EngineState& s = w.engine.state();
    resetEngine(s, nullptr);
    std::fill(w.ring.get(), w.ring.get() + std::min(std::max(s.ringSize, 1u), kRingWords), 0.0f);
    w.engine.restartModulation();

    w.cycleRecord = record;
    w.cycleRate = rate;
    w.cycleTempo = tempo;
    w.cycleLength = lengthIndex;
    w.cycleChannel = channelIndex;

    const AnalysisChannel& channel = analysisChannel(channelIndex);
    w.renderCount = count;
    std::fill(w.left, w.left + kAnalysisBufferSamples, 0.0f);
    std::fill(w.right, w.right + kAnalysisBufferSamples, 0.0f);
    w.left[0] = channel.left * kChannelWeightScale;  // the exciting impulse, rendered in place
    w.right[0] = channel.right * kChannelWeightScale;
    std::fill(std::begin(w.binP), std::end(w.binP), 0.0f);
    std::fill(std::begin(w.binQ), std::end(w.binQ), 0.0f);
    std::fill(std::begin(w.binR), std::end(w.binR), 0.0f);
    renderHalf(0);
    transformHalf(0);
}

void AnalysisStrip::renderHalf(int half) {
    Workspace& w = workspace();
    const uint32_t begin = static_cast<uint32_t>(half) * kAnalysisHalfSamples;
    const uint32_t end = std::min(begin + kAnalysisHalfSamples, w.renderCount);
    for (uint32_t at = begin; at < end; at += kRenderBlock) {
        const uint32_t n = std::min(kRenderBlock, end - at);
        w.engine.process(w.left + at, w.right + at, w.left + at, w.right + at, n);
    }
}

void AnalysisStrip::transformHalf(int half) {
    Workspace& w = workspace();
    constexpr uint32_t n = kAnalysisHalfSamples;
    const float* l = w.left + half * n;
    const float* r = w.right + half * n;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t j = w.bitReverse[i];
        w.re[j] = l[i];
        w.im[j] = r[i];
    }
    for (uint32_t size = 2; size <= n; size <<= 1) {
        const uint32_t halfSize = size >> 1;
        const uint32_t stride = n / size;
        for (uint32_t start = 0; start < n; start += size) {
            for (uint32_t k = 0; k < halfSize; ++k) {
                const float c = w.cosTable[k * stride];
                const float s = w.sinTable[k * stride];
                const uint32_t a = start + k;
                const uint32_t b = a + halfSize;
                const float tr = w.re[b] * c - w.im[b] * s;
                const float ti = w.re[b] * s + w.im[b] * c;
                w.re[b] = w.re[a] - tr;
                w.im[b] = w.im[a] - ti;
                w.re[a] += tr;
                w.im[a] += ti;
            }
        }
    }
    // Z = L + jR: L_k = (Z_k + conj Z_{n-k}) / 2, R_k = (Z_k - conj Z_{n-k}) / 2j.
    for (uint32_t k = 0; k <= n / 2; ++k) {
        const uint32_t m = (n - k) & (n - 1);
        const float lr = 0.5f * (w.re[k] + w.re[m]);
        const float li = 0.5f * (w.im[k] - w.im[m]);
        const float rr = 0.5f * (w.im[k] + w.im[m]);
        const float ri = -0.5f * (w.re[k] - w.re[m]);
        w.binP[k] += lr * lr + li * li;
        w.binQ[k] += rr * rr + ri * ri;
        w.binR[k] += lr * rr + li * ri;
    }
}

void AnalysisStrip::reduce() {
    Workspace& w = workspace();
    w.layBands(w.renderRate);
    for (int b = 0; b < kAnalysisBands; ++b) {
        double p = 0.0, q = 0.0, r = 0.0;
        for (int32_t k = w.bandFirst[b]; k < w.bandLast[b]; ++k) {
            p += w.binP[k];
            q += w.binQ[k];
            r += w.binR[k];
        }
        const double scale = w.bandWeight[b] * kEnergyScale;
        float* e = w.energies + 3 * b;
        e[0] = static_cast<float>(p * scale);
        e[1] = static_cast<float>(q * scale);
        e[2] = static_cast<float>(r * scale);
        w.columns[b] = bandColumn(e[0], e[1], e[2]);
    }
    reduced = true;
}

bool AnalysisStrip::wouldRepeat(const ProgramRecord& record, float rate, float tempo, int lengthIndex,
                                int channelIndex) const {
    // Only modulation draws random numbers (sample-and-hold, noise); without it the render engine's
    // response is a function of the record, the rates, the length and the channel alone.
    return reduced && work != nullptr && !work->engine.state().modulated && work->cycleLength == lengthIndex &&
           work->cycleChannel == channelIndex && work->cycleRate == rate && work->cycleTempo == tempo &&
           work->cycleRecord == record;
}

void AnalysisStrip::step(const ProgramRecord& record, float rate, float tempo, int lengthIndex, int channelIndex) {
    switch (nextPhase) {
        case 0:
            if (wouldRepeat(record, rate, tempo, lengthIndex, channelIndex)) {
                return;  // the same response as the columns show: nothing to render
            }
            renderAndTransformFirstHalf(record, rate, tempo, lengthIndex, channelIndex);
            break;
        case 1:
            renderHalf(1);
            transformHalf(1);
            break;
        default:
            reduce();
            break;
    }
    nextPhase = (nextPhase + 1) % kAnalysisPhases;
}

void AnalysisStrip::draw(Editor& editor) {
    const float u = editor.unit();
    const float scale = editor.displayScale();
    int32_t& length = editor.analysisLength();
    int32_t& channel = editor.analysisChannel();
    length = std::clamp(length, 0, kAnalysisLengthCount - 1);
    channel = std::clamp(channel, 0, kAnalysisChannelCount - 1);

    // The first frame runs all three phases, so that the strip is never drawn empty.
    do {
        step(editor.program(), editor.host().rate(), editor.host().tempo(), length, channel);
    } while (!reduced);

    // The columns add light to the page.
    DrawList& list = editor.drawList();
    const LayerAbove above(list);
    const uint32_t blend = list.blend();
    list.setBlend(kBlendAdd);
    const UiColour& background = editor.background();
    const BandColumn* cols = work->columns;
    const float x0 = editor.group() != nullptr ? editor.group()->originX : 0.0f;
    const float y0 = editor.group() != nullptr ? editor.group()->originY : 0.0f;
    for (int i = 0; i < kAnalysisBands; ++i) {
        const UiColour colour{additiveColumnComponent(cols[i].a, background.r),
                              additiveColumnComponent(cols[i].b, background.g),
                              additiveColumnComponent(cols[i].c, background.b), 1.0f};
        const float left = (64.0f + 2.0f * static_cast<float>(i)) * scale;
        list.fillRect(UiRect{x0 + left + scale, y0 + 5.0f * u, scale, 0.5f * u}, colour);
    }
    list.setBlend(blend);

    // Length and channel selectors with the channel's colour beside them.
    const float right = editor.windowWidth();
    editor.useStyle(kStylePlainMicr);
    const int lengthStep = editor.stepButton(kAnalysisLengthButton, centred(right - 5.0f * u, u, 2.0f * u, u),
                                             analysisLengthLabel(length), 12.0f, 0, kAlignCentre);
    const int channelStep = editor.stepButton(kAnalysisChannelButton, centred(right - 3.0f * u, u, 2.0f * u, u),
                                              analysisChannel(channel).letter, 12.0f, 0, kAlignCentre);
    length = (length + lengthStep + kAnalysisLengthCount) % kAnalysisLengthCount;
    channel = (channel + channelStep + kAnalysisChannelCount) % kAnalysisChannelCount;
    const UiColour& swatch = kChannelColours[channel];
    list.fillRect(centred(x0 + right - 1.5f * u, y0 + u, 0.5f * u, 0.5f * u),
                  UiColour{std::pow(swatch.r, kGammaEncode), std::pow(swatch.g, kGammaEncode),
                           std::pow(swatch.b, kGammaEncode), 1.0f});
}

}  // namespace tarsk
