// Value mappings of the DSP kit: pitch conversions, parameter-to-value maps and the curved-segment
// arithmetic the envelopes and the glide share. All functions are pure and thread-safe.
#pragma once

#include "machines/dsp/fast_exp.h"

#include <cmath>
#include <cstdint>

constexpr float kLn440 = 6.08677482f;  // ln 440
constexpr float kInvLn2 = 1.44269504f; // 1 / ln 2
constexpr float kPi = 3.14159274f;
constexpr float kTwoPi = 6.28318548f;

// 2^x (FastExp2: within about 1.5 units in the last place, no library call).
inline float Pow2(float x) {
    return FastExp2(x);
}

// tan r for |r| <= π/4: an odd polynomial of degree 13, within about 2 units in the last place; on
// floats or four lanes (the same bits).
template <typename T> inline T TanQuarter(T r) {
    const T z = r * r;
    T p = 9.38540185543e-3f * z + 3.11992232697e-3f;
    p = p * z + 2.44301354525e-2f;
    p = p * z + 5.34112807005e-2f;
    p = p * z + 1.33387994085e-1f;
    p = p * z + 3.33331568548e-1f;
    return p * z * r + r;
}
// Below this FastTan reduces nothing: TanQuarter(x) gives its very bits.
constexpr float kTanQuarterLimit = 0.785f;

// tan x without a library call: x is reduced by multiples of π/2 (in double) to r in −π/4..π/4
// for TanQuarter; an odd multiple turns it into −1/tan r. For the filters' coefficient updates,
// which run every few samples.
inline float FastTan(float x) {
    constexpr double kHalfPi = 1.57079632679489661923;
    constexpr double kInverseHalfPi = 0.63661977236758134308;
    constexpr double kRound = 6755399441055744.0; // 1.5 · 2^52: adding and removing it rounds
    const double quarter = (static_cast<double>(x) * kInverseHalfPi + kRound) - kRound;
    const auto r = static_cast<float>(static_cast<double>(x) - quarter * kHalfPi);
    const float t = TanQuarter(r);
    return (static_cast<int64_t>(quarter) & 1) ? -1.0f / t : t;
}

// Largest integer <= x.
inline int32_t FloorInt(float x) {
    return static_cast<int32_t>(std::floor(x));
}

// Octave pitch of a frequency in Hz (5.0 is 440 Hz).
inline float OctavePitch(float hz) {
    return (std::log(hz) - kLn440) * kInvLn2 + 5.0f;
}
// Frequency in Hz of an octave pitch.
inline float PitchFrequency(float pitch) {
    return 440.0f * Pow2(pitch - 5.0f);
}

// Maps a 0..1 parameter onto n choices: trunc(n·x), but n − 1 when that reaches n.
inline int32_t ChoiceIndex(int32_t n, float x) {
    const int32_t index = static_cast<int32_t>(static_cast<float>(n) * x);
    return index >= n ? n - 1 : index;
}

// 8·x³ seconds, never below 0.01 s (envelope segment times).
inline float EnvelopeTime(float x) {
    const float seconds = 8.0f * x * x * x;
    return seconds < 0.01f ? 0.01f : seconds;
}

// 8·x³ seconds (may be 0).
inline float CubicTime(float x) {
    return 8.0f * x * x * x;
}

// 10^(x/10): the library's dB are tenths of the level, not twentieths.
inline float DbToGain(float db) {
    return std::pow(10.0f, 0.1f * db);
}
// 10·log10(g).
inline float GainToDb(float gain) {
    return 10.0f * std::log10(gain);
}

// Moves current toward target by (|target − current| + 0.1)·0.0004 without overshooting; one call
// per sample gives a glide that slows as it arrives. When the step no longer changes current (it
// fell below the precision of a large value) the target is taken, so the glide always arrives.
// Works on float and double; delay lines glide their read offsets in double.
template <typename T> inline T SmoothToward(T target, T current) {
    if (current == target) return current;
    if (current > target) {
        const T next = current - (current - target + T(0.1)) * T(0.0004);
        return next < target || next == current ? target : next;
    }
    const T next = current + (target - current + T(0.1)) * T(0.0004);
    return next > target || next == current ? target : next;
}

// Curvature of a segment from a 0..1 parameter: (x − 0.5)·16, i.e. −8..+8. Negative k moves fast
// at first, positive k slowly at first.
inline float CurveFromParameter(float x) {
    return (x - 0.5f) * 16.0f;
}

// Normaliser of a segment with curvature k: 1 for k = 0, else 1 / (1 − e^k).
inline float CurveNormaliser(float k) {
    return k == 0.0f ? 1.0f : 1.0f / (1.0f - std::exp(k));
}

// Value of a curved segment from a (phase 0) to b (phase 1).
inline float CurveValue(float a, float b, float phase, float k, float norm) {
    if (k == 0.0f) return a + (b - a) * phase;
    return a + (b - a) * (1.0f - std::exp(k * phase)) * norm;
}

// Inverse of CurveValue: the phase (0..1) at which the segment from a to b has the value y. A flat
// segment (a == b) gives 0.
float CurvePhase(float a, float b, float y, float k, float norm);
