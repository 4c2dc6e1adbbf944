// The undo history over a real studio of library machines: every undoable edit taken back and
// made again, compared through the saved project's bytes; gestures as one step; the limit; the
// clean mark; a deleted machine given back with everything that hung on it; random mixed edits.
#include "studio_ui/undo/undo_commands.h"

#include "engine/master.h"
#include "engine/studio.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/port.h"
#include "machine_interface/vesk_host.h"
#include "machines/stock_machines.h"
#include "persistence/project_file.h"
#include "sequencer/sequencer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace cmd = UndoCommands;

int32_t Stereo() {
    return 2;
}

std::vector<CConnector*> Connectors(CMachineContainer* frame, bool input, bool audio) {
    std::vector<CConnector*> found;
    for (int32_t c = 0; c < frame->ConnectorCount(); ++c) {
        const CPort* port = frame->Connector(c)->m_port;
        if (port->IsInput() == input && port->IsAudio() == audio && !port->IsSendReturn())
            found.push_back(frame->Connector(c));
    }
    return found;
}

// A small song: two bass machines and a drum machine (each with patterns, notes, lanes and
// placements, their patterns interleaved in the list), an effect, cables of several volumes
// into the master and through the effect.
class UndoTest : public ::testing::Test {
protected:
    UndoTest() {
        CMaster::SetChannelCountSource(Stereo);
        m_host = std::make_unique<CVeskHost>(44100, 256, 0x16, &m_registry);
        m_host->RegisterMachine(new CMasterInfo(m_host.get()));
        RegisterStockMachines(m_host.get());
        m_studio = std::make_unique<CStudio>(m_host.get());
        m_sequencer = std::make_unique<CSequencer>(m_host.get());
        m_studio->AttachSequencer(m_sequencer.get());
        m_project = std::make_unique<CProject>(m_studio.get(), m_sequencer.get());
        m_project->New();
        for (CMachineInfo* info : m_registry.AddableMachines()) {
            CMachine* probe = info->CreateMachine();
            bool control = false, audioIn = false;
            for (int32_t p = 0; p < probe->m_portCount; ++p) {
                control |= IsControlInput(probe->m_ports[p]);
                audioIn |= probe->m_ports[p]->IsInput() && probe->m_ports[p]->IsAudio();
            }
            if (control && probe->m_namedNoteCount > 0 && !m_drumInfo) m_drumInfo = info;
            if (control && probe->m_namedNoteCount == 0 && probe->m_parameterCount > 0 && !m_bassInfo) m_bassInfo = info;
            if (!control && audioIn && !m_effectInfo) m_effectInfo = info;
            probe->Delete();
        }
    }
    ~UndoTest() override {
        m_studio->Clear();
        m_studio.reset();
        m_sequencer.reset();
        CMaster::SetChannelCountSource(nullptr);
    }

    void BuildSong() {
        ASSERT_TRUE(m_bassInfo && m_drumInfo && m_effectInfo);
        m_bass = m_studio->AddMachine(m_bassInfo, 100, 40);
        m_effect = m_studio->AddMachine(m_effectInfo, 300, 40);
        m_drums = m_studio->AddMachine(m_drumInfo, 100, 200);
        m_bass2 = m_studio->AddMachine(m_bassInfo, 100, 300);
        m_bass->Machine()->SetParameter(0, 0.31f);
        m_drums->Machine()->SetParameter(0, 0.77f);
        CConnector* masterIn = Connectors(m_studio->MasterFrame(), true, true).at(0);
        CConnector* effectIn = Connectors(m_effect, true, true).at(0);
        ASSERT_TRUE(m_studio->Connect(Connectors(m_drums, false, true).at(0), masterIn, 0.9f));
        ASSERT_TRUE(m_studio->Connect(Connectors(m_bass, false, true).at(0), masterIn, 0.5f));
        ASSERT_TRUE(m_studio->Connect(Connectors(m_effect, false, true).at(0), masterIn, 0.7f));
        ASSERT_TRUE(m_studio->Connect(Connectors(m_bass2, false, true).at(0), masterIn, 0.25f));
        ASSERT_TRUE(m_studio->Connect(Connectors(m_bass, false, true).at(0), effectIn, 0.4f));
        ASSERT_TRUE(m_studio->Connect(Connectors(m_drums, false, true).at(0), effectIn, 0.6f));
        // Patterns of the three sequenced machines, interleaved in the list.
        for (int32_t round = 0; round < 2; ++round)
            for (CMachineContainer* frame : {m_bass, m_drums, m_bass2}) {
                Pattern* pattern = Patterns().CreatePattern(Connectors(frame, true, false).at(0)->m_port, 4 + 4 * round);
                ASSERT_NE(pattern, nullptr);
                const int32_t notes = frame == m_drums ? frame->Machine()->m_namedNoteCount : 128;
                for (int32_t step = 0; step < pattern->StepCount(); step += 3)
                    pattern->AddNote(step, 2, (36 + 5 * step + round) % notes);
                const int32_t velocity = pattern->AddControlTrack(kVelocityParameter);
                pattern->SetControlStep(velocity, 3, 0.5f);
                if (frame->Machine()->m_parameterCount > 1) {
                    const int32_t lane = pattern->AddControlTrack(1);
                    pattern->SetControlStep(lane, 4, 0.125f);
                }
                ASSERT_NE(Song().PlacePattern(pattern, 8 * round), nullptr);
                ASSERT_NE(Song().PlacePattern(pattern, 40 + 8 * round), nullptr);
            }
        m_project->SetInfo("A song of three machines");
        m_studio->SetTempo(128.0f);
    }

