// Pattern and sequence blobs: layout, serials, round trips, and damaged or foreign input.
#include "tests/support/event_machine.h"

#include "platform/error.h"
#include "sequencer/blob_io.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

int32_t Int32At(const std::vector<uint8_t>& blob, size_t offset) {
    int32_t value;
    std::memcpy(&value, blob.data() + offset, 4);
    return value;
}

std::string ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const platform::CError& error) {
        return error.what();
    }
    return "no error";
}

// Two synths with patterns, notes, tracks and a song.
struct Project {
    Project() {
        a = rig.Add("Synth 1");
        b = rig.Add("Synth 2", 2);
        CPatternEditor& editor = rig.sequencer.Patterns();
        Pattern* p1 = editor.CreatePattern(a->Control(), 4, "Intro");
        p1->AddControlTrack(kVelocityParameter);
        p1->AddNote(0, 4, 60);
        p1->AddNote(0, 2, 64);
        p1->AddNote(12, 4, 67);
        p1->SetControlStep(0, 12, 0.25f);
        const int32_t cutoff = p1->AddControlTrack(0);
        p1->SetControlStep(cutoff, 3, 0.5f);
        Pattern* p3 = editor.CreatePattern(a->Control(), 1);
        Pattern* p2 = editor.CreatePattern(b->Control(1), 2);
        p2->AddNote(1, 1, 30);
        Sequence& song = rig.sequencer.Song().Song();
        song.AddEntry(0, p1, 0);
        song.AddEntry(0, p3, 4);
        song.AddEntry(2, p2, 8);
        rig.sequencer.Song().SetLength(32);
    }
    std::vector<uint8_t> blobA, blobB, sequence;
    void Write() {
        blobA = rig.sequencer.WritePatternBlob(0);
        blobB = rig.sequencer.WritePatternBlob(1);
        sequence = rig.sequencer.WriteSequenceBlob();
    }
    SequencerRig rig;
    CEventMachine* a;
    CEventMachine* b;
};

TEST(PatternBlob, LayoutAndSerialsAcrossMachines) {
    Project project;
    project.Write();
    // Synth 1: Intro (3 notes, a velocity and a cutoff track of 16 steps) and a 1-beat pattern.
    const size_t intro = 1048 + 12 * 3 + 2 * (8 + 6 * 16);
    const size_t short1 = 1048; // no notes, no tracks
    ASSERT_EQ(project.blobA.size(), 4 + intro + short1);
    EXPECT_EQ(Int32At(project.blobA, 0), 2);
    EXPECT_EQ(Int32At(project.blobA, 4), 0);  // serial: position in the whole list
    EXPECT_EQ(Int32At(project.blobA, 8), 4);  // beats
    EXPECT_STREQ(reinterpret_cast<const char*>(project.blobA.data() + 12), "Intro");
    EXPECT_EQ(Int32At(project.blobA, 4 + 1032), 3);
    EXPECT_EQ(Int32At(project.blobA, 4 + 1036), 2);
    EXPECT_EQ(Int32At(project.blobA, 4 + 1040), 0);
    EXPECT_EQ(Int32At(project.blobA, 4 + 1044), 1); // port 1 of the machine's table
    EXPECT_EQ(Int32At(project.blobA, 4 + 1048 + 24), 12); // third note's start
    EXPECT_EQ(Int32At(project.blobA, 4 + intro), 1);      // the 1-beat pattern
    // Synth 2's only pattern is third in the list.
    EXPECT_EQ(Int32At(project.blobB, 4), 2);
    EXPECT_EQ(Int32At(project.blobB, 4 + 1044), 2);

    // The song: length, 3 rows; row 0 holds (0, serial 0) and (4, serial 1).
    ASSERT_EQ(project.sequence.size(), 8u + (8 + 16) + 8 + (8 + 8));
    EXPECT_EQ(Int32At(project.sequence, 0), 32);
    EXPECT_EQ(Int32At(project.sequence, 4), 3);
    EXPECT_EQ(Int32At(project.sequence, 12), 2);
    EXPECT_EQ(Int32At(project.sequence, 16 + 8 + 4), 1);
}

