#include "studio_ui/sequence_editor/sequence_view.h"

#include "gui/color_manager.h"
#include "gui/scroll_bar.h"
#include "sequencer/pattern.h"
#include "sequencer/sequence_editor.h"
#include "studio_ui/sequence_editor/song_grid_geometry.h"
#include "studio_ui/undo/undo_commands.h"
#include "studio_ui/undo/undo_stack.h"

#include <QEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QWidget>

#include <algorithm>

namespace sequence_editor {

using namespace song_grid;

namespace {

// The grid's own shades: the two beat groups, the room past the song's end, lines and boxes.
const QColor kGroupA(44, 44, 48);
const QColor kGroupB(54, 54, 60);
const QColor kPastEnd(28, 28, 30);
const QColor kBeatLine(62, 62, 68);
const QColor kGroupLine(86, 86, 94);
const QColor kRowLine(36, 36, 40);
const QColor kEntryFill(88, 136, 88);
const QColor kEntryHover(128, 188, 128);
const QColor kEntryEdge(200, 236, 200);
const QColor kEntryText(16, 24, 16);
const QColor kLabelSelected(64, 96, 64);

// Rows the wheel scrolls per notch, beats Shift+wheel scrolls per notch.
constexpr int kWheelRows = 3;
constexpr int kWheelBeats = kBeatsPerGroup;

} // namespace

CSequenceView::CSequenceView(CSequenceEditor& song, CUndoStack& undo, const UndoContext& context)
    : m_song(song), m_undo(undo), m_context(context) {}

CSequenceView::~CSequenceView() {
    // A drag cut short by the page going away still closes its step in the history.
    if (m_state == MouseState::kDrag) {
        m_song.EndEntryDrag();
        m_undo.EndGesture();
    }
}

void CSequenceView::Build(gui::CControl* parent, int x, int y, int width, int height) {
    Create(parent, "SequenceView", x, y, width, height, true);
    SetFont(gui::MakeFont("Verdana", 8, false));
    m_horizontal = std::make_unique<gui::CScrollBar>();
    m_horizontal->Create(this, "SongHorizontalBar", 0, 0, 1, kScrollBarPixels, false);
    m_vertical = std::make_unique<gui::CScrollBar>();
    m_vertical->Create(this, "SongVerticalBar", 0, 0, kScrollBarPixels, 1, true);
    LayOutBars();
    UpdateScrollRanges();
    m_horizontal->Show();
    m_vertical->Show();
}

void CSequenceView::LayOutBars() {
    if (!m_horizontal) return;
    const int gridWidth = std::max(1, Width() - kLabelPixels - kScrollBarPixels);
    m_horizontal->MoveResize(kLabelPixels, std::max(0, Height() - kScrollBarPixels), gridWidth, kScrollBarPixels);
    m_vertical->MoveResize(std::max(0, Width() - kScrollBarPixels), kRulerPixels, kScrollBarPixels,
                           std::max(1, Height() - kRulerPixels - kScrollBarPixels));
}

void CSequenceView::UpdateScrollRanges() {
    if (!m_horizontal) return;
    const int32_t beats = VisibleBeats(Width());
    const int32_t rows = VisibleRows(Height());
    m_horizontal->SetRange(0, std::max(0, m_song.Length() - beats));
    m_horizontal->SetPage(beats);
    m_vertical->SetRange(0, std::max(0, m_song.Song().TrackCount() - rows));
    m_vertical->SetPage(rows);
    // The bars hold the values to their ranges; the view shows what they show.
    m_firstBeat = m_horizontal->Value();
    m_firstRow = m_vertical->Value();
}

void CSequenceView::ScrollTo(int32_t firstBeat, int32_t firstRow) {
    m_horizontal->SetValue(firstBeat);
    m_vertical->SetValue(firstRow);
    m_firstBeat = m_horizontal->Value();
    m_firstRow = m_vertical->Value();
    m_markerX = MarkerX(m_markerSteps, m_firstBeat);
    Refresh();
}

void CSequenceView::SizeChanged(int width, int height) {
    LayOutBars();
    UpdateScrollRanges();
    m_markerX = MarkerX(m_markerSteps, m_firstBeat);
    gui::CControl::SizeChanged(width, height);
}

void CSequenceView::SongChanged() {
    if (m_hoverEntry && !IsOnRow(m_hoverRow, m_hoverEntry)) {
        // The placement went under the pointer (undone, removed with its pattern or machine).
        if (m_state == MouseState::kDrag) {
            EndDrag();
            if (HasCapture()) ReleaseCapture();
        }
        m_state = MouseState::kIdle;
        m_hoverRow = -1;
        m_hoverEntry = nullptr;
        if (Widget()) Widget()->unsetCursor();
    }
    UpdateScrollRanges();
    m_markerX = MarkerX(m_markerSteps, m_firstBeat);
    Refresh();
}

bool CSequenceView::MoveMarker(float positionSteps) {
    const int gridRight = Width() - kScrollBarPixels;
    const bool wasFollowed = m_markerSteps < 0.0f || (m_markerX >= 0 && m_markerX < gridRight);
    m_markerSteps = positionSteps;
    int32_t x = MarkerX(positionSteps, m_firstBeat);
    // The view follows the song a page at a time: a marker that was in sight (or a song that just
    // started) and leaves the grid brings its beat group to the left edge. A marker the user
    // scrolled away from is left alone, and so is the view during a drag.
    const bool outOfSight = x < 0 || x >= gridRight;
    if (positionSteps >= 0.0f && wasFollowed && outOfSight && m_state != MouseState::kDrag) {
        const int32_t beat = static_cast<int32_t>(positionSteps / kStepsPerBeat);
        m_horizontal->SetValue(beat - beat % kBeatsPerGroup);
        m_firstBeat = m_horizontal->Value();
        x = MarkerX(positionSteps, m_firstBeat);
    }
    if (x == m_markerX) return false;
    m_markerX = x;
    ++m_markerRepaints;
    Refresh();
    return true;
}

// ----- hit tests -----

SequenceEntry* CSequenceView::EntryAt(int32_t row, int32_t beat) const {
    if (row < 0 || beat < 0) return nullptr;
    return m_song.EntryAt(row, beat);
}

bool CSequenceView::IsOnRow(int32_t row, const SequenceEntry* entry) const {
    if (!entry || row < 0 || row >= m_song.Song().TrackCount()) return false;
    for (const SequenceEntry* candidate : m_song.Song().GetTrack(row)->entries)
        if (candidate == entry) return true;
    return false;
}

void CSequenceView::SetHover(int32_t row, SequenceEntry* entry) {
    if (row == m_hoverRow && entry == m_hoverEntry) return;
    m_hoverRow = entry ? row : -1;
    m_hoverEntry = entry;
    m_state = entry ? MouseState::kHover : MouseState::kIdle;
    if (Widget()) {
        if (entry)
            Widget()->setCursor(Qt::SizeHorCursor);
        else
            Widget()->unsetCursor();
    }
    Refresh();
}

// ----- mouse -----

void CSequenceView::LeftButtonDown(int x, int y) {
    if (m_state == MouseState::kDrag) return;
    const int32_t row = RowAt(y, m_firstRow, m_song.Song().TrackCount());
    if (row < 0 || x >= Width() - kScrollBarPixels) return;
    if (x <= kLastLabelX) {
        m_song.SelectRow(row);
        Edited();
        return;
    }
    const int32_t beat = BeatAt(x, m_firstBeat, m_song.Length());
    if (beat < 0) return;
    // A press on a placement takes it up for a drag, whether or not the pointer was seen
    // arriving over it first.
    if (SequenceEntry* entry = EntryAt(row, beat)) {
        SetHover(row, entry);
        m_state = MouseState::kDrag;
        m_pressX = x;
        m_song.BeginEntryDrag(row, entry);
        m_undo.BeginGesture();
        SetCapture();
        return;
    }
    // Only the selected row places, and only a pattern that fits; anything else keeps no step.
    m_undo.Do(UndoCommands::EditSong(m_context, "Place Pattern",
                                     [row, beat](CSequenceEditor& song) { song.PlaceAt(row, beat); }));
    Edited();
}

void CSequenceView::PointerMove(int x, int y) {
    if (m_state == MouseState::kDrag) {
        if (!IsOnRow(m_hoverRow, m_hoverEntry)) return;
        const int32_t beats = BeatsInDrag(x - m_pressX);
        m_undo.Do(UndoCommands::EditSong(m_context, "Move Pattern",
                                         [beats](CSequenceEditor& song) { song.DragEntry(beats); }));
        Edited();
        return;
    }
    const int32_t row = RowAt(y, m_firstRow, m_song.Song().TrackCount());
    const int32_t beat = BeatAt(x, m_firstBeat, m_song.Length());
    SetHover(row, x < Width() - kScrollBarPixels ? EntryAt(row, beat) : nullptr);
}

void CSequenceView::EndDrag() {
    m_song.EndEntryDrag();
    m_undo.EndGesture();
    m_state = m_hoverEntry ? MouseState::kHover : MouseState::kIdle;
}

void CSequenceView::LeftButtonUp(int, int) {
    if (m_state != MouseState::kDrag) return;
    EndDrag();
    ReleaseCapture();
}

bool CSequenceView::HandleEvent(QEvent* event) {
    // The pointer leaving the view ends a hover (not a drag: the capture keeps it).
    if (event->type() == QEvent::Leave && m_state == MouseState::kHover) SetHover(-1, nullptr);
    return gui::CControl::HandleEvent(event);
}

void CSequenceView::CaptureLost() {
    if (m_state == MouseState::kDrag) EndDrag();
}

void CSequenceView::RightButtonDown(int x, int y) {
    if (m_state == MouseState::kDrag) return;
    const int32_t row = RowAt(y, m_firstRow, m_song.Song().TrackCount());
    const int32_t beat = BeatAt(x, m_firstBeat, m_song.Length());
    if (row < 0 || beat < 0 || x >= Width() - kScrollBarPixels || !EntryAt(row, beat)) return;
    m_undo.Do(UndoCommands::RemoveEntry(m_context, row, beat));
    Edited();
}

bool CSequenceView::WheelTurned(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    const bool sideways = (event->modifiers() & Qt::ShiftModifier) || (delta.x() != 0 && delta.y() == 0);
    const int turn = delta.y() != 0 ? delta.y() : delta.x();
    const int notches = turn / 120 != 0 ? turn / 120 : (turn > 0 ? 1 : (turn < 0 ? -1 : 0));
    if (notches == 0) return true;
    if (sideways)
        ScrollTo(m_firstBeat - notches * kWheelBeats, m_firstRow);
    else
        ScrollTo(m_firstBeat, m_firstRow - notches * kWheelRows);
    return true;
}

void CSequenceView::ChildChanged(gui::CControl* child) {
    if (child == m_horizontal.get() || child == m_vertical.get())
        ScrollTo(m_horizontal->Value(), m_vertical->Value());
}

// ----- drawing -----

void CSequenceView::Render(QPainter& painter) {
    ++m_renders;
    const gui::CColorManager& colors = Colors();
    painter.fillRect(0, 0, Width(), Height(), colors.Brush(gui::kSlotFace));
    const int32_t lastBeat = std::min(m_song.Length(), m_firstBeat + VisibleBeats(Width()) + 1);
    RenderRows(painter, lastBeat);
    RenderRuler(painter, lastBeat);
    RenderMarker(painter);
    // The corner between the two scroll bars.
    painter.fillRect(Width() - kScrollBarPixels, Height() - kScrollBarPixels, kScrollBarPixels, kScrollBarPixels,
                     colors.Brush(gui::kSlotFace));
    painter.fillRect(0, Height() - kScrollBarPixels, kLabelPixels, kScrollBarPixels, colors.Brush(gui::kSlotFace));
}

void CSequenceView::RenderRuler(QPainter& painter, int32_t lastBeat) {
    const gui::CColorManager& colors = Colors();
    const int gridRight = Width() - kScrollBarPixels;
    painter.fillRect(0, 0, Width(), kRulerPixels, colors.Brush(gui::kSlotFace));
    painter.setPen(colors.Pen(gui::kSlotBevelShadow));
    painter.drawLine(0, kRulerPixels - 1, Width() - 1, kRulerPixels - 1);
    painter.setPen(colors.Pen(gui::kSlotButtonText));
    painter.drawText(QRect(6, 0, kLabelPixels - 12, kRulerPixels - 1), Qt::AlignLeft | Qt::AlignVCenter,
                     QString("Song: %1 beats").arg(m_song.Length()));
    painter.save();
    painter.setClipRect(kLabelPixels, 0, std::max(0, gridRight - kLabelPixels), kRulerPixels);
    // A tick at every beat group, numbered with its beat.
    const int32_t firstGroup = m_firstBeat - m_firstBeat % kBeatsPerGroup;
    for (int32_t beat = firstGroup; beat < lastBeat; beat += kBeatsPerGroup) {
        const int x = BeatX(beat, m_firstBeat);
        painter.setPen(colors.Pen(gui::kSlotDisabledText));
        painter.drawLine(x, kRulerPixels - 6, x, kRulerPixels - 2);
        painter.setPen(colors.Pen(gui::kSlotButtonText));
        painter.drawText(QRect(x + 2, 0, kBeatsPerGroup * kBeatPixels - 3, kRulerPixels - 2),
                         Qt::AlignLeft | Qt::AlignVCenter, QString::number(beat));
    }
    painter.restore();
}

void CSequenceView::RenderRows(QPainter& painter, int32_t lastBeat) {
    const gui::CColorManager& colors = Colors();
    const Sequence& song = m_song.Song();
    const int gridRight = Width() - kScrollBarPixels;
    const int gridBottom = Height() - kScrollBarPixels;
    const int songRight = std::min(gridRight, BeatX(m_song.Length(), m_firstBeat));

    // The grid's ground: beat groups inside the song, darker past its end; beat lines.
    painter.save();
    painter.setClipRect(kLabelPixels, kRulerPixels, std::max(0, gridRight - kLabelPixels),
                        std::max(0, gridBottom - kRulerPixels));
    painter.fillRect(kLabelPixels, kRulerPixels, gridRight - kLabelPixels, gridBottom - kRulerPixels, kPastEnd);
    for (int32_t beat = m_firstBeat; beat < lastBeat; ++beat)
        painter.fillRect(BeatX(beat, m_firstBeat), kRulerPixels, kBeatPixels, gridBottom - kRulerPixels,
                         IsShadedBeat(beat) ? kGroupB : kGroupA);
    for (int32_t beat = m_firstBeat; beat <= lastBeat; ++beat) {
        const int x = BeatX(beat, m_firstBeat);
        if (x > songRight) break;
        painter.setPen(beat % kBeatsPerGroup == 0 ? kGroupLine : kBeatLine);
        painter.drawLine(x, kRulerPixels, x, gridBottom - 1);
    }
    painter.restore();

    const int32_t rows = song.TrackCount();
    const int32_t lastRow = std::min(rows, m_firstRow + VisibleRows(Height()) + 1);
    const QFontMetrics metrics(Font());
    for (int32_t row = m_firstRow; row < lastRow; ++row) {
        const int y = RowY(row, m_firstRow);
        if (y >= gridBottom) break;
        // The label.
        const bool selected = row == m_song.SelectedRow();
        painter.fillRect(0, y, kLabelPixels, kRowPixels,
                         selected ? QBrush(kLabelSelected) : colors.Brush(gui::kSlotFace));
        painter.setPen(selected ? colors.Pen(gui::kSlotWhite) : colors.Pen(gui::kSlotButtonText));
        const QString label = metrics.elidedText(QString::fromStdString(m_song.RowLabel(row)), Qt::ElideRight,
                                                 kLabelPixels - 12);
        painter.drawText(QRect(6, y, kLabelPixels - 12, kRowPixels), Qt::AlignLeft | Qt::AlignVCenter, label);
        painter.setPen(colors.Pen(gui::kSlotBevelShadow));
        painter.drawLine(0, y + kRowPixels - 1, kLabelPixels - 1, y + kRowPixels - 1);

        // The row's placements: only those reaching into the visible beats are drawn.
        painter.save();
        painter.setClipRect(kLabelPixels, std::max(y, kRulerPixels), std::max(0, gridRight - kLabelPixels),
                            std::max(0, std::min(kRowPixels, gridBottom - y)));
        painter.setPen(kRowLine);
        painter.drawLine(kLabelPixels, y + kRowPixels - 1, songRight, y + kRowPixels - 1);
        for (const SequenceEntry* entry : song.GetTrack(row)->entries) {
            const int32_t length = entry->pattern->Length();
            if (entry->start >= lastBeat || entry->start + length <= m_firstBeat) continue;
            const int x = BeatX(entry->start, m_firstBeat);
            const QRect box(x + 1, y + 1, length * kBeatPixels - 2, kRowPixels - 3);
            const bool hovered = entry == m_hoverEntry && row == m_hoverRow;
            painter.setPen(hovered ? QPen(kEntryEdge) : QPen(kEntryFill.darker(150)));
            painter.setBrush(hovered ? kEntryHover : kEntryFill);
            painter.drawRect(box.adjusted(0, 0, -1, -1));
            painter.setPen(kEntryText);
            // The name stays readable at the left of what is shown of the box.
            QRect text = box.adjusted(4, 0, -3, 0);
            if (text.left() < kLabelPixels + 3) text.setLeft(kLabelPixels + 3);
            painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                             metrics.elidedText(QString::fromUtf8(entry->pattern->Name()), Qt::ElideRight,
                                                std::max(0, text.width())));
        }
        painter.restore();
    }
    // The label column's right edge.
    painter.setPen(colors.Pen(gui::kSlotBevelShadow));
    painter.drawLine(kLabelPixels - 1, 0, kLabelPixels - 1, gridBottom - 1);
}

void CSequenceView::RenderMarker(QPainter& painter) {
    if (m_markerX < 0) return;
    const int gridRight = Width() - kScrollBarPixels;
    if (m_markerX >= gridRight) return;
    const int width = std::min(kMarkerPixels, gridRight - m_markerX);
    painter.save();
    // Inverted: white through "difference" turns every colour into its complement.
    painter.setCompositionMode(QPainter::CompositionMode_Difference);
    painter.fillRect(m_markerX, 0, width, Height() - kScrollBarPixels, Qt::white);
    painter.restore();
}

} // namespace sequence_editor
