// The editors' pixel geometry: where a press on a note lands, how drags in pixels become steps,
// rows, beats and lane values, and the same gestures carried through to the models.
#include "studio_ui/pattern_editor/pattern_grid_geometry.h"
#include "studio_ui/sequence_editor/song_grid_geometry.h"
#include "tests/support/event_machine.h"

#include <gtest/gtest.h>

namespace {

using namespace pattern_grid;
using song_grid::BeatsInDrag;
using song_grid::kBeatPixels;

TEST(PatternGridGeometry, PressZonesOnANote) {
    // A four-step note is 56 pixels: five at the start resize it, the last seven its end.
    EXPECT_EQ(ZoneAt(0, 4), NoteZone::ResizeStart);
    EXPECT_EQ(ZoneAt(4, 4), NoteZone::ResizeStart);
    EXPECT_EQ(ZoneAt(5, 4), NoteZone::Move);
    EXPECT_EQ(ZoneAt(48, 4), NoteZone::Move);
    EXPECT_EQ(ZoneAt(49, 4), NoteZone::ResizeEnd);
    // A one-step note keeps two pixels to move it by.
    EXPECT_EQ(ZoneAt(6, 1), NoteZone::Move);
    EXPECT_EQ(ZoneAt(7, 1), NoteZone::ResizeEnd);
}

TEST(PatternGridGeometry, DragsCountWholeStepsAndRowsTowardZero) {
    EXPECT_EQ(StepsInDrag(13), 0);
    EXPECT_EQ(StepsInDrag(-13), 0);
    EXPECT_EQ(StepsInDrag(kStepPixels), 1);
    EXPECT_EQ(StepsInDrag(-28), -2);
    EXPECT_EQ(StepsInDrag(8 * kStepPixels + 13), 8);
    EXPECT_EQ(RowsInDrag(-40), -2);
    EXPECT_EQ(RowsInDrag(-32), -2);
    EXPECT_EQ(RowsInDrag(15), 0);
    EXPECT_EQ(RowsInDrag(-15), 0);
    EXPECT_EQ(RowsInDrag(kNoteRowPixels), 1);
}

TEST(PatternGridGeometry, LaneValuesRunFromOneAtTheTopToZeroAtTheBottom) {
    EXPECT_FLOAT_EQ(LaneValueAt(0), 1.0f);
    EXPECT_FLOAT_EQ(LaneValueAt(57), 0.5f); // halfway down the lane
    EXPECT_FLOAT_EQ(LaneValueAt(kLaneValuePixels), 0.0f);
    EXPECT_LT(LaneValueAt(500), 0.0f);           // below the lane: the model holds it to 0
    EXPECT_FLOAT_EQ(LaneValueChange(-57), 0.5f); // dragged up raises the value
    EXPECT_FLOAT_EQ(LaneValueChange(kLaneValuePixels), -1.0f);
    EXPECT_EQ(LaneValueChange(0), 0.0f);
}

TEST(SongGridGeometry, DragsCountWholeBeatsTowardZero) {
    EXPECT_EQ(BeatsInDrag(13), 0);
    EXPECT_EQ(BeatsInDrag(-13), 0);
    EXPECT_EQ(BeatsInDrag(4 * kBeatPixels), 4);
    EXPECT_EQ(BeatsInDrag(12 * kBeatPixels + 13), 12);
    EXPECT_EQ(BeatsInDrag(-kBeatPixels), -1);
}

// The gestures a view will make, in pixels, through the geometry into the models.
struct GestureFixture : ::testing::Test {
    GestureFixture() {
        synth = rig.Add("Synth 1", 2);
        drums = rig.Add("Drums 1", 1, 3, 8);
    }
    SequencerRig rig;
    CPatternEditor& editor = rig.sequencer.Patterns();
    CSequenceEditor& song = rig.sequencer.Song();
    CEventMachine* synth;
    CEventMachine* drums;
};

TEST_F(GestureFixture, NoteDragsInPixels) {
    editor.SelectMachine(synth);
    editor.AddPattern();
    PatternNote* note = editor.AddNoteAt(4, 60);
    editor.BeginNoteDrag(note, ZoneAt(20, note->length));
    EXPECT_TRUE(editor.DragNote(StepsInDrag(13), RowsInDrag(-40))); // no step yet; two rows up
    EXPECT_EQ(note->note, 62);
    EXPECT_EQ(note->start, 4);
    EXPECT_TRUE(editor.DragNote(StepsInDrag(-28), RowsInDrag(-40)));
    EXPECT_EQ(note->start, 2);
    editor.EndNoteDrag();

    // Resizing from the start: a press on its first pixels.
    editor.BeginNoteDrag(note, ZoneAt(2, note->length));
    EXPECT_FALSE(editor.DragNote(StepsInDrag(4 * kStepPixels), 0)); // length 0
    EXPECT_TRUE(editor.DragNote(StepsInDrag(-2 * kStepPixels - 13), 0));
    EXPECT_EQ(note->start, 0);
    EXPECT_EQ(note->length, 6);
    editor.EndNoteDrag();

    editor.SelectMachine(drums);
    editor.AddPattern();
    PatternNote* hit = editor.AddNoteAt(0, 5);
    editor.BeginNoteDrag(hit, NoteZone::Move);
    editor.DragNote(0, RowsInDrag(-40));
    EXPECT_EQ(hit->note, 3); // two rows up is a lower index among named notes
}

TEST_F(GestureFixture, LanePressesAndHandleDragsInPixels) {
    editor.SelectMachine(synth);
    Pattern* pattern = editor.AddPattern();
    editor.SelectProperty(1);
    ASSERT_TRUE(editor.AddControlTrack());
    EXPECT_TRUE(editor.PressStep(0, 5, LaneValueAt(57)));
    EXPECT_FLOAT_EQ(pattern->GetControlTrack(0)->steps[5].value, 0.5f);
    EXPECT_TRUE(editor.PressStep(0, 6, LaneValueAt(500)));
    EXPECT_FLOAT_EQ(pattern->GetControlTrack(0)->steps[6].value, 0.0f);
    editor.BeginStepDrag(0, 5);
    EXPECT_FLOAT_EQ(editor.DragStep(LaneValueChange(-57)), 1.0f);
    EXPECT_FLOAT_EQ(editor.DragStep(LaneValueChange(-1000)), 1.0f);
    EXPECT_FLOAT_EQ(editor.DragStep(LaneValueChange(114)), 0.0f);
    editor.EndStepDrag();
}

TEST_F(GestureFixture, EntryDragsInPixels) {
    editor.CreatePattern(synth->Control(), 4);
    song.SelectRow(0);
    SequenceEntry* moving = song.PlaceAt(0, 0);
    song.PlaceAt(0, 8); // the neighbour: 8..11
    song.BeginEntryDrag(0, moving);
    EXPECT_TRUE(song.DragEntry(BeatsInDrag(4 * kBeatPixels)));
    EXPECT_EQ(moving->start, 4);
    EXPECT_FALSE(song.DragEntry(BeatsInDrag(6 * kBeatPixels)));
    EXPECT_TRUE(song.DragEntry(BeatsInDrag(12 * kBeatPixels + 13)));
    EXPECT_EQ(moving->start, 12);                  // jumps past the neighbour
    EXPECT_TRUE(song.DragEntry(BeatsInDrag(-13))); // no beat: back to the press start
    EXPECT_EQ(moving->start, 0);
    song.EndEntryDrag();
}

} // namespace
