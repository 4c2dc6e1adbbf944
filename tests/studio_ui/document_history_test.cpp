// The project document joined with the undo history: the title's mark, "Save changes?" and the
// autosave follow undo and redo; edits made around the history keep the project changed; New,
// Open and a failed Open forget the history; a save marks its step. Also the history's own hooks
// and a gesture that comes back to where it began. Headless.
#include "studio_ui/document/project_document.h"

#include "engine/machine_container.h"
#include "engine/studio.h"
#include "machine_interface/vesk_host.h"
#include "sequencer/sequencer.h"
#include "studio_ui/undo/undo_commands.h"
#include "tests/support/studio_fixture.h"
#include "tests/studio_ui/document_rig.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Answer = CDocumentQuestions::Answer;

using document_test::CScriptedQuestions;

class DocumentHistoryTest : public ::testing::Test, protected document_test::CDocumentRig {
protected:
    DocumentHistoryTest() : CDocumentRig("document-history-"), m_context{Studio(), m_sequencer, m_project} {
        m_document.SetHistory(&m_history);
    }
    ~DocumentHistoryTest() override { m_document.SetHistory(nullptr); }

    float Tempo() { return Studio().Host()->GetBPM(); }
    void SetTempo(float bpm) { ASSERT_TRUE(m_history.Do(UndoCommands::SetTempo(m_context, bpm))); }
    bool Marked() {
        const std::string title = m_document.WindowTitle();
        return !title.empty() && title.back() == '*';
    }
    // A saved project, left without changes and with an empty history.
    fs::path SaveSong() {
        const fs::path song = m_folder / "song.tbp";
        m_questions.savePaths = {song};
        EXPECT_TRUE(m_document.SaveAs());
        return song;
    }

    CUndoStack m_history;
    UndoContext m_context;
};

TEST_F(DocumentHistoryTest, AnEditAndItsUndoLeaveTheProjectUnchangedAndRedoChangesItAgain) {
    const float start = Tempo();
    SetTempo(start + 11);
    EXPECT_TRUE(m_document.HasChanges());
    EXPECT_TRUE(Marked());
    ASSERT_TRUE(m_history.Undo());
    EXPECT_EQ(Tempo(), start);
    EXPECT_FALSE(m_document.HasChanges());
    EXPECT_FALSE(Marked()) << m_document.WindowTitle();
    // The change counter went up twice, yet nothing asks to save.
    EXPECT_GT(m_project.ChangeCount(), 0u);
    EXPECT_TRUE(m_document.New());
    EXPECT_TRUE(m_questions.asked.empty());
    SetTempo(start + 1);
    ASSERT_TRUE(m_history.Undo());
    ASSERT_TRUE(m_history.Redo());
    EXPECT_TRUE(Marked());
    m_questions.saveChanges = {Answer::Cancel};
    EXPECT_FALSE(m_document.Quit());
}

TEST_F(DocumentHistoryTest, EditsAroundTheHistoryKeepTheProjectChangedThroughUndo) {
    // Before a step of the history: the added machine stays when the tempo is taken back.
    CMachineContainer* tone = m_studio.Add(m_studio.m_tone);
    SetTempo(Tempo() + 5);
    ASSERT_TRUE(m_history.Undo());
    EXPECT_TRUE(m_document.HasChanges());
    m_questions.saveChanges = {Answer::No};
    ASSERT_TRUE(m_document.New());

    // After a step, before its undo.
    SetTempo(Tempo() + 5);
    tone = m_studio.Add(m_studio.m_tone);
    ASSERT_NE(tone, nullptr);
    ASSERT_TRUE(m_history.Undo());
    EXPECT_TRUE(m_document.HasChanges());
    EXPECT_TRUE(Marked());
    // A save makes the project its file's, however it came about.
    SaveSong();
    EXPECT_FALSE(m_document.HasChanges());
}

TEST_F(DocumentHistoryTest, TheSavedStepIsTheUnchangedOneUntilANewEditDropsIt) {
    const float start = Tempo();
    SetTempo(start + 1);
    SetTempo(start + 2);
    SaveSong();
    EXPECT_FALSE(Marked());
    ASSERT_TRUE(m_history.Undo());
    EXPECT_TRUE(Marked());
    ASSERT_TRUE(m_history.Redo());
    EXPECT_FALSE(Marked());
    // Back one step and a different edit there: the saved step can no longer be reached.
    ASSERT_TRUE(m_history.Undo());
    SetTempo(start + 7);
    ASSERT_TRUE(m_history.Undo());
    EXPECT_TRUE(Marked());
    ASSERT_TRUE(m_history.Redo());
    EXPECT_TRUE(Marked());
}

