// CMainWindow: the studio's main window. A menu bar (File), the main tool bar (New, Open, Save,
// the tempo field, the master volume, the master meter with its clip light, the CPU load and the
// xrun counter) and five pages under a row of tabs: "Studio" (the surface), "Pattern Editor",
// "Sequence Editor", "HD Recorder" and "Project Info". The menu "Tools" opens the bank explorer in
// a window of its own.
//
// The window neither owns the studio nor the project: the program hands it the models and the
// services it needs in CMainWindow::Models. It carries out File's commands through a
// CProjectDocument and answers the document's questions with the dialog service, so every error
// of a command ends in the error box captioned "Tamborel".
//
// One UI timer (gui::UiClock, kTickMs) drives the window: it delivers the studio's queued
// parameter news, reads the meters' neighbours (CPU load, xruns, clip light), brings the tempo
// field and the title up to date, and gives the document its autosave tick.
//
// Keys: Space plays or stops the song, Delete deletes the machine frame last clicked (never
// "Master"); the menu's commands carry Ctrl+N, Ctrl+O, Ctrl+S, Ctrl+Shift+S and Ctrl+Q, and the
// Edit menu's Ctrl+Z (undo) and Ctrl+Shift+Z or Ctrl+Y (redo), also from inside a text field.
//
// Undo: the window owns the project's history. The pages hand it every edit they make; the
// document clears it on New and Open and marks its step clean on a save, so the title's "*"
// and "Save changes?" follow undo and redo. The Edit menu names the step each entry takes back
// or makes again and is greyed when there is none.
//
// Threads: user-interface thread only. The studio mutex is taken only for the short edits
// (deleting a frame) and never while a menu or dialog is open.
#pragma once

#include "engine/studio_observer.h"
#include "gui/label.h"
#include "gui/tool_bar.h"
#include "gui/window.h"
#include "studio_ui/document/project_document.h"
#include "studio_ui/options/options_dialog.h"
#include "studio_ui/undo/edit_snapshots.h"
#include "studio_ui/undo/undo_stack.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CAudioOutputDriver;
class CHDTrackList;
class COutputDriverManager;
class CProject;
class CSequencer;
class CStudio;
class MachineRegistry;
class QAction;
class QMenu;
class QMenuBar;
class QObject;
struct Options;

namespace gui {
class CPeakMeter;
class CTabControl;
class CUiTimer;
class CUpDown;
class CVolumeSlider;
} // namespace gui

namespace bank_explorer {
class CBankExplorerWindow;
}
namespace hd_recorder {
class CHDRecorder;
}
namespace pattern_editor {
class CPatternEditorPage;
}
namespace project_info {
class CProjectInfoPage;
}
namespace sequence_editor {
class CSequenceEditorPage;
}
namespace studio_view {
class CMachineFrame;
class CStudioView;
} // namespace studio_view
namespace undo_view {
class CTypingGesture;
}

namespace main_window {

// The tool bar's clip light: red while the master output went beyond full scale since the last
// click, which clears it.
class CClipLamp : public gui::CControl {
public:
    void CreateLamp(gui::CControl* parent, int x, int y, int size, std::function<void()> clicked);
    void SetLit(bool lit);
    bool IsLit() const { return m_lit; }
    void LeftButtonUp(int x, int y) override;
    void Render(QPainter& painter) override;

private:
    bool m_lit = false;
    std::function<void()> m_clicked;
};

// A label that calls back when clicked (the xrun counter resets on a click).
class CClickableLabel : public gui::CLabel {
public:
    void SetClicked(std::function<void()> clicked) { m_clicked = std::move(clicked); }
    void LeftButtonUp(int x, int y) override;

private:
    std::function<void()> m_clicked;
};

// The main tool bar: its buttons' clicks and its fields' changes go on to the window.
class CMainToolBar : public gui::CToolBar {
public:
    void ChildChanged(gui::CControl* child) override;
};

class CMainWindow : public gui::CWindow, public CStudioListener {
public:
    // The pages, in tab order.
    enum Page { kStudio = 0, kPatternEditor, kSequenceEditor, kHDRecorder, kProjectInfo, kPageCount };
    // The tool bar's buttons.
    enum Command { kNew = 1, kOpen, kSave };
    // How often the window's timer runs, in milliseconds.
    static constexpr int kTickMs = 20;
    static constexpr int kToolBarHeight = 30;
    static constexpr int kTabHeight = 26;