TEST(PatternBlob, SecondMachinesFirstPatternCanHaveSerialThree) {
    SequencerRig rig;
    CEventMachine* a = rig.Add("Synth 1");
    CEventMachine* b = rig.Add("Synth 2");
    for (int i = 0; i < 3; ++i) rig.sequencer.Patterns().CreatePattern(a->Control(), 1);
    rig.sequencer.Patterns().CreatePattern(b->Control(), 1);
    const std::vector<uint8_t> blob = rig.sequencer.WritePatternBlob(1);
    EXPECT_EQ(Int32At(blob, 4), 3);
}

TEST(PatternBlob, NoPatternsIsFourBytes) {
    SequencerRig rig;
    rig.Add("Synth 1");
    const std::vector<uint8_t> blob = rig.sequencer.WritePatternBlob(0);
    EXPECT_EQ(blob, (std::vector<uint8_t>{0, 0, 0, 0}));
    rig.sequencer.ReadPatternBlob(blob.data(), blob.size());
    EXPECT_EQ(rig.sequencer.Patterns().Patterns().Count(), 0);
}

TEST(PatternBlob, RoundTripIsByteIdentical) {
    Project saved;
    saved.Write();
    SequencerRig loaded;
    loaded.Add("Synth 1");
    loaded.Add("Synth 2", 2);
    loaded.sequencer.ReadPatternBlob(saved.blobA.data(), saved.blobA.size());
    loaded.sequencer.ReadPatternBlob(saved.blobB.data(), saved.blobB.size());
    loaded.sequencer.ReadSequenceBlob(saved.sequence.data(), saved.sequence.size());

    const CArray<Pattern>& patterns = loaded.sequencer.Patterns().Patterns();
    ASSERT_EQ(patterns.Count(), 3);
    EXPECT_STREQ(patterns[0]->Name(), "Intro");
    EXPECT_EQ(patterns[0]->CountNotes(), 3);
    ASSERT_NE(patterns[0]->VelocityTrack(), nullptr);
    EXPECT_FLOAT_EQ(patterns[0]->VelocityTrack()->steps[12].value, 0.25f);
    EXPECT_EQ(loaded.sequencer.Song().Length(), 32);

    EXPECT_EQ(loaded.sequencer.WritePatternBlob(0), saved.blobA);
    EXPECT_EQ(loaded.sequencer.WritePatternBlob(1), saved.blobB);
    EXPECT_EQ(loaded.sequencer.WriteSequenceBlob(), saved.sequence);
}

TEST(SequenceBlob, ThreeRowsIntoAStudioWithTwo) {
    SequencerRig saved;
    std::vector<CEventMachine*> machines = {saved.Add("Synth 1"), saved.Add("Synth 2"), saved.Add("Synth 3")};
    for (int i = 0; i < 3; ++i) {
        Pattern* pattern = saved.sequencer.Patterns().CreatePattern(machines[static_cast<size_t>(i)]->Control(), 4);
        saved.sequencer.Song().Song().AddEntry(i, pattern, 4 * i);
    }
    std::vector<std::vector<uint8_t>> blobs;
    for (int i = 0; i < 3; ++i) blobs.push_back(saved.sequencer.WritePatternBlob(i));
    const std::vector<uint8_t> sequence = saved.sequencer.WriteSequenceBlob();

    SequencerRig loaded;
    loaded.Add("Synth 1");
    loaded.Add("Synth 2");
    for (const auto& blob : blobs) loaded.sequencer.ReadPatternBlob(blob.data(), blob.size());
    EXPECT_EQ(loaded.sequencer.Patterns().Patterns().Count(), 2); // the third machine is missing
    loaded.sequencer.ReadSequenceBlob(sequence.data(), sequence.size());
    const Sequence& song = loaded.sequencer.Song().Song();
    ASSERT_EQ(song.TrackCount(), 2);
    ASSERT_EQ(song.GetTrack(0)->entries.Count(), 1);
    ASSERT_EQ(song.GetTrack(1)->entries.Count(), 1);
    EXPECT_EQ(song.GetTrack(1)->entries[0]->start, 4);
    EXPECT_EQ(song.GetTrack(1)->entries[0]->pattern, loaded.sequencer.Patterns().Patterns()[1]);
}

