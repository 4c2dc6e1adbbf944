// The pattern editor's model: boxes and selections, naming, note validity, drags, control lanes,
// the Play/Stop/Loop buttons and the notifications a window relies on.
#include "tests/support/event_machine.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

struct CChangeLog : CPatternEditorListener {
    void PatternEditorChanged(PatternEditorChange change) override { changes.push_back(change); }
    int Count(PatternEditorChange change) const { return static_cast<int>(std::count(changes.begin(), changes.end(), change)); }
    std::vector<PatternEditorChange> changes;
};

struct EditorFixture : ::testing::Test {
    EditorFixture() {
        synth = rig.Add("Synth 1", 2);
        drums = rig.Add("Drums 1", 1, 3, 8);
        editor = &rig.sequencer.Patterns();
        editor->AddListener(&log);
    }
    ~EditorFixture() override { editor->RemoveListener(&log); }
    SequencerRig rig;
    CEventMachine* synth;
    CEventMachine* drums;
    CPatternEditor* editor;
    CChangeLog log;
};

TEST_F(EditorFixture, MachineListKeepsOnlyMachinesWithControlInputs) {
    struct CEffect : CEventMachine {
        explicit CEffect(CVeskHost* host) : CEventMachine(host, "Delay 1", 0) {}
    };
    auto* effect = new CEffect(&rig.host);
    rig.sequencer.MachineAdded(effect);
    EXPECT_EQ(editor->Machines(), (std::vector<CMachine*>{synth, drums}));
    EXPECT_EQ(rig.sequencer.Song().Song().TrackCount(), 3); // both synth ports and the drums' port
    rig.sequencer.MachineRemoved(effect);
    effect->Delete();
}

TEST_F(EditorFixture, SelectingAMachineListsItsPortsAndPatternsAndToggles) {
    editor->SelectMachine(synth);
    EXPECT_EQ(editor->SelectedMachine(), synth);
    ASSERT_EQ(editor->Ports().size(), 2u);
    EXPECT_EQ(editor->SelectedPort(), synth->Control(0));
    EXPECT_EQ(editor->CurrentPattern(), nullptr);
    EXPECT_EQ(editor->PropertyNames(), (std::vector<std::string>{"Velocity", "Cutoff", "Property 1", "Property 2"}));
    Pattern* first = editor->AddPattern();
    editor->AddPattern();
    editor->SelectMachine(drums);
    EXPECT_EQ(editor->CurrentPattern(), nullptr);
    editor->SelectMachine(synth);
    EXPECT_EQ(editor->CurrentPattern(), first); // the first of the machine's patterns
    editor->SelectMachine(synth);             // choosing it again clears the selection
    EXPECT_EQ(editor->SelectedMachine(), nullptr);
    EXPECT_TRUE(editor->Ports().empty());
    EXPECT_TRUE(editor->Parameters().empty());
    EXPECT_GT(log.Count(PatternEditorChange::Selection), 0);
}

TEST_F(EditorFixture, NewPatternTakesTheSmallestFreeNumberOfItsMachine) {
    editor->SelectMachine(synth);
    editor->AddPattern();
    Pattern* second = editor->AddPattern();
    editor->AddPattern();
    EXPECT_STREQ(second->Name(), "Pattern 2");
    editor->SelectPattern(1);
    editor->RemovePattern(); // Pattern 1 and Pattern 3 remain
    EXPECT_STREQ(editor->CurrentPattern()->Name(), "Pattern 3"); // the one now at the same place
    EXPECT_STREQ(editor->AddPattern()->Name(), "Pattern 2");
    editor->SelectMachine(drums);
    EXPECT_STREQ(editor->AddPattern()->Name(), "Pattern 1"); // numbered per machine
    EXPECT_EQ(editor->AddPattern()->Length(), kDefaultPatternLength);
    EXPECT_FALSE(editor->SetNewPatternLength(5));
    EXPECT_TRUE(editor->SetNewPatternLength(512));
    EXPECT_EQ(editor->AddPattern()->StepCount(), 2048);
}

TEST_F(EditorFixture, RemovingTheLastPatternMakesThePreviousOneCurrent) {
    editor->SelectMachine(synth);
    Pattern* first = editor->AddPattern();
    editor->AddPattern();
    editor->RemovePattern();
    EXPECT_EQ(editor->CurrentPattern(), first);
    editor->RemovePattern();
    EXPECT_EQ(editor->CurrentPattern(), nullptr);
    editor->RemovePattern(); // nothing current: nothing happens
    EXPECT_EQ(editor->Patterns().Count(), 0);
}

