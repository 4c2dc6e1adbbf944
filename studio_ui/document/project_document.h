// CProjectDocument: the open project as the studio window's commands see it. It carries out New,
// Open, Save, Save As and Quit on the project (persistence/project_file.h), asks the user through
// CDocumentQuestions, keeps the recent-projects list, and autosaves a changed project to a
// recovery file. Everything runs on the user-interface thread; the studio and the sequencer take
// their own locks, so the audio plays on while a command waits for an answer.
//
// "Save changes?" is asked before New, Open and Quit only while the project has edits since it
// was made, opened or saved. Yes saves (through Save As when the project has no file yet; a
// cancelled or failed save cancels the command), No discards the edits and their recovery file,
// Cancel ends the command.
//
// An Open that fails (a missing, damaged or newer file) shows its error once and puts the
// previous project back as it was: machines, cables, patterns, song, text, file and whether it
// had unsaved edits. Only the start-up load keeps what a failed load built, marked incomplete
// so that it can never be saved over its file.
//
// Autosave: Tick(now) from the window's timer. A project with edits is written 60 s after the
// first edit that the last save or autosave does not hold, through the safe save, to its recovery
// file: "<file>.recovery" beside the project, or "Untitled.tbp.recovery" in the state folder
// ($XDG_STATE_HOME or ~/.local/state)/"Tamborel Studio" for a project without a file (or one
// that loaded incompletely). The
// autosave never writes the project's own file and never clears the change count. A good save
// removes the recovery file. Opening a project whose recovery file is newer than the file offers
// it; accepting loads it as the project of that file with unsaved edits, declining removes it.
//
// With an undo history attached, "unsaved edits" means: the history stands away from the step
// the file holds, or an edit was made around the history (a parameter moved, a recovered file).
// An edit and its undo leave the project unchanged: no mark in the title, no question, no
// autosave. New and Open forget the history; a save marks its step as the file's.
#pragma once

#include "persistence/project_file.h"
#include "studio_ui/document/document_questions.h"
#include "studio_ui/document/recent_projects.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

class CUndoStack;

// "Untitled.tbp.recovery" in the state folder's "Tamborel Studio" (nothing is created).
std::filesystem::path UntitledRecoveryPath();
// Where the autosave keeps a project's edits: beside its file, or UntitledRecoveryPath().
std::filesystem::path RecoveryPathFor(const std::filesystem::path& project);

class CProjectDocument {
public:
    // How long a project's first unsaved edit waits for the autosave (milliseconds).
    static constexpr int64_t kAutosavePeriodMs = 60000;

    // The project, the questions and the list outlive the document.
    CProjectDocument(CProject& project, CDocumentQuestions& questions, CRecentProjects& recent);

    // The program's start: loads the project named on the command line (offering its recovery
    // file when newer), or starts a new project, offering the untitled recovery file first.
    // Errors go to ShowError; a failed load keeps what it built, marked incomplete, and a file
    // that is not there gives a new project.
    void Start(const std::optional<std::filesystem::path>& project);

    // The commands. Each returns whether it was carried out (false: cancelled or failed, the
    // project is as it was; an error has been shown).
    bool New();
    bool Open();                                  // asks for the file
    bool Open(const std::filesystem::path& path); // a recent project
    bool Save();
    bool SaveAs();
    // Whether the program may close now (after "Save changes?").
    bool Quit();

    // The window's timer, with a steady clock in milliseconds: autosaves when due.
    void Tick(int64_t nowMs);

    // The project's title ("Tamborel Studio - song.tbp"), with "*" after it while it has
    // unsaved edits.
    std::string WindowTitle() const;
    // The project's file name, or "Untitled".
    std::string DisplayName() const;
    // Where the autosave writes the open project. A project that loaded incompletely can never
    // be saved over its file, so its edits are kept as an untitled project's: recovered, they
    // must not pass for the whole file either.
    std::filesystem::path RecoveryPath() const;

    // Joins the project's undo history (null: none); it outlives the document. From now on the
    // document clears it on New and Open and marks it clean after a save.
    void SetHistory(CUndoStack* history);
    // Whether the project differs from its file (or, untitled, from a new project).
    bool HasChanges() const;

    CProject& Project() { return m_project; }
    CRecentProjects& Recent() { return m_recent; }

private:
    enum class Outcome { Unchanged, Saved, Discarded, Cancelled };
    Outcome AskToSaveChanges();
    void StartProject(const std::optional<std::filesystem::path>& project);
    // Loads the file in place of the project, through its recovery file when it is newer and
    // the user agrees (unless offerRecovery is false). Raises the load's error.
    void Load(const std::filesystem::path& path, bool offerRecovery);
    // The project now matches what is on disk: nothing is due for the autosave.
    void ResetAutosave();
    void ShowError(const std::string& text);
    // A project made, opened or put back: the history starts afresh; a recovered project counts
    // as an edit made around it.
    void ForgetHistory();
    // The project was written to its file: the history's current step is the file's.
    void MarkSaved();

    CProject& m_project;
    CDocumentQuestions& m_questions;
    CRecentProjects& m_recent;
    // When the first edit the last save or autosave does not hold was seen (steady ms).
    std::optional<int64_t> m_editSeenMs;
    // The change count the last autosave wrote (0: none since the last save, open or new).
    uint64_t m_autosavedCount = 0;
    // An autosave failure is shown once, until an autosave succeeds again.
    bool m_autosaveFailing = false;
    CUndoStack* m_history = nullptr;
    // The change count when the history last finished running a command: edits raised since
    // were made around it.
    uint64_t m_historyCount = 0;
    // An edit was made around the history since the last save, open or new.
    bool m_untracked = false;
};
