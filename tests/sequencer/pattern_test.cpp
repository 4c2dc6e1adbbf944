// Patterns on their own and through the pattern editor's playback: timing to the sample, the
// carry-over queue, velocities, loop and stop.
#include "tests/support/event_machine.h"

#include "platform/error.h"

#include <gtest/gtest.h>

namespace {

// Plays a pattern from the editor: machine selected, pattern current, Play Pattern down.
Pattern* PlayInEditor(SequencerRig& rig, CEventMachine* machine, int32_t beats, bool loop) {
    CPatternEditor& editor = rig.sequencer.Patterns();
    editor.SelectMachine(machine);
    editor.SetNewPatternLength(beats);
    Pattern* pattern = editor.AddPattern();
    editor.SetLoopPattern(loop);
    return pattern;
}

TEST(PatternTiming, StepIs1260SamplesAt140BpmAnd16BeatsLast80640) {
    EXPECT_FLOAT_EQ(StepLength(44100, 140.0f), 1260.0f);
    SequencerRig rig;
    CEventMachine* machine = rig.Add("Synth 1");
    Pattern* pattern = PlayInEditor(rig, machine, 16, true);
    pattern->AddNote(0, 1, 60);
    pattern->AddNote(63, 1, 62);
    rig.sequencer.Patterns().SetPlayPattern(true);
    rig.Buffers(20); // 88200 samples: the pattern once and the start of its repeat
    const auto ons = OfKind(machine->events, kEventNoteOn);
    ASSERT_EQ(ons.size(), 3u);
    EXPECT_EQ(ons[0].time, 0);
    EXPECT_EQ(ons[1].time, 63 * 1260);
    EXPECT_EQ(ons[1].index, 62);
    EXPECT_EQ(ons[2].time, 80640); // the pattern lasts trunc(64 x 1260) samples
    EXPECT_FLOAT_EQ(ons[0].frequency, rig.host.m_noteTable[60]);
    EXPECT_FLOAT_EQ(ons[0].value, kDefaultVelocity);
}

TEST(PatternTiming, NoteOffCarriedIntoTheNextBuffer) {
    SequencerRig rig;
    CEventMachine* machine = rig.Add("Synth 1");
    Pattern pattern(&rig.host, nullptr, 16, "P", machine->Control());
    pattern.AddNote(0, 4, 60);
    pattern.AdvanceCarryOver(1);
    pattern.Render(0, 0, 4410, 1260.0f);
    CControlBuffer* port = machine->Control()->m_controlBuffer;
    ASSERT_EQ(port->GetCount(), 1);
    ControlEvent event;
    ASSERT_TRUE(port->GetNextEvent(&event));
    EXPECT_EQ(event.kind, kEventNoteOn);
    EXPECT_EQ(event.time, 0);
    ASSERT_EQ(pattern.CarryOver().GetCount(), 1);
    EXPECT_EQ(pattern.CarryOver().m_head->event.time, 630); // 5040 - 4410

    pattern.AdvanceCarryOver(2);
    pattern.AdvanceCarryOver(2); // once per buffer only
    ASSERT_TRUE(port->GetNextEvent(&event));
    EXPECT_EQ(event.kind, kEventNoteOff);
    EXPECT_EQ(event.time, 630);
    EXPECT_EQ(event.index, 60);
    EXPECT_FLOAT_EQ(event.value, kDefaultVelocity); // repeats the note on's velocity
    EXPECT_FALSE(port->GetNextEvent(&event));
    EXPECT_EQ(pattern.CarryOver().GetCount(), 0);
}

TEST(PatternTiming, NoteOffOnABufferBoundaryArrivesAtOffsetZero) {
    // 7 steps = 8820 samples = exactly two buffers: the note-off belongs to offset 0 of buffer 2.
    SequencerRig rig;
    CEventMachine* machine = rig.Add("Synth 1");
    Pattern* pattern = PlayInEditor(rig, machine, 16, false);
    pattern->AddNote(0, 7, 60);
    rig.sequencer.Patterns().SetPlayPattern(true);
    rig.Buffers(3);
    const auto offs = OfKind(machine->events, kEventNoteOff);
    ASSERT_EQ(offs.size(), 1u);
    EXPECT_EQ(offs[0].time, 8820);
}

TEST(PatternVelocity, TwoNotesOnOneStepShareTheVelocityStep) {
    SequencerRig rig;
    CEventMachine* machine = rig.Add("Synth 1");
    Pattern pattern(&rig.host, nullptr, 4, "P", machine->Control());
    pattern.AddControlTrack(kVelocityParameter);
    ASSERT_NE(pattern.VelocityTrack(), nullptr);
    PatternNote* first = pattern.AddNote(0, 2, 60);
    const ControlStep& step = pattern.VelocityTrack()->steps[0];
    EXPECT_EQ(step.set, 1);
    EXPECT_FLOAT_EQ(step.value, 100.0f / 127.0f);
    pattern.SetControlStep(0, 0, 0.5f);
    PatternNote* second = pattern.AddNote(0, 2, 64);
    EXPECT_FLOAT_EQ(step.value, 0.5f); // an already set step is kept

    pattern.Render(0, 0, 4410, 1260.0f);
    machine->Drain();
    const auto ons = OfKind(machine->events, kEventNoteOn);
    ASSERT_EQ(ons.size(), 2u);
    EXPECT_EQ(ons[0].index, 60);
    EXPECT_EQ(ons[1].index, 64);
    EXPECT_EQ(ons[0].time, ons[1].time);
    EXPECT_FLOAT_EQ(ons[0].value, 0.5f);
    EXPECT_TRUE(OfKind(machine->events, kEventParameter).empty()); // the velocity track sends nothing

    pattern.RemoveNote(first);
    EXPECT_EQ(step.set, 1);
    EXPECT_FLOAT_EQ(step.value, 0.5f);
    pattern.RemoveNote(second);
    EXPECT_EQ(step.set, 0);
    EXPECT_FLOAT_EQ(step.value, 0.0f);
    EXPECT_EQ(pattern.CountNotes(), 0);
}

TEST(PatternVelocity, UnsetVelocityStepPlaysAtZero) {
    SequencerRig rig;
    CEventMachine* machine = rig.Add("Synth 1");
    Pattern pattern(&rig.host, nullptr, 4, "P", machine->Control());
    pattern.AddNote(2, 1, 60); // before the track exists: no velocity step is set
    pattern.AddControlTrack(kVelocityParameter);
    pattern.Render(0, 0, 4410, 1260.0f);
    machine->Drain();
    const auto ons = OfKind(machine->events, kEventNoteOn);
    ASSERT_EQ(ons.size(), 1u);
    EXPECT_EQ(ons[0].time, 2520);
    EXPECT_FLOAT_EQ(ons[0].value, 0.0f);
}

TEST(PatternEvents, ControlStepsAndTriggersForNamedNotes) {
    SequencerRig rig;
    CEventMachine* drums = rig.Add("Drums 1", 1, 3, 8);
    Pattern pattern(&rig.host, nullptr, 4, "P", drums->Control());
    const int32_t track = pattern.AddControlTrack(2);
    pattern.SetControlStep(track, 1, 0.25f);
    pattern.SetControlStep(track, 3, 0.75f);
    pattern.AddNote(1, 1, 5);
    pattern.Render(0, 0, 4410, 1260.0f);
    drums->Drain();
    ASSERT_EQ(drums->events.size(), 4u);
    // At step 1: the parameter change (control steps go in first), then the trigger.
    EXPECT_EQ(drums->events[0].kind, kEventParameter);
    EXPECT_EQ(drums->events[0].time, 1260);
    EXPECT_EQ(drums->events[0].index, 2);
    EXPECT_FLOAT_EQ(drums->events[0].value, 0.25f);
    EXPECT_EQ(drums->events[1].kind, kEventTriggerOn);
    EXPECT_EQ(drums->events[1].index, 5);
    EXPECT_FLOAT_EQ(drums->events[1].frequency, 0.0f);
    EXPECT_EQ(drums->events[2].kind, kEventTriggerOff);
    EXPECT_EQ(drums->events[2].time, 2520);
    EXPECT_EQ(drums->events[3].kind, kEventParameter);
    EXPECT_EQ(drums->events[3].time, 3780);
}

TEST(PatternTracks, RemovingABadTrackIndexRaisesAndTheVelocityTrackCanGo) {
    SequencerRig rig;
    CEventMachine* machine = rig.Add("Synth 1");
    Pattern pattern(&rig.host, nullptr, 2, "P", machine->Control());
    pattern.AddControlTrack(0);
    pattern.AddControlTrack(kVelocityParameter);
    EXPECT_EQ(pattern.GetControlTrack(0)->steps.size(), 8u);
    try {
        pattern.RemoveControlTrack(2);
        FAIL() << "no error";
    } catch (const platform::CError& error) {
        EXPECT_STREQ(error.what(), "CArray::RemoveItem - Index Out Of Bounds (2)");
    }
    pattern.RemoveControlTrack(1);
    EXPECT_EQ(pattern.VelocityTrack(), nullptr);
    EXPECT_EQ(pattern.ControlTrackCount(), 1);
}

TEST(PatternPlayback, LoopRendersTailAndHeadInOneBuffer) {
    SequencerRig rig;
    CEventMachine* machine = rig.Add("Synth 1");
    Pattern* pattern = PlayInEditor(rig, machine, 1, true); // 4 steps = 5040 samples
    pattern->AddNote(0, 1, 60);
    pattern->AddNote(3, 1, 67); // at 3780
    rig.sequencer.Patterns().SetPlayPattern(true);
    rig.Buffer();
    EXPECT_EQ(pattern->Position(), 4410);
    rig.Buffer(); // tail 4410..5039 at offsets 0..629, head 0..3779 at offsets 630..4409
    EXPECT_EQ(pattern->Position(), 3780);
    const auto ons = OfKind(machine->events, kEventNoteOn);
    ASSERT_EQ(ons.size(), 3u);
    EXPECT_EQ(ons[0].time, 0);
    EXPECT_EQ(ons[1].time, 3780);
    EXPECT_EQ(ons[2].time, 4410 + 630); // the head at output offset T - position
    rig.Buffer();
    const auto later = OfKind(machine->events, kEventNoteOn);
    ASSERT_EQ(later.size(), 5u); // the next buffer wraps again: step 3, then the head at 10080
    EXPECT_EQ(later[3].time, 5040 + 3780);
    EXPECT_EQ(later[4].time, 2 * 5040);
}

TEST(PatternPlayback, PatternShorterThanTheBufferRepeatsToTheBufferEnd) {
    SequencerRig rig(44100, 8192);
    CEventMachine* machine = rig.Add("Synth 1");
    rig.host.SetBPM(200.0f); // S = 882, one beat = 3528 samples
    Pattern* pattern = PlayInEditor(rig, machine, 1, true);
    pattern->AddNote(0, 1, 60);
    rig.sequencer.Patterns().SetPlayPattern(true);
    rig.Buffer();
    const auto ons = OfKind(machine->events, kEventNoteOn);
    ASSERT_EQ(ons.size(), 3u);
    EXPECT_EQ(ons[1].time, 3528);
    EXPECT_EQ(ons[2].time, 7056);
    EXPECT_EQ(pattern->Position(), 8192 - 7056);
}

TEST(PatternPlayback, EndWithoutLoopStopsAtPositionZero) {
    SequencerRig rig;
    CEventMachine* machine = rig.Add("Synth 1");
    Pattern* pattern = PlayInEditor(rig, machine, 1, false);
    pattern->AddNote(0, 1, 60);
    CPatternEditor& editor = rig.sequencer.Patterns();
    editor.SetPlayPattern(true);
    rig.Buffer();
    EXPECT_TRUE(pattern->IsPlaying());
    rig.Buffer(); // the end lies in this buffer
    EXPECT_FALSE(pattern->IsPlaying());
    EXPECT_EQ(pattern->Position(), 0);
    EXPECT_TRUE(editor.IsPlayPatternDown());
    rig.Buffer(); // the next tick puts the button up
    EXPECT_FALSE(editor.IsPlayPatternDown());
    EXPECT_EQ(OfKind(machine->events, kEventNoteOn).size(), 1u);
}

TEST(PatternPlayback, StopWithHeldNotesDeliversTheirOffsetsAndThenGoesIdle) {
    SequencerRig rig;
    CEventMachine* machine = rig.Add("Synth 1");
    Pattern* pattern = PlayInEditor(rig, machine, 16, true);
    pattern->AddNote(0, 8, 60);  // off at 10080: buffer 2, offset 1260
    pattern->AddNote(4, 1, 62);  // would start at 5040
    rig.sequencer.Patterns().SetPlayPattern(true);
    rig.Buffer();
    pattern->Stop(false); // the pattern alone, while the editor keeps ticking it
    EXPECT_TRUE(pattern->IsStopping());
    EXPECT_EQ(pattern->DisplayPosition() * 1260.0f, 4410.0f); // away from 0: still shown
    rig.Buffer(); // queue not empty: still playing, nothing new
    EXPECT_TRUE(pattern->IsPlaying());
    rig.Buffer(); // delivers the note-off at 1260
    EXPECT_TRUE(pattern->IsPlaying());
    rig.Buffer(); // finds the queue empty
    EXPECT_FALSE(pattern->IsPlaying());
    ASSERT_EQ(machine->events.size(), 2u);
    EXPECT_EQ(machine->events[0].kind, kEventNoteOn);
    EXPECT_EQ(machine->events[1].kind, kEventNoteOff);
    EXPECT_EQ(machine->events[1].time, 10080);
}

TEST(PatternPlayback, ZeroLengthPatternPlaysNothing) {
    SequencerRig rig;
    CEventMachine* machine = rig.Add("Synth 1");
    Pattern pattern(&rig.host, nullptr, 0, "Empty", machine->Control());
    pattern.SetLoop(true);
    pattern.Start(true);
    pattern.PlayTick(1);
    pattern.PlayTick(2);
    EXPECT_EQ(pattern.Position(), 0);
    pattern.SetLoop(false);
    pattern.PlayTick(3);
    EXPECT_FALSE(pattern.IsPlaying());
    EXPECT_EQ(machine->Control()->m_controlBuffer->GetCount(), 0);
}

} // namespace