    // What the window works on; everything outlives the window.
    struct Models {
        CStudio* studio = nullptr;
        MachineRegistry* registry = nullptr;
        CProject* project = nullptr;
        CSequencer* sequencer = nullptr;       // null: Space does nothing
        CHDTrackList* recorderRows = nullptr;  // the HD recorder page's rows
        Options* options = nullptr;            // the Options window edits them
        COutputDriverManager* drivers = nullptr; // null without live output
        options::COptionsDialog::Hooks optionHooks;
        // The driver playing now (null: none); the xrun counter reads and resets it.
        std::function<CAudioOutputDriver*()> currentDriver;
        // Why the live output is silent ("" when it plays).
        std::function<std::string()> driverProblem;
        // Looks after the output driver a few times a second (may be empty).
        std::function<void()> watchDriver;
        CRecentProjects* recent = nullptr;
    };

    explicit CMainWindow(Models models);
    ~CMainWindow() override;

    // Makes the window (hidden) with its menu, tool bar and pages; width and height are the
    // client area's before it is shown maximised.
    void Build(int width, int height);
    // Shows the window (maximised in the program) and starts its timer.
    void Open(bool maximised);
    // The program's start: the project named on the command line or a new one (offering a
    // recovery file), then the audio output's problem, once, if it has one.
    void Start(const std::optional<std::filesystem::path>& project);

    // ---- commands (the menu, the tool bar and the keys) ----
    void NewProject();
    void OpenProject();
    void OpenRecent(const std::filesystem::path& path);
    void SaveProject();
    void SaveProjectAs();
    void OpenOptions();
    // Tools > "Bank Explorer...": the explorer's window over the host's bank server (made on the
    // first opening, kept while the main window lives).
    void OpenBankExplorer();
    // Closes the window through "Save changes?".
    void QuitProgram();
    // Space: plays the song from its start, or stops it.
    void PlayOrStop();
    // Delete: the machine frame last clicked, unless it is "Master" or gone.
    void DeleteSelectedMachine();
    // Edit's Undo and Redo: take back the history's current step / make the next one again.
    void UndoStep();
    void RedoStep();

    // The timer's work, also run by tests that step the clock.
    void Tick();

    int CurrentPage() const { return m_page; }
    void ShowPage(int page);
    CProjectDocument& Document() { return *m_document; }
    // The project's undo history and what its commands edit (the views hand their edits to it).
    CUndoStack& UndoHistory() { return m_undo; }
    const UndoContext& UndoTarget() const { return *m_undoContext; }
    gui::CTabControl& Tabs() { return *m_tabs; }
    gui::CControl* PageControl(int page) const;
    studio_view::CStudioView& StudioView() { return *m_studioView; }
    hd_recorder::CHDRecorder& HDRecorder() { return *m_hdRecorder; }
    // Null without a sequencer.
    pattern_editor::CPatternEditorPage* PatternEditor() { return m_patternEditor.get(); }
    // The song's page (null without a sequencer).
    sequence_editor::CSequenceEditorPage* SequenceEditor() const { return m_sequenceEditor.get(); }
    // The bank explorer's window (null until first opened).
    bank_explorer::CBankExplorerWindow* BankExplorerWindow() const { return m_bankExplorer.get(); }
    project_info::CProjectInfoPage& ProjectInfo() { return *m_projectInfo; }
    CMainToolBar& ToolBar() { return *m_toolBar; }
    gui::CUpDown& TempoField() { return *m_tempo; }
    gui::CVolumeSlider& VolumeSlider() { return *m_volume; }
    gui::CPeakMeter& Meter() { return *m_meter; }
    CClipLamp& ClipLamp() { return *m_clip; }
    gui::CLabel& CpuReadOut() { return *m_cpu; }
    CClickableLabel& XrunReadOut() { return *m_xruns; }
    QMenuBar* MenuBar() const { return m_menuBar; }
    // The menus' entry with this text (without the shortcut), or null.
    QAction* MenuAction(const QString& text) const;
    // The Edit menu's two entries.
    QAction* UndoAction() const { return m_undoAction; }
    QAction* RedoAction() const { return m_redoAction; }
    // The frame Delete would delete (null: none).
    studio_view::CMachineFrame* SelectedFrame() const;
    options::COptionsDialog* OptionsDialog() const { return m_optionsDialog.get(); }

