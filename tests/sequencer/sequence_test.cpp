// The song: placements rendered into their patterns' ports buffer by buffer, its end, its loop,
// and the song's structure kept up as machines, patterns and the length change.
#include "tests/support/event_machine.h"

#include <gtest/gtest.h>

namespace {

struct SongFixture : ::testing::Test {
    SongFixture() {
        synth = rig.Add("Synth 1");
        editor = &rig.sequencer.Patterns();
        song = &rig.sequencer.Song();
    }
    Pattern* MakePattern(int32_t beats, CEventMachine* machine = nullptr) {
        return editor->CreatePattern((machine ? machine : synth)->Control(), beats);
    }
    SequencerRig rig;
    CEventMachine* synth;
    CPatternEditor* editor;
    CSequenceEditor* song;
};

TEST_F(SongFixture, A64BeatSongLasts322560SamplesAndStopsAtItsEnd) {
    EXPECT_EQ(song->SongSamples(), 322560);
    song->PlaySong();
    rig.Buffers(73); // 321930 samples: the end (322560) lies in the next buffer
    EXPECT_TRUE(song->IsPlaying());
    EXPECT_FLOAT_EQ(song->DisplayPosition(), 73 * 3.5f);
    rig.Buffer();
    EXPECT_FALSE(song->IsPlaying());
    EXPECT_FALSE(song->IsPlayDown());
    EXPECT_FLOAT_EQ(song->DisplayPosition(), -1.0f);
}

TEST_F(SongFixture, EntryBeginningInsideABufferLandsAtItsSample) {
    Pattern* pattern = MakePattern(4);
    pattern->AddNote(0, 1, 60);
    pattern->AddNote(2, 1, 62);
    song->Song().AddEntry(0, pattern, 4); // step 16 = sample 20160, inside buffer 4 (17640..22049)
    song->PlaySong();
    rig.Buffers(6);
    const auto ons = OfKind(synth->events, kEventNoteOn);
    ASSERT_EQ(ons.size(), 2u);
    EXPECT_EQ(ons[0].time, 20160);
    EXPECT_EQ(ons[1].time, 20160 + 2520);
}

TEST_F(SongFixture, EventsGoToThePatternsOwnPort) {
    CEventMachine* other = rig.Add("Synth 2");
    Pattern* pattern = MakePattern(1, other);
    pattern->AddNote(0, 1, 60);
    song->Song().AddEntry(0, pattern, 0); // on the first machine's row
    song->PlaySong();
    rig.Buffer();
    EXPECT_TRUE(synth->events.empty());
    EXPECT_EQ(OfKind(other->events, kEventNoteOn).size(), 1u);
}

TEST_F(SongFixture, EntryEndingAtThePositionDeliversItsNoteOff) {
    rig.host.SetSampleRateAndBufferSize(44100, 2520); // two steps per buffer
    rig.sequencer.BufferSizeChanged(2520);
    Pattern* pattern = MakePattern(1);
    pattern->AddNote(3, 1, 60); // on at 3780, off at 5040, the entry's end
    song->Song().AddEntry(0, pattern, 0);
    song->PlaySong();
    rig.Buffers(3);
    ASSERT_EQ(synth->events.size(), 2u);
    EXPECT_EQ(synth->events[0].time, 3780);
    EXPECT_EQ(synth->events[1].kind, kEventNoteOff);
    EXPECT_EQ(synth->events[1].time, 5040);
}

TEST_F(SongFixture, LoopPlaysTheSongsStartAfterItsEndInTheSameBuffer) {
    song->SetLength(3); // 12 steps = 15120 samples; after three buffers the position is 10.5
    Pattern* pattern = MakePattern(1);
    pattern->AddNote(0, 1, 60);
    pattern->AddNote(1, 1, 62);
    song->Song().AddEntry(0, pattern, 0);
    song->SetLoop(true);
    song->PlaySong();
    rig.Buffers(3);
    EXPECT_FLOAT_EQ(song->DisplayPosition(), 10.5f);
    rig.Buffer(); // the end 1890 samples in: song samples 0..2519 at offsets 1890..4409
    EXPECT_TRUE(song->IsPlaying());
    EXPECT_FLOAT_EQ(song->DisplayPosition(), 2520.0f / 1260.0f);
    const auto ons = OfKind(synth->events, kEventNoteOn);
    ASSERT_EQ(ons.size(), 4u);
    EXPECT_EQ(ons[2].time, 15120);
    EXPECT_EQ(ons[3].time, 15120 + 1260);
}

TEST_F(SongFixture, LoopedSongShorterThanTheBufferFillsIt) {
    rig.host.SetSampleRateAndBufferSize(44100, 16384);
    rig.sequencer.BufferSizeChanged(16384);
    song->SetLength(1); // 5040 samples
    Pattern* pattern = MakePattern(1);
    pattern->AddNote(0, 1, 60);
    song->Song().AddEntry(0, pattern, 0);
    song->SetLoop(true);
    song->PlaySong();
    rig.Buffer();
    const auto ons = OfKind(synth->events, kEventNoteOn);
    ASSERT_EQ(ons.size(), 4u);
    for (size_t i = 0; i < ons.size(); ++i) EXPECT_EQ(ons[i].time, static_cast<int64_t>(i) * 5040);
}

TEST_F(SongFixture, NoteOffsOfAStoppedSongStillArrive) {
    Pattern* pattern = MakePattern(4);
    pattern->AddNote(0, 8, 60); // off at 10080
    song->Song().AddEntry(0, pattern, 0);
    song->PlaySong();
    rig.Buffer();
    song->StopSong();
    rig.Buffers(3);
    const auto offs = OfKind(synth->events, kEventNoteOff);
    ASSERT_EQ(offs.size(), 1u);
    EXPECT_EQ(offs[0].time, 10080);
}

TEST_F(SongFixture, ShorteningTheSongRemovesEntriesEndingAfterIt) {
    Pattern* four = MakePattern(4);
    Pattern* eight = MakePattern(8);
    Sequence& sequence = song->Song();
    sequence.AddEntry(0, four, 0);
    sequence.AddEntry(0, eight, 8);  // ends at 16: stays
    sequence.AddEntry(0, four, 14);  // 14..18 and
    sequence.AddEntry(0, eight, 18); // 18..26 lie next to each other: both go
    sequence.AddEntry(0, four, 40);
    song->SetLength(16);
    EXPECT_EQ(song->Length(), 16);
    const CArray<SequenceEntry>& entries = sequence.GetTrack(0)->entries;
    ASSERT_EQ(entries.Count(), 2);
    EXPECT_EQ(entries[0]->start, 0);
    EXPECT_EQ(entries[1]->start, 8);
    song->SetLength(0);
    EXPECT_EQ(song->Length(), 1);
    song->SetLength(5000);
    EXPECT_EQ(song->Length(), 4096);
}

TEST_F(SongFixture, RemovingMachinesAndPatternsTakesTheirRowsAndPlacements) {
    CEventMachine* twoPorts = rig.Add("Drums 1", 2);
    Sequence& sequence = song->Song();
    ASSERT_EQ(sequence.TrackCount(), 3);
    Pattern* a = MakePattern(1);
    Pattern* b = MakePattern(1, twoPorts);
    sequence.AddEntry(0, a, 0);
    sequence.AddEntry(0, a, 4);
    sequence.AddEntry(1, b, 0);
    sequence.AddEntry(2, a, 8); // a pattern may be placed on another row
    song->SelectRow(2);

    editor->DestroyPattern(a);
    EXPECT_EQ(sequence.GetTrack(0)->entries.Count(), 0);
    EXPECT_EQ(sequence.GetTrack(2)->entries.Count(), 0);
    EXPECT_EQ(sequence.GetTrack(1)->entries.Count(), 1);

    rig.Remove(twoPorts);
    ASSERT_EQ(sequence.TrackCount(), 1);
    EXPECT_EQ(sequence.GetTrack(0)->port, synth->Control());
    EXPECT_EQ(song->SelectedRow(), -1);
    EXPECT_EQ(editor->Patterns().Count(), 0);
}

TEST_F(SongFixture, RecordSongDrivesTheRecorderAndStopsWithTheSong) {
    struct CRecorder : CRecordSongTarget {
        void StartRecordSong() override { calls.push_back("start"); }
        void StopRecordSong() override { calls.push_back("stop"); }
        std::vector<std::string> calls;
    } recorder;
    song->SetRecordTarget(&recorder);
    song->SetLength(1);
    song->SetRecordSong(true);
    EXPECT_TRUE(song->IsPlaying());
    EXPECT_TRUE(song->IsPlayDown());
    EXPECT_TRUE(song->IsRecordDown());
    ASSERT_EQ(recorder.calls, std::vector<std::string>{"start"});
    rig.Buffers(2); // 5040 samples: ends in the second buffer
    EXPECT_FALSE(song->IsPlaying());
    EXPECT_FALSE(song->IsRecordDown());
    EXPECT_EQ(recorder.calls.size(), 1u); // never stopped from the driver thread
    song->RefreshDisplay();
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"start", "stop"}));

    song->SetRecordSong(true);
    song->StopSong();
    EXPECT_EQ(recorder.calls.size(), 4u);
    EXPECT_EQ(recorder.calls.back(), "stop");
    EXPECT_FALSE(song->IsRecordDown());
    song->SetRecordSong(true);
    song->SetRecordSong(false);
    EXPECT_EQ(recorder.calls.size(), 6u);
    EXPECT_FALSE(song->IsPlaying());
}

