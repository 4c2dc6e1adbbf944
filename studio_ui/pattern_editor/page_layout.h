// The pattern editor page's Qt-free arithmetic: where its tool bars, grid, size bar, lanes and
// scroll bar go for a page height and split ratio; which key of the computer keyboard's two piano
// rows plays which note; and whether a group of selected notes may move together. The view lays
// out, enters and moves with these, so they are tested headless.
#pragma once

#include "sequencer/pattern.h"

#include <cstdint>
#include <vector>

namespace pattern_editor {

constexpr int32_t kToolBarHeight = 30;
constexpr int32_t kSizeBarHeight = 6;
constexpr int32_t kScrollBarSize = 16;
// The page's room that is not shared between grid and lanes: three tool bars, the size bar, the
// scroll bar and the gap above it.
constexpr int32_t kFixedRoom = 112;
constexpr float kDefaultRatio = 0.65f;
constexpr float kMinimumRatio = 0.1f;
constexpr float kMaximumRatio = 0.9f;
constexpr int32_t kKeyColumn = 96; // the note names left of the grid and the lane names
constexpr int32_t kLaneHeight = 128;
constexpr int32_t kHandleSize = 12;
constexpr int32_t kHandleZone = 14; // a handle is hit this high, a pixel above its top onwards

// Vertical places on the page (pixels from its top) for a page height H and ratio.
struct PageLayout {
    int32_t grid = 60;
    int32_t gridHeight = 0; // G = trunc((H - 112) x ratio)
    int32_t sizeBar = 0;    // 60 + G
    int32_t toolBar3 = 0;   // G + 66
    int32_t lanes = 0;      // G + 96
    int32_t lanesHeight = 0; // H - G - 118
    int32_t scrollBar = 0;  // H - 16
};

inline float ClampRatio(float ratio) {
    if (!(ratio >= kMinimumRatio)) return kMinimumRatio; // NaN too
    return ratio > kMaximumRatio ? kMaximumRatio : ratio;
}

inline PageLayout LayOutPage(int32_t height, float ratio) {
    PageLayout layout;
    const int32_t shared = height > kFixedRoom ? height - kFixedRoom : 0;
    layout.gridHeight = static_cast<int32_t>(static_cast<float>(shared) * ClampRatio(ratio));
    layout.sizeBar = 60 + layout.gridHeight;
    layout.toolBar3 = layout.gridHeight + 66;
    layout.lanes = layout.gridHeight + 96;
    layout.lanesHeight = height - layout.gridHeight - 118 > 0 ? height - layout.gridHeight - 118 : 0;
    layout.scrollBar = height - kScrollBarSize;
    return layout;
}

// The ratio for a size bar whose top edge was dragged to y on a page of the height.
inline float RatioForSizeBar(int32_t y, int32_t height) {
    const int32_t shared = height - kFixedRoom;
    if (shared <= 0) return kDefaultRatio;
    // Half a pixel on, so the layout's truncation gives back the very pixel the bar was dragged to.
    return ClampRatio((static_cast<float>(y - 60) + 0.5f) / static_cast<float>(shared));
}

// The semitone above the octave's C that a key of the two piano rows plays: Z S X D C V G B H N J
// M for the lower octave (S D G H J the black keys), Q 2 W 3 E R 5 T 6 Y 7 U for the upper one;
// -1 for any other key. Keys are their upper-case characters.
inline int32_t PianoKeyOffset(int32_t key) {
    static constexpr char kKeys[] = "ZSXDCVGBHNJMQ2W3ER5T6Y7U";
    for (int32_t i = 0; kKeys[i] != 0; ++i)
        if (key == kKeys[i]) return i;
    return -1;
}

// The note a piano key enters: octave x 12 + offset for an ordinary machine (-1 above 127); for
// a machine with N named notes the keys pick its rows in order, the octave above 5 moving them on
// by 24 rows (so every row of a large kit can be reached), -1 past its last row.
inline int32_t PianoKeyNote(int32_t offset, int32_t octave, int32_t namedNotes) {
    if (offset < 0) return -1;
    if (namedNotes > 0) {
        const int32_t row = offset + (octave > 5 ? (octave - 5) * 24 : 0);
        return row < namedNotes ? row : -1;
    }
    const int32_t note = octave * 12 + offset;
    return note >= 0 && note < kOrdinaryNoteCount ? note : -1;
}

// Notes of a selection by what they are, not by where they live (a note record from the undo
// history's point of view).
struct SelectedNote {
    int32_t start = 0;
    int32_t length = 1;
    int32_t note = 0;
    bool operator==(const SelectedNote&) const = default;
};

// Whether every selected note may move by steps and by noteShift note numbers at once: each stays
// in range and inside the pattern, and none overlaps a note of its new number that is not itself
// moving. rowCount is 128 or the named-note count.
bool CanMoveNotes(const Pattern& pattern, int32_t rowCount, const std::vector<SelectedNote>& selection,
                  int32_t steps, int32_t noteShift);

// The notes of the pattern whose box meets the rectangle of steps [firstStep, lastStep] and note
// numbers [lowNote, highNote] (both inclusive).
std::vector<SelectedNote> NotesInRange(const Pattern& pattern, int32_t firstStep, int32_t lastStep,
                                       int32_t lowNote, int32_t highNote);

} // namespace pattern_editor
