// The project document: "save changes?" and each answer, autosave and recovery, failed opens that
// keep the previous project, round trips through the commands, and the recent-projects list.
// Time is handed to Tick, so nothing sleeps; file times are set where a test needs them.
#include "studio_ui/document/project_document.h"

#include "engine/studio.h"
#include "sequencer/sequencer.h"
#include "tests/support/studio_fixture.h"
#include "tests/studio_ui/document_rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Answer = CDocumentQuestions::Answer;

using document_test::CScriptedQuestions;

// A machine that cannot describe itself: no save, autosave or snapshot of its project works.
class CSilentMachine : public CTestMachine {
public:
    explicit CSilentMachine(CVeskHost* host) : CTestMachine(host, {{kPortStereoOut, "Out"}}) {}
    void GetState(const void**, int32_t*, bool*) override { throw std::runtime_error("State Unavailable"); }
};

class CSilentMachineInfo : public CMachineInfo {
public:
    explicit CSilentMachineInfo(CVeskHost* host) : CMachineInfo("Silent", "Silent"), m_host(host) {}
    void Delete() override { delete this; }
    CMachine* CreateMachine() override { return new CSilentMachine(m_host); }

private:
    CVeskHost* m_host;
};

std::vector<uint8_t> FileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class DocumentTest : public ::testing::Test, protected document_test::CDocumentRig {
protected:
    DocumentTest() : CDocumentRig("document-") {}

    fs::path Song(const char* name) const { return m_folder / "songs" / name; }
    // An edit, as the studio surface makes one.
    CMachineContainer* AddTone() { return m_studio.Add(m_studio.m_tone); }
    // A saved project with a tone cabled into the master and a text, left without changes.
    void SaveSong(const fs::path& path, const std::string& info = "A song") {
        CMachineContainer* tone = AddTone();
        ASSERT_TRUE(m_studio.Cable(tone, Studio().MasterFrame()));
        m_project.SetInfo(info);
        m_project.SaveAs(path);
    }
    std::vector<std::string> MachineNames() {
        std::vector<std::string> names;
        for (CMachineContainer* frame : Studio().Frames())
            names.emplace_back(frame->Machine()->GetName());
        return names;
    }
    // The recovery file a tick writes once the period has passed since the tick that saw the edit.
    void RunAutosave(int64_t editSeenMs) {
        m_document.Tick(editSeenMs);
        m_document.Tick(editSeenMs + CProjectDocument::kAutosavePeriodMs);
    }
};

// ---------------------------------------------------------------------------------------------
// "Save changes?"

TEST_F(DocumentTest, SaveChangesIsAskedOnlyWhileTheProjectHasEdits) {
    const fs::path song = Song("song.tbp");
    SaveSong(song);
    // Unchanged: New, Open and Quit go ahead without a question.
    EXPECT_TRUE(m_document.New());
    EXPECT_TRUE(m_document.Open(song));
    EXPECT_TRUE(m_document.Quit());
    EXPECT_TRUE(m_questions.asked.empty());

    // One edit: each command asks once, naming the file.
    AddTone();
    m_questions.saveChanges = {Answer::Cancel, Answer::Cancel, Answer::Cancel};
    m_questions.openPaths = {song};
    EXPECT_FALSE(m_document.New());
    EXPECT_FALSE(m_document.Open());
    EXPECT_FALSE(m_document.Quit());
    EXPECT_EQ(m_questions.asked, (std::vector<std::string>{"save changes song.tbp", "open path",
                                                           "save changes song.tbp", "save changes song.tbp"}));
    EXPECT_TRUE(m_questions.Spent());
    // A cancelled Open dialog asks nothing more.
    m_questions.openPaths = {std::nullopt};
    EXPECT_FALSE(m_document.Open());
    EXPECT_TRUE(m_questions.Spent());
}