TEST(PatternBlob, ForeignRecordsAreReadPastAndDropped) {
    SequencerRig rig;
    CEventMachine* synth = rig.Add("Synth 1");
    auto head = [](CBlobWriter& writer, int32_t serial, int32_t beats, int32_t notes, int32_t tracks, int32_t machine, int32_t port) {
        writer.Int32(serial);
        writer.Int32(beats);
        char name[1024];
        std::memset(name, 'x', sizeof name); // no terminator: the name is cut at 1023 characters
        writer.Bytes(name, sizeof name);
        writer.Int32(notes);
        writer.Int32(tracks);
        writer.Int32(machine);
        writer.Int32(port);
    };
    CBlobWriter writer(4096);
    writer.Int32(3);
    head(writer, 7, 1, 1, 0, 5, 1); // no machine 5
    writer.Int32(0), writer.Int32(1), writer.Int32(60);
    head(writer, 8, 1, 0, 0, 0, 0); // port 0 is an audio output
    head(writer, 9, 1, 4, 4, 0, 1);
    writer.Int32(0), writer.Int32(1), writer.Int32(60);   // playable
    writer.Int32(3), writer.Int32(2), writer.Int32(62);   // runs past the end: kept and played
    writer.Int32(1), writer.Int32(0), writer.Int32(62);   // empty: kept, never played
    writer.Int32(1), writer.Int32(1), writer.Int32(128);  // no such note: kept, never played
    writer.Int32(0), writer.Int32(6);                     // six steps for a four-step track
    for (int i = 0; i < 6; ++i) writer.Float(i == 1 ? 2.0f : 0.5f), writer.Byte(i < 2 ? 1 : 0), writer.Byte(0xee);
    writer.Int32(0), writer.Int32(0);                     // a second track for parameter 0
    writer.Int32(3), writer.Int32(0);                     // the machine has parameters 0..2 only
    writer.Int32(-1), writer.Int32(1), writer.Float(0.3f), writer.Byte(1), writer.Byte(0);
    const std::vector<uint8_t> blob = writer.Take();
    rig.sequencer.ReadPatternBlob(blob.data(), blob.size());

    // Only the records without a machine or a control input port are dropped; everything of the
    // third is kept as stored.
    const CArray<Pattern>& patterns = rig.sequencer.Patterns().Patterns();
    ASSERT_EQ(patterns.Count(), 1);
    Pattern* pattern = patterns[0];
    EXPECT_EQ(pattern->m_serial, 9);
    EXPECT_EQ(std::strlen(pattern->Name()), 1023u);
    EXPECT_EQ(pattern->Port(), synth->Control());
    EXPECT_EQ(pattern->CountNotes(), 4);
    ASSERT_EQ(pattern->ControlTrackCount(), 4);
    const ControlTrack* cutoff = pattern->GetControlTrack(0);
    ASSERT_EQ(cutoff->steps.size(), 6u);
    EXPECT_EQ(cutoff->steps[0].set, 1);
    EXPECT_FLOAT_EQ(cutoff->steps[1].value, 2.0f); // as stored; played as 1
    EXPECT_EQ(cutoff->steps[2].set, 0);
    EXPECT_TRUE(cutoff->playable);
    EXPECT_FALSE(pattern->GetControlTrack(1)->playable); // the second track for parameter 0
    EXPECT_FALSE(pattern->GetControlTrack(2)->playable); // parameter 3
    EXPECT_EQ(pattern->VelocityTrack(), pattern->GetControlTrack(3));
    EXPECT_FLOAT_EQ(pattern->VelocityTrack()->steps[0].value, 0.3f);

    // Played: the first track's two set steps inside the pattern (the value limited to 1), the
    // playable notes with their note-offs; the note past the end ends after the pattern.
    pattern->Render(0, 0, 4410, 1260.0f);
    std::vector<ControlEvent> events;
    ControlEvent event;
    while (synth->Control()->m_controlBuffer->GetNextEvent(&event)) events.push_back(event);
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0].kind, kEventParameter);
    EXPECT_EQ(events[0].index, 0);
    EXPECT_EQ(events[1].kind, kEventNoteOn);
    EXPECT_EQ(events[2].kind, kEventNoteOff); // at equal times note-offs come first
    EXPECT_EQ(events[2].time, 1260);
    EXPECT_EQ(events[3].kind, kEventParameter);
    EXPECT_EQ(events[3].time, 1260);
    EXPECT_FLOAT_EQ(events[3].value, 1.0f);
    EXPECT_EQ(events[4].kind, kEventNoteOn);
    EXPECT_EQ(events[4].index, 62);
    EXPECT_EQ(events[4].time, 3780);
    ASSERT_EQ(pattern->CarryOver().GetCount(), 1); // 62 ends at 6300, after this buffer
}

