// CSequenceEditorPage: the main window's "Sequence Editor" page over the song's model
// (CSequenceEditor). Tool bar 1 (y 0, 30 high): the toggles "Play Pattern" and "Record Song", the
// button "Stop Pattern", the toggle "Loop Pattern", then "Length:" and the song length field (1 to
// 4096 beats, tip "Sequence Length"). Tool bar 2 (y 30): the pattern box "PatternCombo" (120 wide,
// tip "Select Pattern") with the selected row's patterns, and a note of what a click places.
// Below, from y 60, the song grid (CSequenceView).
//
// The transport buttons only ask the model; their pictures follow its state. "Record Song" starts
// every HD recorder row that has a file and plays the song from its start; the recordings end,
// with their files' headers complete, when the song is stopped, the button is released or the song
// reaches its end. The page's timer gives the model its display refresh (which reports the play
// marker and the song's end and closes the recordings after the end), so this happens with the
// page hidden too.
//
// Edits of the song (placements, moves, removals, the length) go through the undo history.
//
// Threads: user-interface thread. The model's and the pattern editor's news may arrive with the
// studio mutex held, so the listeners only note what changed; the page applies it on its timer,
// or at once after an edit of its own.
#pragma once

#include "gui/control.h"
#include "sequencer/pattern_editor.h"
#include "sequencer/sequence_editor.h"

#include <atomic>
#include <cstdint>
#include <memory>

class CSequencer;
class CUndoStack;
struct UndoContext;

namespace gui {
class CComboBox;
class CLabel;
class CToolBar;
class CUiTimer;
class CUpDown;
} // namespace gui

namespace hd_recorder {
class CToggleIconButton;
}

namespace sequence_editor {

class CSequenceView;

// Pixels of the page's layout.
inline constexpr int kToolBarHeight = 30;
inline constexpr int kViewTop = 2 * kToolBarHeight;
inline constexpr int kPatternBoxWidth = 120;
inline constexpr int kLengthLabelWidth = 48, kLengthLabelHeight = 14;
inline constexpr int kLengthFieldWidth = 52, kLengthFieldHeight = 18;
// How often the page refreshes the song's display (marker, end of the song), in ms.
inline constexpr int kRefreshIntervalMs = 20;

class CSequenceEditorPage : public gui::CControl, public CSequenceEditorListener, public CPatternEditorListener {
public:
    // The sequencer, the history and what its commands edit outlive the page.
    CSequenceEditorPage(CSequencer& sequencer, CUndoStack& undo, const UndoContext& context);
    ~CSequenceEditorPage() override;

    // Makes the page inside parent and starts its timer on gui::UiClock().
    void Build(gui::CControl* parent, int x, int y, int width, int height);

    // The timer's work: the model's display refresh, then whatever news came in.
    void Tick();
    // Brings the buttons, the pattern box, the length field and the grid up to date with the news
    // noted since the last time.
    void ApplyNews();

    hd_recorder::CToggleIconButton* PlayButton() const { return m_play.get(); }
    hd_recorder::CToggleIconButton* RecordButton() const { return m_record.get(); }
    hd_recorder::CToggleIconButton* StopButton() const { return m_stop.get(); }
    hd_recorder::CToggleIconButton* LoopButton() const { return m_loop.get(); }
    gui::CUpDown* LengthField() const { return m_length.get(); }
    gui::CComboBox* PatternBox() const { return m_patternBox.get(); }
    CSequenceView* View() const { return m_view.get(); }

    // CSequenceEditorListener, CPatternEditorListener: note the news only.
    void SequenceEditorChanged(SequenceEditorChange change) override;
    void PatternEditorChanged(PatternEditorChange change) override;

    // gui::CControl
    void SizeChanged(int width, int height) override;
    void ComboChanged(gui::CComboBox* combo) override;
    void ChildChanged(gui::CControl* child) override;
    void Show() override;

private:
    enum News : uint32_t {
        kNewsRows = 1,
        kNewsEntries = 2,
        kNewsPatternBox = 4,
        kNewsTransport = 8,
        kNewsMarker = 16,
        kNewsAll = 31,
    };
    void Note(uint32_t news) { m_news.fetch_or(news, std::memory_order_acq_rel); }
    void FillPatternBox();
    void ShowTransport();
    void PressPlay();
    void PressRecord();
    void PressStop();
    void PressLoop();

    CSequencer& m_sequencer;
    CSequenceEditor& m_song;
    CUndoStack& m_undo;
    const UndoContext& m_context;

    std::unique_ptr<gui::CToolBar> m_transportBar;
    std::unique_ptr<gui::CToolBar> m_patternBar;
    std::unique_ptr<hd_recorder::CToggleIconButton> m_play;
    std::unique_ptr<hd_recorder::CToggleIconButton> m_record;
    std::unique_ptr<hd_recorder::CToggleIconButton> m_stop;
    std::unique_ptr<hd_recorder::CToggleIconButton> m_loop;
    std::unique_ptr<gui::CLabel> m_lengthLabel;
    std::unique_ptr<gui::CUpDown> m_length;
    std::unique_ptr<gui::CComboBox> m_patternBox;
    std::unique_ptr<gui::CLabel> m_rowNote;
    std::unique_ptr<CSequenceView> m_view;
    std::unique_ptr<gui::CUiTimer> m_timer;

    std::atomic<uint32_t> m_news{kNewsAll};
    bool m_listening = false;
};

} // namespace sequence_editor
