// Peaks of a block of samples, four lanes at a time. The result is the one std::max gives when it
// walks the samples in order: the maximum of a set does not depend on the order, and a NaN never
// becomes the peak (a comparison with it is false either way).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace sample_peaks {

typedef float Lanes __attribute__((vector_size(16)));
typedef int32_t LaneMask __attribute__((vector_size(16)));

inline Lanes Load(const float* p) {
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline Lanes Abs(Lanes v) {
    return (Lanes)((LaneMask)v & 0x7fffffff);
}

inline float Combine(Lanes lanes, float peak) {
    for (int l = 0; l < 4; ++l) peak = std::max(peak, lanes[l]);
    return peak;
}

// max(peak, |x[0]|, ..., |x[n-1]|).
inline float Magnitude(const float* x, int32_t n, float peak = 0.0f) {
    Lanes lanes = Lanes{} + peak;
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const Lanes a = Abs(Load(x + i));
        lanes = lanes < a ? a : lanes;
    }
    peak = Combine(lanes, peak);
    for (; i < n; ++i) peak = std::max(peak, std::fabs(x[i]));
    return peak;
}

// The same, but a NaN counts as the loudest sample there is (infinity).
inline float MagnitudeCountingNaN(const float* x, int32_t n, float peak = 0.0f) {
    Lanes lanes = Lanes{} + peak;
    const Lanes infinity = Lanes{} + INFINITY;
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const Lanes v = Load(x + i);
        const Lanes a = v != v ? infinity : Abs(v);
        lanes = lanes < a ? a : lanes;
    }
    peak = Combine(lanes, peak);
    for (; i < n; ++i) peak = std::max(peak, std::isnan(x[i]) ? INFINITY : std::fabs(x[i]));
    return peak;
}

// x[i] *= gain for every i, then max(peak, |x[0]|, ..., |x[n-1]|) of the scaled samples.
inline float ScaleAndMagnitude(float* x, int32_t n, float gain, float peak = 0.0f) {
    for (int32_t i = 0; i < n; ++i) x[i] *= gain;
    return Magnitude(x, n, peak);
}

// out[i] = gain · x[i], and max(peak, out[i]²) over the block.
inline float ScaledPower(const float* x, float* out, int32_t n, float gain, float peak = 0.0f) {
    Lanes lanes = Lanes{} + peak;
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const Lanes v = gain * Load(x + i);
        std::memcpy(out + i, &v, sizeof v);
        const Lanes power = v * v;
        lanes = lanes < power ? power : lanes;
    }
    peak = Combine(lanes, peak);
    for (; i < n; ++i) {
        out[i] = gain * x[i];
        peak = std::max(peak, out[i] * out[i]);
    }
    return peak;
}

} // namespace sample_peaks