TEST(PatternBlob, DamagedBlobsRaiseAndAddNothing) {
    Project saved;
    saved.Write();
    SequencerRig rig;
    rig.Add("Synth 1");
    CSequencer& sequencer = rig.sequencer;
    // Every cut of a good blob is refused as a whole.
    for (size_t size = 0; size < saved.blobA.size(); size += 97) {
        const std::string text = ErrorOf([&] { sequencer.ReadPatternBlob(saved.blobA.data(), size); });
        EXPECT_TRUE(text.starts_with("Pattern Data Truncated At Byte") || text.starts_with("Pattern Data Corrupt: Invalid"))
            << size << ": " << text;
    }
    EXPECT_EQ(sequencer.Patterns().Patterns().Count(), 0);
    EXPECT_EQ(ErrorOf([&] { sequencer.ReadPatternBlob(nullptr, 0); }), "Pattern Data Truncated At Byte 0");
    EXPECT_EQ(ErrorOf([&] { sequencer.ReadPatternBlob(saved.blobA.data(), 4); }), "Pattern Data Corrupt: Invalid Pattern Count (2)");

    std::vector<uint8_t> huge = saved.blobA;
    std::memcpy(huge.data() + 4 + 1032, "\xff\xff\xff\x7f", 4);
    EXPECT_EQ(ErrorOf([&] { sequencer.ReadPatternBlob(huge.data(), huge.size()); }), "Pattern Data Corrupt: Invalid Note Count (2147483647)");
    huge = saved.blobA;
    std::memcpy(huge.data() + 4 + 1036, "\x00\x00\x00\x80", 4);
    EXPECT_EQ(ErrorOf([&] { sequencer.ReadPatternBlob(huge.data(), huge.size()); }), "Pattern Data Corrupt: Invalid Control Track Count (-2147483648)");
    huge = saved.blobA;
    std::memcpy(huge.data() + 4 + 1048 + 36 + 4, "\x00\x00\x00\x10", 4); // first track's step count
    EXPECT_EQ(ErrorOf([&] { sequencer.ReadPatternBlob(huge.data(), huge.size()); }), "Pattern Data Corrupt: Invalid Control Step Count (268435456)");
    huge = saved.blobA;
    std::memcpy(huge.data() + 8, "\x00\x00\x00\x10", 4);
    EXPECT_EQ(ErrorOf([&] { sequencer.ReadPatternBlob(huge.data(), huge.size()); }), "Pattern Data Corrupt: Invalid Pattern Length (268435456)");
    EXPECT_EQ(sequencer.Patterns().Patterns().Count(), 0);
}