TEST_F(EditorFixture, RemovingAMachineDestroysItsPatterns) {
    editor->SelectMachine(synth);
    for (int i = 0; i < 3; ++i) editor->AddPattern();
    editor->SelectMachine(drums);
    editor->AddPattern();
    editor->SelectMachine(synth);
    rig.Remove(synth);
    EXPECT_EQ(editor->Patterns().Count(), 1);
    EXPECT_EQ(editor->SelectedMachine(), nullptr);
    EXPECT_EQ(editor->CurrentPattern(), nullptr);
    EXPECT_EQ(editor->Machines(), (std::vector<CMachine*>{drums}));
}

TEST_F(EditorFixture, ChoosingAnotherPortMovesTheCurrentPattern) {
    editor->SelectMachine(synth);
    Pattern* pattern = editor->AddPattern();
    editor->SelectPort(1);
    EXPECT_EQ(pattern->Port(), synth->Control(1));
    editor->SelectPort(7);
    EXPECT_EQ(editor->SelectedPort(), nullptr);
    EXPECT_TRUE(editor->Parameters().empty());
    EXPECT_EQ(pattern->Port(), synth->Control(1));
    EXPECT_EQ(editor->AddPattern(), nullptr); // needs a port
}

TEST_F(EditorFixture, NoteValidityAtThePatternEdgesAndNeighbours) {
    editor->SelectMachine(synth);
    editor->SetNewPatternLength(1); // 4 steps
    editor->AddPattern();
    editor->SetNoteLength(2);
    ASSERT_NE(editor->AddNoteAt(2, 60), nullptr);
    EXPECT_TRUE(editor->IsValidNote(0, 2, 60, nullptr));   // ends where the other starts
    EXPECT_FALSE(editor->IsValidNote(1, 3, 60, nullptr));  // ends on the other's end
    EXPECT_TRUE(editor->IsValidNote(2, 2, 61, nullptr));   // another note on the same step
    EXPECT_FALSE(editor->IsValidNote(3, 2, 61, nullptr));  // past the pattern's end
    EXPECT_FALSE(editor->IsValidNote(-1, 1, 61, nullptr));
    EXPECT_FALSE(editor->IsValidNote(0, 1, 128, nullptr));
    EXPECT_EQ(editor->AddNoteAt(3, 60), nullptr);           // on the existing note
    EXPECT_FALSE(editor->SetNoteLength(65));
    EXPECT_EQ(editor->NoteLabel(60), "C-5");
    EXPECT_EQ(editor->NoteLabel(61), "C#-5");
    EXPECT_EQ(editor->NoteForRow(0), 127);
    EXPECT_GT(log.Count(PatternEditorChange::Notes), 0);

    editor->SelectMachine(drums);
    editor->AddPattern();
    EXPECT_EQ(editor->RowCount(), 8);
    EXPECT_EQ(editor->NoteForRow(0), 0);
    EXPECT_EQ(editor->NoteLabel(3), "Drum 3");
    EXPECT_FALSE(editor->IsValidNote(0, 1, 8, nullptr));
}

TEST_F(EditorFixture, DraggingANoteTwoRowsUpRaisesItTwoNotes) {
    editor->SelectMachine(synth);
    editor->AddPattern();
    PatternNote* note = editor->AddNoteAt(4, 60);
    editor->BeginNoteDrag(note, NoteZone::Move);
    EXPECT_TRUE(editor->DragNote(0, -2));
    EXPECT_EQ(note->note, 62);
    EXPECT_EQ(note->start, 4);
    EXPECT_TRUE(editor->DragNote(-2, -2)); // both count from the press
    EXPECT_EQ(note->start, 2);
    EXPECT_EQ(note->note, 62);
    EXPECT_FALSE(editor->DragNote(-2, -2)); // the same place again changes nothing
    editor->EndNoteDrag();

    editor->SelectMachine(drums);
    editor->AddPattern();
    PatternNote* hit = editor->AddNoteAt(0, 5);
    editor->BeginNoteDrag(hit, NoteZone::Move);
    editor->DragNote(0, -2);
    EXPECT_EQ(hit->note, 3); // two rows up is a lower index
}