    CPatternEditor& Patterns() { return m_sequencer->Patterns(); }
    CSequenceEditor& Song() { return m_sequencer->Song(); }
    Pattern* PatternOf(CMachineContainer* frame, int32_t nth = 0) {
        for (Pattern* pattern : Patterns().Patterns())
            if (pattern->Machine() == frame->Machine() && nth-- == 0) return pattern;
        return nullptr;
    }
    std::vector<uint8_t> Bytes() { return m_project->Bytes(); }
    UndoContext Context() { return UndoContext{*m_studio, *m_sequencer, *m_project}; }

    // Do, undo, redo, undo again: the project's bytes go from before to after and back.
    void RoundTrip(const std::string& what, std::function<cmd::Command()> make) {
        SCOPED_TRACE(what);
        const std::vector<uint8_t> before = Bytes();
        ASSERT_TRUE(m_stack.Do(make()));
        const std::vector<uint8_t> after = Bytes();
        EXPECT_NE(after, before) << "the edit changed nothing";
        ASSERT_TRUE(m_stack.Undo());
        EXPECT_EQ(Bytes(), before);
        ASSERT_TRUE(m_stack.Redo());
        EXPECT_EQ(Bytes(), after);
        ASSERT_TRUE(m_stack.Undo());
        EXPECT_EQ(Bytes(), before);
        m_stack.Clear();
    }

    MachineRegistry m_registry;
    std::unique_ptr<CVeskHost> m_host;
    std::unique_ptr<CStudio> m_studio;
    std::unique_ptr<CSequencer> m_sequencer;
    std::unique_ptr<CProject> m_project;
    CUndoStack m_stack;
    CMachineInfo* m_bassInfo = nullptr;
    CMachineInfo* m_drumInfo = nullptr;
    CMachineInfo* m_effectInfo = nullptr;
    CMachineContainer* m_bass = nullptr;
    CMachineContainer* m_effect = nullptr;
    CMachineContainer* m_drums = nullptr;
    CMachineContainer* m_bass2 = nullptr;
};

TEST_F(UndoTest, EveryNoteAndStepEditRoundTrips) {
    BuildSong();
    const auto ctx = Context();
    Pattern* bass = PatternOf(m_bass, 1);
    Pattern* drums = PatternOf(m_drums);
    RoundTrip("add note", [&] { return cmd::AddNote(ctx, bass, 1, 2, 70); });
    RoundTrip("remove note", [&] { return cmd::RemoveNote(ctx, bass, 3, 36 + 15 + 1); });
    RoundTrip("move note", [&] { return cmd::MoveNote(ctx, bass, 0, 37, 2, 40); });
    RoundTrip("resize note", [&] { return cmd::ResizeNote(ctx, bass, 0, 37, 0, 7); });
    RoundTrip("named note", [&] { return cmd::AddNote(ctx, drums, 1, 1, 0); });
    RoundTrip("set step", [&] { return cmd::SetControlStep(ctx, bass, 1, 9, 0.75f); });
    RoundTrip("clear step", [&] { return cmd::ClearControlStep(ctx, bass, 0, 3); });
    // The velocity step a removed note leaves behind is part of the same step: removing the only
    // note at step 3 clears its velocity, and undo brings both back.
    RoundTrip("velocity follows note", [&] { return cmd::RemoveNote(ctx, drums, 3, (36 + 15) % m_drums->Machine()->m_namedNoteCount); });
    // Through the editor's own checked operations on the current pattern.
    Patterns().SelectMachine(m_bass->Machine());
    Patterns().SelectPattern(1);
    ASSERT_EQ(Patterns().CurrentPattern(), bass);
    RoundTrip("editor drag", [&] {
        return cmd::EditPattern(ctx, "Move Note", bass, [this](Pattern& pattern) {
            Patterns().BeginNoteDrag(pattern.FirstNote(), NoteZone::Move);
            Patterns().DragNote(1, 2);
            Patterns().EndNoteDrag();
        });
    });
    RoundTrip("editor lane", [&] {
        return cmd::EditPattern(ctx, "Add Control Track", bass, [this](Pattern&) {
            Patterns().SelectProperty(3); // parameter 2: no lane yet
            Patterns().AddControlTrack();
        });
    });
}

