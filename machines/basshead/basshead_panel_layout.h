// Where the BassHead panel's pieces sit: 73 horizontal sliders in groups down three columns, rows
// 24 pixels apart, and the text display. The panel and the artwork generator both read it.
#pragma once

#include <cstdint>

namespace basshead_panel {

inline constexpr int kWidth = 768;
inline constexpr int kHeight = 848;
inline constexpr int kRowStep = 24;
// The slider's track (its back picture) and handle.
inline constexpr int kTrackLength = 128;
inline constexpr int kHandleSize = 12;

struct Group {
    int32_t first, count;
    int x, y;
    const char* title;   // printed above the group
    int prefixLength;    // characters of each parameter's name the title already says
};
inline constexpr Group kGroups[] = {
    {0, 7, 108, 47, "AMP ENVELOPE", 4},      {7, 7, 364, 47, "FILTER ENVELOPE", 7},
    {14, 4, 108, 262, "OSCILLATOR 1", 5},    {18, 6, 364, 262, "OSCILLATOR 2", 5},
    {24, 5, 108, 454, "FILTER 1", 5},        {29, 5, 364, 454, "FILTER 2", 5},
    {34, 12, 624, 47, "MIX AND DRIVE", 0},   {46, 9, 108, 624, "LFO 1", 5},
    {55, 9, 364, 624, "LFO 2", 5},           {64, 9, 624, 624, "LFO 3", 5},
};

// The display: its rectangle, the inset of its text, and the font picture's cells.
inline constexpr int kScreenX = 531, kScreenY = 364, kScreenWidth = 224, kScreenHeight = 198;
inline constexpr int kScreenInset = 4;
inline constexpr int kFontFirst = 33, kFontLast = 122;
inline constexpr int kFontCell = 16, kFontColumns = 12;
inline constexpr int kAdvance = 8, kNarrowAdvance = 5; // the narrow one after '.' and ':'

// The place of parameter i's slider (track's top-left).
inline bool SliderPlace(int32_t parameter, int& x, int& y) {
    for (const Group& g : kGroups)
        if (parameter >= g.first && parameter < g.first + g.count) {
            x = g.x;
            y = g.y + (parameter - g.first) * kRowStep;
            return true;
        }
    return false;
}

} // namespace basshead_panel
