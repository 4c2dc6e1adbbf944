// The pixel geometry of the sequence editor's song grid: how wide a beat is on screen and how a
// drag in pixels becomes the beats the song's model works in. Qt-free, tested headless.
#pragma once

#include <cstdint>

namespace song_grid {

constexpr int32_t kBeatPixels = 14; // one beat across the song grid

// Whole beats in a horizontal drag of dx pixels, truncated toward zero (13 pixels either way is
// no beat yet).
constexpr int32_t BeatsInDrag(int32_t dxPixels) {
    return dxPixels / kBeatPixels;
}

} // namespace song_grid
