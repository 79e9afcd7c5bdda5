// Tail figures of an impulse response: spectral peakiness, channel correlation, octave-band decay
// times and the time to full echo density.
#include "host/tail-figures.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace tarskhost {

namespace {

constexpr double kArrivalShare = 0.01;  // -40 dB of the largest magnitude
constexpr double kFlattenSeconds = 0.04;
constexpr double kTrendOctaves = 1.0 / 3.0;
constexpr double kPeakinessLowHz = 100.0;
constexpr double kPeakinessHighHz = 10000.0;
constexpr double kBandOctaves = 1.0;
constexpr double kDecayStartDb = -5.0;
constexpr double kDecayEndDb = -35.0;
constexpr double kDecayShortEndDb = -25.0;
constexpr double kDecayStepSeconds = 0.001;  // the regression takes one point per millisecond
constexpr double kDensityHopSeconds = 0.001;
// erfc(1/sqrt(2)): the share of Gaussian samples beyond one standard deviation.
const double kGaussianOutsideShare = std::erfc(1.0 / std::numbers::sqrt2);

size_t powerOfTwoAtLeast(size_t n) {
    size_t size = 1;
    while (size < n) {
        size <<= 1;
    }
    return size;
}

// One section of an RBJ band-pass (0 dB at the centre) with the given bandwidth in octaves.
struct BandPass {
    double b0 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
    double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;

    BandPass(double centreHz, double octaves, double rate) {
        const double w0 = 2.0 * std::numbers::pi * centreHz / rate;
        const double alpha = std::sin(w0) * std::sinh(std::numbers::ln2 / 2.0 * octaves * w0 / std::sin(w0));
        const double a0 = 1.0 + alpha;
        b0 = alpha / a0;
        b2 = -alpha / a0;
        a1 = -2.0 * std::cos(w0) / a0;
        a2 = (1.0 - alpha) / a0;
    }
    double run(double x) {
        const double y = b0 * x + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

}  // namespace

void fourierTransform(std::vector<std::complex<double>>& data) {
    const size_t n = data.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; (j & bit) != 0; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(data[i], data[j]);
        }
    }
    for (size_t length = 2; length <= n; length <<= 1) {
        const double angle = -2.0 * std::numbers::pi / static_cast<double>(length);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (size_t start = 0; start < n; start += length) {
            std::complex<double> w(1.0, 0.0);
            for (size_t k = 0; k < length / 2; ++k) {
                const std::complex<double> a = data[start + k];
                const std::complex<double> b = data[start + k + length / 2] * w;
                data[start + k] = a + b;
                data[start + k + length / 2] = a - b;
                w *= step;
            }
        }
    }
}

size_t firstArrival(const std::vector<float>& left, const std::vector<float>& right) {
    const size_t n = std::min(left.size(), right.size());
    double largest = 0.0;
    for (size_t i = 0; i < n; ++i) {
        largest = std::max({largest, std::fabs(double{left[i]}), std::fabs(double{right[i]})});
    }
    if (largest <= 0.0) {
        return n;
    }
    for (size_t i = 0; i < n; ++i) {
        if (std::max(std::fabs(left[i]), std::fabs(right[i])) >= kArrivalShare * largest) {
            return i;
        }
    }
    return n;
}

double spectralPeakiness(const std::vector<float>& signal, size_t first, size_t count, double rate) {
    if (first >= signal.size()) {
        return 0.0;
    }
    count = std::min(count, signal.size() - first);
    // Envelope flattening: each sample over the RMS of the 40 ms around it, so that the decay does
    // not weight the start of the span.
    std::vector<double> energy(count + 1, 0.0);
    for (size_t i = 0; i < count; ++i) {
        const double x = signal[first + i];
        energy[i + 1] = energy[i] + x * x;
    }
    if (energy[count] <= 0.0) {
        return 0.0;
    }
    const size_t half = std::max<size_t>(1, static_cast<size_t>(kFlattenSeconds * rate / 2.0));
    const size_t size = powerOfTwoAtLeast(count);
    std::vector<std::complex<double>> data(size);
    for (size_t i = 0; i < count; ++i) {
        const size_t lo = i >= half ? i - half : 0;
        const size_t hi = std::min(count, i + half + 1);
        const double meanSquare = (energy[hi] - energy[lo]) / static_cast<double>(hi - lo);
        const double flat = meanSquare > 1e-60 ? signal[first + i] / std::sqrt(meanSquare) : 0.0;
        const double window =
            0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(count));
        data[i] = {flat * window, 0.0};
    }
    fourierTransform(data);
    const size_t bins = size / 2 + 1;
    std::vector<double> power(bins);
    std::vector<double> cumulative(bins + 1, 0.0);
    for (size_t k = 0; k < bins; ++k) {
        power[k] = std::norm(data[k]);
        cumulative[k + 1] = cumulative[k] + power[k];
    }
    const double binHz = rate / static_cast<double>(size);
    const double edge = std::exp2(kTrendOctaves / 2.0);
    double sum = 0.0;
    double sumSquares = 0.0;
    size_t used = 0;
    for (size_t k = 1; k < bins; ++k) {
        const double hz = static_cast<double>(k) * binHz;
        if (hz < kPeakinessLowHz || hz > kPeakinessHighHz) {
            continue;
        }
        const size_t lo = std::min(k - 1, static_cast<size_t>(std::floor(static_cast<double>(k) / edge)));
        const size_t hi = std::min(bins - 1, std::max(k + 1, static_cast<size_t>(std::ceil(static_cast<double>(k) * edge))));
        const double trend = (cumulative[hi + 1] - cumulative[lo]) / static_cast<double>(hi - lo + 1);
        if (trend <= 0.0) {
            continue;
        }
        const double q = power[k] / trend;
        sum += q;
        sumSquares += q * q;
        ++used;
    }
    if (used == 0 || sum <= 0.0) {
        return 0.0;
    }
    const double mean = sum / static_cast<double>(used);
    return sumSquares / static_cast<double>(used) / (mean * mean);
}

