// Program measurement: the burst render and the reductions of its output.
#include "host/program-measure.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>

#include "host/plugin-host.h"
#include "host/tail-figures.h"
#include "engine/program-record.h"
#include "presets/program-chunk.h"

namespace tarskhost {

namespace {

constexpr int32_t kChunkIsProgram = 1;  // effSetChunk index: a program, not a bank
constexpr int32_t kChannels = 2;
constexpr int32_t kMaxPluginChannels = 64;
constexpr double kWindowSeconds = 0.01;  // the resolution of the tail and decay measurements
constexpr size_t kSpectrumSize = 4096;
constexpr double kTailSpectrumSeconds = 0.5;
constexpr double kDecayStartDb = -5.0;
constexpr double kDecayEndDb = -35.0;
constexpr double kDecayShortEndDb = -25.0;  // when the tail is too short for the full span
constexpr double kNoLevelDb = -999.0;

double toDb(double amplitude) { return amplitude > 0.0 ? 20.0 * std::log10(amplitude) : kNoLevelDb; }

// The power-weighted mean frequency of both channels over frames first .. last - 1 (Hann windows
// overlapping by half); 0 when the span holds no sound or is shorter than one window.
double spectralCentroid(const std::vector<float>& left, const std::vector<float>& right, size_t first, size_t last,
                        double rate) {
    std::vector<double> power(kSpectrumSize / 2 + 1, 0.0);
    std::vector<std::complex<double>> data(kSpectrumSize);
    for (size_t start = first; start + kSpectrumSize <= last; start += kSpectrumSize / 2) {
        for (const std::vector<float>* channel : {&left, &right}) {
            for (size_t i = 0; i < kSpectrumSize; ++i) {
                const double window =
                    0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / kSpectrumSize);
                data[i] = {(*channel)[start + i] * window, 0.0};
            }
            fourierTransform(data);
            for (size_t k = 0; k < power.size(); ++k) {
                power[k] += std::norm(data[k]);
            }
        }
    }
    double weighted = 0.0;
    double total = 0.0;
    for (size_t k = 1; k < power.size(); ++k) {
        weighted += power[k] * static_cast<double>(k) * rate / kSpectrumSize;
        total += power[k];
    }
    return total > 0.0 ? weighted / total : 0.0;
}

// RT60 from the backward-integrated energy of the windows after the burst; 0 when the tail is too
// short or too quiet to tell.
double decayTime(const std::vector<double>& windowEnergy, size_t firstTailWindow) {
    if (firstTailWindow >= windowEnergy.size()) {
        return 0.0;
    }
    std::vector<double> remaining(windowEnergy.size() - firstTailWindow + 1, 0.0);
    for (size_t i = windowEnergy.size(); i-- > firstTailWindow;) {
        remaining[i - firstTailWindow] = remaining[i - firstTailWindow + 1] + windowEnergy[i];
    }
    if (remaining[0] <= 0.0) {
        return 0.0;
    }
    auto timeAt = [&](double db) -> double {
        const double level = remaining[0] * std::pow(10.0, db / 10.0);
        for (size_t i = 0; i < remaining.size(); ++i) {
            if (remaining[i] <= level) {
                return static_cast<double>(i) * kWindowSeconds;
            }
        }
        return -1.0;
    };
    const double start = timeAt(kDecayStartDb);
    const double end = timeAt(kDecayEndDb);
    if (start >= 0.0 && end > start) {
        return (end - start) * 60.0 / (kDecayStartDb - kDecayEndDb);
    }
    const double shortEnd = timeAt(kDecayShortEndDb);
    if (start >= 0.0 && shortEnd > start) {
        return (shortEnd - start) * 60.0 / (kDecayStartDb - kDecayShortEndDb);
    }
    return 0.0;
}

}  // namespace

namespace {

// Loads the plug-in, opens it at the settings' rate and block size with the given chunk (empty: the
// plug-in's own program) and starts processing.
bool startPlugin(PluginHost& host, const std::string& pluginPath, const std::vector<uint8_t>& chunk,
                 const MeasureSettings& settings, std::string& error) {
    if (!host.load(pluginPath, error)) {
        return false;
    }
    vst2::AEffect* effect = host.effect();
    if (effect->processReplacing == nullptr || effect->numOutputs < 1 || effect->numOutputs > kMaxPluginChannels ||
        effect->numInputs < 0 || effect->numInputs > kMaxPluginChannels) {
        error = "'" + pluginPath + "' has no usable replacing audio callback";
        return false;
    }
    host.dispatch(vst2::effOpen);
    host.dispatch(vst2::effSetSampleRate, 0, 0, nullptr, static_cast<float>(settings.sampleRate));
    host.dispatch(vst2::effSetBlockSize, 0, settings.blockSize);
    if (!chunk.empty()) {
        std::vector<uint8_t> copy(chunk);  // the plug-in's argument is not const
        host.dispatch(vst2::effSetChunk, kChunkIsProgram, static_cast<intptr_t>(copy.size()), copy.data());
    }
    host.dispatch(vst2::effMainsChanged, 0, 1);
    host.dispatch(vst2::effStartProcess);
    return true;
}

HostOptions hostOptionsOf(const MeasureSettings& settings) {
    HostOptions options;
    options.sampleRate = settings.sampleRate;
    options.blockSize = settings.blockSize;
    options.tempo = settings.tempo;
    return options;
}

}  // namespace