TEST_F(DocumentHistoryTest, NewOpenAndAFailedOpenForgetTheHistory) {
    const fs::path song = SaveSong();
    SetTempo(Tempo() + 3);
    m_questions.saveChanges = {Answer::No};
    ASSERT_TRUE(m_document.New());
    EXPECT_EQ(m_history.Count(), 0u);
    EXPECT_FALSE(Marked());

    SetTempo(Tempo() + 3);
    m_questions.saveChanges = {Answer::No};
    ASSERT_TRUE(m_document.Open(song));
    EXPECT_EQ(m_history.Count(), 0u);
    EXPECT_FALSE(Marked());

    // A damaged file: the project is put back as it was, with its unsaved edit, but rebuilt from
    // its bytes, so the steps that named its parts are gone.
    SetTempo(Tempo() + 3);
    const float edited = Tempo();
    const fs::path damaged = m_folder / "damaged.tbp";
    std::ofstream(damaged, std::ios::binary) << "not a project";
    m_questions.saveChanges = {Answer::No};
    EXPECT_FALSE(m_document.Open(damaged));
    ASSERT_EQ(m_questions.errors.size(), 1u);
    EXPECT_EQ(Tempo(), edited);
    EXPECT_EQ(m_history.Count(), 0u);
    EXPECT_TRUE(Marked());
}

TEST_F(DocumentHistoryTest, TheAutosaveSkipsAnUndoneEditAndDropsARecoveryFileUndoMadeStale) {
    const fs::path song = SaveSong();
    const fs::path recovery = m_document.RecoveryPath();
    // An edit and its undo within the period: nothing is written.
    SetTempo(Tempo() + 4);
    m_document.Tick(1000);
    ASSERT_TRUE(m_history.Undo());
    m_document.Tick(1000 + CProjectDocument::kAutosavePeriodMs);
    m_document.Tick(1000 + 2 * CProjectDocument::kAutosavePeriodMs);
    EXPECT_FALSE(fs::exists(recovery));

    // An edit the autosave wrote, then taken back: the recovery file holds what is gone.
    ASSERT_TRUE(m_history.Redo());
    m_document.Tick(300000);
    m_document.Tick(300000 + CProjectDocument::kAutosavePeriodMs);
    ASSERT_TRUE(fs::exists(recovery));
    ASSERT_TRUE(m_history.Undo());
    m_document.Tick(400000);
    EXPECT_FALSE(fs::exists(recovery));
    EXPECT_TRUE(fs::exists(song));
    // Made again: written again after a period.
    ASSERT_TRUE(m_history.Redo());
    m_document.Tick(500000);
    m_document.Tick(500000 + CProjectDocument::kAutosavePeriodMs);
    EXPECT_TRUE(fs::exists(recovery));
}

// A command whose steps raise when the test says so.
class CFlakyCommand : public CUndoCommand {
public:
    explicit CFlakyCommand(bool& fail) : m_fail(fail) {}
    std::string Text() const override { return "Flaky"; }
    void Do() override { Run(); }
    void Undo() override { Run(); }
    void Redo() override { Run(); }

private:
    void Run() {
        if (m_fail) throw std::runtime_error("Refused");
    }
    bool& m_fail;
};

TEST(UndoStackHooks, BeforeRunsForEveryCommandAndAfterOnlyWhenItReturned) {
    CUndoStack history;
    int before = 0, after = 0;
    history.SetRunHooks([&] { ++before; }, [&] { ++after; });
    bool fail = false;
    ASSERT_TRUE(history.Do(std::make_unique<CFlakyCommand>(fail)));
    ASSERT_TRUE(history.Undo());
    ASSERT_TRUE(history.Redo());
    EXPECT_EQ(before, 3);
    EXPECT_EQ(after, 3);
    fail = true;
    EXPECT_THROW(history.Undo(), std::runtime_error);
    EXPECT_THROW(history.Do(std::make_unique<CFlakyCommand>(fail)), std::runtime_error);
    EXPECT_EQ(before, 5);
    EXPECT_EQ(after, 3);
    EXPECT_EQ(history.Index(), 1u); // the failed undo left the position
    // Nothing to undo or redo runs no hook.
    history.Clear();
    EXPECT_FALSE(history.Undo());
    EXPECT_EQ(before, 5);
}

TEST_F(DocumentHistoryTest, AGestureThatComesBackToItsStartLeavesNoStepAndKeepsTheCleanMark) {
    CMachineContainer* tone = Studio().AddMachine(m_studio.m_tone, 40, 40);
    SaveSong();
    m_history.BeginGesture();
    EXPECT_TRUE(m_history.Do(UndoCommands::MoveMachine(m_context, tone, 80, 60)));
    EXPECT_EQ(m_history.Count(), 1u);
    EXPECT_TRUE(Marked());
    EXPECT_TRUE(m_history.Do(UndoCommands::MoveMachine(m_context, tone, 40, 40)));
    EXPECT_EQ(m_history.Count(), 0u);
    EXPECT_FALSE(m_history.CanUndo());
    EXPECT_TRUE(m_history.IsClean());
    EXPECT_FALSE(Marked());
    // The same gesture going on makes a step of its own, which still undoes to the start.
    EXPECT_TRUE(m_history.Do(UndoCommands::MoveMachine(m_context, tone, 50, 45)));
    EXPECT_TRUE(m_history.Do(UndoCommands::MoveMachine(m_context, tone, 60, 50)));
    m_history.EndGesture();
    EXPECT_EQ(m_history.Count(), 1u);
    ASSERT_TRUE(m_history.Undo());
    EXPECT_EQ(tone->m_x, 40);
    EXPECT_EQ(tone->m_y, 40);
    EXPECT_FALSE(Marked());
}

} // namespace