TEST(SequenceBlob, DamagedBlobsRaiseAndChangeNothing) {
    Project saved;
    saved.Write();
    CSequenceEditor& song = saved.rig.sequencer.Song();
    for (size_t size = 0; size < saved.sequence.size(); ++size) {
        const std::string text = ErrorOf([&] { song.ReadSequenceBlob(saved.sequence.data(), size); });
        EXPECT_TRUE(text.starts_with("Sequence Data Truncated At Byte") || text.starts_with("Sequence Data Corrupt: Invalid"))
            << size << ": " << text;
    }
    EXPECT_EQ(song.Song().GetTrack(0)->entries.Count(), 2);
    EXPECT_EQ(song.Length(), 32);
    EXPECT_EQ(ErrorOf([&] { song.ReadSequenceBlob(saved.sequence.data(), 6); }), "Sequence Data Truncated At Byte 4");
    std::vector<uint8_t> bad = saved.sequence;
    std::memcpy(bad.data() + 4, "\xff\xff\xff\xff", 4);
    EXPECT_EQ(ErrorOf([&] { song.ReadSequenceBlob(bad.data(), bad.size()); }), "Sequence Data Corrupt: Invalid Track Count (-1)");
    bad = saved.sequence;
    std::memcpy(bad.data() + 12, "\x00\x00\x01\x00", 4);
    EXPECT_EQ(ErrorOf([&] { song.ReadSequenceBlob(bad.data(), bad.size()); }), "Sequence Data Corrupt: Invalid Entry Count (65536)");
}

TEST(SequenceBlob, UnknownSerialsAreDroppedAndEntriesTakenAsStored) {
    SequencerRig rig;
    CEventMachine* synth = rig.Add("Synth 1");
    Pattern* pattern = rig.sequencer.Patterns().CreatePattern(synth->Control(), 16);
    pattern->m_serial = 5;
    CBlobWriter writer(64);
    writer.Int32(16);
    writer.Int32(1);
    writer.Int32(1);
    writer.Int32(3);
    writer.Int32(0), writer.Int32(5);
    writer.Int32(8), writer.Int32(5); // overlaps and ends after the song: kept as stored
    writer.Int32(0), writer.Int32(6); // unknown serial
    const std::vector<uint8_t> blob = writer.Take();
    rig.sequencer.ReadSequenceBlob(blob.data(), blob.size());
    const SequenceTrack* track = rig.sequencer.Song().Song().GetTrack(0);
    ASSERT_EQ(track->entries.Count(), 2);
    EXPECT_EQ(track->entries[1]->start, 8);
    EXPECT_EQ(rig.sequencer.Song().Length(), 16);
}

} // namespace

namespace {

// Damaged copies of good blobs either load or raise one of the texts; nothing reads out of bounds
// (the sanitizers watch) and whatever loads plays without trouble.
TEST(Blobs, RandomDamageIsReadSafely) {
    Project saved;
    saved.Write();
    const unsigned seed = 20261207;
    std::srand(seed);
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    int loaded = 0;
    for (int round = 0; round < 300; ++round) {
        SequencerRig rig;
        rig.Add("Synth 1");
        rig.Add("Synth 2", 2);
        std::vector<uint8_t> patterns = saved.blobA, sequence = saved.sequence;
        for (int flips = 0; flips < 1 + round % 4; ++flips) {
            std::vector<uint8_t>& blob = std::rand() % 2 ? patterns : sequence;
            blob[static_cast<size_t>(std::rand()) % blob.size()] = static_cast<uint8_t>(std::rand());
        }
        try {
            rig.sequencer.ReadPatternBlob(patterns.data(), patterns.size());
            rig.sequencer.ReadSequenceBlob(sequence.data(), sequence.size());
            ++loaded;
        } catch (const platform::CError& error) {
            const std::string text = error.what();
            EXPECT_TRUE(text.find(" Data Truncated At Byte ") != std::string::npos ||
                        text.find(" Data Corrupt: Invalid ") != std::string::npos)
                << text;
        }
        rig.sequencer.Song().SetLoop(true);
        rig.sequencer.Song().PlaySong();
        rig.Buffers(8);
    }
    EXPECT_GT(loaded, 0);
}

} // namespace