double channelCorrelation(const std::vector<float>& left, const std::vector<float>& right, size_t first, size_t last) {
    last = std::min({last, left.size(), right.size()});
    double lr = 0.0;
    double ll = 0.0;
    double rr = 0.0;
    for (size_t i = first; i < last; ++i) {
        lr += double{left[i]} * right[i];
        ll += double{left[i]} * left[i];
        rr += double{right[i]} * right[i];
    }
    return ll > 0.0 && rr > 0.0 ? lr / std::sqrt(ll * rr) : 0.0;
}

double bandDecayTime(const std::vector<float>& left, const std::vector<float>& right, double centreHz, double rate) {
    const size_t n = std::min(left.size(), right.size());
    if (n == 0 || centreHz <= 0.0 || centreHz >= rate / 2.0) {
        return 0.0;
    }
    // Two sections in series: the band falls off steeply enough that the neighbouring octaves do
    // not set its decay.
    BandPass l1(centreHz, kBandOctaves, rate), l2(centreHz, kBandOctaves, rate);
    BandPass r1(centreHz, kBandOctaves, rate), r2(centreHz, kBandOctaves, rate);
    std::vector<double> remaining(n + 1, 0.0);
    std::vector<double> energy(n);
    for (size_t i = 0; i < n; ++i) {
        const double yl = l2.run(l1.run(left[i]));
        const double yr = r2.run(r1.run(right[i]));
        energy[i] = yl * yl + yr * yr;
    }
    for (size_t i = n; i-- > 0;) {
        remaining[i] = remaining[i + 1] + energy[i];
    }
    if (remaining[0] <= 0.0) {
        return 0.0;
    }
    auto levelDb = [&](size_t i) { return 10.0 * std::log10(std::max(remaining[i], 1e-300) / remaining[0]); };
    auto crossing = [&](double db) -> size_t {
        for (size_t i = 0; i < n; ++i) {
            if (levelDb(i) <= db) {
                return i;
            }
        }
        return n;
    };
    const size_t start = crossing(kDecayStartDb);
    size_t end = crossing(kDecayEndDb);
    if (end >= n) {
        end = crossing(kDecayShortEndDb);
    }
    if (start >= n || end >= n || end <= start) {
        return 0.0;
    }
    const size_t step = std::max<size_t>(1, static_cast<size_t>(kDecayStepSeconds * rate));
    double st = 0.0, sd = 0.0, stt = 0.0, std_ = 0.0;
    double points = 0.0;
    for (size_t i = start; i <= end; i += step) {
        const double t = static_cast<double>(i) / rate;
        const double d = levelDb(i);
        st += t;
        sd += d;
        stt += t * t;
        std_ += t * d;
        points += 1.0;
    }
    const double denominator = points * stt - st * st;
    if (points < 2.0 || denominator <= 0.0) {
        return 0.0;
    }
    const double slope = (points * std_ - st * sd) / denominator;  // dB per second
    return slope < 0.0 ? -60.0 / slope : 0.0;
}

std::vector<double> echoDensityProfile(const std::vector<float>& signal, size_t first, size_t last, size_t hop,
                                       double windowSeconds, double rate) {
    std::vector<double> profile;
    const size_t length = std::max<size_t>(2, static_cast<size_t>(std::llround(windowSeconds * rate)));
    last = std::min(last, signal.size());
    hop = std::max<size_t>(1, hop);
    std::vector<double> weights(length);
    double total = 0.0;
    for (size_t i = 0; i < length; ++i) {
        weights[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (static_cast<double>(i) + 0.5) /
                                          static_cast<double>(length));
        total += weights[i];
    }
    for (double& w : weights) {
        w /= total;
    }
    for (size_t start = first; start + length <= last; start += hop) {
        double variance = 0.0;
        for (size_t i = 0; i < length; ++i) {
            const double x = signal[start + i];
            variance += weights[i] * x * x;
        }
        if (variance <= 0.0) {
            break;  // the response has ended: no density to tell
        }
        const double deviation = std::sqrt(variance);
        double outside = 0.0;
        for (size_t i = 0; i < length; ++i) {
            if (std::fabs(signal[start + i]) > deviation) {
                outside += weights[i];
            }
        }
        profile.push_back(outside / kGaussianOutsideShare);
    }
    return profile;
}

