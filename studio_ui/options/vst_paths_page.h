// CVSTPaths: the "VST Paths" page of the options dialog. A tool bar with "Add Path..." and
// "Remove Selected Path" above the list of the folders searched for VST plug-ins, in their order.
// "Add Path..." opens the folder browser "Select VST PlugIn Folder" and appends the chosen folder
// to the list and to the options' folder list (a folder already listed is selected instead of
// being listed twice); "Remove Selected Path" removes the selected folder from both (it is greyed
// while nothing is selected). The folders are searched only at start-up, which the page says.
//
// Threads: user-interface thread only. The folder browser runs its own event loop: nothing is
// locked while it is open.
#pragma once

#include "gui/frame.h"
#include "gui/label.h"
#include "gui/list_box.h"
#include "gui/tool_bar.h"
#include "studio_ui/options/options_page.h"

struct Options;

namespace options {

class CVSTPaths : public COptionsPage {
public:
    enum Command { kAddPath = 1, kRemovePath = 2 };

    explicit CVSTPaths(Options& options);
    void Build(gui::CControl* parent, int x, int y, int width, int height);
    // Lists the options' folders again.
    void Reload();
    // The record already holds the folders; nothing else uses them before the next start.
    bool Apply() override;

    void AddPath();
    void RemoveSelectedPath();

    gui::CToolBar& ToolBar() { return m_toolBar; }
    gui::CListBox& List() { return m_list; }

    void ToolBarButtonClicked(gui::CToolBarButton* button) override;
    void ChildChanged(gui::CControl* child) override;

private:
    void UpdateButtons();

    Options& m_options;
    gui::CFrame m_frame;
    gui::CToolBar m_toolBar;
    gui::CListBox m_list;
    gui::CLabel m_note, m_note2;
};

} // namespace options