namespace {

// One pattern record of a one-beat (four-step) pattern for machine 0's port 1, written the way the
// writer writes (zero-padded name, zero filler bytes).
std::vector<uint8_t> BlobWithUneditableData() {
    CBlobWriter writer(2048);
    writer.Int32(1);
    writer.Int32(0);
    writer.Int32(1);
    char name[1024] = "Kept";
    writer.Bytes(name, sizeof name);
    writer.Int32(3); // notes
    writer.Int32(3); // tracks
    writer.Int32(0);
    writer.Int32(1);
    writer.Int32(2), writer.Int32(5), writer.Int32(60); // runs three steps past the end
    writer.Int32(1), writer.Int32(0), writer.Int32(62); // length 0
    writer.Int32(3), writer.Int32(1), writer.Int32(64);
    auto steps = [&](int32_t parameter, const std::vector<std::pair<float, uint8_t>>& values) {
        writer.Int32(parameter);
        writer.Int32(static_cast<int32_t>(values.size()));
        for (const auto& [value, set] : values) writer.Float(value), writer.Byte(set), writer.Byte(0);
    };
    steps(0, {{0.1f, 1}, {0.0f, 0}, {0.0f, 0}, {0.0f, 0}, {0.7f, 1}, {0.9f, 1}}); // steps 4, 5 beyond
    steps(-1, {{0.5f, 1}, {0.25f, 1}, {0.6f, 1}, {0.8f, 1}});
    steps(1, {{0.3f, 1}, {0.4f, 1}}); // shorter than the pattern
    return writer.Take();
}

} // namespace

TEST(PatternBlob, NotesAndStepsTheEditorCannotMakeSurviveLoadAndSaveAndPlayWhatTheyCan) {
    const std::vector<uint8_t> blob = BlobWithUneditableData();
    SequencerRig rig;
    CEventMachine* synth = rig.Add("Synth 1");
    rig.sequencer.ReadPatternBlob(blob.data(), blob.size());
    ASSERT_EQ(rig.sequencer.Patterns().Patterns().Count(), 1);
    EXPECT_EQ(rig.sequencer.WritePatternBlob(0), blob);

    // In the song the note past the pattern's end sounds for all its five steps; the empty note
    // sends nothing; the steps beyond the pattern send nothing; the short track plays its steps.
    Pattern* pattern = rig.sequencer.Patterns().Patterns()[0];
    ASSERT_NE(rig.sequencer.Song().PlacePattern(pattern, 0), nullptr);
    rig.sequencer.Song().SetLength(1);
    rig.sequencer.Song().PlaySong();
    rig.Buffers(4);
    EXPECT_FALSE(rig.sequencer.Song().IsPlaying());
    const auto ons = OfKind(synth->events, kEventNoteOn);
    const auto offs = OfKind(synth->events, kEventNoteOff);
    ASSERT_EQ(ons.size(), 2u);
    EXPECT_EQ(ons[0].index, 60);
    EXPECT_EQ(ons[0].time, 2 * 1260);
    EXPECT_FLOAT_EQ(ons[0].value, 0.6f);
    ASSERT_EQ(offs.size(), 2u);
    EXPECT_EQ(offs[1].index, 60);
    EXPECT_EQ(offs[1].time, 7 * 1260); // after the song stopped at 5040
    const auto changes = OfKind(synth->events, kEventParameter);
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0].time, 0);
    EXPECT_EQ(changes[1].time, 0);
    EXPECT_EQ(changes[2].index, 1);
    EXPECT_EQ(changes[2].time, 1260);

    // Saving again after playing, and loading the saved blob elsewhere, keeps the same bytes.
    EXPECT_EQ(rig.sequencer.WritePatternBlob(0), blob);
    SequencerRig other;
    other.Add("Synth 1");
    const std::vector<uint8_t> saved = rig.sequencer.WritePatternBlob(0);
    other.sequencer.ReadPatternBlob(saved.data(), saved.size());
    EXPECT_EQ(other.sequencer.WritePatternBlob(0), blob);
}