TEST_F(DocumentTest, EachAnswerToSaveChanges) {
    const fs::path song = Song("song.tbp");
    SaveSong(song);
    const std::vector<uint8_t> saved = FileBytes(song);

    // Cancel: the project, its edits and its file stay as they were.
    AddTone();
    const std::vector<uint8_t> edited = m_project.Bytes();
    m_questions.saveChanges = {Answer::Cancel};
    EXPECT_FALSE(m_document.New());
    EXPECT_EQ(m_project.Bytes(), edited);
    EXPECT_TRUE(m_project.HasChanges());
    EXPECT_EQ(m_project.Path(), song);
    EXPECT_EQ(FileBytes(song), saved);

    // No: the edits are dropped, the file is untouched, the new project begins.
    m_questions.saveChanges = {Answer::No};
    EXPECT_TRUE(m_document.New());
    EXPECT_EQ(FileBytes(song), saved);
    EXPECT_TRUE(m_project.Path().empty());
    EXPECT_EQ(MachineNames(), std::vector<std::string>{"Master"});
    EXPECT_FALSE(m_project.HasChanges());

    // Yes: the edits reach the file before the other project opens.
    ASSERT_TRUE(m_document.Open(song));
    AddTone();
    const std::vector<uint8_t> withEdit = m_project.Bytes();
    m_questions.saveChanges = {Answer::Yes};
    EXPECT_TRUE(m_document.New());
    EXPECT_EQ(FileBytes(song), withEdit);
    EXPECT_NE(FileBytes(song), saved);
    EXPECT_TRUE(m_questions.Spent());
}

TEST_F(DocumentTest, YesOnAnUntitledProjectGoesThroughSaveAsAndItsCancelCancelsTheCommand) {
    AddTone();
    const std::vector<uint8_t> edited = m_project.Bytes();

    // Save As cancelled: New does nothing.
    m_questions.saveChanges = {Answer::Yes};
    m_questions.savePaths = {std::nullopt};
    EXPECT_FALSE(m_document.New());
    EXPECT_EQ(m_questions.asked, (std::vector<std::string>{"save changes Untitled", "save path Untitled.tbp"}));
    EXPECT_EQ(m_project.Bytes(), edited);
    EXPECT_TRUE(m_project.HasChanges());

    // Quit the same way: the program stays.
    m_questions.saveChanges = {Answer::Yes};
    m_questions.savePaths = {std::nullopt};
    EXPECT_FALSE(m_document.Quit());

    // A name without an extension gets ".tbp"; then Quit may go ahead.
    m_questions.saveChanges = {Answer::Yes};
    m_questions.savePaths = {Song("named")};
    EXPECT_TRUE(m_document.Quit());
    EXPECT_EQ(m_project.Path(), Song("named.tbp"));
    EXPECT_EQ(FileBytes(Song("named.tbp")), edited);
    EXPECT_FALSE(m_project.HasChanges());
    EXPECT_TRUE(m_questions.Spent());
}

TEST_F(DocumentTest, AFailedSaveCancelsTheCommandWithOneError) {
    const fs::path song = Song("song.tbp");
    SaveSong(song);
    AddTone();
    // A folder (with something in it) has taken the file's place: nothing can be renamed over it.
    fs::remove(song);
    fs::create_directories(song / "inside");
    m_questions.saveChanges = {Answer::Yes};
    EXPECT_FALSE(m_document.New());
    EXPECT_EQ(m_questions.errors, std::vector<std::string>{"Failed To Write File '" + song.string() + "'"});
    EXPECT_TRUE(m_project.HasChanges());
    EXPECT_EQ(m_project.Path(), song);
}

TEST_F(DocumentTest, TheTitleMarksUnsavedEdits) {
    EXPECT_EQ(m_document.WindowTitle(), "Tamborel Studio");
    AddTone();
    EXPECT_EQ(m_document.WindowTitle(), "Tamborel Studio*");
    m_questions.savePaths = {Song("song.tbp")};
    ASSERT_TRUE(m_document.Save());
    EXPECT_EQ(m_document.WindowTitle(), "Tamborel Studio - song.tbp");
    m_project.SetInfo("changed");
    EXPECT_EQ(m_document.WindowTitle(), "Tamborel Studio - song.tbp*");
    EXPECT_EQ(m_document.DisplayName(), "song.tbp");
}

// ---------------------------------------------------------------------------------------------
// Open, Save, Save As