TEST_F(UndoTest, InvalidEditsKeepNoStep) {
    BuildSong();
    const auto ctx = Context();
    Pattern* bass = PatternOf(m_bass);
    const std::vector<uint8_t> before = Bytes();
    EXPECT_FALSE(m_stack.Do(cmd::AddNote(ctx, bass, 0, 2, 36))); // overlaps the note at step 0
    EXPECT_FALSE(m_stack.Do(cmd::AddNote(ctx, bass, 15, 2, 90))); // runs past the end
    EXPECT_FALSE(m_stack.Do(cmd::MoveNote(ctx, bass, 5, 99, 6, 99))); // no such note
    EXPECT_FALSE(m_stack.Do(cmd::MoveMachine(ctx, m_bass, m_bass->m_x, m_bass->m_y)));
    EXPECT_FALSE(m_stack.Do(cmd::Connect(ctx, Connectors(m_bass, false, true).at(0),
                                         Connectors(m_effect, true, true).at(0)))); // already joined
    EXPECT_FALSE(m_stack.Do(cmd::PlaceEntry(ctx, bass, 2))); // overlaps its own placement at 0
    EXPECT_FALSE(m_stack.CanUndo());
    EXPECT_EQ(Bytes(), before);
    EXPECT_THROW(cmd::RenameMachine(ctx, m_bass, m_drums->m_name), std::exception);
}

TEST_F(UndoTest, PatternAndSongEditsRoundTrip) {
    BuildSong();
    const auto ctx = Context();
    Pattern* first = PatternOf(m_bass);
    RoundTrip("add pattern", [&] { return cmd::AddPattern(ctx, first->Port(), 8, "Fill"); });
    RoundTrip("remove pattern with placements", [&] { return cmd::RemovePattern(ctx, PatternOf(m_drums)); });
    RoundTrip("rename pattern", [&] { return cmd::RenamePattern(ctx, first, "Verse"); });
    RoundTrip("duplicate pattern", [&] { return cmd::DuplicatePattern(ctx, first); });
    // Growing to 16 beats runs into the placement at 8: that placement goes with the same step.
    RoundTrip("pattern length", [&] { return cmd::SetPatternLength(ctx, first, 16); });
    RoundTrip("shorter pattern", [&] { return cmd::SetPatternLength(ctx, first, 2); });
    RoundTrip("place", [&] { return cmd::PlaceEntry(ctx, first, 20); });
    const int32_t row = Song().Song().FindTrack(first->Port());
    RoundTrip("move entry", [&] { return cmd::MoveEntry(ctx, row, 41, 60); });
    RoundTrip("remove entry", [&] { return cmd::RemoveEntry(ctx, row, 1); });
    RoundTrip("song length cuts placements", [&] { return cmd::SetSongLength(ctx, 44); });
    RoundTrip("longer song", [&] { return cmd::SetSongLength(ctx, 200); });
}

