// The pattern editor page's Qt-free arithmetic: the page's vertical places, the size bar's ratio,
// the keys of the two piano rows and the checks for moving and rubber-banding several notes.
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"
#include "sequencer/pattern.h"
#include "studio_ui/pattern_editor/page_layout.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace pattern_editor;

TEST(PatternPageLayout, PlacesFollowTheHeightAndRatio) {
    const PageLayout layout = LayOutPage(600, 0.65f);
    EXPECT_EQ(layout.grid, 60);
    EXPECT_EQ(layout.gridHeight, 317); // trunc(488 x 0.65)
    EXPECT_EQ(layout.sizeBar, 377);
    EXPECT_EQ(layout.toolBar3, 383);
    EXPECT_EQ(layout.lanes, 413);
    EXPECT_EQ(layout.lanesHeight, 165);
    EXPECT_EQ(layout.scrollBar, 584);
    // The lanes end six pixels above the scroll bar at any ratio.
    for (float ratio : {0.1f, 0.37f, 0.5f, 0.9f}) {
        const PageLayout other = LayOutPage(731, ratio);
        EXPECT_EQ(other.lanes + other.lanesHeight + 6, other.scrollBar) << ratio;
        EXPECT_EQ(other.sizeBar + kSizeBarHeight, other.toolBar3) << ratio;
    }
    // A page too small for its fixed parts gets no grid and no lanes instead of negative sizes.
    const PageLayout tiny = LayOutPage(80, 0.65f);
    EXPECT_EQ(tiny.gridHeight, 0);
    EXPECT_EQ(tiny.lanesHeight, 0);
}

TEST(PatternPageLayout, RatioIsClampedAndNaNIsRefused) {
    EXPECT_FLOAT_EQ(ClampRatio(0.05f), 0.1f);
    EXPECT_FLOAT_EQ(ClampRatio(0.95f), 0.9f);
    EXPECT_FLOAT_EQ(ClampRatio(std::nanf("")), 0.1f);
    EXPECT_EQ(LayOutPage(600, 5.0f).gridHeight, LayOutPage(600, 0.9f).gridHeight);
}

TEST(PatternPageLayout, SizeBarPositionRoundTripsToTheSamePixel) {
    // Every place the bar can be dragged to lays the page out with the bar exactly there; a ratio
    // taken as (y - 60) / (H - 112) would truncate some of them a pixel short.
    for (int height : {300, 600, 777, 1200}) {
        const int shared = height - kFixedRoom;
        for (int y = 60 + static_cast<int>(shared * kMinimumRatio) + 1; y < 60 + static_cast<int>(shared * kMaximumRatio); ++y)
            ASSERT_EQ(LayOutPage(height, RatioForSizeBar(y, height)).sizeBar, y) << height << " " << y;
    }
    EXPECT_FLOAT_EQ(RatioForSizeBar(-500, 600), kMinimumRatio);
    EXPECT_FLOAT_EQ(RatioForSizeBar(5000, 600), kMaximumRatio);
}

TEST(PatternPageLayout, PianoRowsPlayTwoOctaves) {
    EXPECT_EQ(PianoKeyOffset('Z'), 0);
    EXPECT_EQ(PianoKeyOffset('S'), 1);
    EXPECT_EQ(PianoKeyOffset('X'), 2);
    EXPECT_EQ(PianoKeyOffset('V'), 5);
    EXPECT_EQ(PianoKeyOffset('M'), 11);
    EXPECT_EQ(PianoKeyOffset('Q'), 12);
    EXPECT_EQ(PianoKeyOffset('2'), 13);
    EXPECT_EQ(PianoKeyOffset('R'), 17);
    EXPECT_EQ(PianoKeyOffset('7'), 22);
    EXPECT_EQ(PianoKeyOffset('U'), 23);
    for (int key : {int('A'), int('F'), int('K'), int('L'), int('1'), int('4'), int('8'), int('I'), int('O'), int('P'), int(' '), 0}) EXPECT_EQ(PianoKeyOffset(key), -1) << key;

    EXPECT_EQ(PianoKeyNote(0, 5, 0), 60);
    EXPECT_EQ(PianoKeyNote(23, 5, 0), 83);
    EXPECT_EQ(PianoKeyNote(7, 10, 0), 127);
    EXPECT_EQ(PianoKeyNote(8, 10, 0), -1);
    EXPECT_EQ(PianoKeyNote(-1, 5, 0), -1);
    // A drum machine's rows in order, whatever octave up to 5; higher octaves reach further rows.
    EXPECT_EQ(PianoKeyNote(0, 5, 12), 0);
    EXPECT_EQ(PianoKeyNote(3, 2, 12), 3);
    EXPECT_EQ(PianoKeyNote(11, 5, 12), 11);
    EXPECT_EQ(PianoKeyNote(12, 5, 12), -1);
    EXPECT_EQ(PianoKeyNote(1, 6, 40), 25);
}

