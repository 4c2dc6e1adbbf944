// The driver thread's side: ticking allocates nothing once the buffers have warmed up, and edits
// on another thread while buffers tick leave everything consistent.
#include "tests/support/event_machine.h"
#include "tests/support/allocation_trap.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// A busy song: two machines, patterns with chords, long notes and control tracks, all placed and
// looping, and a pattern playing in the editor at the same time.
void BuildSong(SequencerRig& rig) {
    CEventMachine* synth = rig.Add("Synth 1");
    CEventMachine* drums = rig.Add("Drums 1", 1, 3, 8);
    CPatternEditor& editor = rig.sequencer.Patterns();
    Sequence& song = rig.sequencer.Song().Song();
    for (int i = 0; i < 4; ++i) {
        Pattern* chords = editor.CreatePattern(synth->Control(), 4);
        chords->AddControlTrack(kVelocityParameter);
        const int32_t cutoff = chords->AddControlTrack(0);
        for (int step = 0; step < 16; step += 2) {
            chords->AddNote(step, 6, 48 + step);
            chords->AddNote(step, 1, 60 + step);
            chords->SetControlStep(cutoff, step, static_cast<float>(step) / 16.0f);
        }
        song.AddEntry(0, chords, 4 * i);
        Pattern* beat = editor.CreatePattern(drums->Control(), 2);
        for (int step = 0; step < 8; ++step) beat->AddNote(step, 1, step % 8);
        song.AddEntry(1, beat, 2 * i);
    }
    rig.sequencer.Song().SetLength(16);
    rig.sequencer.Song().SetLoop(true);
    rig.sequencer.Song().PlaySong();
    editor.SelectMachine(synth);
    editor.SetLoopPattern(true);
    editor.SetPlayPattern(true);
}

TEST(AudioPath, TicksAllocateNothingAfterWarmUp) {
    SequencerRig rig(44100, 512);
    BuildSong(rig);
    rig.Buffers(400); // every pattern and port has seen its busiest buffer
    int64_t events = 0;
    for (int i = 0; i < 2000; ++i) {
        rig.ClearControlInputs();
        allocation_trap::Arm();
        {
            CMutexLock lock(rig.sequencer.EditorMutex());
            rig.sequencer.Tick();
        }
        ASSERT_EQ(allocation_trap::Disarm(), 0) << "buffer " << i;
        for (CEventMachine* machine : rig.machines) events += machine->Control()->m_controlBuffer->GetCount();
    }
    EXPECT_GT(events, 1000); // the song really played
}

TEST(AudioPath, EditsWhileTheDriverTicksStayConsistent) {
    SequencerRig rig(44100, 256);
    BuildSong(rig);
    CEventMachine* synth = rig.machines[0];
    std::atomic<bool> done{false};
    std::atomic<int> buffers{0};
    std::thread driver([&] {
        while (!done) {
            CMutexLock lock(rig.sequencer.EditorMutex());
            rig.ClearControlInputs();
            rig.sequencer.Tick();
            for (CEventMachine* machine : rig.machines) machine->Control()->m_controlBuffer->Clear();
            ++buffers;
        }
    });
    CPatternEditor& editor = rig.sequencer.Patterns();
    CSequenceEditor& song = rig.sequencer.Song();
    for (int round = 0; round < 300; ++round) {
        Pattern* pattern = editor.AddPattern();
        ASSERT_NE(pattern, nullptr);
        for (int step = 0; step < 32; ++step) editor.AddNoteAt(step, 40 + round % 40);
        editor.SelectProperty(round % 4);
        editor.AddControlTrack();
        editor.PressStep(0, round % 64, 0.75f);
        song.Song().AddEntry(0, pattern, round % 48);
        if (round % 3 == 0) song.SetLength(round % 2 ? 64 : 20);
        if (round % 5 == 0) song.PlaySong();
        if (round % 7 == 0) editor.StopPattern();
        if (round % 11 == 0) editor.SetPlayPattern(true);
        PatternNote* first = pattern->FirstNote();
        if (first) editor.RemoveNote(first);
        if (round % 2) editor.RemovePattern();
    }
    while (buffers < 200) std::this_thread::yield();
    done = true;
    driver.join();
    EXPECT_EQ(editor.SelectedMachine(), synth);
    // Every placement left points at a live pattern.
    for (int32_t t = 0; t < song.Song().TrackCount(); ++t)
        for (const SequenceEntry* entry : song.Song().GetTrack(t)->entries) EXPECT_GE(editor.Patterns().Find(entry->pattern), 0);
}

} // namespace
