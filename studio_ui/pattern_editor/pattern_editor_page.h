// CPatternEditorPage: page "Pattern Editor" of the main window, the view over the pattern editor
// model (CPatternEditor). Top to bottom: tool bar 1 (machine, pattern and port boxes, Add and
// Remove Pattern, the length for new patterns, Play, Stop and Loop Pattern, Duplicate and Rename
// Pattern), tool bar 2 (the note length and the step-entry read-out), the note grid, the size bar
// that shares the room between grid and lanes, tool bar 3 (the property box, Add and Remove
// Control Track), the control lanes and the horizontal scroll bar both panes share.
//
// The page observes the model and never owns it. Edits of the project go through the undo
// history handed in (the main window's), so Ctrl+Z takes them back; choosing in the boxes and the
// transport buttons are not edits and go to the model directly.
//
// Threads: user-interface thread. The model's news may come with the studio mutex held (a
// machine added or removed), so the listener only notes what changed and marks the page dirty;
// the page catches up on its next refresh. The page's timer asks the model for the play position
// (the model's display refresh) and the grid redraws only when the marker's column changes.
#pragma once

#include "gui/control.h"
#include "gui/tool_bar.h"
#include "sequencer/pattern_editor.h"
#include "studio_ui/pattern_editor/page_layout.h"
#include "studio_ui/pattern_editor/pattern_edits.h"

#include <atomic>
#include <memory>

class Pattern;

namespace gui {
class CComboBox;
class CLabel;
class CScrollBar;
class CSizeBar;
class CUiTimer;
} // namespace gui

namespace pattern_editor {

class CControlLanes;
class CNoteGrid;

// A tool bar button that stays down while its state is on ("Play Pattern", "Loop Pattern").
class CToggleToolButton : public gui::CToolBarButton {
public:
    void SetDown(bool down);
    bool IsDown() const { return m_down; }
    void Render(QPainter& painter) override;

private:
    bool m_down = false;
};

// A tool bar whose boxes report their choices to the page.
class CPageToolBar : public gui::CToolBar {
public:
    void ComboChanged(gui::CComboBox* combo) override;
    void ChildChanged(gui::CControl* child) override;
};

class CPatternEditorPage : public gui::CControl, public CPatternEditorListener {
public:
    enum Command {
        kAddPattern = 1,
        kRemovePattern,
        kPlayPattern,
        kStopPattern,
        kLoopPattern,
        kDuplicatePattern,
        kRenamePattern,
        kAddControlTrack,
        kRemoveControlTrack,
    };
    // How often the play marker is asked for, in milliseconds.
    static constexpr int kMarkerTickMs = 20;

    CPatternEditorPage(CPatternEditor& editor, CUndoStack& undo, const UndoContext& context);
    ~CPatternEditorPage() override;

    void Build(gui::CControl* parent, int x, int y, int width, int height);

    // ----- Layout -----
    float Ratio() const { return m_ratio; }
    // Clamped to 0.1..0.9.
    void SetRatio(float ratio);
    PageLayout Layout() const { return LayOutPage(Height(), m_ratio); }

    // ----- Parts, for the window and for tests -----
    CPatternEditor& Editor() { return m_editor; }
    CNoteGrid& Grid() { return *m_grid; }
    CControlLanes& Lanes() { return *m_lanes; }
    gui::CSizeBar& SizeBar() { return *m_sizeBar; }
    gui::CScrollBar& HorizontalBar() { return *m_horizontal; }
    CPageToolBar& ToolBar(int index) { return *m_toolBars[index]; }
    gui::CComboBox& MachineBox() { return *m_machineBox; }
    gui::CComboBox& PatternBox() { return *m_patternBox; }
    gui::CComboBox& PortBox() { return *m_portBox; }
    gui::CComboBox& LengthBox() { return *m_lengthBox; }
    gui::CComboBox& NoteLengthBox() { return *m_noteLengthBox; }
    gui::CComboBox& PropertyBox() { return *m_propertyBox; }
    gui::CToolBarButton* Button(Command command) const;
    CToggleToolButton& PlayButton() { return *m_play; }
    CToggleToolButton& LoopButton() { return *m_loop; }
    gui::CLabel& EntryReadOut() { return *m_entry; }

    // ----- Commands (the buttons) -----
    void RunCommand(Command command);
    void DuplicatePattern();
    // Asks the new name (Dialogs().AskText).
    void RenamePattern();

    // Brings boxes, grid and lanes up to what the model says (what a refresh does).
    void CatchUp();

    // CPatternEditorListener: notes the change, marks the page dirty.
    void PatternEditorChanged(PatternEditorChange change) override;

    void Refresh() override;
    void SizeChanged(int width, int height) override;
    void ComboChanged(gui::CComboBox* combo) override;
    void ChildChanged(gui::CControl* child) override;
    void ToolBarButtonClicked(gui::CToolBarButton* button) override;

private:
    void BuildToolBars();
    void LayOut();
    void FillBoxes();
    void UpdateButtons();
    void UpdateHorizontalRange();
    void ScrollToBeat(int beat);
    void ShowEntryState();
    gui::CComboBox* AddBox(CPageToolBar& bar, const char* name, const char* tip, int width);
    gui::CLabel* AddCaption(CPageToolBar& bar, const QString& text, int width);

    CPatternEditor& m_editor;
    CPatternEdits m_edits;
    float m_ratio = kDefaultRatio;
    std::atomic<unsigned> m_news{0}; // bits of PatternEditorChange not yet caught up on
    const Pattern* m_shownPattern = nullptr;
    float m_position = -1.0f;

    std::unique_ptr<CPageToolBar> m_toolBars[3];
    std::unique_ptr<gui::CComboBox> m_machineBox, m_patternBox, m_portBox, m_lengthBox, m_noteLengthBox,
        m_propertyBox;
    std::unique_ptr<CToggleToolButton> m_play, m_loop;
    std::vector<std::unique_ptr<gui::CLabel>> m_captions;
    gui::CLabel* m_entry = nullptr;
    std::unique_ptr<CNoteGrid> m_grid;
    std::unique_ptr<gui::CSizeBar> m_sizeBar;
    std::unique_ptr<CControlLanes> m_lanes;
    std::unique_ptr<gui::CScrollBar> m_horizontal;
    std::unique_ptr<gui::CUiTimer> m_timer;
};

} // namespace pattern_editor
