// make-demo-signal OUT.wav: writes a short dry stereo demo signal, drum hits and then a chord.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "host/sound-file.h"

namespace {

constexpr int kSampleRate = 48000;
constexpr double kLengthSeconds = 5.0;
constexpr double kPeakDecibels = -6.0;
constexpr uint32_t kNoiseSeed = 0x7A25EB01;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// A small xorshift generator: the same noise on every machine and every run.
class Noise {
public:
    explicit Noise(uint32_t seed) : state(seed != 0 ? seed : 1) {}
    // Uniform in -1..1.
    double next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<double>(state) / 2147483648.0 - 1.0;
    }

private:
    uint32_t state;
};

struct Stereo {
    std::vector<double> left;
    std::vector<double> right;
    explicit Stereo(size_t frames) : left(frames, 0.0), right(frames, 0.0) {}
    // Adds a sample at frame i, placed by a constant-power pan (-1 left .. 1 right).
    void add(size_t i, double value, double pan) {
        if (i >= left.size()) {
            return;
        }
        double angle = (pan + 1.0) * std::numbers::pi / 4.0;
        left[i] += value * std::cos(angle);
        right[i] += value * std::sin(angle);
    }
};

size_t frameAt(double seconds) { return static_cast<size_t>(std::llround(seconds * kSampleRate)); }

// 1 for most of an event's window, then a raised-cosine fade to 0, so that no hit ends with a step.
double windowEnd(size_t n, size_t frames) {
    const double x = static_cast<double>(n) / static_cast<double>(frames);
    constexpr double kFadeFrom = 0.75;
    return x < kFadeFrom ? 1.0 : 0.5 + 0.5 * std::cos(std::numbers::pi * (x - kFadeFrom) / (1.0 - kFadeFrom));
}

// A pitched thump: a sine gliding down from 150 Hz to 50 Hz under a fast decay, with a short click on top.
void addThump(Stereo& out, Noise& noise, double start, double level, double pan) {
    const size_t first = frameAt(start);
    const size_t frames = frameAt(0.6);
    double phase = 0.0;
    for (size_t n = 0; n < frames; ++n) {
        double t = static_cast<double>(n) / kSampleRate;
        double frequency = 50.0 + 100.0 * std::exp(-t / 0.04);
        phase += kTwoPi * frequency / kSampleRate;
        double body = std::sin(phase) * std::exp(-t / 0.15);
        double click = t < 0.003 ? noise.next() * 0.3 * (1.0 - t / 0.003) : 0.0;
        out.add(first + n, level * (body + click) * windowEnd(n, frames), pan);
    }
}

// A snare-like burst: noise through a first-difference high-pass with a short tone under it.
void addBurst(Stereo& out, Noise& noise, double start, double level, double pan) {
    const size_t first = frameAt(start);
    const size_t frames = frameAt(0.45);
    double previous = 0.0;
    for (size_t n = 0; n < frames; ++n) {
        double t = static_cast<double>(n) / kSampleRate;
        double white = noise.next();
        double bright = 0.5 * (white - previous) + 0.5 * white;
        previous = white;
        double tone = std::sin(kTwoPi * 190.0 * t) * std::exp(-t / 0.03);
        out.add(first + n, level * (bright * std::exp(-t / 0.06) * 0.8 + tone * 0.5) * windowEnd(n, frames), pan);
    }
}

// A hi-hat-like click: high-passed noise with a very short decay.
void addClick(Stereo& out, Noise& noise, double start, double level, double pan) {
    const size_t first = frameAt(start);
    const size_t frames = frameAt(0.1);
    double previous = 0.0;
    for (size_t n = 0; n < frames; ++n) {
        double t = static_cast<double>(n) / kSampleRate;
        double white = noise.next();
        out.add(first + n, level * (white - previous) * std::exp(-t / 0.012) * windowEnd(n, frames), pan);
        previous = white;
    }
}

// One chord voice: three partials under a soft attack, held, then released with a raised-cosine fade.
void addVoice(Stereo& out, double frequency, double start, double releaseAt, double level, double pan) {
    constexpr double kAttackSeconds = 0.08;
    constexpr double kReleaseSeconds = 0.8;
    constexpr double kPartialLevels[] = {1.0, 0.4, 0.15};
    const size_t first = frameAt(start);
    const size_t frames = frameAt(releaseAt - start + kReleaseSeconds);
    for (size_t n = 0; n < frames; ++n) {
        double t = static_cast<double>(n) / kSampleRate;
        double envelope = t < kAttackSeconds ? 0.5 - 0.5 * std::cos(std::numbers::pi * t / kAttackSeconds) : 1.0;
        double sinceRelease = t - (releaseAt - start);
        if (sinceRelease > 0.0) {
            envelope *= 0.5 + 0.5 * std::cos(std::numbers::pi * std::min(sinceRelease / kReleaseSeconds, 1.0));
        }
        double value = 0.0;
        for (int k = 0; k < 3; ++k) {
            value += kPartialLevels[k] * std::sin(kTwoPi * frequency * (k + 1) * t);
        }
        out.add(first + n, level * envelope * value, pan);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-demo-signal OUT.wav\n");
        return 2;
    }
    const std::string path = argv[1];
    const tarskhost::Container container = tarskhost::containerForPath(path);
    if (container == tarskhost::Container::unknown) {
        std::fprintf(stderr, "make-demo-signal: '%s' must end in .wav, .aif, .aiff or .flac\n", path.c_str());
        return 2;
    }

    Stereo signal(frameAt(kLengthSeconds));
    Noise noise(kNoiseSeed);
    // A bar of drums with gaps between the hits, then the chord alone.
    addThump(signal, noise, 0.00, 1.0, 0.0);
    addClick(signal, noise, 0.25, 0.5, 0.4);
    addBurst(signal, noise, 0.50, 0.7, -0.2);
    addThump(signal, noise, 1.00, 1.0, 0.0);
    addClick(signal, noise, 1.125, 0.4, 0.4);
    addBurst(signal, noise, 1.375, 0.6, 0.2);
    // A minor: A3, C4, E4, A4.
    const double releaseAt = 3.0;
    addVoice(signal, 220.00, 1.9, releaseAt, 0.5, -0.3);
    addVoice(signal, 261.63, 1.9, releaseAt, 0.4, 0.2);
    addVoice(signal, 329.63, 1.9, releaseAt, 0.4, -0.1);
    addVoice(signal, 440.00, 1.9, releaseAt, 0.25, 0.35);

    double peak = 0.0;
    for (size_t i = 0; i < signal.left.size(); ++i) {
        peak = std::max({peak, std::abs(signal.left[i]), std::abs(signal.right[i])});
    }
    const double gain = std::pow(10.0, kPeakDecibels / 20.0) / peak;
    std::vector<float> interleaved(signal.left.size() * 2);
    for (size_t i = 0; i < signal.left.size(); ++i) {
        interleaved[2 * i] = static_cast<float>(signal.left[i] * gain);
        interleaved[2 * i + 1] = static_cast<float>(signal.right[i] * gain);
    }

    tarskhost::SoundFileWriter writer;
    std::string error;
    if (!writer.open(path, container, tarskhost::defaultSampleFormat(container), kSampleRate, 2, error) ||
        !writer.write(interleaved.data(), static_cast<int64_t>(signal.left.size()), error) || !writer.close(error)) {
        std::fprintf(stderr, "make-demo-signal: cannot write '%s': %s\n", path.c_str(), error.c_str());
        return 1;
    }
    return 0;
}