namespace {

// A 4-beat (16-step) pattern outside any editor.
struct LoosePattern {
    MachineRegistry registry;
    CVeskHost host{44100, 256, 0x16, &registry};
    Pattern pattern{&host, nullptr, 4, "Loose", nullptr};
};

} // namespace

TEST(PatternPageLayout, GroupMovesKeepInsideAndOffOtherNotes) {
    LoosePattern loose;
    Pattern& pattern = loose.pattern;
    pattern.AddNote(0, 4, 60);
    pattern.AddNote(4, 4, 62);
    pattern.AddNote(10, 2, 60); // not selected
    const std::vector<SelectedNote> both{{0, 4, 60}, {4, 4, 62}};
    EXPECT_TRUE(CanMoveNotes(pattern, 128, both, 2, 0));   // 60 ends at 6, the other 60 starts at 10
    EXPECT_FALSE(CanMoveNotes(pattern, 128, both, 7, 0));  // 60 over [7, 11) meets [10, 12)
    EXPECT_TRUE(CanMoveNotes(pattern, 128, both, 6, 0));   // [6, 10) ends where the other begins
    EXPECT_FALSE(CanMoveNotes(pattern, 128, both, -1, 0)); // before the first step
    EXPECT_FALSE(CanMoveNotes(pattern, 128, both, 9, 0));  // 62 over [13, 17) leaves the pattern
    EXPECT_TRUE(CanMoveNotes(pattern, 128, both, 0, 65));  // 62 + 65 = 127
    EXPECT_FALSE(CanMoveNotes(pattern, 128, both, 0, 66));
    EXPECT_FALSE(CanMoveNotes(pattern, 12, both, 0, 0)); // named rows: 60 is no row of 12
    EXPECT_FALSE(CanMoveNotes(pattern, 128, {}, 1, 0));

    // Selected notes moving onto each other's old places do not block themselves.
    LoosePattern row;
    row.pattern.AddNote(0, 4, 48);
    row.pattern.AddNote(4, 4, 48);
    EXPECT_TRUE(CanMoveNotes(row.pattern, 128, {{0, 4, 48}, {4, 4, 48}}, 4, 0));
    EXPECT_FALSE(CanMoveNotes(row.pattern, 128, {{0, 4, 48}}, 4, 0)); // the other one stays there
}

TEST(PatternPageLayout, RubberBandFindsNotesItTouches) {
    LoosePattern loose;
    Pattern& pattern = loose.pattern;
    pattern.AddNote(0, 4, 60);
    pattern.AddNote(6, 2, 64);
    pattern.AddNote(12, 4, 67);
    // Steps 3..6 and notes 60..64 touch the first note's last step and the second's first.
    const std::vector<SelectedNote> found = NotesInRange(pattern, 3, 6, 60, 64);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0], (SelectedNote{0, 4, 60}));
    EXPECT_EQ(found[1], (SelectedNote{6, 2, 64}));
    EXPECT_TRUE(NotesInRange(pattern, 4, 5, 60, 67).empty()); // between the boxes
    EXPECT_EQ(NotesInRange(pattern, 0, 63, 0, 127).size(), 3u);
    EXPECT_TRUE(NotesInRange(pattern, 0, 63, 61, 63).empty());
}
