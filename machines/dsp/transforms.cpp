#include "machines/dsp/transforms.h"

#include <cmath>
#include <numbers>

namespace {

bool IsPowerOfTwo(size_t n) {
    return n >= 2 && (n & (n - 1)) == 0;
}

void Scale(ComplexVector& data, bool inverse) {
    if (!inverse) return;
    const double scale = 1.0 / static_cast<double>(data.size());
    for (auto& value : data)
        value *= scale;
}

} // namespace

void FastTransform(ComplexVector& data, bool inverse) {
    const size_t n = data.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) std::swap(data[i], data[j]);
    }
    const double sign = inverse ? 1.0 : -1.0;
    for (size_t length = 2; length <= n; length <<= 1) {
        const double angle = sign * 2.0 * std::numbers::pi / static_cast<double>(length);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (size_t start = 0; start < n; start += length) {
            std::complex<double> w(1.0, 0.0);
            for (size_t k = 0; k < length / 2; ++k) {
                const auto even = data[start + k];
                const auto odd = data[start + k + length / 2] * w;
                data[start + k] = even + odd;
                data[start + k + length / 2] = even - odd;
                w *= step;
            }
        }
    }
    Scale(data, inverse);
}

void DirectTransform(ComplexVector& data, bool inverse) {
    const size_t n = data.size();
    if (n < 2) return;
    // One period of the twiddle factors, indexed by (k·m) mod n.
    ComplexVector twiddle(n);
    const double sign = inverse ? 1.0 : -1.0;
    for (size_t k = 0; k < n; ++k) {
        const double angle = sign * 2.0 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(n);
        twiddle[k] = {std::cos(angle), std::sin(angle)};
    }
    ComplexVector result(n);
    for (size_t k = 0; k < n; ++k) {
        std::complex<double> sum(0.0, 0.0);
        size_t index = 0;
        for (size_t m = 0; m < n; ++m) {
            sum += data[m] * twiddle[index];
            index += k;
            if (index >= n) index -= n;
        }
        result[k] = sum;
    }
    data.swap(result);
    Scale(data, inverse);
}

void Transform(ComplexVector& data, bool inverse) {
    if (IsPowerOfTwo(data.size()))
        FastTransform(data, inverse);
    else
        DirectTransform(data, inverse);
}

std::vector<double> BlackmanWindow(int32_t n) {
    std::vector<double> window(static_cast<size_t>(n > 0 ? n : 0));
    if (n == 1) window[0] = 1.0;
    for (int32_t k = 0; n > 1 && k < n; ++k) {
        const double x = static_cast<double>(k) / static_cast<double>(n - 1);
        window[static_cast<size_t>(k)] =
            0.42 - 0.5 * std::cos(2.0 * std::numbers::pi * x) + 0.08 * std::cos(4.0 * std::numbers::pi * x);
    }
    return window;
}

ComplexVector RealCepstrum(const std::vector<double>& signal) {
    ComplexVector data(signal.begin(), signal.end());
    Transform(data, false);
    for (auto& value : data)
        value = std::log(std::max(std::abs(value), 1e-100));
    Transform(data, true);
    return data;
}

std::vector<double> MinimumPhase(const ComplexVector& cepstrum) {
    const size_t n = cepstrum.size();
    ComplexVector folded(n);
    if (n == 0) return {};
    // Keep c[0], double the causal half, drop the anti-causal half (c[n/2] kept once for even n).
    folded[0] = cepstrum[0];
    const size_t half = n / 2;
    for (size_t i = 1; i < (n + 1) / 2; ++i)
        folded[i] = 2.0 * cepstrum[i];
    if (n % 2 == 0) folded[half] = cepstrum[half];
    Transform(folded, false);
    for (auto& value : folded)
        value = std::exp(value);
    Transform(folded, true);
    std::vector<double> result(n);
    for (size_t i = 0; i < n; ++i)
        result[i] = folded[i].real();
    return result;
}

std::vector<double> MinimumPhaseSinc(int32_t zeroCrossings, int32_t pointsPerSample) {
    const int32_t points = 2 * zeroCrossings * pointsPerSample + 1;
    const std::vector<double> window = BlackmanWindow(points);
    size_t length = 2;
    while (length < 4 * static_cast<size_t>(points))
        length <<= 1;
    std::vector<double> padded(length, 0.0);
    for (int32_t k = 0; k < points; ++k) {
        const double x = -zeroCrossings + 2.0 * zeroCrossings * k / static_cast<double>(points - 1);
        const double sinc = x == 0.0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
        padded[static_cast<size_t>(k)] = sinc * window[static_cast<size_t>(k)];
    }
    std::vector<double> minimum = MinimumPhase(RealCepstrum(padded));
    minimum.resize(static_cast<size_t>(points));
    return minimum;
}
