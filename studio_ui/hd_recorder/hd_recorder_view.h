// CHDRecorder: the "HD Recorder" page of the main window. A tool bar (30 pixels high) carries the
// master "Record Stream" toggle that starts and stops every track at once; below it the row list
// ("HDTrackList", at 8, 38, the page less 16 x 46) shows one CHDTrackView per HD recorder track
// machine, 42 pixels high at y = 42 x its place. More rows than the list can show scroll (a
// scroll bar at the list's right edge, and the wheel). A row shows the track's volume knob, its peak
// meter, the recorded time, the file choice and record buttons, the track's name and its file.
//
// Threads: user-interface thread only. The rows' models (CHDTrack) are shared with the processing
// thread, which writes each block under the row lock; the page takes the same lock for the short
// reads of its periodic refresh, and never holds it (nor the studio mutex) while a dialog is open.
// Recording itself is the model's: the buttons only call it.
//
// The page observes the recorder's row list (rows come and go with their machines) and the studio
// (renames show in the track labels; frames removed, a cleared studio and a loaded project bring
// the rows back in step with the list). It never owns a row.
#pragma once

#include "engine/studio_observer.h"
#include "gui/icon_button.h"
#include "host_machines/hd_recorder/hd_track.h"

#include <functional>
#include <memory>
#include <vector>

class CStudio;

namespace gui {
class CHeavyKnob;
class CLabel;
class CPeakMeter;
class CScrollBar;
class CTimeDisplay;
class CToolBar;
class CUiTimer;
} // namespace gui

namespace hd_recorder {

// Where a row's controls sit, in row pixels.
inline constexpr int kRowHeight = CHDTrackList::kRowHeight;
inline constexpr int kKnobX = 0, kKnobY = 0, kKnobWidth = 32, kKnobHeight = 38;
inline constexpr int kMeterX = 36, kMeterY = 8, kMeterWidth = 66, kMeterHeight = 26;
inline constexpr int kTimeX = 108, kTimeY = 11, kTimeWidth = 134, kTimeHeight = 20;
inline constexpr int kFileButtonX = 248, kRecordButtonX = 272, kButtonY = 11, kButtonSize = 20;
// The labels leave the row's top and bottom edge lines visible.
inline constexpr int kTrackLabelX = 298, kLabelY = 1, kLabelWidth = 256, kLabelHeight = kRowHeight - 2;
inline constexpr int kFileLabelX = kTrackLabelX + kLabelWidth + 4;
// The page's tool bar and the list's margins.
inline constexpr int kToolBarHeight = 30;
inline constexpr int kListX = 8, kListY = 38, kListMarginWidth = 16, kListMarginHeight = 46;
// The list's scroll bar, shown only when the rows are taller than the list.
inline constexpr int kScrollBarWidth = 16;
// How often the rows' meters age and their time read-outs are brought up to date, in ms.
inline constexpr int kRefreshIntervalMs = 50;

// The save dialog's file types; the second records 16-bit integer samples.
inline constexpr const char* kFloatFilter = "WAV PCM 32-bit Float (*.wav)";
inline constexpr const char* kPcmFilter = "WAV PCM 16-bit Integer (*.WAV)";

// An icon button that stays pressed while its state is on (the record toggles). A click does not
// change the state by itself: the owner asks the model and sets the state from its answer, so a
// recording that could not start shows released.
class CToggleIconButton : public gui::CIconButton {
public:
    // on and off are the pictures of the two states; a click calls clicked (not the parent).
    void CreateToggle(gui::CControl* parent, const QIcon& off, const QIcon& on, const QString& toolTip, int x,
                      int y, int size, std::function<void()> clicked);
    void SetOn(bool on);
    bool IsOn() const { return m_on; }
    void Render(QPainter& painter) override;

protected:
    void Clicked() override;

private:
    QIcon m_offIcon, m_onIcon;
    bool m_on = false;
    std::function<void()> m_clicked;
};

// One track's row. Observes its CHDTrack, which outlives it (the page drops the view when the
// list reports the row removed).
class CHDTrackView : public gui::CControl {
public:
    explicit CHDTrackView(CHDTrack* row);
    ~CHDTrackView() override;

    void Build(gui::CControl* list, int y, int width);
    CHDTrack* Row() const { return m_row; }