TEST_F(EditorFixture, RefusedMoveFallsBackToTheNoteAloneThenTheStartAlone) {
    editor->SelectMachine(synth);
    editor->AddPattern();
    PatternNote* note = editor->AddNoteAt(0, 60);   // 0..3
    editor->AddNoteAt(8, 62);                        // in the way at the new start
    editor->BeginNoteDrag(note, NoteZone::Move);
    EXPECT_TRUE(editor->DragNote(8, -2)); // to step 8, note 62: refused as a whole
    EXPECT_EQ(note->start, 0);
    EXPECT_EQ(note->note, 62);
    editor->EndNoteDrag();

    editor->AddNoteAt(0, 64);
    editor->BeginNoteDrag(note, NoteZone::Move);
    EXPECT_TRUE(editor->DragNote(2, -2)); // 64 is taken at both starts: the start alone
    EXPECT_EQ(note->start, 2);
    EXPECT_EQ(note->note, 62);
}

TEST_F(EditorFixture, ResizingRefusesEmptyAndOverlappingNotes) {
    editor->SelectMachine(synth);
    editor->AddPattern();
    PatternNote* note = editor->AddNoteAt(4, 60); // 4..7
    editor->BeginNoteDrag(note, NoteZone::ResizeStart);
    EXPECT_FALSE(editor->DragNote(4, 0)); // length 0
    EXPECT_FALSE(editor->DragNote(5, 0)); // past the end
    EXPECT_TRUE(editor->DragNote(-2, 0));
    EXPECT_EQ(note->start, 2);
    EXPECT_EQ(note->length, 6);
    editor->EndNoteDrag();

    editor->AddNoteAt(12, 60);
    editor->BeginNoteDrag(note, NoteZone::ResizeEnd);
    EXPECT_TRUE(editor->DragNote(4, 0)); // ends at 12, where the other starts
    EXPECT_EQ(note->length, 10);
    EXPECT_FALSE(editor->DragNote(5, 0));
    EXPECT_FALSE(editor->DragNote(-6, 0));
    EXPECT_EQ(note->length, 10);
}

TEST_F(EditorFixture, MovingANoteCarriesItsVelocity) {
    editor->SelectMachine(synth);
    Pattern* pattern = editor->AddPattern();
    editor->SelectProperty(0);
    ASSERT_TRUE(editor->AddControlTrack());
    PatternNote* note = editor->AddNoteAt(0, 60);
    pattern->SetControlStep(0, 0, 0.3f);
    editor->BeginNoteDrag(note, NoteZone::Move);
    editor->DragNote(3, 0);
    const std::vector<ControlStep>& steps = pattern->VelocityTrack()->steps;
    EXPECT_EQ(steps[0].set, 0);
    EXPECT_EQ(steps[3].set, 1);
    EXPECT_FLOAT_EQ(steps[3].value, 0.3f);
}