TEST_F(DocumentTest, ACorruptFileIsOneErrorAndThePreviousProjectStays) {
    const fs::path song = Song("song.tbp");
    SaveSong(song, "The previous song");
    AddTone(); // an unsaved edit that must survive
    const std::vector<uint8_t> before = m_project.Bytes();

    const fs::path corrupt = Song("corrupt.tbp");
    std::vector<uint8_t> cut = FileBytes(song);
    cut.resize(cut.size() / 2);
    WriteBytes(corrupt, cut);
    m_questions.saveChanges = {Answer::No};
    EXPECT_FALSE(m_document.Open(corrupt));
    EXPECT_EQ(m_questions.errors, std::vector<std::string>{"File '" + corrupt.string() + "' Is Corrupt"});
    EXPECT_EQ(m_project.Bytes(), before);
    EXPECT_EQ(m_project.Path(), song);
    EXPECT_EQ(m_project.Info(), "The previous song");
    EXPECT_TRUE(m_project.HasChanges());
    EXPECT_FALSE(m_project.LoadedIncompletely());
    EXPECT_EQ(m_document.WindowTitle(), "Tamborel Studio - song.tbp*");
    EXPECT_NE(Studio().MasterFrame(), nullptr);
    // The studio is whole: its edits save.
    EXPECT_TRUE(m_document.Save());
    EXPECT_EQ(FileBytes(song), before);

    // A missing file and a wrong magic the same way; an unchanged project stays unchanged.
    m_questions.errors.clear();
    EXPECT_FALSE(m_document.Open(Song("missing.tbp")));
    WriteBytes(corrupt, {'n', 'o', 't', ' ', 'a', ' ', 's', 'o', 'n', 'g', 0, 0, 0, 0});
    EXPECT_FALSE(m_document.Open(corrupt));
    EXPECT_EQ(m_questions.errors,
              (std::vector<std::string>{"Failed To Open File '" + Song("missing.tbp").string() + "' For Reading",
                                        "File '" + corrupt.string() + "' Is Corrupt"}));
    EXPECT_EQ(m_project.Bytes(), before);
    EXPECT_FALSE(m_project.HasChanges());
    EXPECT_TRUE(m_recent.Entries().empty()); // a file that did not open is not a recent project
}

TEST_F(DocumentTest, SaveReopenSaveIsByteIdentical) {
    const fs::path song = Song("song.tbp");
    CMachineContainer* tone = AddTone();
    CMachineContainer* effect = m_studio.Add(m_studio.m_effect);
    ASSERT_TRUE(m_studio.Cable(tone, effect, nullptr, 0.5f));
    ASSERT_TRUE(m_studio.Cable(effect, Studio().MasterFrame(), nullptr, 0.25f));
    Studio().SetTempo(133.0f);
    m_project.SetInfo("Round trip\nsecond line");
    m_questions.savePaths = {song};
    ASSERT_TRUE(m_document.Save());
    const std::vector<uint8_t> first = FileBytes(song);

    ASSERT_TRUE(m_document.New());
    ASSERT_TRUE(m_document.Open(song));
    EXPECT_EQ(m_project.Info(), "Round trip\nsecond line");
    m_project.SetInfo("x");
    m_project.SetInfo("Round trip\nsecond line"); // an edit that ends where it began
    ASSERT_TRUE(m_document.Save());
    EXPECT_EQ(FileBytes(song), first);
    EXPECT_TRUE(m_questions.errors.empty());
}

TEST_F(DocumentTest, AnIncompletelyLoadedProjectIsNotSavedOverItsFile) {
    // The start-up load keeps what a damaged file built, and Save refuses to replace the file.
    const fs::path song = Song("song.tbp");
    SaveSong(song);
    std::vector<uint8_t> cut = FileBytes(song);
    cut.resize(cut.size() - 4);
    WriteBytes(song, cut);
    m_project.New();
    m_document.Start(song);
    ASSERT_EQ(m_questions.errors.size(), 1u);
    EXPECT_TRUE(m_project.LoadedIncompletely());
    EXPECT_EQ(m_project.Path(), song);
    EXPECT_FALSE(m_document.Save());
    ASSERT_EQ(m_questions.errors.size(), 2u);
    EXPECT_EQ(m_questions.errors[1],
              "Project '" + song.string() + "' Was Loaded Incompletely; Save It Under Another Name");
    EXPECT_EQ(FileBytes(song), cut);

    // Its edits are autosaved as an untitled project's, never as the whole file's.
    AddTone();
    EXPECT_EQ(m_document.RecoveryPath(), UntitledRecoveryPath());
    RunAutosave(0);
    EXPECT_TRUE(fs::exists(UntitledRecoveryPath()));
    EXPECT_FALSE(fs::exists(Song("song.tbp.recovery")));

    // An Open that fails puts it back still marked.
    const std::vector<uint8_t> partial = m_project.Bytes();
    m_questions.saveChanges = {Answer::No};
    EXPECT_FALSE(m_document.Open(Song("missing.tbp")));
    EXPECT_EQ(m_questions.errors.size(), 3u);
    EXPECT_TRUE(m_project.LoadedIncompletely());
    EXPECT_EQ(m_project.Bytes(), partial);
    EXPECT_FALSE(m_document.Save());
    EXPECT_EQ(FileBytes(song), cut);
}