TEST_F(SongFixture, PlayWhilePlayingRestartsFromTheBeginning) {
    song->PlaySong();
    rig.Buffers(4);
    EXPECT_FLOAT_EQ(song->DisplayPosition(), 14.0f);
    song->PlaySong();
    EXPECT_FLOAT_EQ(song->DisplayPosition(), 0.0f);
    EXPECT_TRUE(song->IsPlayDown());
}

TEST_F(SongFixture, TempoChangeWhilePlayingKeepsThePlaceInTheSong) {
    Pattern* pattern = MakePattern(1);
    pattern->AddNote(0, 1, 60);
    song->Song().AddEntry(0, pattern, 4); // step 16
    song->PlaySong();
    rig.Buffers(4); // 17640 samples = step 14 at 140 BPM
    EXPECT_EQ(song->PositionSamples(), 17640);
    rig.host.SetBPM(70.0f); // 2520 samples a step: step 14 is now sample 35280
    rig.Buffer();           // plays song samples 35280..39689
    EXPECT_EQ(song->PositionSamples(), 39690);
    EXPECT_FLOAT_EQ(song->DisplayPosition(), 39690.0f / 2520.0f);
    rig.Buffer(); // step 16 = sample 40320, 630 into this buffer
    const auto ons = OfKind(synth->events, kEventNoteOn);
    ASSERT_EQ(ons.size(), 1u);
    EXPECT_EQ(ons[0].time, 5 * 4410 + 630);
}

} // namespace
