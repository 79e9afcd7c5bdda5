// Figures of a reverb's impulse response that tell how it sounds beyond its level and decay: whether
// the late tail rings at a few modes (spectral peakiness), whether its two channels cancel in mono
// (correlation), whether the bass lasts as long as the middle (bass ratio), and how soon the echoes
// are dense (Abel & Huang's normalised echo density). Pure functions on sample vectors, so that each
// figure can be checked on signals whose answer is known.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace tarskhost {

// Where the tail figures look, counted from the first wet arrival.
constexpr double kTailStartSeconds = 0.1;
constexpr double kTailStartFallDb = -20.0;  // a short tail starts where its energy has fallen this far
constexpr double kTailEndFallDb = -60.0;    // the spectrum ends where it has fallen this far
constexpr double kCorrelationEndSeconds = 1.5;
constexpr double kPeakinessSeconds = 0.68;   // one 32768-point spectrum at 48 kHz
constexpr double kDensityWindowSeconds = 0.02;
constexpr double kDensityThreshold = 0.9;
constexpr double kDensitySpanSeconds = 0.5;  // how far after the arrival the density is followed
constexpr double kBassBandHz = 125.0;
constexpr double kMidBandHz = 1000.0;

struct TailFigures {
    bool valid = false;             // false: the response holds no sound
    double arrivalSeconds = 0.0;    // first wet arrival after the impulse
    double peakiness = 0.0;         // E[P^2]/E[P]^2 of the late tail's spectrum (2 for Gaussian noise)
    double correlation = 0.0;       // of left and right over the tail (-1 .. +1)
    double bassDecaySeconds = 0.0;  // T30 in the octave band at 125 Hz (0: not measurable)
    double midDecaySeconds = 0.0;   // and at 1 kHz
    double bassRatio = 0.0;         // their ratio (0 when either is not measurable)
    double densitySeconds = 0.0;    // from the arrival until the echo density stays >= 0.9
};

// In-place radix-2 discrete Fourier transform; the size is a power of two.
void fourierTransform(std::vector<std::complex<double>>& data);

// The first frame where either channel reaches 1/100 (-40 dB) of the response's largest magnitude;
// the size of the signal when it is silent.
size_t firstArrival(const std::vector<float>& left, const std::vector<float>& right);

// E[P^2]/E[P]^2 of the power spectrum P of signal[first, first + count) after its envelope has been
// flattened (divided by its running RMS over 40 ms), with P taken relative to its own 1/3-octave
// average around each bin, over 100 Hz to 10 kHz. Gaussian noise gives 2; a spectrum of a few
// resonances gives far more. 0 when the span holds no sound.
double spectralPeakiness(const std::vector<float>& signal, size_t first, size_t count, double rate);

// The normalised correlation of left and right over frames [first, last); 0 when either is silent.
double channelCorrelation(const std::vector<float>& left, const std::vector<float>& right, size_t first, size_t last);

// T30 (seconds) of the octave band around centreHz of both channels together, from the backward-
// integrated energy (Schroeder) between -5 and -35 dB (-25 dB when the response is too short), by a
// least-squares line; 0 when the band never falls that far.
double bandDecayTime(const std::vector<float>& left, const std::vector<float>& right, double centreHz, double rate);

// Abel & Huang's normalised echo density over Hann windows of windowSeconds, one value every hop
// frames from frame `first` to `last`: the share of samples beyond one standard deviation of the
// window, over the share that Gaussian noise would have (erfc(1/sqrt 2)). Gaussian noise gives 1,
// sparse echoes give values near 0.
std::vector<double> echoDensityProfile(const std::vector<float>& signal, size_t first, size_t last, size_t hop,
                                       double windowSeconds, double rate);

// Seconds from frame `first` until the mean of the two channels' profiles stays at or above the
// threshold up to `last`; (last - first) / rate when it never does.
double timeToDensity(const std::vector<float>& left, const std::vector<float>& right, size_t first, size_t last,
                     double rate);

// Every figure of a wet-only impulse response (both inputs fed one unit sample at frame 0).
TailFigures analyseImpulseResponse(const std::vector<float>& left, const std::vector<float>& right, double rate);

}  // namespace tarskhost