TEST_F(DocumentTest, AStartWithAMissingFileIsOneErrorAndANewProject) {
    SaveSong(Song("song.tbp"));
    m_document.Start(Song("missing.tbp"));
    EXPECT_EQ(m_questions.errors,
              std::vector<std::string>{"Failed To Open File '" + Song("missing.tbp").string() + "' For Reading"});
    EXPECT_EQ(MachineNames(), std::vector<std::string>{"Master"});
    EXPECT_TRUE(m_project.Path().empty());
    EXPECT_FALSE(m_project.LoadedIncompletely());
    EXPECT_TRUE(m_recent.Entries().empty());
}

TEST_F(DocumentTest, AProjectThatCannotBeWrittenStillGivesWayToAnotherFile) {
    const fs::path song = Song("song.tbp");
    SaveSong(song);
    const std::vector<uint8_t> saved = FileBytes(song);
    m_project.New();
    auto* silent = new CSilentMachineInfo(m_studio.m_host.get());
    m_studio.m_host->RegisterMachine(silent);
    m_studio.Add(silent);

    // Neither the save nor the autosave can write it; each says so once.
    m_questions.saveChanges = {Answer::Yes};
    m_questions.savePaths = {Song("silent.tbp")};
    EXPECT_FALSE(m_document.Open(song));
    RunAutosave(0);
    RunAutosave(2 * CProjectDocument::kAutosavePeriodMs);
    EXPECT_EQ(m_questions.errors, (std::vector<std::string>{"State Unavailable", "Autosave Failed: State Unavailable"}));
    EXPECT_FALSE(fs::exists(Song("silent.tbp")));

    // Discarded, it cannot be kept for a failed Open, yet the Open goes ahead.
    m_questions.saveChanges = {Answer::No};
    EXPECT_TRUE(m_document.Open(song));
    EXPECT_EQ(m_project.Bytes(), saved);
    EXPECT_TRUE(m_questions.Spent());
}

// ---------------------------------------------------------------------------------------------
// Autosave and recovery

TEST_F(DocumentTest, AutosaveWritesTheRecoveryFileOnePeriodAfterTheEditAndNeverTheProject) {
    const fs::path song = Song("song.tbp");
    SaveSong(song);
    const std::vector<uint8_t> saved = FileBytes(song);
    const fs::path recovery = Song("song.tbp.recovery");
    EXPECT_EQ(m_document.RecoveryPath(), recovery);

    // Nothing is due without edits, however long it runs.
    m_document.Tick(0);
    m_document.Tick(10 * CProjectDocument::kAutosavePeriodMs);
    EXPECT_FALSE(fs::exists(recovery));

    AddTone();
    const int64_t seen = 700000;
    m_document.Tick(seen);
    m_document.Tick(seen + CProjectDocument::kAutosavePeriodMs - 1);
    EXPECT_FALSE(fs::exists(recovery));
    m_document.Tick(seen + CProjectDocument::kAutosavePeriodMs);
    ASSERT_TRUE(fs::exists(recovery));
    EXPECT_EQ(FileBytes(recovery), m_project.Bytes());
    EXPECT_EQ(FileBytes(song), saved);
    EXPECT_FALSE(fs::exists(Song("song.tbp.recovery.bak")));
    EXPECT_TRUE(m_project.HasChanges()); // still unsaved
    EXPECT_EQ(m_document.WindowTitle(), "Tamborel Studio - song.tbp*");

    // The recovery file holds every edit: no more writes until the next edit, which waits its
    // own period.
    fs::remove(recovery);
    m_document.Tick(seen + 3 * CProjectDocument::kAutosavePeriodMs);
    EXPECT_FALSE(fs::exists(recovery));
    m_project.SetInfo("another edit");
    const int64_t next = seen + 4 * CProjectDocument::kAutosavePeriodMs;
    m_document.Tick(next);
    m_document.Tick(next + CProjectDocument::kAutosavePeriodMs / 2);
    EXPECT_FALSE(fs::exists(recovery));
    m_document.Tick(next + CProjectDocument::kAutosavePeriodMs);
    ASSERT_TRUE(fs::exists(recovery));
    EXPECT_EQ(FileBytes(recovery), m_project.Bytes());

    // A good save removes it and leaves nothing due.
    ASSERT_TRUE(m_document.Save());
    EXPECT_FALSE(fs::exists(recovery));
    m_document.Tick(next + 5 * CProjectDocument::kAutosavePeriodMs);
    EXPECT_FALSE(fs::exists(recovery));
    EXPECT_TRUE(m_questions.errors.empty());
}