TEST_F(UndoTest, MachineCableAndProjectEditsRoundTrip) {
    BuildSong();
    const auto ctx = Context();
    CConnector* effectIn = Connectors(m_effect, true, true).at(0);
    CConnector* masterIn = Connectors(m_studio->MasterFrame(), true, true).at(0);
    RoundTrip("add machine", [&] { return cmd::AddMachine(ctx, m_bassInfo, 500, 60); });
    RoundTrip("rename", [&] { return cmd::RenameMachine(ctx, m_bass, "Low End"); });
    RoundTrip("move", [&] { return cmd::MoveMachine(ctx, m_bass, 7, 9); });
    RoundTrip("connect", [&] { return cmd::Connect(ctx, effectIn, Connectors(m_bass2, false, true).at(0), 0.3f); });
    RoundTrip("disconnect the middle cable", [&] { return cmd::Disconnect(ctx, masterIn, 1); });
    RoundTrip("cable volume", [&] { return cmd::SetCableVolume(ctx, masterIn, 2, 0.1f); });
    RoundTrip("tempo", [&] { return cmd::SetTempo(ctx, 93.0f); });
    RoundTrip("project text", [&] { return cmd::SetProjectText(ctx, "Another text"); });
    // Redo of an added machine brings back the same machine: its state as made, its name.
    ASSERT_TRUE(m_stack.Do(cmd::AddMachine(ctx, m_drumInfo, 10, 10)));
    const std::string name = m_studio->Frames().back()->m_name;
    m_studio->Frames().back()->Machine()->SetParameter(0, 0.5f); // around the history: lost on undo
    m_stack.Undo();
    EXPECT_EQ(m_studio->FindFrame(name.c_str()), nullptr);
    m_stack.Redo();
    ASSERT_NE(m_studio->FindFrame(name.c_str()), nullptr);
}

// Every machine in turn (first, middle, last, the one feeding the effect, the effect itself):
// delete, undo gives back the project byte for byte, redo deletes again to the same bytes.
TEST_F(UndoTest, DeletedMachineComesBackWithEverythingThatHungOnIt) {
    BuildSong();
    const auto ctx = Context();
    for (const std::string name : {"m_bass", "m_effect", "m_drums", "m_bass2"}) {
        SCOPED_TRACE(name);
        CMachineContainer* frame =
            name == "m_bass" ? m_bass : name == "m_effect" ? m_effect : name == "m_drums" ? m_drums : m_bass2;
        const std::string machineName = frame->m_name;
        const size_t patterns = Patterns().Patterns().Count();
        const int32_t rows = Song().Song().TrackCount();
        const std::vector<CMachine*> machineBox = Patterns().Machines();
        const std::vector<uint8_t> before = Bytes();
        ASSERT_TRUE(m_stack.Do(cmd::DeleteMachine(ctx, frame)));
        const std::vector<uint8_t> deleted = Bytes();
        EXPECT_EQ(m_studio->FindFrame(machineName.c_str()), nullptr);
        EXPECT_EQ(m_stack.UndoText(), "Undo Delete Machine");
        ASSERT_TRUE(m_stack.Undo());
        EXPECT_EQ(Bytes(), before);
        EXPECT_EQ(static_cast<size_t>(Patterns().Patterns().Count()), patterns);
        EXPECT_EQ(Song().Song().TrackCount(), rows);
        // The pattern editor's machine box lists it at its old place again.
        ASSERT_EQ(Patterns().Machines().size(), machineBox.size());
        for (size_t i = 0; i < machineBox.size(); ++i) {
            CMachineContainer* listed = m_studio->FindFrame(Patterns().Machines()[i]);
            ASSERT_NE(listed, nullptr);
            EXPECT_EQ(listed->m_name, m_studio->FindFrame(machineBox[i]) ? m_studio->FindFrame(machineBox[i])->m_name
                                                                          : machineName);
        }
        ASSERT_TRUE(m_stack.Redo());
        EXPECT_EQ(Bytes(), deleted);
        ASSERT_TRUE(m_stack.Undo());
        EXPECT_EQ(Bytes(), before);
        // The handed-back frame is a new one: later edits find it by name.
        CMachineContainer* back = m_studio->FindFrame(machineName.c_str());
        ASSERT_NE(back, nullptr);
        if (name == "m_bass") m_bass = back;
        if (name == "m_effect") m_effect = back;
        if (name == "m_drums") m_drums = back;
        if (name == "m_bass2") m_bass2 = back;
    }
    // The master too: it comes back as the studio's master with its cables.
    const std::vector<uint8_t> before = Bytes();
    ASSERT_TRUE(m_stack.Do(cmd::DeleteMachine(ctx, m_studio->MasterFrame())));
    EXPECT_EQ(m_studio->MasterFrame(), nullptr);
    m_stack.Undo();
    ASSERT_NE(m_studio->MasterFrame(), nullptr);
    EXPECT_EQ(m_studio->Frames().front(), m_studio->MasterFrame());
    EXPECT_EQ(Bytes(), before);
    // The earlier steps still undo against the machines made again.
    while (m_stack.CanUndo()) m_stack.Undo();
    ASSERT_TRUE(m_stack.Do(cmd::MoveMachine(ctx, m_drums, 1, 2)));
    EXPECT_EQ(m_drums->m_x, 1);
}

