// Where a slider's handle sits for a value and which value a handle position means, and the
// value mappings of the volume sliders. Qt-free, so the arithmetic is tested without a display.
//
// Units: logical pixels along the track (left to right; for a vertical slider top to bottom, with
// the value measured up from the bottom), values 0..1, volumes as linear gains.
#pragma once

#include <algorithm>
#include <cmath>

namespace gui {

struct SliderGeometry {
    int length = 0;       // the slider's extent along its track
    int handleLength = 0; // the handle's extent along the track
    bool vertical = false;

    // The pixels the handle can travel; at least 1 so a tiny slider still maps every position.
    int Travel() const { return std::max(length - handleLength, 1); }

    // The handle's first pixel along the track (from the left, or from the top when vertical).
    int HandleStart(float value) const {
        const int fromLow = static_cast<int>(std::lround(std::clamp(value, 0.0f, 1.0f) * static_cast<float>(Travel())));
        return vertical ? Travel() - fromLow : fromLow;
    }

    // The value whose handle starts at the given pixel, clamped to 0..1.
    float ValueAt(int handleStart) const {
        const float travel = static_cast<float>(Travel());
        const float fromLow = vertical ? travel - static_cast<float>(handleStart) : static_cast<float>(handleStart);
        return std::clamp(fromLow / travel, 0.0f, 1.0f);
    }

    bool OnHandle(int position, float value) const {
        const int start = HandleStart(value);
        return position >= start && position < start + handleLength;
    }
};

// The master volume slider: position s 0..1 sets a gain of 10^((6 - (1 - s) x 40) / 10), so the
// top is +6 dB and the bottom -34 dB on the host's 10 x log10 scale.
inline float MasterVolumeTarget(float position) {
    return static_cast<float>(std::pow(10.0, (6.0 - (1.0 - static_cast<double>(position)) * 40.0) / 10.0));
}

// The cable-volume slider: position s maps to dB = (s - 1) x 40 and gain 10^(dB / 10).
inline float CableVolumeFromPosition(float position) {
    return static_cast<float>(std::pow(10.0, (static_cast<double>(position) - 1.0) * 40.0 / 10.0));
}

// The position that shows a cable's gain: dB = 10 x log10(gain) clamped to -40..0 (-40 for a gain
// of exactly 0, or anything not a number), s = 1 - (-dB) x 0.025.
inline float CablePositionFromVolume(float volume) {
    double db = -40.0;
    if (volume > 0.0f) db = std::clamp(10.0 * std::log10(static_cast<double>(volume)), -40.0, 0.0);
    return static_cast<float>(1.0 - (-db) * 0.025);
}

} // namespace gui
