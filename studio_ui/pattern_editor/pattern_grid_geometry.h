// The pixel geometry of the pattern editor's note grid and control lanes: how far a step, a note
// row and a lane's value range reach on screen, and how a press or a drag in pixels becomes the
// steps, rows and values 0..1 the pattern editor's model works in. Qt-free, so it is tested
// headless; the view draws with the same numbers it hit-tests with.
#pragma once

#include "sequencer/pattern_editor.h"

#include <cstdint>

namespace pattern_grid {

constexpr int32_t kStepPixels = 14;       // one step (a sixteenth) across the grid and the lanes
constexpr int32_t kNoteRowPixels = 16;    // one note row down the grid
constexpr int32_t kLaneValuePixels = 114; // a lane's value range: 1 at its top, 0 this far below

// Where a press on a note lands, x pixels right of the note box's first pixel (its left edge + 1):
// the first five pixels take the start, the last seven of the box the end, the rest moves it.
constexpr NoteZone ZoneAt(int32_t x, int32_t noteLength) {
    if (x <= 4) return NoteZone::ResizeStart;
    if (x < noteLength * kStepPixels - 7) return NoteZone::Move;
    return NoteZone::ResizeEnd;
}

// Whole steps in a horizontal drag of dx pixels, truncated toward zero (13 pixels either way
// is no step yet).
constexpr int32_t StepsInDrag(int32_t dxPixels) {
    return dxPixels / kStepPixels;
}

// Whole rows down in a vertical drag of dy pixels, truncated toward zero (negative: up).
constexpr int32_t RowsInDrag(int32_t dyPixels) {
    return dyPixels / kNoteRowPixels;
}

// The value of a press y pixels below a lane's top: 1 at the top, 0 at kLaneValuePixels; beyond
// the lane it runs past 0..1, which the model holds to the range.
inline float LaneValueAt(int32_t yPixels) {
    return 1.0f - static_cast<float>(yPixels) * (1.0f / kLaneValuePixels);
}

// The change of value of a handle dragged dy pixels down (a drag up raises it).
inline float LaneValueChange(int32_t dyPixels) {
    return -(static_cast<float>(dyPixels) * (1.0f / kLaneValuePixels));
}

} // namespace pattern_grid
