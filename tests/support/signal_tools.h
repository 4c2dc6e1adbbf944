// Measurements on rendered signals for the machine tests: levels, spectra, pitch.
#pragma once

#include <cmath>
#include <complex>
#include <cstddef>
#include <numbers>
#include <vector>

namespace signal_tools {

inline double Rms(const float* x, size_t n) {
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i)
        sum += static_cast<double>(x[i]) * x[i];
    return n ? std::sqrt(sum / static_cast<double>(n)) : 0.0;
}

inline double Rms(const std::vector<float>& x, size_t from = 0) {
    return Rms(x.data() + from, x.size() - from);
}

inline double Peak(const std::vector<float>& x) {
    double peak = 0.0;
    for (float v : x)
        peak = std::max(peak, static_cast<double>(std::fabs(v)));
    return peak;
}

inline double ToDb(double ratio) {
    return 20.0 * std::log10(ratio);
}

// Magnitude spectrum (bins 0..n/2) of x under a 4-term Blackman-Harris window (sidelobes below
// −92 dB); n must be a power of two. Independent of the code under test.
inline std::vector<double> Spectrum(const std::vector<float>& x) {
    const size_t n = x.size();
    std::vector<std::complex<double>> data(n);
    for (size_t i = 0; i < n; ++i) {
        const double t = 2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n);
        const double w =
            0.35875 - 0.48829 * std::cos(t) + 0.14128 * std::cos(2 * t) - 0.01168 * std::cos(3 * t);
        data[i] = x[i] * w;
    }
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) std::swap(data[i], data[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2.0 * std::numbers::pi / static_cast<double>(len);
        for (size_t start = 0; start < n; start += len) {
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> w(std::cos(angle * k), std::sin(angle * k));
                const auto even = data[start + k];
                const auto odd = data[start + k + len / 2] * w;
                data[start + k] = even + odd;
                data[start + k + len / 2] = even - odd;
            }
        }
    }
    std::vector<double> magnitude(n / 2 + 1);
    for (size_t k = 0; k <= n / 2; ++k)
        magnitude[k] = std::abs(data[k]);
    return magnitude;
}

// Frequency in Hz from the average spacing of rising zero crossings.
inline double ZeroCrossingFrequency(const std::vector<float>& x, double sampleRate, size_t from = 0) {
    double first = -1.0, last = -1.0;
    int crossings = 0;
    for (size_t i = from + 1; i < x.size(); ++i) {
        if (x[i - 1] < 0.0f && x[i] >= 0.0f) {
            const double t = static_cast<double>(i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (first < 0.0) first = t;
            last = t;
            ++crossings;
        }
    }
    if (crossings < 2) return 0.0;
    return sampleRate * (crossings - 1) / (last - first);
}

// Steady-state gain of a filter at one frequency: RMS out / RMS in over the second half.
template <typename Process> double SineGain(double frequency, double sampleRate, size_t n, Process process) {
    std::vector<float> in(n);
    for (size_t i = 0; i < n; ++i)
        in[i] = static_cast<float>(
            std::sin(2.0 * std::numbers::pi * frequency * static_cast<double>(i) / sampleRate));
    std::vector<float> out = in;
    process(out);
    return Rms(out.data() + n / 2, n / 2) / Rms(in.data() + n / 2, n / 2);
}

} // namespace signal_tools