TEST_F(DocumentTest, AnUntitledProjectAutosavesInTheStateFolderAndSaveAsRemovesIt) {
    const fs::path recovery = m_folder / "state" / "Tamborel Studio" / "Untitled.tbp.recovery";
    EXPECT_EQ(UntitledRecoveryPath(), recovery);
    AddTone();
    RunAutosave(0);
    ASSERT_TRUE(fs::exists(recovery));
    EXPECT_EQ(FileBytes(recovery), m_project.Bytes());

    m_questions.savePaths = {Song("song.tbp")};
    ASSERT_TRUE(m_document.Save());
    EXPECT_FALSE(fs::exists(recovery));
    EXPECT_FALSE(fs::exists(Song("song.tbp.recovery")));
}

TEST_F(DocumentTest, AFailingAutosaveIsToldOnceAndTriedAgain) {
    // The state folder's place is taken by a file: the untitled recovery file cannot be written.
    WriteBytes(m_folder / "state", {'x'});
    AddTone();
    RunAutosave(0);
    RunAutosave(2 * CProjectDocument::kAutosavePeriodMs);
    ASSERT_EQ(m_questions.errors.size(), 1u);
    EXPECT_EQ(m_questions.errors[0].rfind("Autosave Failed: ", 0), 0u) << m_questions.errors[0];
    EXPECT_TRUE(m_project.HasChanges());

    // Once it can write again, the next period writes it.
    fs::remove(m_folder / "state");
    m_document.Tick(4 * CProjectDocument::kAutosavePeriodMs);
    EXPECT_TRUE(fs::exists(UntitledRecoveryPath()));
    EXPECT_EQ(m_questions.errors.size(), 1u);
}

TEST_F(DocumentTest, ANewerRecoveryFileIsOfferedAtStartAndLoadsAsTheChangedProject) {
    const fs::path song = Song("song.tbp");
    SaveSong(song, "as saved");
    m_project.SetInfo("as autosaved");
    AddTone();
    RunAutosave(0);
    const fs::path recovery = Song("song.tbp.recovery");
    const std::vector<uint8_t> autosaved = m_project.Bytes();
    ASSERT_EQ(FileBytes(recovery), autosaved);
    fs::last_write_time(recovery, fs::last_write_time(song) + std::chrono::seconds(30));

    // The program ends without saving, and starts again with the project.
    m_project.New();
    m_questions.recover = {true};
    m_document.Start(song);
    EXPECT_EQ(m_questions.asked, std::vector<std::string>{"recover " + recovery.string()});
    EXPECT_EQ(m_questions.recoverySavedAt, std::chrono::time_point_cast<std::chrono::system_clock::duration>(
                                               std::chrono::file_clock::to_sys(fs::last_write_time(recovery))));
    EXPECT_TRUE(m_questions.errors.empty());
    EXPECT_EQ(m_project.Bytes(), autosaved);
    EXPECT_EQ(m_project.Info(), "as autosaved");
    EXPECT_EQ(m_project.Path(), song);
    EXPECT_TRUE(m_project.HasChanges());
    EXPECT_EQ(m_document.WindowTitle(), "Tamborel Studio - song.tbp*");
    // The recovery file stays until the project is saved, and is not rewritten without edits.
    m_document.Tick(0);
    m_document.Tick(5 * CProjectDocument::kAutosavePeriodMs);
    EXPECT_EQ(fs::last_write_time(recovery), fs::last_write_time(song) + std::chrono::seconds(30));
    ASSERT_TRUE(m_document.Save());
    EXPECT_EQ(FileBytes(song), autosaved);
    EXPECT_FALSE(fs::exists(recovery));
}