TEST_F(UndoTest, DragOfFiftyMovesIsOneStep) {
    BuildSong();
    const auto ctx = Context();
    const std::vector<uint8_t> before = Bytes();
    m_stack.BeginGesture();
    for (int32_t i = 1; i <= 50; ++i) ASSERT_TRUE(m_stack.Do(cmd::MoveMachine(ctx, m_bass, 100 + i, 40 + 2 * i)));
    m_stack.EndGesture();
    EXPECT_EQ(m_stack.Count(), 1u);
    EXPECT_EQ(m_stack.UndoText(), "Undo Move Machine");
    EXPECT_EQ(m_bass->m_x, 150);
    m_stack.Undo();
    EXPECT_EQ(Bytes(), before);
    EXPECT_FALSE(m_stack.CanUndo());
    m_stack.Redo();
    EXPECT_EQ(m_bass->m_y, 140);

    // A note drag through the editor, and a tempo knob: one step each.
    Pattern* bass = PatternOf(m_bass);
    m_stack.BeginGesture();
    for (int32_t i = 1; i <= 10; ++i) m_stack.Do(cmd::MoveNote(ctx, bass, i - 1, 36, i, 36));
    m_stack.EndGesture();
    m_stack.BeginGesture();
    for (int32_t i = 0; i < 20; ++i) m_stack.Do(cmd::SetTempo(ctx, 100.0f + static_cast<float>(i)));
    m_stack.EndGesture();
    EXPECT_EQ(m_stack.Count(), 3u);
    m_stack.Undo();
    m_stack.Undo();
    m_stack.Undo();
    EXPECT_EQ(Bytes(), before);
}

TEST_F(UndoTest, GesturesMergeOnlyOneKindOnOneTarget) {
    BuildSong();
    const auto ctx = Context();
    // Without a gesture every move is a step.
    m_stack.Do(cmd::MoveMachine(ctx, m_bass, 1, 1));
    m_stack.Do(cmd::MoveMachine(ctx, m_bass, 2, 2));
    EXPECT_EQ(m_stack.Count(), 2u);
    // In one gesture, moves of two machines stay two steps; the second does not swallow the first.
    m_stack.BeginGesture();
    m_stack.Do(cmd::MoveMachine(ctx, m_bass, 3, 3));
    m_stack.Do(cmd::MoveMachine(ctx, m_drums, 3, 3));
    m_stack.Do(cmd::MoveMachine(ctx, m_drums, 4, 4));
    m_stack.EndGesture();
    EXPECT_EQ(m_stack.Count(), 4u);
    // A new gesture does not grow the last one's step.
    m_stack.BeginGesture();
    m_stack.Do(cmd::MoveMachine(ctx, m_drums, 5, 5));
    m_stack.EndGesture();
    EXPECT_EQ(m_stack.Count(), 5u);
    // After an undo inside a gesture the next command is a step of its own, not a merge into the
    // step that was undone.
    m_stack.BeginGesture();
    m_stack.Do(cmd::MoveMachine(ctx, m_drums, 6, 6));
    m_stack.Undo();
    m_stack.Do(cmd::MoveMachine(ctx, m_drums, 7, 7));
    m_stack.EndGesture();
    EXPECT_EQ(m_stack.Count(), 6u);
    m_stack.Undo();
    EXPECT_EQ(m_drums->m_x, 5);
}

TEST_F(UndoTest, LimitDropsTheOldestSteps) {
    BuildSong();
    const auto ctx = Context();
    m_stack.SetLimit(3);
    for (int32_t i = 1; i <= 5; ++i) m_stack.Do(cmd::SetTempo(ctx, 100.0f + static_cast<float>(i)));
    EXPECT_EQ(m_stack.Count(), 3u);
    while (m_stack.Undo()) {
    }
    EXPECT_FLOAT_EQ(m_host->GetBPM(), 102.0f); // the steps to 101 and 102 are gone
    EXPECT_EQ(m_stack.UndoText(), "Undo");
    EXPECT_EQ(m_stack.RedoText(), "Redo Tempo");
    // Lowering the limit drops only steps already done, never those waiting to be redone.
    m_stack.Redo();
    m_stack.SetLimit(1);
    EXPECT_EQ(m_stack.Count(), 2u);
    EXPECT_EQ(m_stack.Index(), 0u);
    EXPECT_TRUE(m_stack.CanRedo());
}