    // "Select File To Save To": the save dialog, then the model's file choice (which ends a
    // running recording).
    void ChooseFile();
    // "Record Stream": starts or ends the row's recording; says why when it could not start.
    void ToggleRecord();
    // The periodic refresh: ages the meter's held peaks and gives the read-out the recorded
    // seconds when they differ from what it shows; the record toggle follows the model (the
    // master button or the song may have changed it).
    void RefreshFromModel();
    // Track and file labels from the model.
    void UpdateLabels();

    gui::CHeavyKnob* Knob() const { return m_knob.get(); }
    gui::CPeakMeter* Meter() const { return m_meter.get(); }
    gui::CTimeDisplay* Time() const { return m_time.get(); }
    gui::CIconButton* FileButton() const { return m_fileButton.get(); }
    CToggleIconButton* RecordButton() const { return m_recordButton.get(); }
    gui::CLabel* TrackLabel() const { return m_trackLabel.get(); }
    gui::CLabel* FileLabel() const { return m_fileLabel.get(); }
    // How often the time read-out was repainted by the periodic refresh.
    int TimeRepaints() const { return m_timeRepaints; }

    void SizeChanged(int width, int height) override;
    void ChildChanged(gui::CControl* child) override;
    void ButtonClicked(gui::CButton* button) override;
    void Render(QPainter& painter) override;

private:
    CHDTrack* m_row;
    std::unique_ptr<gui::CHeavyKnob> m_knob;
    std::unique_ptr<gui::CPeakMeter> m_meter;
    std::unique_ptr<gui::CTimeDisplay> m_time;
    std::unique_ptr<gui::CIconButton> m_fileButton;
    std::unique_ptr<CToggleIconButton> m_recordButton;
    std::unique_ptr<gui::CLabel> m_trackLabel;
    std::unique_ptr<gui::CLabel> m_fileLabel;
    int m_timeRepaints = 0;
};

class CHDRecorder : public gui::CControl, public CHDTrackListListener, public CStudioListener {
public:
    // list: the recorder's rows (the studio's own in the program); both outlive the page.
    CHDRecorder(CHDTrackList& list, CStudio& studio);
    ~CHDRecorder() override;

    // Makes the page inside parent with a row for every track already in the list, and starts
    // the periodic refresh on gui::UiClock().
    void Build(gui::CControl* parent, int x, int y, int width, int height);

    int RowCount() const { return static_cast<int>(m_rows.size()); }
    CHDTrackView* RowView(int index) const;
    CHDTrackView* ViewOf(const CHDTrack* row) const;
    gui::CControl* List() const { return m_listControl.get(); }
    // The rows' parent inside the list: as tall as the rows, moved up by the scroll position.
    gui::CControl* RowArea() const { return m_rowArea.get(); }
    gui::CScrollBar* ScrollBar() const { return m_scrollBar.get(); }
    // Scrolls the rows so that the list shows them from `top` pixels down (clamped).
    void ScrollRowsTo(int top);
    gui::CToolBar* ToolBar() const { return m_toolBar.get(); }
    CToggleIconButton* MasterButton() const { return m_master.get(); }

    // The master "Record Stream": every row starts (or ends) at the same buffer.
    void ToggleMaster();
    // The periodic refresh of every row (the timer's tick).
    void RefreshRows();

    void SizeChanged(int width, int height) override;
    void Render(QPainter& painter) override;

    // CHDTrackListListener
    void RowAdded(CHDTrack* row, int32_t index) override;
    void RowRemoved(const CHDTrack* gone, int32_t index) override;
    // CStudioListener
    void FrameRemoved(const RemovedFrame& gone) override;
    void FrameRenamed(CMachineContainer* frame) override;
    void StudioCleared() override;
    void ProjectLoaded() override;

private:
    // Rebuilds the row views when they no longer match the list, then refreshes every label.
    void Resync();
    void PlaceRows();
    void UpdateStatus();

    CHDTrackList& m_list;
    CStudio& m_studio;
    std::unique_ptr<gui::CToolBar> m_toolBar;
    std::unique_ptr<CToggleIconButton> m_master;
    std::unique_ptr<gui::CLabel> m_masterLabel;
    std::unique_ptr<gui::CLabel> m_status;
    std::unique_ptr<gui::CControl> m_listControl;
    std::unique_ptr<gui::CControl> m_rowArea;
    std::unique_ptr<gui::CScrollBar> m_scrollBar;
    std::vector<std::unique_ptr<CHDTrackView>> m_rows;
    std::unique_ptr<gui::CUiTimer> m_timer;
    bool m_built = false;
};

} // namespace hd_recorder