bool measureProgram(const std::string& pluginPath, const std::vector<uint8_t>& chunk,
                    const MeasureSettings& settings, ProgramMeasurement& result, std::string& error) {
    result = ProgramMeasurement{};
    PluginHost host(hostOptionsOf(settings));
    if (!startPlugin(host, pluginPath, chunk, settings, error)) {
        return false;
    }
    vst2::AEffect* effect = host.effect();

    const double rate = settings.sampleRate;
    const int32_t block = settings.blockSize;
    const size_t burstFrames = static_cast<size_t>(std::llround(settings.burstSeconds * rate));
    const size_t maxFrames = burstFrames + static_cast<size_t>(std::llround(settings.maxTailSeconds * rate));
    const size_t windowFrames = std::max<size_t>(1, static_cast<size_t>(std::llround(kWindowSeconds * rate)));
    const size_t quietWindows = static_cast<size_t>(std::ceil(settings.quietSecondsToStop / kWindowSeconds));
    const double silence = std::pow(10.0, settings.silenceDbfs / 20.0);
    const double burstPeak = std::pow(10.0, settings.burstPeakDbfs / 20.0);

    const int32_t inputCount = std::max(effect->numInputs, kChannels);
    const int32_t outputCount = std::max(effect->numOutputs, kChannels);
    ChannelBuffers buffers(inputCount, outputCount, block);
    std::vector<std::vector<float>>& inputs = buffers.inputs;
    std::vector<std::vector<float>>& outputs = buffers.outputs;
    const size_t outRight = effect->numOutputs >= 2 ? 1 : 0;

    std::minstd_rand noiseLeft(12345);
    std::minstd_rand noiseRight(67890);
    std::uniform_real_distribution<double> uniform(-burstPeak, burstPeak);
    std::vector<float> left;
    std::vector<float> right;
    // Only the burst and the start of the tail are kept, for the spectra; the rest is reduced as it comes.
    const size_t keptFrames =
        std::min(maxFrames, burstFrames + static_cast<size_t>(kTailSpectrumSeconds * rate));
    left.reserve(keptFrames);
    right.reserve(keptFrames);
    std::vector<double> windowEnergy;
    double inputEnergy = 0.0;  // over the second half of the burst
    double outputEnergy = 0.0;
    size_t lastLoudWindow = 0;  // one past the last window at or above the silence level
    double windowPeak = 0.0;
    double windowSum = 0.0;
    double peak = 0.0;

    size_t done = 0;
    while (done < maxFrames) {
        const int32_t frames = static_cast<int32_t>(std::min<size_t>(block, maxFrames - done));
        for (int32_t i = 0; i < frames; ++i) {
            const bool inBurst = done + static_cast<size_t>(i) < burstFrames;
            inputs[0][i] = inBurst ? static_cast<float>(uniform(noiseLeft)) : 0.0f;
            inputs[1][i] = inBurst ? static_cast<float>(uniform(noiseRight)) : 0.0f;
        }
        for (auto& channel : outputs) {
            std::fill(channel.begin(), channel.end(), 0.0f);
        }
        host.processReplacing(buffers.inputPointers.data(), buffers.outputPointers.data(), frames);

        for (int32_t i = 0; i < frames; ++i) {
            const size_t frame = done + static_cast<size_t>(i);
            const double l = outputs[0][i];
            const double r = outputs[outRight][i];
            if (!std::isfinite(l) || !std::isfinite(r)) {
                result.finite = false;
            } else {
                peak = std::max({peak, std::fabs(l), std::fabs(r)});
                windowPeak = std::max({windowPeak, std::fabs(l), std::fabs(r)});
                windowSum += l * l + r * r;
            }
            if (frame >= burstFrames / 2 && frame < burstFrames) {
                inputEnergy += static_cast<double>(inputs[0][i]) * inputs[0][i] +
                               static_cast<double>(inputs[1][i]) * inputs[1][i];
                outputEnergy += l * l + r * r;
            }
            if (frame < keptFrames) {
                left.push_back(static_cast<float>(l));
                right.push_back(static_cast<float>(r));
            }
            if ((frame + 1) % windowFrames == 0) {
                windowEnergy.push_back(windowSum);
                if (windowPeak >= silence || !result.finite) {
                    lastLoudWindow = windowEnergy.size();
                }
                windowPeak = 0.0;
                windowSum = 0.0;
            }
        }
        done += static_cast<size_t>(frames);
        if (done > burstFrames && windowEnergy.size() >= lastLoudWindow + quietWindows) {
            break;
        }
    }
    host.dispatch(vst2::effStopProcess);
    host.unload();

    const size_t burstWindows = burstFrames / windowFrames;
    const double loudEnd = static_cast<double>(lastLoudWindow) * kWindowSeconds;
    result.peakDbfs = toDb(peak);
    result.gainDb = inputEnergy > 0.0 ? 10.0 * std::log10(std::max(outputEnergy, 1e-30) / inputEnergy) : 0.0;
    result.tailSeconds = std::max(0.0, loudEnd - settings.burstSeconds);
    result.sustains = done >= maxFrames && windowEnergy.size() < lastLoudWindow + quietWindows;
    result.decaySeconds = decayTime(windowEnergy, burstWindows);
    result.burstCentroidHz = spectralCentroid(left, right, burstFrames / 4, burstFrames, rate);
    result.tailCentroidHz = spectralCentroid(left, right, burstFrames, left.size(), rate);
    result.renderedSeconds = static_cast<double>(done) / rate;
    return true;
}