TEST_F(UndoTest, NewCommandClearsRedo) {
    BuildSong();
    const auto ctx = Context();
    m_stack.Do(cmd::SetTempo(ctx, 100.0f));
    m_stack.Do(cmd::SetTempo(ctx, 110.0f));
    m_stack.Undo();
    EXPECT_TRUE(m_stack.CanRedo());
    m_stack.Do(cmd::SetProjectText(ctx, "changed"));
    EXPECT_FALSE(m_stack.CanRedo());
    EXPECT_EQ(m_stack.Count(), 2u);
    EXPECT_EQ(m_stack.RedoText(), "Redo");
    m_stack.Undo();
    m_stack.Undo();
    EXPECT_FLOAT_EQ(m_host->GetBPM(), 128.0f);
}

TEST_F(UndoTest, CleanMarkFollowsTheSavedProject) {
    BuildSong();
    const auto ctx = Context();
    const fs::path folder = fs::path(TAMBOREL_TEST_BINARY_DIR) / "undo_clean";
    fs::create_directories(folder);
    const fs::path file = folder / "song.tbp";
    m_stack.Do(cmd::SetTempo(ctx, 100.0f));
    m_project->SaveAs(file);
    m_stack.SetClean();
    const std::vector<uint8_t> saved = Bytes();
    EXPECT_TRUE(m_stack.IsClean());
    // A gesture right after the save is a step of its own: growing the saved step would leave the
    // mark on a project that no longer equals the file.
    m_stack.BeginGesture();
    m_stack.Do(cmd::SetTempo(ctx, 101.0f));
    m_stack.Do(cmd::SetTempo(ctx, 102.0f));
    m_stack.EndGesture();
    EXPECT_FALSE(m_stack.IsClean());
    EXPECT_EQ(m_stack.Count(), 2u);
    m_stack.Undo();
    EXPECT_TRUE(m_stack.IsClean());
    EXPECT_EQ(Bytes(), saved);
    m_stack.Undo();
    EXPECT_FALSE(m_stack.IsClean());
    m_stack.Redo();
    EXPECT_TRUE(m_stack.IsClean());
    // Undo before the save, then a new edit: the saved state can no longer be reached.
    m_stack.Undo();
    m_stack.Do(cmd::SetProjectText(ctx, "elsewhere"));
    EXPECT_FALSE(m_stack.IsClean());
    m_stack.Undo();
    EXPECT_FALSE(m_stack.IsClean());
    // The limit dropping the clean step makes it unreachable too; dropping older steps keeps it.
    m_stack.Clear();
    EXPECT_TRUE(m_stack.IsClean());
    m_stack.SetLimit(2);
    m_stack.Do(cmd::SetTempo(ctx, 90.0f));
    m_stack.SetClean();
    m_stack.Do(cmd::SetTempo(ctx, 91.0f));
    m_stack.Do(cmd::SetTempo(ctx, 92.0f)); // drops the step to 90; the mark now sits at index 0
    m_stack.Undo();
    m_stack.Undo();
    EXPECT_TRUE(m_stack.IsClean());
    EXPECT_FLOAT_EQ(m_host->GetBPM(), 90.0f);
    m_stack.Do(cmd::SetTempo(ctx, 93.0f));
    m_stack.Do(cmd::SetTempo(ctx, 94.0f));
    m_stack.Do(cmd::SetTempo(ctx, 95.0f)); // the mark falls off the bottom
    while (m_stack.Undo()) EXPECT_FALSE(m_stack.IsClean());
    fs::remove_all(folder);
}

TEST_F(UndoTest, FailedCommandLeavesTheHistoryAlone) {
    BuildSong();
    const auto ctx = Context();
    m_stack.Do(cmd::SetTempo(ctx, 100.0f));
    const std::string name = m_bass->m_name;
    ASSERT_TRUE(m_stack.Do(cmd::MoveMachine(ctx, m_bass, 5, 5)));
    // The machine goes around the history: undoing the move cannot find it.
    m_studio->DeleteMachine(m_bass);
    EXPECT_THROW(m_stack.Undo(), std::exception);
    EXPECT_EQ(m_stack.Index(), 2u);
    EXPECT_EQ(m_stack.UndoText(), "Undo Move Machine");
    std::unique_ptr<CUndoCommand> failing = cmd::EditPattern(ctx, "Add Note", PatternOf(m_drums),
                                                             [](Pattern&) { throw std::runtime_error("refused"); });
    EXPECT_THROW(m_stack.Do(std::move(failing)), std::exception);
    EXPECT_EQ(m_stack.Count(), 2u);
}