double timeToDensity(const std::vector<float>& left, const std::vector<float>& right, size_t first, size_t last,
                     double rate) {
    const size_t hop = std::max<size_t>(1, static_cast<size_t>(std::llround(kDensityHopSeconds * rate)));
    const std::vector<double> a = echoDensityProfile(left, first, last, hop, kDensityWindowSeconds, rate);
    const std::vector<double> b = echoDensityProfile(right, first, last, hop, kDensityWindowSeconds, rate);
    const size_t count = std::max(a.size(), b.size());
    const double halfWindow = kDensityWindowSeconds / 2.0;
    if (count == 0) {
        return static_cast<double>(last - first) / rate;
    }
    // Where one channel has ended, the other one's density alone counts.
    auto channelMean = [&](size_t j) {
        if (j < a.size() && j < b.size()) {
            return (a[j] + b[j]) / 2.0;
        }
        return j < a.size() ? a[j] : b[j];
    };
    // One window's count scatters by a few hundredths even for noise; the profile is averaged over a
    // window's length so that a chance dip does not count as sparse.
    const size_t reach = static_cast<size_t>(std::llround(halfWindow * rate)) / hop;
    std::vector<double> prefix(count + 1, 0.0);
    for (size_t j = 0; j < count; ++j) {
        prefix[j + 1] = prefix[j] + channelMean(j);
    }
    auto mean = [&](size_t j) {
        const size_t lo = j >= reach ? j - reach : 0;
        const size_t hi = std::min(count, j + reach + 1);
        return (prefix[hi] - prefix[lo]) / static_cast<double>(hi - lo);
    };
    size_t lastSparse = count;  // count: none
    for (size_t j = 0; j < count; ++j) {
        if (mean(j) < kDensityThreshold) {
            lastSparse = j;
        }
    }
    if (lastSparse == count) {
        return halfWindow;
    }
    if (lastSparse + 1 == count) {
        return static_cast<double>(last - first) / rate;  // never dense within the span
    }
    return static_cast<double>((lastSparse + 1) * hop) / rate + halfWindow;
}

TailFigures analyseImpulseResponse(const std::vector<float>& left, const std::vector<float>& right, double rate) {
    TailFigures figures;
    const size_t n = std::min(left.size(), right.size());
    const size_t arrival = firstArrival(left, right);
    if (arrival >= n) {
        return figures;
    }
    figures.valid = true;
    figures.arrivalSeconds = static_cast<double>(arrival) / rate;
    // The tail starts 0.1 s after the arrival, or where the remaining energy has fallen 20 dB when a
    // short program gets there sooner; the spectrum ends where it has fallen 60 dB.
    std::vector<double> remaining(n - arrival + 1, 0.0);
    for (size_t i = n; i-- > arrival;) {
        remaining[i - arrival] = remaining[i - arrival + 1] + double{left[i]} * left[i] + double{right[i]} * right[i];
    }
    auto fallen = [&](double db) {
        const double level = remaining[0] * std::pow(10.0, db / 10.0);
        size_t i = 0;
        while (i + 1 < remaining.size() && remaining[i] > level) {
            ++i;
        }
        return arrival + i;
    };
    const size_t tailStart =
        std::min(arrival + static_cast<size_t>(kTailStartSeconds * rate), fallen(kTailStartFallDb));
    const size_t tailEnd = std::max(tailStart + 1, fallen(kTailEndFallDb));
    figures.correlation =
        channelCorrelation(left, right, tailStart, arrival + static_cast<size_t>(kCorrelationEndSeconds * rate));
    const size_t spectrumFrames = std::min(static_cast<size_t>(kPeakinessSeconds * rate), tailEnd - tailStart);
    const double peakLeft = spectralPeakiness(left, tailStart, spectrumFrames, rate);
    const double peakRight = spectralPeakiness(right, tailStart, spectrumFrames, rate);
    if (peakLeft > 0.0 && peakRight > 0.0) {
        figures.peakiness = (peakLeft + peakRight) / 2.0;
    } else {
        figures.peakiness = std::max(peakLeft, peakRight);
    }
    figures.bassDecaySeconds = bandDecayTime(left, right, kBassBandHz, rate);
    figures.midDecaySeconds = bandDecayTime(left, right, kMidBandHz, rate);
    if (figures.bassDecaySeconds > 0.0 && figures.midDecaySeconds > 0.0) {
        figures.bassRatio = figures.bassDecaySeconds / figures.midDecaySeconds;
    }
    figures.densitySeconds =
        timeToDensity(left, right, arrival, std::min(n, arrival + static_cast<size_t>(kDensitySpanSeconds * rate)), rate);
    return figures;
}

}  // namespace tarskhost