    void SizeChanged(int width, int height) override;
    void ToolBarButtonClicked(gui::CToolBarButton* button) override;
    void ChildChanged(gui::CControl* child) override;
    bool KeyPressed(QKeyEvent* event) override;
    bool CloseRequested() override;

    // CStudioListener: a new or loaded project shows its tempo.
    void StudioCleared() override { ShowTempo(); }
    void ProjectLoaded() override { ShowTempo(); }

private:
    class CQuestions;
    class CClickWatcher;

    void BuildMenu();
    void BuildToolBar();
    void BuildPages();
    void LayOut();
    // Runs a command; an error it raises goes to the error box. Then the window catches up.
    void RunCommand(const std::function<void()>& command);
    void ShowTempo();
    void RefreshReadOuts();
    void UpdateTitle();
    // The Edit menu's texts and greyed states from the history.
    void UpdateEditMenu();
    // The history changed: the menu, the title and the pages that show what it edits.
    void HistoryChanged();
    void FillRecentMenu();
    // A press anywhere in the window: remembers the machine frame it landed on.
    void NoticePress(QWidget* target);
    void TellDriverProblem();

    Models m_models;
    std::unique_ptr<CQuestions> m_questions;
    std::unique_ptr<CProjectDocument> m_document;
    CUndoStack m_undo;
    std::optional<UndoContext> m_undoContext; // set when the window has a sequencer
    QMenuBar* m_menuBar = nullptr; // owned by the window's widget
    QMenu* m_recentMenu = nullptr;
    QAction* m_undoAction = nullptr; // owned by the Edit menu
    QAction* m_redoAction = nullptr;
    // Typing and arrow steps in the tempo field merge into one step while it has the focus.
    std::unique_ptr<undo_view::CTypingGesture> m_tempoTyping;
    std::unique_ptr<CClickWatcher> m_clickWatcher;

    std::unique_ptr<CMainToolBar> m_toolBar;
    std::unique_ptr<gui::CLabel> m_bpmLabel;
    std::unique_ptr<gui::CUpDown> m_tempo;
    std::unique_ptr<gui::CVolumeSlider> m_volume;
    std::unique_ptr<gui::CPeakMeter> m_meter;
    std::unique_ptr<CClipLamp> m_clip;
    std::unique_ptr<gui::CLabel> m_cpu;
    std::unique_ptr<CClickableLabel> m_xruns;

    std::unique_ptr<gui::CTabControl> m_tabs;
    std::unique_ptr<studio_view::CStudioView> m_studioView;
    std::unique_ptr<gui::CLabel> m_patternPage; // without a sequencer: says there is no editor
    std::unique_ptr<pattern_editor::CPatternEditorPage> m_patternEditor;
    std::unique_ptr<gui::CLabel> m_sequencePage; // without a sequencer
    std::unique_ptr<sequence_editor::CSequenceEditorPage> m_sequenceEditor;
    std::unique_ptr<bank_explorer::CBankExplorerWindow> m_bankExplorer;
    std::unique_ptr<hd_recorder::CHDRecorder> m_hdRecorder;
    std::unique_ptr<project_info::CProjectInfoPage> m_projectInfo;
    std::unique_ptr<options::COptionsDialog> m_optionsDialog;
    int m_page = kStudio;

    std::unique_ptr<gui::CUiTimer> m_timer;
    // A steady millisecond count for the autosave, built from the UI clock's 32-bit ticks.
    int64_t m_steadyMs = 0;
    uint32_t m_lastClock = 0;
    // The serial of the frame last clicked (0: none).
    uint64_t m_selectedSerial = 0;
    uint64_t m_shownXruns = UINT64_MAX;
    int m_shownCpu = -1;
    int m_ticksSinceWatch = 0;
    bool m_inAutosave = false; // the autosave's error box runs the timer in its own event loop
    bool m_driverProblemTold = false;
    bool m_closing = false;
};

} // namespace main_window