// Random edits of every kind, then everything undone (the project's bytes are the starting
// ones) and redone (the bytes after the last edit).
TEST_F(UndoTest, RandomEditsUndoAndRedoToTheSameBytes) {
    BuildSong();
    const auto ctx = Context();
    const uint32_t seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    auto pick = [&random](int32_t count) { return static_cast<int32_t>(random() % static_cast<uint32_t>(count)); };
    const std::vector<uint8_t> start = Bytes();
    m_stack.SetLimit(1000);
    int32_t kept = 0;
    for (int32_t i = 0; i < 200; ++i) {
        const auto& frames = m_studio->Frames();
        CMachineContainer* frame = frames[static_cast<size_t>(pick(static_cast<int32_t>(frames.size())))];
        const CArray<Pattern>& patterns = Patterns().Patterns();
        Pattern* pattern = patterns.Count() > 0 ? patterns[pick(patterns.Count())] : nullptr;
        const bool gesture = pick(4) == 0;
        if (gesture) m_stack.BeginGesture();
        cmd::Command command;
        switch (pick(pattern ? 20 : 8)) {
        case 0: command = cmd::MoveMachine(ctx, frame, pick(800), pick(600)); break;
        case 1: command = cmd::SetTempo(ctx, 60.0f + static_cast<float>(pick(120))); break;
        case 2: command = cmd::SetProjectText(ctx, "text " + std::to_string(pick(1000))); break;
        case 3:
            if (frame != m_studio->MasterFrame() && frames.size() > 2) command = cmd::DeleteMachine(ctx, frame);
            break;
        case 4: command = cmd::AddMachine(ctx, pick(2) ? m_bassInfo : m_drumInfo, pick(800), pick(600)); break;
        case 5: {
            std::vector<CConnector*> outs = Connectors(frame, false, true);
            CMachineContainer* other = frames[static_cast<size_t>(pick(static_cast<int32_t>(frames.size())))];
            std::vector<CConnector*> ins = Connectors(other, true, true);
            if (!outs.empty() && !ins.empty())
                command = cmd::Connect(ctx, outs[0], ins[0], static_cast<float>(pick(100)) / 100.0f);
            break;
        }
        case 6:
        case 7: {
            std::vector<CConnector*> ins = Connectors(frame, true, true);
            if (!ins.empty() && ins[0]->m_connections.Count() > 0) {
                const int32_t index = pick(ins[0]->m_connections.Count());
                command = pick(2) ? cmd::Disconnect(ctx, ins[0], index)
                                  : cmd::SetCableVolume(ctx, ins[0], index, static_cast<float>(pick(100)) / 50.0f);
            }
            break;
        }
        case 8: command = cmd::AddNote(ctx, pattern, pick(pattern->StepCount()), 1 + pick(4), pick(12)); break;
        case 9:
            if (PatternNote* note = pattern->FirstNote()) command = cmd::RemoveNote(ctx, pattern, note->start, note->note);
            break;
        case 10:
            if (PatternNote* note = pattern->FirstNote())
                command = cmd::MoveNote(ctx, pattern, note->start, note->note, pick(pattern->StepCount()), pick(12));
            break;
        case 11:
            if (PatternNote* note = pattern->FirstNote())
                command = cmd::ResizeNote(ctx, pattern, note->start, note->note, note->start, 1 + pick(6));
            break;
        case 12:
            if (pattern->ControlTrackCount() > 0)
                command = pick(3) ? cmd::SetControlStep(ctx, pattern, pick(pattern->ControlTrackCount()),
                                                        pick(pattern->StepCount()), static_cast<float>(pick(100)) / 99.0f)
                                  : cmd::ClearControlStep(ctx, pattern, pick(pattern->ControlTrackCount()),
                                                          pick(pattern->StepCount()));
            break;
        case 13: command = cmd::AddPattern(ctx, pattern->Port(), 1 + pick(8)); break;
        case 14: command = pick(2) ? cmd::RemovePattern(ctx, pattern) : cmd::DuplicatePattern(ctx, pattern); break;
        case 15:
            command = pick(2) ? cmd::RenamePattern(ctx, pattern, "P" + std::to_string(pick(50)))
                              : cmd::SetPatternLength(ctx, pattern, 1 + pick(12));
            break;
        case 16: command = cmd::PlaceEntry(ctx, pattern, pick(Song().Length())); break;
        case 17: {
            const int32_t row = Song().Song().FindTrack(pattern->Port());
            const int32_t beat = pick(Song().Length());
            command = pick(2) ? cmd::MoveEntry(ctx, row, beat, pick(Song().Length())) : cmd::RemoveEntry(ctx, row, beat);
            break;
        }
        case 18: command = cmd::SetSongLength(ctx, 8 + pick(120)); break;
        case 19:
            if (CMachineContainer* owner = m_studio->FindFrame(pattern->Machine()); owner && pick(2))
                command = cmd::RenameMachine(ctx, owner, "M" + std::to_string(i));
            break;
        }
        if (command && m_stack.Do(std::move(command))) ++kept;
        if (gesture) m_stack.EndGesture();
    }
    EXPECT_GT(kept, 100);
    const std::vector<uint8_t> end = Bytes();
    while (m_stack.CanUndo()) ASSERT_TRUE(m_stack.Undo());
    EXPECT_EQ(Bytes(), start);
    while (m_stack.CanRedo()) ASSERT_TRUE(m_stack.Redo());
    EXPECT_EQ(Bytes(), end);
}

