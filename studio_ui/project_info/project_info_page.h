// CProjectInfoPage: the "Project Info" page of the main window: one multi-line text box filling
// the page with a 4-pixel margin, holding the project's information text (saved with the
// project). Typing edits the project (it counts as an unsaved change); loading shows the loaded
// text without counting as one. With an undo history, typing goes to it as "Edit Project Info"
// and what is typed while the box keeps the focus is one step; Ctrl+Z in the box undoes that
// step (the box keeps no undo of its own).
//
// Threads: user-interface thread only.
#pragma once

#include "engine/studio_observer.h"
#include "gui/control.h"
#include "studio_ui/undo/edit_snapshots.h"

#include <memory>

class CProject;
class CStudio;
class CUndoStack;
class QPlainTextEdit;

namespace undo_view {
class CTypingGesture;
}

namespace project_info {

class CProjectInfoPage : public gui::CControl, public CStudioListener {
public:
    // history and target: the project's undo history and what its commands edit (both or
    // neither; null: typing sets the text directly). Both outlive the page.
    CProjectInfoPage(CProject& project, CStudio& studio, CUndoStack* history = nullptr,
                     const UndoContext* target = nullptr);
    ~CProjectInfoPage() override;

    void Build(gui::CControl* parent, int x, int y, int width, int height);
    // Shows the project's text again (after New, Open, an undo or a redo); not an edit. The
    // cursor goes to the end of the text when it changed.
    void Reload();
    QPlainTextEdit* Editor() const { return m_editor; }

    void SizeChanged(int width, int height) override;
    // CStudioListener
    void StudioCleared() override { Reload(); }
    void ProjectLoaded() override { Reload(); }

private:
    CProject& m_project;
    CStudio& m_studio;
    CUndoStack* m_history;
    const UndoContext* m_target;
    QPlainTextEdit* m_editor = nullptr;
    std::unique_ptr<undo_view::CTypingGesture> m_typing;
    bool m_loading = false;
};

} // namespace project_info
