// The geometry of the default machine panel: one 22-pixel row per parameter, the panel's size,
// how many rows fit and whether a scroll bar is needed. Qt-free, so the arithmetic is tested
// without a display. Units: logical pixels.
#pragma once

#include <algorithm>

namespace gui {

struct DefaultPanelLayout {
    static constexpr int kRowHeight = 22;
    static constexpr int kMargin = 10;         // below the last row; also the first text row's y
    static constexpr int kWidth = 353;         // without a scroll bar
    static constexpr int kMaxHeight = 400;
    static constexpr int kScrollBarWidth = 16;
    static constexpr int kSliderX = 120;
    static constexpr int kSliderTop = 4;       // the first row's slider
    static constexpr int kSliderWidth = 129;
    static constexpr int kSliderHeight = 24;
    static constexpr int kNameLeft = 4;        // names right-aligned in x 4..115
    static constexpr int kNameWidth = 112;
    static constexpr int kDisplayLeft = 253;   // display texts right-aligned in x 253..348
    static constexpr int kDisplayWidth = 96;
    static constexpr int kTextHeight = 15;

    int width = kWidth;
    int height = kMargin;
    int visibleRows = 0;
    bool scrollBar = false;

    // The layout for a machine of count parameters (a negative count counts as none).
    static DefaultPanelLayout For(int count) {
        count = std::max(count, 0);
        DefaultPanelLayout layout;
        const int content = count * kRowHeight + kMargin;
        if (content <= kMaxHeight) {
            layout.height = content;
            layout.visibleRows = count;
        } else {
            layout.width = kWidth + kScrollBarWidth;
            layout.height = kMaxHeight;
            layout.visibleRows = (kMaxHeight - kMargin) / kRowHeight;
            layout.scrollBar = true;
        }
        return layout;
    }

    // The slider's y for row (parameter) index shown below first visible row first.
    static int SliderY(int row, int first) { return (row - first) * kRowHeight + kSliderTop; }
    // The top of the texts of the visible row at position (0 = the first visible row).
    static int TextY(int position) { return kMargin + position * kRowHeight; }
};

} // namespace gui
