#include "studio_ui/options/vst_paths_page.h"

#include "gui/color_manager.h"
#include "gui/dialog_service.h"
#include "persistence/options_file.h"
#include "studio_ui/options/options_icons.h"

#include <QDir>
#include <QWidget>

#include <algorithm>

namespace options {

CVSTPaths::CVSTPaths(Options& options) : m_options(options) {}

void CVSTPaths::Build(gui::CControl* parent, int x, int y, int width, int height) {
    Create(parent, "VST Paths", x, y, width, height, false);
    // The tool bar, the list and the notes lie on the frame as its siblings, so their clicks and
    // changes come to the page.
    m_frame.CreateFrame(this, "VST PlugIn Folders", 0, 0, width, height);
    m_frame.Show();
    const int inner = 12;
    const int top = m_frame.ContentTop() + 6;
    const int barHeight = gui::CToolBar::kButtonSize + 6;
    m_toolBar.Create(this, inner, top, width - 2 * inner, barHeight);
    m_toolBar.AddButton(kAddPath, AddFolderIcon(), "Add Path...");
    m_toolBar.AddButton(kRemovePath, RemoveFolderIcon(), "Remove Selected Path");
    const int noteHeight = 18;
    const int listTop = top + barHeight + 4;
    const int notesTop = height - inner - 2 * noteHeight;
    m_list.CreateListBox(this, inner, listTop, width - 2 * inner, notesTop - 6 - listTop);
    m_note.CreateLabel(this, "Tamborel searches these folders for plug-ins when it starts,", inner, notesTop,
                       width - 2 * inner, noteHeight);
    m_note2.CreateLabel(this, "so a change takes effect the next time it starts.", inner,
                        notesTop + noteHeight, width - 2 * inner, noteHeight);
    m_note.SetTextSlot(gui::kSlotDisabledText);
    m_note2.SetTextSlot(gui::kSlotDisabledText);
    m_toolBar.Show();
    m_list.Show();
    m_note.Show();
    m_note2.Show();
    Reload();
}

void CVSTPaths::Reload() {
    ClearChanges();
    m_list.Clear();
    for (const std::string& folder : m_options.vstFolders)
        m_list.AddEntry(QString::fromStdString(folder));
    UpdateButtons();
}

bool CVSTPaths::Apply() {
    ClearChanges();
    return true;
}

void CVSTPaths::AddPath() {
    // Start the browser where the user is likely to look: the selected folder, else the home folder.
    const int selected = m_list.Selection();
    const QString start = selected >= 0 ? m_list.EntryText(selected) : QDir::homePath();
    const std::optional<QString> chosen =
        gui::Dialogs().ChooseFolder(Widget(), "Select VST PlugIn Folder", start);
    if (!chosen || chosen->isEmpty()) return;
    const std::string folder = QDir::cleanPath(*chosen).toStdString();
    auto& folders = m_options.vstFolders;
    const auto listed = std::find(folders.begin(), folders.end(), folder);
    if (listed != folders.end()) {
        m_list.SetSelection(static_cast<int>(listed - folders.begin()));
        UpdateButtons();
        return;
    }
    folders.push_back(folder);
    m_list.AddEntry(QString::fromStdString(folder));
    m_list.SetSelection(m_list.Count() - 1);
    UpdateButtons();
    MarkChanged();
}

void CVSTPaths::RemoveSelectedPath() {
    const int selected = m_list.Selection();
    auto& folders = m_options.vstFolders;
    if (selected < 0 || selected >= static_cast<int>(folders.size())) return;
    folders.erase(folders.begin() + selected);
    m_list.Clear();
    for (const std::string& folder : folders)
        m_list.AddEntry(QString::fromStdString(folder));
    // The next folder (or the new last one) is selected, so several can be removed in a row.
    m_list.SetSelection(std::min(selected, m_list.Count() - 1));
    UpdateButtons();
    MarkChanged();
}

void CVSTPaths::ToolBarButtonClicked(gui::CToolBarButton* button) {
    if (button->Command() == kAddPath)
        AddPath();
    else if (button->Command() == kRemovePath)
        RemoveSelectedPath();
}

void CVSTPaths::ChildChanged(gui::CControl* child) {
    if (child == &m_list) UpdateButtons();
}

void CVSTPaths::UpdateButtons() {
    m_toolBar.Button(1)->SetEnabled(m_list.Selection() >= 0);
}

} // namespace options