TEST_F(EditorFixture, ControlTracksAndLaneEdits) {
    editor->SelectMachine(synth);
    Pattern* pattern = editor->AddPattern();
    editor->SelectProperty(1); // Cutoff
    EXPECT_EQ(editor->SelectedParameter(), 0);
    EXPECT_TRUE(editor->AddControlTrack());
    EXPECT_FALSE(editor->AddControlTrack()); // one track per parameter
    editor->SelectProperty(0);
    EXPECT_TRUE(editor->AddControlTrack());
    EXPECT_EQ(editor->LaneLabel(0), "Cutoff");
    EXPECT_EQ(editor->LaneLabel(1), "Velocity");
    EXPECT_EQ(log.Count(PatternEditorChange::ControlTracks), 2);

    EXPECT_TRUE(editor->PressStep(0, 5, 0.5f));
    EXPECT_FLOAT_EQ(pattern->GetControlTrack(0)->steps[5].value, 0.5f);
    EXPECT_FALSE(editor->PressStep(0, 5, 1.0f)); // already set: a press there is a drag
    EXPECT_TRUE(editor->PressStep(0, 6, -3.4f)); // below the lane: held to 0
    EXPECT_FLOAT_EQ(pattern->GetControlTrack(0)->steps[6].value, 0.0f);
    EXPECT_TRUE(editor->PressStep(0, 7, std::numeric_limits<float>::quiet_NaN()));
    EXPECT_EQ(pattern->GetControlTrack(0)->steps[7].value, 0.0f);
    EXPECT_FALSE(editor->PressStep(0, 64, 0.5f)); // past the pattern
    EXPECT_FALSE(editor->PressStep(2, 0, 0.5f));  // no such lane
    editor->BeginStepDrag(0, 5);
    EXPECT_FLOAT_EQ(editor->DragStep(0.5f), 1.0f);
    EXPECT_FLOAT_EQ(editor->DragStep(9.0f), 1.0f); // held to the top
    EXPECT_FLOAT_EQ(editor->DragStep(-0.25f), 0.25f); // counted from the value at the press
    EXPECT_FLOAT_EQ(editor->DragStep(-1.0f), 0.0f);
    editor->EndStepDrag();
    EXPECT_EQ(editor->LaneValueText(1, 0.5f), "-1: 0.50");
    editor->ClearStep(0, 5);
    EXPECT_EQ(pattern->GetControlTrack(0)->steps[5].set, 0);

    editor->SelectProperty(1);
    EXPECT_TRUE(editor->RemoveControlTrack());
    EXPECT_FALSE(editor->RemoveControlTrack());
    EXPECT_EQ(pattern->ControlTrackCount(), 1);
    EXPECT_NE(pattern->VelocityTrack(), nullptr);
}

TEST_F(EditorFixture, PlayPauseResumesAndStopStartsOver) {
    editor->SelectMachine(synth);
    Pattern* pattern = editor->AddPattern();
    editor->SetPlayPattern(true);
    rig.Buffers(2);
    EXPECT_EQ(pattern->Position(), 8820);
    editor->SetPlayPattern(false);
    rig.Buffers(2); // no longer ticked
    EXPECT_EQ(pattern->Position(), 8820);
    editor->SetPlayPattern(true);
    rig.Buffer();
    EXPECT_EQ(pattern->Position(), 13230);
    editor->StopPattern();
    EXPECT_FALSE(editor->IsPlayPatternDown());
    EXPECT_EQ(pattern->Position(), 0);
    EXPECT_FLOAT_EQ(editor->DisplayPosition(), -1.0f);
    editor->SetPlayPattern(true);
    rig.Buffer();
    EXPECT_EQ(pattern->Position(), 4410);
}

TEST_F(EditorFixture, PausedPatternReleasesItsHeldNotes) {
    editor->SelectMachine(synth);
    Pattern* pattern = editor->AddPattern();
    pattern->AddNote(0, 8, 60);
    editor->SetPlayPattern(true);
    rig.Buffer();
    editor->SetPlayPattern(false);
    rig.Buffers(3);
    ASSERT_EQ(synth->events.size(), 2u);
    EXPECT_EQ(synth->events[1].kind, kEventNoteOff);
    EXPECT_EQ(synth->events[1].time, 10080);
}

TEST_F(EditorFixture, NotesHeldWhenThePatternMovesOrGoesEndWhereTheyStarted) {
    // Moved to the machine's second port while a note sounds: the note-off still reaches the
    // first port, at its time.
    editor->SelectMachine(synth);
    Pattern* moved = editor->AddPattern();
    moved->AddNote(0, 8, 60); // off at 10080
    editor->SetPlayPattern(true);
    rig.Buffer();
    editor->StopPattern();
    editor->SelectPort(1);
    ASSERT_EQ(moved->Port(), synth->Control(1));
    rig.Buffers(3);
    ASSERT_EQ(synth->events.size(), 2u);
    EXPECT_EQ(synth->events[1].kind, kEventNoteOff);
    EXPECT_EQ(synth->events[1].time, 10080);

    // Removed while a song plays its note: the note-off arrives all the same, once.
    Pattern* removed = editor->CreatePattern(drums->Control(), 4);
    removed->AddNote(0, 12, 3); // a trigger held for 15120 samples
    rig.sequencer.Song().PlacePattern(removed, 0);
    rig.sequencer.Song().PlaySong();
    rig.Buffer();
    editor->DestroyPattern(removed);
    rig.Buffers(4);
    ASSERT_EQ(drums->events.size(), 2u);
    EXPECT_EQ(drums->events[1].kind, kEventTriggerOff);
    EXPECT_EQ(drums->events[1].time, 4 * 4410 + 15120);

    // Removed together with its machine: nothing is left to deliver to a machine that is gone.
    Pattern* withMachine = editor->CreatePattern(drums->Control(), 4);
    withMachine->AddNote(0, 12, 3);
    rig.sequencer.Song().PlacePattern(withMachine, 0);
    rig.sequencer.Song().PlaySong();
    rig.Buffer();
    editor->DestroyPattern(withMachine);
    rig.Remove(drums);
    rig.Buffers(4); // ASan: no event may be written into the freed machine's port
}

