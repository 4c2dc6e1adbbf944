// CProjectInfoPage: the "Project Info" page of the main window: one multi-line text box filling
// the page with a 4-pixel margin, holding the project's information text (saved with the
// project). Typing edits the project (it counts as an unsaved change); loading shows the loaded
// text without counting as one.
//
// Threads: user-interface thread only.
#pragma once

#include "engine/studio_observer.h"
#include "gui/control.h"

class CProject;
class CStudio;
class QPlainTextEdit;

namespace project_info {

class CProjectInfoPage : public gui::CControl, public CStudioListener {
public:
    CProjectInfoPage(CProject& project, CStudio& studio);
    ~CProjectInfoPage() override;

    void Build(gui::CControl* parent, int x, int y, int width, int height);
    // Shows the project's text again (after New or Open); not an edit.
    void Reload();
    QPlainTextEdit* Editor() const { return m_editor; }

    void SizeChanged(int width, int height) override;
    // CStudioListener
    void StudioCleared() override { Reload(); }
    void ProjectLoaded() override { Reload(); }

private:
    CProject& m_project;
    CStudio& m_studio;
    QPlainTextEdit* m_editor = nullptr;
    bool m_loading = false;
};

} // namespace project_info