TEST_F(DocumentTest, ADeclinedRecoveryIsRemovedAndAnOlderOneIsNotOffered) {
    const fs::path song = Song("song.tbp");
    SaveSong(song, "as saved");
    const std::vector<uint8_t> saved = FileBytes(song);
    const fs::path recovery = Song("song.tbp.recovery");
    AddTone();
    m_project.SaveCopy(recovery);

    // Older than the project: a save came after it; not offered, left alone.
    fs::last_write_time(recovery, fs::last_write_time(song) - std::chrono::seconds(30));
    m_project.New();
    m_document.Start(song);
    EXPECT_TRUE(m_questions.asked.empty());
    EXPECT_TRUE(fs::exists(recovery));
    EXPECT_EQ(m_project.Bytes(), saved);

    // Newer and declined: removed, the project's own file opens.
    fs::last_write_time(recovery, fs::last_write_time(song) + std::chrono::seconds(30));
    m_questions.recover = {false};
    m_project.New();
    m_document.Start(song);
    EXPECT_TRUE(m_questions.Spent());
    EXPECT_FALSE(fs::exists(recovery));
    EXPECT_EQ(m_project.Bytes(), saved);
    EXPECT_FALSE(m_project.HasChanges());
}

TEST_F(DocumentTest, TheUntitledRecoveryIsOfferedAtAnUntitledStart) {
    AddTone();
    m_project.SetInfo("never saved");
    RunAutosave(0);
    const std::vector<uint8_t> autosaved = m_project.Bytes();

    // Accepted: loaded as an untitled project with edits.
    m_project.New();
    m_questions.recover = {true};
    m_document.Start(std::nullopt);
    EXPECT_EQ(m_project.Bytes(), autosaved);
    EXPECT_TRUE(m_project.Path().empty());
    EXPECT_TRUE(m_project.HasChanges());
    EXPECT_EQ(m_document.WindowTitle(), "Tamborel Studio*");

    // Declined: removed, a new project.
    m_questions.recover = {false};
    m_document.Start(std::nullopt);
    EXPECT_FALSE(fs::exists(UntitledRecoveryPath()));
    EXPECT_EQ(MachineNames(), std::vector<std::string>{"Master"});
    EXPECT_FALSE(m_project.HasChanges());
    // No recovery file: nothing is asked.
    m_document.Start(std::nullopt);
    EXPECT_TRUE(m_questions.Spent());
    EXPECT_EQ(m_questions.asked.size(), 2u);
}

TEST_F(DocumentTest, ADamagedRecoveryFileIsToldKeptAndTheProjectOpens) {
    const fs::path song = Song("song.tbp");
    SaveSong(song);
    const std::vector<uint8_t> saved = FileBytes(song);
    const fs::path recovery = Song("song.tbp.recovery");
    WriteBytes(recovery, {1, 2, 3});
    fs::last_write_time(recovery, fs::last_write_time(song) + std::chrono::seconds(30));
    m_questions.recover = {true};
    m_project.New();
    m_document.Start(song);
    EXPECT_EQ(m_questions.errors, std::vector<std::string>{"File '" + recovery.string() + "' Is Corrupt"});
    EXPECT_TRUE(fs::exists(recovery));
    EXPECT_EQ(m_project.Bytes(), saved);
    EXPECT_EQ(m_project.Path(), song);
    EXPECT_FALSE(m_project.LoadedIncompletely());
}

TEST_F(DocumentTest, DiscardingRemovesOnlyTheDiscardedProjectsRecoveryFile) {
    const fs::path song = Song("song.tbp");
    const fs::path other = Song("other.tbp");
    SaveSong(other, "other");
    m_project.New();
    SaveSong(song, "song");
    // A recovery file of another project, older than it (so not offered when it opens).
    const fs::path otherRecovery = Song("other.tbp.recovery");
    WriteBytes(otherRecovery, FileBytes(other));
    fs::last_write_time(otherRecovery, fs::last_write_time(other) - std::chrono::seconds(30));

    AddTone();
    RunAutosave(0);
    ASSERT_TRUE(fs::exists(Song("song.tbp.recovery")));
    m_questions.saveChanges = {Answer::No};
    ASSERT_TRUE(m_document.Open(other));
    EXPECT_FALSE(fs::exists(Song("song.tbp.recovery")));
    EXPECT_TRUE(fs::exists(otherRecovery));
    // New without edits leaves it too.
    ASSERT_TRUE(m_document.New());
    EXPECT_TRUE(fs::exists(otherRecovery));

    // Reopening the same file after discarding its edits does not offer them back.
    ASSERT_TRUE(m_document.Open(song));
    AddTone();
    RunAutosave(0);
    fs::last_write_time(Song("song.tbp.recovery"), fs::last_write_time(song) + std::chrono::seconds(30));
    m_questions.saveChanges = {Answer::No};
    ASSERT_TRUE(m_document.Open(song));
    EXPECT_FALSE(fs::exists(Song("song.tbp.recovery")));
    EXPECT_FALSE(m_project.HasChanges());
    EXPECT_TRUE(m_questions.Spent());
    EXPECT_TRUE(m_questions.errors.empty());
}