TEST_F(EditorFixture, ChangingThePatternWhilePlayingRestartsTheNewOne) {
    editor->SelectMachine(synth);
    Pattern* first = editor->AddPattern();
    editor->SetLoopPattern(true);
    editor->SetPlayPattern(true);
    rig.Buffer();
    Pattern* second = editor->AddPattern();
    EXPECT_TRUE(first->IsStopping());
    EXPECT_EQ(first->Position(), 0);
    EXPECT_TRUE(second->IsPlaying());
    EXPECT_TRUE(second->IsLooping());
    rig.Buffer();
    EXPECT_EQ(second->Position(), 4410);
}

TEST_F(EditorFixture, PlayButtonComesUpFromRefreshAfterTheEnd) {
    editor->SelectMachine(synth);
    editor->SetNewPatternLength(1);
    editor->AddPattern();
    editor->SetPlayPattern(true);
    rig.Buffers(3);
    EXPECT_FALSE(editor->IsPlayPatternDown());
    const int before = log.Count(PatternEditorChange::Transport);
    editor->RefreshDisplay();
    EXPECT_EQ(log.Count(PatternEditorChange::Transport), before + 1);
}

TEST_F(EditorFixture, RefreshMovesThePlayMarker) {
    editor->SelectMachine(synth);
    editor->AddPattern();
    editor->SetPlayPattern(true);
    rig.Buffer();
    editor->RefreshDisplay();
    EXPECT_EQ(log.Count(PatternEditorChange::PlayMarker), 1);
    editor->RefreshDisplay(); // nothing moved
    EXPECT_EQ(log.Count(PatternEditorChange::PlayMarker), 1);
    rig.Buffer();
    editor->RefreshDisplay();
    EXPECT_EQ(log.Count(PatternEditorChange::PlayMarker), 2);
    EXPECT_FLOAT_EQ(editor->DisplayPosition(), 7.0f);
}


// The pattern editor alone, with a listener in the song's place: what it hears and when.
TEST(PatternListListener, HearsPortsAndPatternsAndAPatternLeavesBeforeItIsDestroyed) {
    struct CHeard : CPatternListListener {
        explicit CHeard(const CPatternEditor& list) : editor(list) {}
        void AnnounceControlPort(CPort* port) override { ports.push_back(port); }
        void PatternAdded(Pattern* pattern) override {
            EXPECT_GE(editor.Patterns().Find(pattern), 0); // already listed
            heard.push_back("added " + std::string(pattern->Name()));
        }
        void PatternRemoved(Pattern* pattern) override {
            EXPECT_LT(editor.Patterns().Find(pattern), 0); // no longer listed, still alive
            heard.push_back("removed " + std::string(pattern->Name()));
        }
        const CPatternEditor& editor;
        std::vector<CPort*> ports;
        std::vector<std::string> heard;
    };
    SequencerRig rig;
    CEventMachine* synth = rig.Add("Synth 1", 2);
    CMutex mutex;
    CPatternEditor editor(&rig.host, &mutex);
    CHeard song(editor);
    editor.SetSong(&song);
    editor.MachineAdded(synth);
    EXPECT_EQ(song.ports, (std::vector<CPort*>{synth->Control(0), synth->Control(1)}));

    Pattern* first = editor.CreatePattern(synth->Control(1), 4);
    editor.CreatePattern(synth->Control(0), 8, "Lead");
    editor.DestroyPattern(first);
    editor.MachineRemoved(synth); // its patterns go with it, the song told of each
    EXPECT_EQ(song.heard, (std::vector<std::string>{"added Pattern 1", "added Lead", "removed Pattern 1",
                                                     "removed Lead"}));
    EXPECT_EQ(editor.Patterns().Count(), 0);
}

} // namespace
