// Volume arithmetic of cables and the master: slider mappings (power ratios, dB = 10 log10) and
// the per-sample glide that keeps volume changes free of clicks. Pure functions, any thread.
#pragma once

#include <cmath>

namespace volume {

// Cable-volume slider position s (0..1) to a linear power ratio: dB = (s - 1) * 40.
inline float SliderToCableVolume(float s) {
    return std::pow(10.0f, (s - 1.0f) * 40.0f / 10.0f);
}

// A cable volume shown on the slider: dB clamped to -40..0 (-40 for exactly 0).
inline float CableVolumeToSlider(float volume) {
    float db = volume == 0.0f ? -40.0f : 10.0f * std::log10(volume);
    db = std::fmin(0.0f, std::fmax(-40.0f, db));
    return 1.0f - (-db) * 0.025f;
}

// The main tool bar's "Volume" slider: -34 dB .. +6 dB as a power ratio.
inline float SliderToMasterVolume(float s) {
    return std::pow(10.0f, (6.0f - (1.0f - s) * 40.0f) / 10.0f);
}
inline float MasterVolumeToSlider(float target) {
    return (10.0f * std::log10(target) - 6.0f) * 0.025f + 1.0f;
}

// One sample of glide: the value moves by (|target - value| + 0.1) * 0.0004 toward the target and
// snaps to it instead of passing it.
inline float Glide(float value, float target) {
    if (value == target) return target;
    const float step = (std::fabs(target - value) + 0.1f) * 0.0004f;
    if (value < target) return value + step >= target ? target : value + step;
    return value - step <= target ? target : value - step;
}

} // namespace volume