// ---------------------------------------------------------------------------------------------
// Recent projects

TEST_F(DocumentTest, RecentProjectsMostRecentFirstOnceAndAtMostEight) {
    EXPECT_EQ(RecentProjectsFilePath(), m_folder / "config" / "Tamborel Studio" / "RecentProjects.txt");
    std::vector<fs::path> songs;
    for (int i = 0; i < 10; ++i) {
        songs.push_back(Song(("song" + std::to_string(i) + ".tbp").c_str()));
        WriteBytes(songs.back(), {});
        EXPECT_TRUE(m_recent.Add(songs.back()));
    }
    ASSERT_EQ(m_recent.Entries().size(), CRecentProjects::kMaxEntries);
    EXPECT_EQ(m_recent.Entries().front(), songs[9]);
    EXPECT_EQ(m_recent.Entries().back(), songs[2]);

    // The same file under another spelling moves to the front, once.
    EXPECT_TRUE(m_recent.Add(m_folder / "songs" / "." / "song5.tbp"));
    EXPECT_EQ(m_recent.Entries().front(), songs[5]);
    EXPECT_EQ(std::count(m_recent.Entries().begin(), m_recent.Entries().end(), songs[5]), 1);
    EXPECT_EQ(m_recent.Entries().size(), CRecentProjects::kMaxEntries);

    // Read back from the file; a file that is gone drops out.
    fs::remove(songs[9]);
    CRecentProjects reread;
    EXPECT_EQ(reread.Entries(), (std::vector<fs::path>{songs[5], songs[8], songs[7], songs[6], songs[4], songs[3],
                                                      songs[2]}));
}

TEST_F(DocumentTest, RecentProjectsFileToleratesRepeatsAndExtraLines) {
    fs::create_directories(RecentProjectsFilePath().parent_path());
    std::vector<fs::path> songs;
    std::string text;
    for (int i = 0; i < 10; ++i) {
        songs.push_back(Song(("song" + std::to_string(i) + ".tbp").c_str()));
        WriteBytes(songs.back(), {});
        text += songs.back().string() + (i % 2 ? "\r\n" : "\n");
        if (i == 1) text += songs[0].string() + "\n\n";
    }
    WriteBytes(RecentProjectsFilePath(), std::vector<uint8_t>(text.begin(), text.end()));
    m_recent.Read();
    EXPECT_EQ(m_recent.Entries(), std::vector<fs::path>(songs.begin(), songs.begin() + 8));

    // A path with a line break cannot be kept in the list.
    EXPECT_FALSE(m_recent.Add(Song("two\nlines.tbp")));
    EXPECT_EQ(m_recent.Entries().front(), songs[0]);
}

TEST_F(DocumentTest, OpenAndSaveAsPutTheProjectFirstInTheRecentList) {
    const fs::path first = Song("first.tbp");
    const fs::path second = Song("second.tbp");
    m_questions.savePaths = {first, second};
    ASSERT_TRUE(m_document.SaveAs());
    ASSERT_TRUE(m_document.SaveAs());
    EXPECT_EQ(m_recent.Entries(), (std::vector<fs::path>{second, first}));
    ASSERT_TRUE(m_document.Open(first));
    EXPECT_EQ(m_recent.Entries(), (std::vector<fs::path>{first, second}));
    EXPECT_EQ(CRecentProjects().Entries(), (std::vector<fs::path>{first, second}));
    // The save dialog starts at the project's own file.
    EXPECT_EQ(m_questions.asked[1], "save path " + first.string());
}

} // namespace
