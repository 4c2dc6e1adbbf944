// FastExp2: 2^x as a short polynomial, in a scalar and a four-wide form that give the same bits for
// the same input, so a block loop can run four samples at a time and finish its tail one by one.
//
// x is rounded to the nearest integer n (the 1.5·2^23 trick: adding and removing it leaves n), the
// remainder f in −0.5..0.5 goes through the degree-7 series of 2^f and 2^n goes into the exponent
// bits. Relative error under 1e-7 (about 1.5 units in the last place) over −126..127; inputs below
// clamp to 2^−126 and above to 2^127. No branches in the vector form, no library call in either.
#pragma once

#include <cstdint>
#include <cstring>

typedef float DspVec4 __attribute__((vector_size(16)));
typedef int32_t DspVec4i __attribute__((vector_size(16)));

namespace fast_exp_detail {
constexpr float kRound = 12582912.0f; // 1.5 · 2^23
constexpr float kLow = -126.0f;
constexpr float kHigh = 127.0f;
constexpr float kC7 = 1.52527338e-5f; // ln2^k / k!
constexpr float kC6 = 1.54035304e-4f;
constexpr float kC5 = 1.33335581e-3f;
constexpr float kC4 = 9.61812911e-3f;
constexpr float kC3 = 5.55041087e-2f;
constexpr float kC2 = 2.40226507e-1f;
constexpr float kC1 = 6.93147181e-1f;

template <typename T> inline T Series(T f) {
    T p = kC7 * f + kC6;
    p = p * f + kC5;
    p = p * f + kC4;
    p = p * f + kC3;
    p = p * f + kC2;
    p = p * f + kC1;
    return p * f + 1.0f;
}
} // namespace fast_exp_detail

inline float FastExp2(float x) {
    using namespace fast_exp_detail;
    x = x < kLow ? kLow : (x > kHigh ? kHigh : x);
    const float rounded = (x + kRound) - kRound;
    const int32_t bits = (static_cast<int32_t>(rounded) + 127) << 23;
    float scale;
    std::memcpy(&scale, &bits, sizeof scale);
    return Series(x - rounded) * scale;
}

inline DspVec4 FastExp2(DspVec4 x) {
    using namespace fast_exp_detail;
    const DspVec4 low = {kLow, kLow, kLow, kLow};
    const DspVec4 high = {kHigh, kHigh, kHigh, kHigh};
    x = x < low ? low : x;
    x = x > high ? high : x;
    const DspVec4 rounded = (x + kRound) - kRound;
    const DspVec4i bits = (__builtin_convertvector(rounded, DspVec4i) + 127) << 23;
    return Series(x - rounded) * (DspVec4)bits;
}

inline DspVec4 LoadVec4(const float* p) {
    DspVec4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void StoreVec4(float* p, DspVec4 v) {
    std::memcpy(p, &v, sizeof v);
}
