#include "studio_ui/document/project_document.h"

#include "platform/error.h"
#include "platform/files.h"
#include "studio_ui/undo/undo_stack.h"

#include <chrono>
#include <exception>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Recovery files are best kept, never worth an error box of their own: a file that cannot be
// removed is replaced by the next autosave or offered, and declinable, at the next start.
void RemoveFile(const fs::path& path) {
    std::error_code error;
    fs::remove(path, error);
}

bool IsFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// A recovery file counts when it is newer than the project's file (or the file is gone): one
// that is older lost to a save made after it.
bool IsNewer(const fs::path& recovery, const fs::path& project) {
    if (!IsFile(recovery)) return false;
    std::error_code error;
    const auto recoveryTime = fs::last_write_time(recovery, error);
    if (error) return false;
    const auto projectTime = fs::last_write_time(project, error);
    return error || recoveryTime > projectTime;
}

std::chrono::system_clock::time_point SavedAt(const fs::path& file) {
    std::error_code error;
    const auto time = fs::last_write_time(file, error);
    if (error) return {};
    return std::chrono::time_point_cast<std::chrono::system_clock::duration>(
        std::chrono::file_clock::to_sys(time));
}

std::string ErrorText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown Error";
    }
}

} // namespace

fs::path UntitledRecoveryPath() {
    return platform::StateFolder() / "Tamborel Studio" / "Untitled.tbp.recovery";
}

fs::path RecoveryPathFor(const fs::path& project) {
    if (project.empty()) return UntitledRecoveryPath();
    fs::path recovery = project;
    recovery += ".recovery";
    return recovery;
}

CProjectDocument::CProjectDocument(CProject& project, CDocumentQuestions& questions, CRecentProjects& recent)
    : m_project(project), m_questions(questions), m_recent(recent) {}

void CProjectDocument::ShowError(const std::string& text) {
    m_questions.ShowError(text);
}

void CProjectDocument::SetHistory(CUndoStack* history) {
    if (m_history) m_history->SetRunHooks({}, {});
    m_history = history;
    if (!m_history) return;
    // Raises of the change counter between two runs of the history are edits made around it.
    m_history->SetRunHooks(
        [this] {
            if (m_project.ChangeCount() != m_historyCount) m_untracked = true;
        },
        [this] { m_historyCount = m_project.ChangeCount(); });
    m_historyCount = m_project.ChangeCount();
    m_untracked = m_project.HasChanges();
}

bool CProjectDocument::HasChanges() const {
    if (!m_history) return m_project.HasChanges();
    return m_untracked || m_project.ChangeCount() != m_historyCount || !m_history->IsClean();
}

void CProjectDocument::ForgetHistory() {
    if (!m_history) return;
    m_history->Clear();
    m_historyCount = m_project.ChangeCount();
    m_untracked = m_project.HasChanges();
}

void CProjectDocument::MarkSaved() {
    if (!m_history) return;
    m_history->SetClean();
    m_historyCount = m_project.ChangeCount();
    m_untracked = false;
}

void CProjectDocument::ResetAutosave() {
    m_editSeenMs.reset();
    m_autosavedCount = 0;
    m_autosaveFailing = false;
}

// ---------------------------------------------------------------------------------------------
// Start-up

void CProjectDocument::Start(const std::optional<fs::path>& project) {
    StartProject(project);
    ForgetHistory();
}

void CProjectDocument::StartProject(const std::optional<fs::path>& project) {
    ResetAutosave();
    if (project) {
        try {
            Load(*project, true);
            m_recent.Add(*project);
        } catch (const std::exception& error) {
            ShowError(error.what());
            // A file that is not there built nothing, not even the master: a new project is
            // the usable studio. A damaged file keeps what it built, marked incomplete.
            if (!IsFile(*project)) m_project.New();
        }
        return;
    }
    const fs::path recovery = UntitledRecoveryPath();
    if (IsFile(recovery)) {
        if (m_questions.AskRecover(recovery, SavedAt(recovery))) {
            try {
                m_project.Recover(recovery, {});
                m_autosavedCount = m_project.ChangeCount(); // the file holds what is loaded
                return;
            } catch (const std::exception& error) {
                // The recovery file stays for another try; the user gets a fresh project.
                ShowError(error.what());
            }
        } else {
            RemoveFile(recovery);
        }
    }
    m_project.New();
}

void CProjectDocument::Load(const fs::path& path, bool offerRecovery) {
    const fs::path recovery = RecoveryPathFor(path);
    if (offerRecovery && IsNewer(recovery, path)) {
        if (m_questions.AskRecover(recovery, SavedAt(recovery))) {
            try {
                m_project.Recover(recovery, path);
                m_autosavedCount = m_project.ChangeCount();
                return;
            } catch (const std::exception& error) {
                // A damaged recovery file is told and kept; the project's own file still opens.
                ShowError(error.what());
            }
        } else {
            RemoveFile(recovery);
        }
    }
    m_project.Open(path);
}

// ---------------------------------------------------------------------------------------------
// The commands

CProjectDocument::Outcome CProjectDocument::AskToSaveChanges() {
    if (!HasChanges()) return Outcome::Unchanged;
    switch (m_questions.AskSaveChanges(DisplayName())) {
    case CDocumentQuestions::Answer::Yes:
        return Save() ? Outcome::Saved : Outcome::Cancelled;
    case CDocumentQuestions::Answer::No:
        return Outcome::Discarded;
    case CDocumentQuestions::Answer::Cancel:
        break;
    }
    return Outcome::Cancelled;
}

