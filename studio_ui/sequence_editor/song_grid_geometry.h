// The pixel geometry of the sequence editor's song grid: how wide a beat is on screen, where the
// rows and the label column lie, which cell a press lands on and where the play marker stands,
// and how a drag in pixels becomes the beats the song's model works in. Qt-free, tested headless;
// the view draws with the same numbers it hit-tests with.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace song_grid {

constexpr int32_t kBeatPixels = 14;    // one beat across the song grid
constexpr int32_t kRowPixels = 16;     // one row (a control input port) down the grid
constexpr int32_t kLabelPixels = 196;  // the row labels' column; the grid starts right of it
constexpr int32_t kLastLabelX = kLabelPixels - 1;
constexpr int32_t kRulerPixels = 16;   // the beat ruler above the rows
constexpr int32_t kScrollBarPixels = 16;
constexpr int32_t kMarkerPixels = 3;   // the play marker's width
constexpr int32_t kBeatsPerGroup = 4;  // beats shaded alike
constexpr int32_t kStepsPerBeat = 4;

// Whole beats in a horizontal drag of dx pixels, truncated toward zero (13 pixels either way is
// no beat yet).
constexpr int32_t BeatsInDrag(int32_t dxPixels) {
    return dxPixels / kBeatPixels;
}

// Beats and rows a view of the given size shows whole (the scroll bars' pages); at least 1.
constexpr int32_t VisibleBeats(int32_t viewWidth) {
    return std::max(1, (viewWidth - kLabelPixels - kScrollBarPixels) / kBeatPixels);
}
constexpr int32_t VisibleRows(int32_t viewHeight) {
    return std::max(1, (viewHeight - kRulerPixels - kScrollBarPixels) / kRowPixels);
}

// Left edge of a beat's column and top edge of a row, for the first visible beat and row.
constexpr int32_t BeatX(int32_t beat, int32_t firstBeat) {
    return kLabelPixels + (beat - firstBeat) * kBeatPixels;
}
constexpr int32_t RowY(int32_t row, int32_t firstRow) {
    return kRulerPixels + (row - firstRow) * kRowPixels;
}

// The row under a press y pixels below the view's top, or -1 above the rows or past the last.
constexpr int32_t RowAt(int32_t y, int32_t firstRow, int32_t rowCount) {
    if (y < kRulerPixels) return -1;
    const int32_t row = (y - kRulerPixels) / kRowPixels + firstRow;
    return row < rowCount ? row : -1;
}

// The beat under a press in the grid (x > kLastLabelX), or -1 in the label column or beyond the
// song's length.
constexpr int32_t BeatAt(int32_t x, int32_t firstBeat, int32_t songLength) {
    if (x <= kLastLabelX) return -1;
    const int32_t beat = (x - kLabelPixels) / kBeatPixels + firstBeat;
    return beat < songLength ? beat : -1;
}

// The play marker's left pixel column for a song position in steps, or -1 when it lies left of
// the grid (scrolled past) and is not drawn.
inline int32_t MarkerX(float positionSteps, int32_t firstBeat) {
    if (positionSteps < 0.0f) return -1;
    const double x = kLabelPixels + (static_cast<double>(positionSteps) / kStepsPerBeat - firstBeat) * kBeatPixels;
    const int32_t column = static_cast<int32_t>(std::floor(x));
    return column > kLastLabelX ? column : -1;
}

// Beat groups alternate in shade: beats 0-3 one, 4-7 the other, and so on.
constexpr bool IsShadedBeat(int32_t beat) {
    return (beat / kBeatsPerGroup) % 2 == 1;
}

} // namespace song_grid
