// The sequence editor's model: rows and their pattern box, placing, dragging and removing
// placements, and the notifications a window relies on.
#include "tests/support/event_machine.h"

#include <gtest/gtest.h>

namespace {

struct CSongLog : CSequenceEditorListener {
    void SequenceEditorChanged(SequenceEditorChange change) override { changes.push_back(change); }
    int Count(SequenceEditorChange change) const { return static_cast<int>(std::count(changes.begin(), changes.end(), change)); }
    std::vector<SequenceEditorChange> changes;
};

struct SongEditorFixture : ::testing::Test {
    SongEditorFixture() {
        song = &rig.sequencer.Song();
        song->AddListener(&log);
        synth = rig.Add("Synth 1");
        bass = rig.Add("Bass 1");
        patterns = &rig.sequencer.Patterns();
    }
    ~SongEditorFixture() override { song->RemoveListener(&log); }
    SequencerRig rig;
    CSequenceEditor* song;
    CSongLog log;
    CEventMachine* synth;
    CEventMachine* bass;
    CPatternEditor* patterns;
};

TEST_F(SongEditorFixture, RowsFollowTheAnnouncedPorts) {
    ASSERT_EQ(song->Song().TrackCount(), 2);
    EXPECT_EQ(song->RowLabel(0), "Synth 1.Notes");
    EXPECT_EQ(song->RowLabel(1), "Bass 1.Notes");
    EXPECT_EQ(log.Count(SequenceEditorChange::Rows), 2);
    song->AnnounceControlPort(synth->Control()); // known already
    EXPECT_EQ(song->Song().TrackCount(), 2);
}

TEST_F(SongEditorFixture, ClicksPlaceOnlyOnTheSelectedRowAndInsideTheSong) {
    Pattern* sixteen = patterns->CreatePattern(synth->Control(), 16);
    EXPECT_EQ(song->PlaceAt(0, 0), nullptr); // no row selected
    song->SelectRow(0);
    EXPECT_EQ(song->ChosenPattern(), sixteen); // the first of the row's patterns
    EXPECT_EQ(song->PlaceAt(1, 0), nullptr);   // not the selected row
    EXPECT_EQ(song->PlaceAt(0, 49), nullptr);  // 49 + 16 > 64
    ASSERT_NE(song->PlaceAt(0, 48), nullptr);
    EXPECT_EQ(song->PlaceAt(0, 40), nullptr);  // overlaps 48..63
    EXPECT_NE(song->PlaceAt(0, 32), nullptr);  // ends where the other starts
    EXPECT_EQ(song->Song().GetTrack(0)->entries.Count(), 2);
    EXPECT_EQ(song->EntryAt(0, 63)->start, 48);
    EXPECT_EQ(song->EntryAt(0, 31), nullptr);
    EXPECT_GT(log.Count(SequenceEditorChange::Entries), 0);
}

TEST_F(SongEditorFixture, RowWithoutPatternsHasAnEmptyBoxAndPlacesNothing) {
    patterns->CreatePattern(synth->Control(), 4);
    song->SelectRow(1);
    EXPECT_TRUE(song->PatternBox().empty());
    EXPECT_EQ(song->ChosenPattern(), nullptr);
    EXPECT_EQ(song->PlaceAt(1, 0), nullptr);
    // A pattern added for the selected row's port fills its box and becomes its choice.
    Pattern* added = patterns->CreatePattern(bass->Control(), 4);
    EXPECT_EQ(song->PatternBox(), std::vector<Pattern*>{added});
    EXPECT_EQ(song->ChosenPattern(), added);
    Pattern* another = patterns->CreatePattern(bass->Control(), 8);
    song->ChoosePattern(1);
    EXPECT_EQ(song->ChosenPattern(), another);
    ASSERT_NE(song->PlaceAt(1, 0), nullptr);
    patterns->DestroyPattern(another);
    EXPECT_EQ(song->ChosenPattern(), added); // the row chooses again from what is left
    EXPECT_EQ(song->Song().GetTrack(1)->entries.Count(), 0);
}

TEST_F(SongEditorFixture, DraggingOverANeighbourStaysUntilTheEntryFitsBeyondIt) {
    Pattern* four = patterns->CreatePattern(synth->Control(), 4);
    song->SelectRow(0);
    SequenceEntry* moving = song->PlaceAt(0, 0);
    song->PlaceAt(0, 8); // the neighbour: 8..11
    song->BeginEntryDrag(0, moving);
    EXPECT_TRUE(song->DragEntry(4));
    EXPECT_EQ(moving->start, 4);       // 4..7 still fits
    EXPECT_FALSE(song->DragEntry(6));
    EXPECT_EQ(moving->start, 4);       // over the neighbour: stays at its last valid start
    EXPECT_FALSE(song->DragEntry(11));
    EXPECT_TRUE(song->DragEntry(12));
    EXPECT_EQ(moving->start, 12);      // jumps past the neighbour
    EXPECT_FALSE(song->DragEntry(100)); // outside the song
    EXPECT_FALSE(song->DragEntry(-1));  // before its start
    EXPECT_TRUE(song->DragEntry(0));   // back to the press start
    EXPECT_EQ(moving->start, 0);
    song->EndEntryDrag();
    EXPECT_EQ(four->Length(), 4);

    song->RemoveEntry(0, moving);
    EXPECT_EQ(song->Song().GetTrack(0)->entries.Count(), 1);
}

TEST_F(SongEditorFixture, PlacePatternUsesThePatternsOwnRow) {
    Pattern* bassLine = patterns->CreatePattern(bass->Control(), 8);
    SequenceEntry* entry = song->PlacePattern(bassLine, 56);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(song->Song().GetTrack(1)->entries[0], entry);
    EXPECT_EQ(song->PlacePattern(bassLine, 60), nullptr); // past the end and overlapping
    EXPECT_EQ(song->PlacePattern(nullptr, 0), nullptr);
}

TEST_F(SongEditorFixture, ClearEmptiesRowsAndTheBox) {
    patterns->CreatePattern(synth->Control(), 4);
    song->SelectRow(0);
    song->PlaceAt(0, 0);
    rig.sequencer.Clear();
    EXPECT_EQ(song->Song().TrackCount(), 0);
    EXPECT_EQ(song->SelectedRow(), -1);
    EXPECT_TRUE(song->PatternBox().empty());
    EXPECT_EQ(patterns->Patterns().Count(), 0);
}

TEST_F(SongEditorFixture, RefreshReportsTheEndOfTheSongAndTheMarker) {
    song->SetLength(1);
    song->PlaySong();
    rig.Buffer();
    song->RefreshDisplay();
    EXPECT_EQ(log.Count(SequenceEditorChange::PlayMarker), 1);
    const int transport = log.Count(SequenceEditorChange::Transport);
    rig.Buffer();
    song->RefreshDisplay();
    EXPECT_EQ(log.Count(SequenceEditorChange::Transport), transport + 1);
    EXPECT_EQ(log.Count(SequenceEditorChange::PlayMarker), 2); // the marker went away
}

} // namespace
