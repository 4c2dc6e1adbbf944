#include "studio_ui/hd_recorder/hd_recorder_view.h"

#include "engine/studio.h"
#include "gui/color_manager.h"
#include "gui/dialog_service.h"
#include "gui/heavy_knob.h"
#include "gui/label.h"
#include "gui/peak_meter.h"
#include "gui/scroll_bar.h"
#include "gui/time_display.h"
#include "gui/tool_bar.h"
#include "gui/ui_clock.h"
#include "host_machines/wav/wav_file.h"
#include "studio_ui/icons/studio_icons.h"

#include <QPainter>
#include <QWheelEvent>
#include <QWidget>

#include <algorithm>

namespace hd_recorder {
namespace {

// The record pictures (a red dot, dark while idle, glowing while recording) and the file
// choice's disk, drawn by the artwork generator at 14 logical pixels.
QIcon RecordIcon(bool lit) { return studio_icons::Icon(lit ? studio_icons::kRecordOn : studio_icons::kRecordOff); }
QIcon SaveFileIcon() { return studio_icons::Icon(studio_icons::kSaveFile); }

// The list's ground: the rows paint themselves; below them, or with no row at all, an empty
// list says how rows come about. Its scroll bar and the wheel scroll the rows.
class CRowList : public gui::CControl {
public:
    explicit CRowList(CHDRecorder& page) : m_page(page) {}
    void ChildChanged(gui::CControl* child) override {
        if (child == m_page.ScrollBar()) m_page.ScrollRowsTo(m_page.ScrollBar()->Value());
    }
    bool WheelTurned(QWheelEvent* event) override {
        // One notch (120 eighths of a degree) moves one row.
        const int rows = event->angleDelta().y() / 120;
        if (rows == 0) return false;
        m_page.ScrollRowsTo(m_page.ScrollBar()->Value() - rows * kRowHeight);
        return true;
    }
    void Render(QPainter& painter) override {
        const gui::CColorManager& colors = Colors();
        painter.fillRect(0, 0, Width(), Height(), colors.Color(gui::kSlotFace).darker(125));
        gui::DrawBevel(painter, 0, 0, Width(), Height(), gui::Bevel::kSunken, colors);
        if (m_page.RowCount() > 0) return;
        painter.setFont(Font());
        painter.setPen(colors.Pen(gui::kSlotButtonText));
        painter.drawText(
            QRect(0, 0, Width(), Height()), Qt::AlignCenter | Qt::TextWordWrap,
            "No HD recorder tracks yet.\nAdd a \"QX HD Recorder Track\" machine on the Studio page "
            "and cable it where you want to record.");
    }

private:
    CHDRecorder& m_page;
};

} // namespace

// ---- CToggleIconButton ----

void CToggleIconButton::CreateToggle(gui::CControl* parent, const QIcon& off, const QIcon& on,
                                     const QString& toolTip, int x, int y, int size,
                                     std::function<void()> clicked) {
    m_offIcon = off;
    m_onIcon = on;
    m_clicked = std::move(clicked);
    CreateIconButton(parent, off, toolTip, x, y, size, size);
}

void CToggleIconButton::SetOn(bool on) {
    if (on == m_on) return;
    m_on = on;
    SetIcon(on ? m_onIcon : m_offIcon);
}

void CToggleIconButton::Clicked() {
    if (m_clicked) m_clicked();
}

void CToggleIconButton::Render(QPainter& painter) {
    if (!m_on || CurrentState() == State::kDisabled) {
        CIconButton::Render(painter);
        return;
    }
    // Latched: sunken on a darker face, the picture moved in by a pixel, until released.
    const gui::CColorManager& colors = Colors();
    painter.fillRect(0, 0, Width(), Height(), colors.Brush(gui::kSlotDisabledFace));
    gui::DrawBevel(painter, 0, 0, Width(), Height(), gui::Bevel::kSunken, colors);
    RenderFace(painter, QRect(2, 2, Width() - 2, Height() - 2));
}

// ---- CHDTrackView ----

CHDTrackView::CHDTrackView(CHDTrack* row) : m_row(row) {}

CHDTrackView::~CHDTrackView() = default;

void CHDTrackView::Build(gui::CControl* list, int y, int width) {
    Create(list, "HDTrack", 0, y, width, kRowHeight, true);

    m_knob = std::make_unique<gui::CHeavyKnob>();
    m_knob->Create(this, kKnobX, kKnobY, kKnobWidth, kKnobHeight);
    m_knob->SetValue(m_row->Volume());
    m_knob->Widget()->setToolTip("Set Volume");

    m_meter = std::make_unique<gui::CPeakMeter>();
    m_meter->Create(this, "PeakMeter", kMeterX, kMeterY, &m_row->Meter(), kMeterWidth, kMeterHeight);
    m_meter->Widget()->setToolTip("Peak Volume");

    m_time = std::make_unique<gui::CTimeDisplay>();
    m_time->Create(this, kTimeX, kTimeY, kTimeWidth, kTimeHeight);
    m_time->Widget()->setToolTip("Time");

    m_fileButton = std::make_unique<gui::CIconButton>();
    m_fileButton->CreateIconButton(this, SaveFileIcon(), "Select File To Save To", kFileButtonX, kButtonY,
                                   kButtonSize, kButtonSize);

    m_recordButton = std::make_unique<CToggleIconButton>();
    m_recordButton->CreateToggle(this, RecordIcon(false), RecordIcon(true), "Record Stream", kRecordButtonX,
                                 kButtonY, kButtonSize, [this] { ToggleRecord(); });

    m_trackLabel = std::make_unique<gui::CLabel>();
    m_trackLabel->CreateLabel(this, "Track:", kTrackLabelX, kLabelY, kLabelWidth, kLabelHeight);
    m_trackLabel->SetFont(gui::MakeFont(gui::kDefaultFace, gui::kDefaultPoints, true));
    m_trackLabel->Widget()->setToolTip("Track Name");

    m_fileLabel = std::make_unique<gui::CLabel>();
    m_fileLabel->CreateLabel(this, "File:", kFileLabelX, kLabelY, kLabelWidth, kLabelHeight);
    m_fileLabel->Widget()->setToolTip("File Name");

    UpdateLabels();
    RefreshFromModel();
    SizeChanged(width, kRowHeight);
    for (gui::CControl* child :
         std::initializer_list<gui::CControl*>{m_knob.get(), m_meter.get(), m_time.get(), m_fileButton.get(),
                                               m_recordButton.get(), m_trackLabel.get(), m_fileLabel.get()})
        child->Show();
    Show();
}

void CHDTrackView::UpdateLabels() {
    if (!m_trackLabel) return;
    std::string track, file;
    {
        CMutexLock lock(m_row->m_lock);
        track = m_row->TrackLabel();
        file = m_row->FileLabel();
    }
    const QString trackText = QString::fromStdString(track);
    const QString fileText = QString::fromStdString(file);
    if (m_trackLabel->Text() != trackText) m_trackLabel->SetText(trackText);
    if (m_fileLabel->Text() != fileText) {
        m_fileLabel->SetText(fileText);
        // The whole path on hover: the label itself may have to cut it short.
        m_fileLabel->Widget()->setToolTip(file.size() > 6 ? "File Name: " + fileText.mid(6)
                                                          : QString("File Name"));
    }
}

void CHDTrackView::ChooseFile() {
    // No lock is held while the dialog is open: the row keeps recording meanwhile.
    int filter = 0;
    const std::optional<QString> chosen =
        gui::Dialogs().SaveFileOfType(Widget(), "Select File To Save To", {kFloatFilter, kPcmFilter}, 0,
                                      "wav", QString::fromStdString(m_row->Path()), &filter);
    if (!chosen) return;
    const std::string path = chosen->toStdString();
    if (path.size() > 1024) {
        // Cutting the name short would record somewhere the user did not choose.
        gui::Dialogs().Message(Widget(), gui::MessageKind::kWarning,
                               "File Name Too Long (1024 Characters At Most)");
        return;
    }
    m_row->ChooseFile(path, filter == 1 ? kWavFormatPcm : kWavFormatFloat);
    UpdateLabels();
    RefreshFromModel();
}

void CHDTrackView::ToggleRecord() {
    const bool press = !m_recordButton->IsOn();
    m_row->PressRecord(press);
    bool recording = false;
    std::string path;
    {
        CMutexLock lock(m_row->m_lock);
        recording = m_row->RecordButton();
        path = m_row->Path();
    }
    m_recordButton->SetOn(recording);
    if (!press || recording) return;
    // The model leaves a row it could not start idle; the user should hear why.
    const QString why = path.empty() ? QString("Select A File To Save To First")
                                     : QString("Can't Open File <%1>").arg(QString::fromStdString(path));
    gui::Dialogs().Message(Widget(), gui::MessageKind::kWarning, why);
}

void CHDTrackView::RefreshFromModel() {
    m_row->Refresh(); // ages the meter's held peaks
    float seconds = 0.0f;
    bool recording = false;
    {
        CMutexLock lock(m_row->m_lock);
        seconds = m_row->RecordedSeconds();
        recording = m_row->RecordButton();
    }
    if (static_cast<double>(seconds) != m_time->Seconds()) {
        m_time->SetSeconds(seconds);
        ++m_timeRepaints;
    }
    m_recordButton->SetOn(recording);
}

void CHDTrackView::SizeChanged(int width, int height) {
    gui::CControl::SizeChanged(width, height);
    // The file label takes the rest of the row: a path rarely fits in 256 pixels.
    if (m_fileLabel)
        m_fileLabel->MoveResize(kFileLabelX, kLabelY, std::max(kLabelWidth, width - kFileLabelX - 4),
                                kLabelHeight);
}

void CHDTrackView::ChildChanged(gui::CControl* child) {
    if (child == m_knob.get()) m_row->SetVolume(m_knob->Value());
}

void CHDTrackView::ButtonClicked(gui::CButton* button) {
    if (button == m_fileButton.get()) ChooseFile();
}

void CHDTrackView::Render(QPainter& painter) {
    const gui::CColorManager& colors = Colors();
    painter.fillRect(0, 0, Width(), Height(), colors.Brush(gui::kSlotFace));
    // Each row a raised strip, so neighbouring tracks read apart.
    painter.setPen(colors.Pen(gui::kSlotBevelLight));
    painter.drawLine(0, 0, Width() - 1, 0);
    painter.setPen(colors.Pen(gui::kSlotBevelShadow));
    painter.drawLine(0, Height() - 1, Width() - 1, Height() - 1);
}

// ---- CHDRecorder ----

CHDRecorder::CHDRecorder(CHDTrackList& list, CStudio& studio) : m_list(list), m_studio(studio) {}

CHDRecorder::~CHDRecorder() {
    m_timer.reset();
    m_list.RemoveListener(this);
    m_studio.Observer().RemoveListener(this);
}

void CHDRecorder::Build(gui::CControl* parent, int x, int y, int width, int height) {
    Create(parent, "HDRecorder", x, y, width, height, true);
    SetFont(gui::MakeFont("Verdana", 9, false));

    m_toolBar = std::make_unique<gui::CToolBar>();
    m_toolBar->Create(this, 0, 0, width, kToolBarHeight);
    const int buttonTop = (kToolBarHeight - gui::CToolBar::kButtonSize) / 2;
    m_master = std::make_unique<CToggleIconButton>();
    m_master->CreateToggle(m_toolBar.get(), RecordIcon(false), RecordIcon(true), "Record Stream", 4,
                           buttonTop, gui::CToolBar::kButtonSize, [this] { ToggleMaster(); });
    m_masterLabel = std::make_unique<gui::CLabel>();
    m_masterLabel->CreateLabel(m_toolBar.get(), "Record All Tracks", 34, 0, 150, kToolBarHeight - 1);
    m_status = std::make_unique<gui::CLabel>();
    m_status->CreateLabel(m_toolBar.get(), "", 190, 0, 220, kToolBarHeight - 1,
                          Qt::AlignRight | Qt::AlignVCenter);

    m_listControl = std::make_unique<CRowList>(*this);
    m_listControl->Create(this, "HDTrackList", kListX, kListY, std::max(0, width - kListMarginWidth),
                          std::max(0, height - kListMarginHeight), true);
    m_rowArea = std::make_unique<gui::CControl>();
    m_rowArea->Create(m_listControl.get(), "HDTrackRows", 0, 0, 0, 0, false);
    m_rowArea->Show();
    m_scrollBar = std::make_unique<gui::CScrollBar>();
    m_scrollBar->Create(m_listControl.get(), "HDTrackScroll", 0, 0, kScrollBarWidth, 0, true);

    m_built = true;
    m_list.AddListener(this);
    m_studio.Observer().AddListener(this);
    Resync();
    SizeChanged(width, height);

    for (gui::CControl* child : std::initializer_list<gui::CControl*>{
             m_toolBar.get(), m_master.get(), m_masterLabel.get(), m_status.get(), m_listControl.get()})
        child->Show();
    m_timer = gui::UiClock().MakeTimer([this] { RefreshRows(); });
    m_timer->Start(kRefreshIntervalMs);
    RefreshRows();
}

CHDTrackView* CHDRecorder::RowView(int index) const {
    return index >= 0 && index < RowCount() ? m_rows[static_cast<size_t>(index)].get() : nullptr;
}

CHDTrackView* CHDRecorder::ViewOf(const CHDTrack* row) const {
    for (const auto& view : m_rows)
        if (view->Row() == row) return view.get();
    return nullptr;
}

void CHDRecorder::ToggleMaster() {
    const bool press = !m_master->IsOn();
    m_list.MasterRecord(press);
    m_master->SetOn(press);
    RefreshRows();
}

void CHDRecorder::RefreshRows() {
    for (const auto& view : m_rows)
        view->RefreshFromModel();
    // The song's recording starts and stops the master from elsewhere.
    bool master = false;
    {
        CMutexLock lock(m_list.m_lock);
        master = m_list.MasterButton();
    }
    if (m_master) m_master->SetOn(master);
    UpdateStatus();
}

void CHDRecorder::UpdateStatus() {
    if (!m_status) return;
    int recording = 0;
    for (const auto& view : m_rows)
        recording += view->RecordButton()->IsOn() ? 1 : 0;
    const int count = RowCount();
    QString text = count == 1 ? QString("1 track") : QString("%1 tracks").arg(count);
    if (recording > 0) text += QString(", %1 recording").arg(recording);
    if (m_status->Text() != text) m_status->SetText(text);
}

void CHDRecorder::SizeChanged(int width, int height) {
    gui::CControl::SizeChanged(width, height);
    if (!m_listControl) return;
    m_toolBar->MoveResize(0, 0, width, kToolBarHeight);
    m_status->MoveResize(std::max(190, width - 228), 0, 220, kToolBarHeight - 1);
    m_listControl->MoveResize(kListX, kListY, std::max(0, width - kListMarginWidth),
                              std::max(0, height - kListMarginHeight));
    PlaceRows();
}

void CHDRecorder::Render(QPainter& painter) {
    painter.fillRect(0, 0, Width(), Height(), Colors().Brush(gui::kSlotFace));
}

void CHDRecorder::PlaceRows() {
    const int listWidth = m_listControl->Width();
    const int listHeight = m_listControl->Height();
    const int rowsHeight = RowCount() * kRowHeight;
    const bool scrolls = rowsHeight > listHeight;
    const int width = std::max(0, listWidth - (scrolls ? kScrollBarWidth : 0));
    m_scrollBar->SetRange(0, std::max(0, rowsHeight - listHeight));
    m_scrollBar->SetPage(std::max(1, listHeight));
    m_scrollBar->MoveResize(width, 0, kScrollBarWidth, listHeight);
    m_scrollBar->ShowWith(scrolls ? gui::ShowCommand::kShow : gui::ShowCommand::kHide);
    m_rowArea->MoveResize(0, -m_scrollBar->Value(), width, rowsHeight);
    for (size_t i = 0; i < m_rows.size(); ++i)
        m_rows[i]->MoveResize(0, static_cast<int>(i) * kRowHeight, width, kRowHeight);
}

void CHDRecorder::ScrollRowsTo(int top) {
    m_scrollBar->SetValue(top); // clamped to the range
    m_rowArea->Move(0, -m_scrollBar->Value());
}

void CHDRecorder::RowAdded(CHDTrack* row, int32_t index) {
    if (!m_built) return;
    if (index != RowCount()) {
        Resync();
        return;
    }
    auto view = std::make_unique<CHDTrackView>(row);
    view->Build(m_rowArea.get(), index * kRowHeight, m_rowArea->Width());
    m_rows.push_back(std::move(view));
    PlaceRows();
    m_listControl->Refresh();
    UpdateStatus();
}

void CHDRecorder::RowRemoved(const CHDTrack* gone, int32_t index) {
    if (!m_built) return;
    // The model is already destroyed; its address only finds the view. Later rows move up.
    const auto position =
        std::find_if(m_rows.begin(), m_rows.end(),
                     [gone](const std::unique_ptr<CHDTrackView>& view) { return view->Row() == gone; });
    if (position == m_rows.end() || position - m_rows.begin() != index) {
        Resync();
        return;
    }
    m_rows.erase(position);
    PlaceRows();
    m_listControl->Refresh();
    UpdateStatus();
}

void CHDRecorder::FrameRemoved(const RemovedFrame&) {
    Resync();
}

void CHDRecorder::FrameRenamed(CMachineContainer*) {
    for (const auto& view : m_rows)
        view->UpdateLabels();
}

void CHDRecorder::StudioCleared() {
    Resync();
}

void CHDRecorder::ProjectLoaded() {
    Resync();
}

void CHDRecorder::Resync() {
    if (!m_built) return;
    const int count = m_list.Count();
    bool same = count == RowCount();
    for (int i = 0; same && i < count; ++i)
        same = m_rows[static_cast<size_t>(i)]->Row() == m_list.Row(i);
    if (!same) {
        // Views of rows that are gone must go before anything could reach their models.
        m_rows.clear();
        for (int i = 0; i < count; ++i) {
            auto view = std::make_unique<CHDTrackView>(m_list.Row(i));
            view->Build(m_rowArea.get(), i * kRowHeight, m_listControl->Width());
            m_rows.push_back(std::move(view));
        }
        PlaceRows();
        m_listControl->Refresh();
    }
    for (const auto& view : m_rows)
        view->UpdateLabels();
    UpdateStatus();
}

} // namespace hd_recorder
