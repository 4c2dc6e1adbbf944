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

} // namespace gui