bool CProjectDocument::New() {
    const Outcome outcome = AskToSaveChanges();
    if (outcome == Outcome::Cancelled) return false;
    if (outcome == Outcome::Discarded) RemoveFile(RecoveryPath());
    m_project.New();
    ResetAutosave();
    ForgetHistory();
    return true;
}

bool CProjectDocument::Open() {
    const std::optional<fs::path> path = m_questions.AskOpenPath();
    if (!path) return false;
    return Open(*path);
}

bool CProjectDocument::Open(const fs::path& path) {
    const Outcome outcome = AskToSaveChanges();
    if (outcome == Outcome::Cancelled) return false;
    const fs::path discarded = outcome == Outcome::Discarded ? RecoveryPath() : fs::path{};

    // The project as it stands, to put back should the file not load. A machine that cannot
    // describe itself leaves no snapshot; the user asked to replace the project, so the Open
    // goes ahead without one.
    std::optional<CProject::Snapshot> previous;
    try {
        previous = m_project.TakeSnapshot();
    } catch (const std::exception&) {
    }

    try {
        // The recovery file of edits the user just discarded is not offered back.
        Load(path, discarded.empty() || discarded != RecoveryPathFor(path));
    } catch (...) {
        std::string text = ErrorText(std::current_exception());
        if (previous) {
            try {
                m_project.Restore(*previous);
            } catch (const std::exception& error) {
                text += "\n";
                text += error.what();
            }
        }
        // The project was built anew from its bytes: the history's steps may no longer find
        // what they name, and its edits now count as made around it.
        ForgetHistory();
        ShowError(text);
        return false;
    }
    if (!discarded.empty()) RemoveFile(discarded);
    const uint64_t recovered = m_autosavedCount;
    ResetAutosave();
    if (m_project.HasChanges()) m_autosavedCount = recovered; // loaded from its recovery file
    ForgetHistory();
    m_recent.Add(path);
    return true;
}

bool CProjectDocument::Save() {
    if (m_project.Path().empty()) return SaveAs();
    try {
        m_project.Save();
    } catch (const std::exception& error) {
        ShowError(error.what());
        return false;
    }
    RemoveFile(RecoveryPath());
    ResetAutosave();
    MarkSaved();
    return true;
}

bool CProjectDocument::SaveAs() {
    const fs::path suggestion = m_project.Path().empty() ? fs::path("Untitled.tbp") : m_project.Path();
    std::optional<fs::path> path = m_questions.AskSavePath(suggestion);
    if (!path || path->empty()) return false;
    if (!path->has_extension()) path->replace_extension(".tbp");
    const fs::path oldRecovery = RecoveryPath();
    try {
        m_project.SaveAs(*path);
    } catch (const std::exception& error) {
        ShowError(error.what());
        return false;
    }
    RemoveFile(oldRecovery);
    // Whatever was recovered for the file just replaced no longer belongs to it.
    RemoveFile(RecoveryPath());
    ResetAutosave();
    MarkSaved();
    m_recent.Add(*path);
    return true;
}

bool CProjectDocument::Quit() {
    const Outcome outcome = AskToSaveChanges();
    if (outcome == Outcome::Cancelled) return false;
    if (outcome == Outcome::Discarded) RemoveFile(RecoveryPath());
    return true;
}

// ---------------------------------------------------------------------------------------------
// Autosave

void CProjectDocument::Tick(int64_t nowMs) {
    const uint64_t count = m_project.ChangeCount();
    if (!HasChanges()) {
        // Undo brought the project back to its file: a recovery file written meanwhile holds
        // edits that are gone and must not be offered at the next start.
        if (m_autosavedCount != 0) RemoveFile(RecoveryPath());
        ResetAutosave();
        return;
    }
    if (count == m_autosavedCount) return; // the recovery file holds every edit
    if (!m_editSeenMs) m_editSeenMs = nowMs;
    if (nowMs - *m_editSeenMs < kAutosavePeriodMs) return;

    const fs::path recovery = RecoveryPath();
    try {
        std::error_code error;
        fs::create_directories(recovery.parent_path(), error);
        m_project.SaveCopy(recovery);
    } catch (const std::exception& error) {
        // Tried again a period later; told once until it works again.
        m_editSeenMs = nowMs;
        if (!m_autosaveFailing) ShowError(std::string("Autosave Failed: ") + error.what());
        m_autosaveFailing = true;
        return;
    }
    // An edit made while the copy was written raises the count past this and is saved next time.
    m_autosavedCount = count;
    m_editSeenMs.reset();
    m_autosaveFailing = false;
}

// ---------------------------------------------------------------------------------------------

std::string CProjectDocument::WindowTitle() const {
    std::string title = m_project.WindowTitle();
    if (HasChanges()) title += "*";
    return title;
}

fs::path CProjectDocument::RecoveryPath() const {
    if (m_project.LoadedIncompletely()) return UntitledRecoveryPath();
    return RecoveryPathFor(m_project.Path());
}

std::string CProjectDocument::DisplayName() const {
    if (m_project.Path().empty()) return "Untitled";
    return m_project.Path().filename().string();
}