// Undo and redo while the song plays: the driver thread renders buffers all along and only ever
// sees a whole machine, a whole pattern list and a whole song (a half-restored one would crash
// or read freed memory under the sanitizers).
TEST_F(UndoTest, UndoWhileTheSongPlays) {
    BuildSong();
    const auto ctx = Context();
    m_studio->SetLiveDeadline(false); // every buffer waits for the edit instead of going silent
    Song().SetLoop(true);
    Song().PlaySong();
    std::atomic<bool> stop{false};
    std::atomic<int32_t> buffers{0};
    std::atomic<bool> finite{true};
    std::thread driver([&] {
        std::vector<float> left(256), right(256);
        float* channels[2] = {left.data(), right.data()};
        while (!stop.load()) {
            m_studio->Render(2, channels, 256);
            for (float sample : left) finite = finite && std::isfinite(sample);
            ++buffers;
        }
    });
    const std::string bass = m_bass->m_name;
    for (int32_t round = 0; round < 6; ++round) {
        m_stack.Do(cmd::DeleteMachine(ctx, m_studio->FindFrame(bass.c_str())));
        m_stack.Do(cmd::RemovePattern(ctx, Patterns().Patterns()[0]));
        m_stack.Do(cmd::SetSongLength(ctx, 20));
        while (m_stack.Undo()) {
        }
        while (m_stack.Redo()) {
        }
        while (m_stack.Undo()) {
        }
        m_stack.Clear();
    }
    while (buffers.load() < 20) std::this_thread::yield();
    stop = true;
    driver.join();
    EXPECT_TRUE(finite.load());
    EXPECT_TRUE(Song().IsPlaying());
}

// The model operations the history puts things back with.
TEST_F(UndoTest, ModelsPutThingsBackInPlace) {
    BuildSong();
    // Pattern length: refused outside 1..4096; lanes grow with the pattern and are never cut.
    Pattern* bass = PatternOf(m_bass);
    EXPECT_FALSE(bass->SetLength(0));
    EXPECT_FALSE(bass->SetLength(4097));
    ASSERT_TRUE(bass->SetLength(8));
    EXPECT_EQ(bass->GetControlTrack(0)->steps.size(), 32u);
    ASSERT_TRUE(bass->SetLength(2));
    EXPECT_EQ(bass->GetControlTrack(0)->steps.size(), 32u);
    EXPECT_EQ(bass->StepCount(), 8);
    // Frames and cables keep the others' order; out-of-range places are clamped or refused.
    m_studio->SetFrameIndex(m_bass2, -5);
    EXPECT_EQ(m_studio->Frames().front(), m_bass2);
    m_studio->SetFrameIndex(m_bass2, 99);
    EXPECT_EQ(m_studio->Frames().back(), m_bass2);
    EXPECT_EQ(m_studio->Frames()[1], m_bass);
    CConnector* masterIn = Connectors(m_studio->MasterFrame(), true, true).at(0);
    CConnection* first = masterIn->m_connections[0];
    m_studio->MoveCable(masterIn, 0, 3);
    EXPECT_EQ(masterIn->m_connections[3], first);
    EXPECT_THROW(m_studio->MoveCable(masterIn, 0, 4), std::exception);
    EXPECT_THROW(m_studio->MoveCable(masterIn, -1, 0), std::exception);
    // Rows: the selection follows its row.
    Song().SelectRow(0);
    CPort* selected = Song().Song().GetTrack(0)->port;
    Song().MoveRow(0, 2);
    EXPECT_EQ(Song().SelectedRow(), 2);
    EXPECT_EQ(Song().Song().GetTrack(2)->port, selected);
    Song().MoveRow(2, 7); // no such row: nothing moves
    EXPECT_EQ(Song().Song().GetTrack(2)->port, selected);
}

} // namespace
