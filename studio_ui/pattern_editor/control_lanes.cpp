#include "studio_ui/pattern_editor/control_lanes.h"

#include "gui/band_fill.h"
#include "gui/color_manager.h"
#include "gui/label.h"
#include "gui/scroll_bar.h"
#include "sequencer/pattern.h"
#include "sequencer/pattern_editor.h"
#include "studio_ui/pattern_editor/editor_colors.h"
#include "studio_ui/pattern_editor/page_layout.h"
#include "studio_ui/pattern_editor/pattern_edits.h"
#include "studio_ui/pattern_editor/pattern_grid_geometry.h"

#include <QPainter>
#include <QWheelEvent>
#include <QWidget>

#include <algorithm>

namespace pattern_editor {

using pattern_grid::kLaneValuePixels;
using pattern_grid::kStepPixels;

namespace {

constexpr int kPopupOffset = 18; // the pop-up's corner from the pointer, right and down
constexpr int kPopupHeight = 20;

float Clamp01(float value) { return value < 0.0f ? 0.0f : value > 1.0f ? 1.0f : value; }

// Where a value's handle begins below the lane's top.
int HandleOffset(float value) { return static_cast<int>((1.0f - Clamp01(value)) * kLaneValuePixels); }

} // namespace

CControlLanes::CControlLanes(CPatternEdits& edits) : m_edits(edits) {}

CControlLanes::~CControlLanes() = default;

void CControlLanes::Build(gui::CControl* parent, int x, int y, int width, int height) {
    Create(parent, "ControlLanes", x, y, width, height, true);
    m_vertical = std::make_unique<gui::CScrollBar>();
    m_vertical->Create(this, "LaneScroll", std::max(0, width - kScrollBarSize), 0, kScrollBarSize, height, true);
    m_vertical->Show();
    m_popup = std::make_unique<gui::CLabel>();
    m_popup->CreateLabel(this, "", 0, 0, 120, kPopupHeight, Qt::AlignCenter);
    m_popup->SetBackgroundSlot(gui::kSlotFieldBackground);
    m_popup->SetTextSlot(gui::kSlotFieldText);
    m_popup->SetBorder(true);
    UpdateRange();
}

int CControlLanes::ContentWidth() const { return std::max(0, Width() - kScrollBarSize); }

int CControlLanes::TotalHeight() const {
    const Pattern* pattern = m_edits.Editor().CurrentPattern();
    return pattern ? pattern->ControlTrackCount() * kLaneHeight : 0;
}

int CControlLanes::LaneTop(int lane) const { return lane * kLaneHeight - m_scrollY; }

int CControlLanes::StepX(int step) const { return kKeyColumn + (step - m_firstBeat * 4) * kStepPixels; }

void CControlLanes::UpdateRange() {
    const int most = std::max(0, TotalHeight() - Height());
    m_vertical->SetRange(0, most);
    m_vertical->SetPage(std::max(1, Height()));
    m_scrollY = std::clamp(m_scrollY, 0, most);
    m_vertical->SetValue(m_scrollY);
}

void CControlLanes::SetFirstBeat(int beat) {
    beat = std::max(0, beat);
    if (beat == m_firstBeat) return;
    m_firstBeat = beat;
    if (m_state != State::kDrag) ToIdle();
    Refresh();
}

void CControlLanes::SetScrollY(int pixels) {
    m_scrollY = std::clamp(pixels, 0, std::max(0, TotalHeight() - Height()));
    m_vertical->SetValue(m_scrollY);
    Refresh();
}

void CControlLanes::ScrollToBottom() {
    UpdateRange();
    SetScrollY(TotalHeight());
}

void CControlLanes::ModelChanged() {
    if (!Widget()) return;
    UpdateRange();
    const Pattern* pattern = m_edits.Editor().CurrentPattern();
    // A hovered or dragged step that is gone (track removed, undone) is let go.
    if (m_state != State::kIdle) {
        const bool gone = !pattern || m_lane >= pattern->ControlTrackCount() ||
                          m_step >= static_cast<int>(pattern->GetControlTrack(m_lane)->steps.size()) ||
                          !pattern->GetControlTrack(m_lane)->steps[static_cast<size_t>(m_step)].set;
        if (gone) {
            EndDrag();
            ToIdle();
        }
    }
    Refresh();
}

void CControlLanes::SizeChanged(int width, int height) {
    gui::CControl::SizeChanged(width, height);
    if (!m_vertical) return;
    m_vertical->MoveResize(std::max(0, width - kScrollBarSize), 0, kScrollBarSize, height);
    UpdateRange();
}

void CControlLanes::ChildChanged(gui::CControl* child) {
    if (child != m_vertical.get()) return;
    m_scrollY = m_vertical->Value();
    Refresh();
}

// ----- Drawing -----

void CControlLanes::Render(QPainter& painter) {
    const CPatternEditor& editor = m_edits.Editor();
    const Pattern* pattern = editor.CurrentPattern();
    const int width = ContentWidth();
    painter.fillRect(0, 0, Width(), Height(), colors::kPastEnd);
    if (!pattern || pattern->ControlTrackCount() == 0) {
        painter.setPen(colors::kKeyText);
        painter.setFont(Font());
        painter.drawText(QRect(0, 0, width, std::min(Height(), 60)), Qt::AlignCenter,
                         pattern ? "No control tracks: choose a property above and press Add Control Track."
                                 : "Choose a machine and a pattern, or add a pattern.");
        return;
    }
    const int steps = pattern->StepCount();
    const int firstStep = m_firstBeat * 4;
    painter.setFont(Font());
    for (int lane = 0; lane < pattern->ControlTrackCount(); ++lane) {
        const int top = LaneTop(lane);
        if (top + kLaneHeight <= 0) continue;
        if (top >= Height()) break;
        // Beat groups, step and beat lines, as in the grid above.
        for (int beat = m_firstBeat - (m_firstBeat % 4); beat * 4 < steps; beat += 4) {
            const int x = StepX(beat * 4);
            if (x >= width) break;
            const int right = std::min(width, StepX(std::min(steps, (beat + 4) * 4)));
            const int left = std::max(kKeyColumn, x);
            painter.fillRect(left, top, right - left, kLaneHeight, (beat / 4) % 2 == 0 ? colors::kBeatsEven
                                                                                       : colors::kBeatsOdd);
        }
        for (int step = firstStep; step <= steps; ++step) {
            const int x = StepX(step);
            if (x >= width) break;
            const QColor& line = step % 16 == 0 ? colors::kBarLine : step % 4 == 0 ? colors::kBeatLine : colors::kStepLine;
            gui::FillInBands(painter, QRect(x, top, 1, kLaneHeight), line);
        }
        // The value range's floor.
        painter.fillRect(kKeyColumn, top + kLaneValuePixels + kHandleSize / 2, width - kKeyColumn, 1, colors::kRowLine);
        const ControlTrack* track = pattern->GetControlTrack(lane);
        const int count = std::min(steps, static_cast<int>(track->steps.size()));
        for (int step = std::max(0, firstStep); step < count; ++step) {
            const int x = StepX(step);
            if (x >= width) break;
            const ControlStep& value = track->steps[static_cast<size_t>(step)];
            if (!value.set) continue;
            const int handleTop = top + HandleOffset(value.value);
            const int floor = top + kLaneValuePixels + kHandleSize / 2;
            painter.fillRect(x + kStepPixels / 2 - 1, handleTop + kHandleSize / 2, 2, floor - handleTop - kHandleSize / 2,
                             colors::kStem);
            const bool active = m_state != State::kIdle && lane == m_lane && step == m_step;
            painter.fillRect(x + 1, handleTop, kHandleSize, kHandleSize, active ? colors::kNoteSelected : colors::kHandle);
            painter.setPen(active ? colors::kNoteSelectedEdge : colors::kHandleEdge);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(x + 1, handleTop, kHandleSize - 1, kHandleSize - 1);
        }
        // The label column and the lane's lower edge.
        painter.fillRect(0, top, kKeyColumn, kLaneHeight, colors::kLabelColumn);
        painter.fillRect(kKeyColumn - 1, top, 1, kLaneHeight, colors::kKeyEdge);
        painter.setPen(colors::kKeyText);
        painter.drawText(QRect(6, top + 4, kKeyColumn - 10, 20), Qt::AlignLeft | Qt::AlignVCenter,
                         painter.fontMetrics().elidedText(QString::fromStdString(editor.LaneLabel(lane)),
                                                          Qt::ElideRight, kKeyColumn - 10));
        painter.fillRect(0, top + kLaneHeight - 1, width, 1, colors::kLaneEdge);
    }
}

// ----- Mouse -----

bool CControlLanes::StepAt(int x, int y, int* lane, int* step) const {
    const Pattern* pattern = m_edits.Editor().CurrentPattern();
    if (!pattern || x < kKeyColumn || x >= ContentWidth() || y < 0 || y >= Height()) return false;
    *lane = (y + m_scrollY) / kLaneHeight;
    *step = (x - kKeyColumn) / kStepPixels + m_firstBeat * 4;
    return *lane < pattern->ControlTrackCount() && *step < pattern->StepCount();
}

bool CControlLanes::HandleAt(int x, int y, int* lane, int* step) const {
    if (!StepAt(x, y, lane, step)) return false;
    const ControlTrack* track = m_edits.Editor().CurrentPattern()->GetControlTrack(*lane);
    if (*step >= static_cast<int>(track->steps.size())) return false;
    const ControlStep& value = track->steps[static_cast<size_t>(*step)];
    if (!value.set) return false;
    const int top = LaneTop(*lane) + HandleOffset(value.value);
    return y >= top - 1 && y < top - 1 + kHandleZone;
}

void CControlLanes::ToIdle() {
    m_state = State::kIdle;
    m_lane = m_step = -1;
    Widget()->setCursor(Qt::ArrowCursor);
    if (HasCapture()) ReleaseCapture();
}

void CControlLanes::ShowPopup(int x, int y, float value) {
    const QString text = QString::fromStdString(m_edits.Editor().LaneValueText(m_lane, value));
    m_popup->SetText(text);
    const int width = std::max(60, m_popup->Widget()->fontMetrics().horizontalAdvance(text) + 16);
    // Next to the pointer, kept inside the lanes so it never hides behind the page's edges.
    const int left = std::clamp(x + kPopupOffset, 0, std::max(0, Width() - width - 4));
    const int top = std::clamp(y + kPopupOffset, 0, std::max(0, Height() - kPopupHeight - 4));
    m_popup->MoveResize(left, top, width, kPopupHeight);
    m_popup->Widget()->raise();
    m_popup->Show();
    m_popup->Refresh();
}

void CControlLanes::PointerMove(int x, int y) {
    if (m_state == State::kDrag) {
        Pattern* pattern = m_edits.Editor().CurrentPattern();
        if (!pattern) return;
        const float value = Clamp01(m_valueAtPress + pattern_grid::LaneValueChange(y - m_y0));
        m_edits.Apply(UndoCommands::SetControlStep(m_edits.Context(), pattern, m_lane, m_step, value));
        if (m_state == State::kDrag) ShowPopup(x, y, value);
        return;
    }
    int lane = 0, step = 0;
    if (HandleAt(x, y, &lane, &step)) {
        if (m_state == State::kHover && lane == m_lane && step == m_step) return;
        m_state = State::kHover;
        m_lane = lane;
        m_step = step;
        Widget()->setCursor(Qt::SizeVerCursor);
        if (!HasCapture()) SetCapture();
        Refresh();
    } else if (m_state == State::kHover) {
        ToIdle();
        Refresh();
    }
}

void CControlLanes::LeftButtonDown(int x, int y) {
    Pattern* pattern = m_edits.Editor().CurrentPattern();
    if (!pattern) return;
    int lane = 0, step = 0;
    if (m_state == State::kIdle && HandleAt(x, y, &lane, &step)) {
        m_state = State::kHover; // a press without a move before it
        m_lane = lane;
        m_step = step;
    }
    if (m_state == State::kHover) {
        m_state = State::kDrag;
        m_y0 = y;
        m_valueAtPress = pattern->GetControlTrack(m_lane)->steps[static_cast<size_t>(m_step)].value;
        m_edits.History().BeginGesture();
        if (!HasCapture()) SetCapture();
        ShowPopup(x, y, m_valueAtPress);
        Refresh();
        return;
    }
    if (!StepAt(x, y, &lane, &step)) return;
    const ControlTrack* track = pattern->GetControlTrack(lane);
    if (step < static_cast<int>(track->steps.size()) && track->steps[static_cast<size_t>(step)].set) return;
    const float value = Clamp01(pattern_grid::LaneValueAt(y - LaneTop(lane)));
    m_edits.Apply(UndoCommands::SetControlStep(m_edits.Context(), pattern, lane, step, value));
}

void CControlLanes::EndDrag() {
    if (m_state != State::kDrag) return;
    m_popup->ShowWith(gui::ShowCommand::kHide);
    m_state = State::kHover;
    m_edits.History().EndGesture();
}

void CControlLanes::LeftButtonUp(int x, int y) {
    if (m_state != State::kDrag) return;
    EndDrag();
    int lane = 0, step = 0;
    if (HandleAt(x, y, &lane, &step)) {
        m_lane = lane;
        m_step = step;
    } else {
        ToIdle();
    }
    Refresh();
}

void CControlLanes::RightButtonDown(int x, int y) {
    Pattern* pattern = m_edits.Editor().CurrentPattern();
    int lane = 0, step = 0;
    if (!pattern || m_state == State::kDrag) return;
    if (m_state != State::kHover && !HandleAt(x, y, &lane, &step)) return;
    if (m_state == State::kHover) {
        lane = m_lane;
        step = m_step;
    }
    ToIdle();
    m_edits.Apply(UndoCommands::ClearControlStep(m_edits.Context(), pattern, lane, step));
    Refresh();
}

void CControlLanes::CaptureLost() {
    EndDrag();
    m_state = State::kIdle;
    m_lane = m_step = -1;
    if (m_popup) m_popup->ShowWith(gui::ShowCommand::kHide);
}

bool CControlLanes::WheelTurned(QWheelEvent* event) {
    m_wheelRest += event->angleDelta().y();
    const int notches = m_wheelRest / 120;
    m_wheelRest -= notches * 120;
    if (notches != 0) SetScrollY(m_scrollY - notches * kLaneHeight / 2);
    return true;
}

} // namespace pattern_editor