bool renderImpulseResponse(const std::string& pluginPath, const std::vector<uint8_t>& chunk,
                           const MeasureSettings& settings, std::vector<float>& left, std::vector<float>& right,
                           std::string& error) {
    left.clear();
    right.clear();
    PluginHost host(hostOptionsOf(settings));
    if (!startPlugin(host, pluginPath, chunk, settings, error)) {
        return false;
    }
    vst2::AEffect* effect = host.effect();
    const int32_t block = settings.blockSize;
    const double rate = settings.sampleRate;
    const size_t maxFrames = static_cast<size_t>(std::llround(settings.impulseMaxSeconds * rate));
    const size_t minFrames = static_cast<size_t>(std::llround(kImpulseMinSeconds * rate));
    const size_t quietFrames = static_cast<size_t>(std::llround(kImpulseQuietSeconds * rate));
    const double quietShare = std::pow(10.0, kImpulseQuietDb / 20.0);
    ChannelBuffers buffers(std::max(effect->numInputs, kChannels), std::max(effect->numOutputs, kChannels), block);
    const size_t outRight = effect->numOutputs >= 2 ? 1 : 0;
    left.reserve(maxFrames);
    right.reserve(maxFrames);
    double peak = 0.0;
    size_t lastLoud = 0;  // one past the last frame above the quiet share of the peak so far
    size_t done = 0;
    while (done < maxFrames) {
        const int32_t frames = static_cast<int32_t>(std::min<size_t>(block, maxFrames - done));
        for (auto& channel : buffers.inputs) {
            std::fill(channel.begin(), channel.end(), 0.0f);
        }
        if (done == 0) {
            buffers.inputs[0][0] = 1.0f;
            buffers.inputs[1][0] = 1.0f;
        }
        for (auto& channel : buffers.outputs) {
            std::fill(channel.begin(), channel.end(), 0.0f);
        }
        host.processReplacing(buffers.inputPointers.data(), buffers.outputPointers.data(), frames);
        for (int32_t i = 0; i < frames; ++i) {
            const float l = buffers.outputs[0][i];
            const float r = buffers.outputs[outRight][i];
            const double level = std::max(std::fabs(double{l}), std::fabs(double{r}));
            if (!std::isfinite(level)) {
                error = "the impulse response is not finite";
                host.dispatch(vst2::effStopProcess);
                host.unload();
                return false;
            }
            peak = std::max(peak, level);
            if (level > quietShare * peak) {
                lastLoud = done + static_cast<size_t>(i) + 1;
            }
            left.push_back(l);
            right.push_back(r);
        }
        done += static_cast<size_t>(frames);
        if (done >= minFrames && peak > 0.0 && done >= lastLoud + quietFrames) {
            break;
        }
    }
    host.dispatch(vst2::effStopProcess);
    host.unload();
    return true;
}

bool measureTailFigures(const std::string& pluginPath, const std::vector<uint8_t>& chunk,
                        const MeasureSettings& settings, TailFigures& figures, std::string& error) {
    figures = TailFigures{};
    // The wet sound alone: the dry path would be the first arrival otherwise.
    tarsk::ProgramRecord record;
    if (chunk.empty() || !tarsk::readChunk(record, chunk.data(), chunk.size())) {
        error = "the program cannot be read for its impulse response";
        return false;
    }
    record.setF(tarsk::word::dry, 0.0f);
    std::vector<uint8_t> wet(tarsk::kMaxChunkBytes);
    wet.resize(tarsk::writeChunk(wet.data(), record));
    std::vector<float> left;
    std::vector<float> right;
    if (!renderImpulseResponse(pluginPath, wet, settings, left, right, error)) {
        return false;
    }
    figures = analyseImpulseResponse(left, right, settings.sampleRate);
    return true;
}

}  // namespace tarskhost
