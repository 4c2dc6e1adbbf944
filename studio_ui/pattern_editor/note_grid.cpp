#include "studio_ui/pattern_editor/note_grid.h"

#include "gui/band_fill.h"
#include "gui/scroll_bar.h"
#include "machine_interface/machine.h"
#include "sequencer/pattern.h"
#include "studio_ui/pattern_editor/editor_colors.h"
#include "studio_ui/pattern_editor/pattern_edits.h"
#include "studio_ui/pattern_editor/pattern_grid_geometry.h"

#include <QMouseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace pattern_editor {

using pattern_grid::kNoteRowPixels;
using pattern_grid::kStepPixels;

namespace {

constexpr int kBeatPixels = 4 * kStepPixels;
constexpr int kWheelRows = 3; // rows one notch of the wheel scrolls
constexpr int kWheelBeats = 4; // beats one notch scrolls with Shift
constexpr int kTopOctave = 10;

bool IsBlackKey(int note) {
    switch (note % 12) {
    case 1: case 3: case 6: case 8: case 10: return true;
    default: return false;
    }
}

} // namespace

CNoteGrid::CNoteGrid(CPatternEdits& edits) : m_edits(edits) {}

CNoteGrid::~CNoteGrid() = default;

void CNoteGrid::Build(gui::CControl* parent, int x, int y, int width, int height) {
    Create(parent, "NoteGrid", x, y, width, height, true);
    Widget()->setFocusPolicy(Qt::StrongFocus);
    m_vertical = std::make_unique<gui::CScrollBar>();
    m_vertical->Create(this, "NoteScroll", std::max(0, width - kScrollBarSize), 0, kScrollBarSize, height, true);
    m_vertical->Show();
    PatternShown();
}

Pattern* CNoteGrid::Current() const { return m_edits.Editor().CurrentPattern(); }

bool CNoteGrid::Named() const {
    const CMachine* machine = m_edits.Editor().SelectedMachine();
    return machine && machine->m_namedNoteCount > 0;
}

int CNoteGrid::ContentWidth() const { return std::max(0, Width() - kScrollBarSize); }

int CNoteGrid::VisibleBeats() const {
    const int room = ContentWidth() - kKeyColumn;
    return room <= 0 ? 0 : (room + kBeatPixels - 1) / kBeatPixels;
}

int CNoteGrid::VisibleRows() const { return (Height() + kNoteRowPixels - 1) / kNoteRowPixels; }

void CNoteGrid::SetFirstBeat(int beat) {
    beat = std::max(0, beat);
    if (beat == m_firstBeat) return;
    m_firstBeat = beat;
    ClearHover();
    Refresh();
}

void CNoteGrid::SetFirstRow(int row) {
    const int rows = m_edits.Editor().RowCount();
    const int fully = Height() / kNoteRowPixels;
    row = std::clamp(row, 0, std::max(0, rows - fully));
    m_vertical->SetValue(row);
    if (row == m_firstRow) return;
    m_firstRow = row;
    ClearHover();
    Refresh();
}

void CNoteGrid::UpdateVerticalRange() {
    const int rows = m_edits.Editor().RowCount();
    const int fully = std::max(1, Height() / kNoteRowPixels);
    m_vertical->SetRange(0, std::max(0, rows - fully));
    m_vertical->SetPage(fully);
    m_firstRow = std::clamp(m_firstRow, 0, std::max(0, rows - fully));
    m_vertical->SetValue(m_firstRow);
}

void CNoteGrid::PatternShown() {
    // Scrolled to the first beat and down to the pattern's highest note (for an empty pattern of
    // an ordinary machine, to the octave above middle C), not to note 127, which no bass line uses.
    m_firstBeat = 0;
    m_drag.reset();
    m_hover.reset();
    m_selection.clear();
    m_cursorStep = 0;
    CPatternEditor& editor = m_edits.Editor();
    int top = 0;
    if (!Named()) {
        int highest = 72;
        if (const Pattern* pattern = Current()) {
            int found = -1;
            for (const PatternNote* note = pattern->FirstNote(); note; note = note->next)
                found = std::max(found, note->note);
            if (found >= 0) highest = found + 2;
        }
        top = editor.RowForNote(std::min(127, highest));
    }
    m_firstRow = std::max(0, top);
    // A drum machine's cursor starts on its first row; an ordinary one on middle C when that is
    // in view, else on the top row in view.
    const int fully = std::max(1, Height() / kNoteRowPixels);
    const int middle = Named() ? 0 : editor.RowForNote(60);
    m_cursorRow = Named() || (middle >= m_firstRow && middle < m_firstRow + fully) ? middle : m_firstRow;
    m_cursorRow = std::clamp(m_cursorRow, 0, std::max(0, editor.RowCount() - 1));
    ModelChanged();
}

void CNoteGrid::ModelChanged() {
    if (!Widget()) return;
    UpdateVerticalRange();
    const int rows = m_edits.Editor().RowCount();
    m_cursorRow = std::clamp(m_cursorRow, 0, std::max(0, rows - 1));
    if (const Pattern* pattern = Current())
        m_cursorStep = std::clamp(m_cursorStep, 0, std::max(0, pattern->StepCount() - 1));
    // A selected note that is gone (undone, removed) leaves the selection.
    m_selection.erase(std::remove_if(m_selection.begin(), m_selection.end(),
                                     [this](const SelectedNote& chosen) { return !FindNote(chosen); }),
                      m_selection.end());
    if (m_hover && !FindNote(*m_hover)) ClearHover();
    Refresh();
}

void CNoteGrid::SizeChanged(int width, int height) {
    gui::CControl::SizeChanged(width, height);
    if (!m_vertical) return;
    m_vertical->MoveResize(std::max(0, width - kScrollBarSize), 0, kScrollBarSize, height);
    UpdateVerticalRange();
}

void CNoteGrid::ChildChanged(gui::CControl* child) {
    if (child != m_vertical.get()) return;
    m_firstRow = m_vertical->Value();
    ClearHover();
    Refresh();
}

// ----- Geometry -----

QPoint CNoteGrid::CellOrigin(int step, int note) const {
    const int row = m_edits.Editor().RowForNote(note);
    return {kKeyColumn + (step - m_firstBeat * 4) * kStepPixels, (row - m_firstRow) * kNoteRowPixels};
}

bool CNoteGrid::CellAt(int x, int y, int* step, int* note) const {
    if (x < kKeyColumn || x >= ContentWidth() || y < 0 || y >= Height()) return false;
    const int row = y / kNoteRowPixels + m_firstRow;
    if (row >= m_edits.Editor().RowCount()) return false;
    *step = (x - kKeyColumn) / kStepPixels + m_firstBeat * 4;
    *note = m_edits.Editor().NoteForRow(row);
    return true;
}

PatternNote* CNoteGrid::FindNote(const SelectedNote& wanted) const {
    const Pattern* pattern = Current();
    if (!pattern) return nullptr;
    for (PatternNote* note = pattern->FirstNote(); note; note = note->next)
        if (note->start == wanted.start && note->note == wanted.note && note->length == wanted.length) return note;
    return nullptr;
}

bool CNoteGrid::IsSelected(const PatternNote& note) const {
    return std::find(m_selection.begin(), m_selection.end(), SelectedNote{note.start, note.length, note.note}) !=
           m_selection.end();
}

// ----- Play marker -----

void CNoteGrid::SetPlayPosition(float steps) {
    int column = -1;
    if (steps >= 0.0f) {
        const float offset = steps - static_cast<float>(m_firstBeat * 4);
        const int x = kKeyColumn + static_cast<int>(std::floor(offset * kStepPixels));
        if (offset >= 0.0f && x >= kKeyColumn && x < ContentWidth()) column = x;
    }
    if (column == m_playColumn) return;
    m_playColumn = column;
    Refresh();
}

// ----- Drawing -----

void CNoteGrid::Render(QPainter& painter) {
    ++m_renders;
    CPatternEditor& editor = m_edits.Editor();
    const Pattern* pattern = Current();
    const int width = ContentWidth();
    const int height = Height();
    const int rows = editor.RowCount();
    const bool named = Named();
    const int steps = pattern ? pattern->StepCount() : 0;
    const int firstStep = m_firstBeat * 4;
    const int lastRow = std::min(rows, m_firstRow + VisibleRows());
    const int rowsBottom = (lastRow - m_firstRow) * kNoteRowPixels;

    painter.fillRect(0, 0, Width(), height, colors::kPastEnd);
    // Groups of four beats in alternating shades, then the room past the pattern's end.
    for (int beat = m_firstBeat - (m_firstBeat % 4); beat * 4 < steps; beat += 4) {
        const int x = kKeyColumn + (beat * 4 - firstStep) * kStepPixels;
        if (x >= width) break;
        const int end = std::min(steps, (beat + 4) * 4);
        const int right = kKeyColumn + (end - firstStep) * kStepPixels;
        const int left = std::max(kKeyColumn, x);
        painter.fillRect(left, 0, std::min(right, width) - left, rowsBottom,
                         (beat / 4) % 2 == 0 ? colors::kBeatsEven : colors::kBeatsOdd);
    }
    const int patternRight = std::min(width, kKeyColumn + (steps - firstStep) * kStepPixels);
    for (int row = m_firstRow; row < lastRow; ++row) {
        const int y = (row - m_firstRow) * kNoteRowPixels;
        const bool black = named ? row % 2 == 0 : IsBlackKey(editor.NoteForRow(row));
        if (black && patternRight > kKeyColumn)
            painter.fillRect(kKeyColumn, y, patternRight - kKeyColumn, kNoteRowPixels, colors::kBlackKeyRow);
        painter.fillRect(kKeyColumn, y + kNoteRowPixels - 1, patternRight - kKeyColumn, 1, colors::kRowLine);
    }
    for (int step = firstStep; step <= steps; ++step) {
        const int x = kKeyColumn + (step - firstStep) * kStepPixels;
        if (x >= width) break;
        const QColor& line = step % 16 == 0 ? colors::kBarLine : step % 4 == 0 ? colors::kBeatLine : colors::kStepLine;
        gui::FillInBands(painter, QRect(x, 0, 1, rowsBottom), line);
    }

    // Notes.
    if (pattern) {
        painter.setRenderHint(QPainter::Antialiasing, false);
        for (const PatternNote* note = pattern->FirstNote(); note; note = note->next) {
            const int row = editor.RowForNote(note->note);
            if (row < m_firstRow || row >= lastRow) continue;
            const int x = kKeyColumn + (note->start - firstStep) * kStepPixels;
            const int right = x + note->length * kStepPixels;
            if (right <= kKeyColumn || x >= width) continue;
            const int y = (row - m_firstRow) * kNoteRowPixels;
            const bool selected = IsSelected(*note);
            const bool hovered = m_hover && m_hover->start == note->start && m_hover->note == note->note;
            const QColor& fill = selected ? colors::kNoteSelected : hovered ? colors::kNoteHover : colors::kNote;
            const int left = std::max(x + 1, kKeyColumn);
            const QRect box(left, y + 1, std::min(right, width) - left - 1, kNoteRowPixels - 3);
            painter.fillRect(box, fill);
            painter.setPen(selected ? colors::kNoteSelectedEdge : colors::kNoteEdge);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(box.adjusted(0, 0, -1, -1));
        }
    }

    // The step-entry cursor.
    if (pattern && m_cursorRow >= m_firstRow && m_cursorRow < lastRow) {
        const int x = kKeyColumn + (m_cursorStep - firstStep) * kStepPixels;
        if (x >= kKeyColumn && x < width) {
            const int y = (m_cursorRow - m_firstRow) * kNoteRowPixels;
            painter.setPen(QPen(colors::kCursor, Widget() && Widget()->hasFocus() ? 2 : 1));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(x + 1, y + 1, kStepPixels - 2, kNoteRowPixels - 2);
        }
    }

    if (m_rubber) {
        painter.setPen(QPen(colors::kRubber, 1, Qt::DashLine));
        painter.setBrush(colors::kRubberFill);
        painter.drawRect(m_rubber->normalized());
    }

    // The key column, drawn once per scroll position and machine (its text is the costly part).
    const qreal density = Offscreen() ? Offscreen()->devicePixelRatio() : 1.0;
    const KeyColumnKey key{m_firstRow, height, rows, named, editor.SelectedMachine(), density};
    if (!(key == m_keyColumnKey) || m_keyColumn.isNull()) {
        m_keyColumnKey = key;
        m_keyColumn = QImage(qRound(kKeyColumn * density), qRound(height * density), QImage::Format_ARGB32_Premultiplied);
        m_keyColumn.setDevicePixelRatio(density);
        m_keyColumn.fill(colors::kPastEnd);
        QPainter keys(&m_keyColumn);
        DrawKeyColumn(keys, lastRow);
    }
    painter.drawImage(0, 0, m_keyColumn);
    painter.fillRect(kKeyColumn - 1, 0, 1, height, colors::kKeyEdge);

    // The play marker, inverted so it shows on any shade.
    if (m_playColumn >= 0) {
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.fillRect(m_playColumn - 1, 0, 3, height, Qt::white);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
}

void CNoteGrid::DrawKeyColumn(QPainter& keys, int lastRow) {
    CPatternEditor& editor = m_edits.Editor();
    const bool named = Named();
    keys.setFont(Font());
    for (int row = m_firstRow; row < lastRow; ++row) {
        const int y = (row - m_firstRow) * kNoteRowPixels;
        const int note = editor.NoteForRow(row);
        const bool black = named ? row % 2 == 0 : IsBlackKey(note);
        keys.fillRect(0, y, kKeyColumn, kNoteRowPixels, black && !named ? colors::kBlackKey : colors::kWhiteKey);
        if (named && black) keys.fillRect(0, y, kKeyColumn, kNoteRowPixels, colors::kBlackKeyRow);
        keys.fillRect(0, y + kNoteRowPixels - 1, kKeyColumn, 1, colors::kKeyEdge);
        keys.setPen(black && !named ? colors::kBlackKeyText : colors::kKeyText);
        QFont font = Font();
        font.setBold(!named && note % 12 == 0);
        keys.setFont(font);
        keys.drawText(QRect(6, y, kKeyColumn - 10, kNoteRowPixels), Qt::AlignLeft | Qt::AlignVCenter,
                         QString::fromStdString(editor.NoteLabel(note)));
    }
}

// ----- Mouse -----

void CNoteGrid::SetShape(Qt::CursorShape shape) {
    if (shape == m_shape) return;
    m_shape = shape;
    Widget()->setCursor(shape);
}

void CNoteGrid::ClearHover() {
    if (!m_hover) return;
    m_hover.reset();
    if (!m_drag) {
        SetShape(Qt::ArrowCursor);
        if (HasCapture()) ReleaseCapture();
    }
}

void CNoteGrid::Hover(int x, int y) {
    int step = 0, number = 0;
    PatternNote* note = CellAt(x, y, &step, &number) ? m_edits.Editor().NoteAt(step, number) : nullptr;
    if (!note) {
        if (m_hover) {
            ClearHover();
            Refresh();
        }
        return;
    }
    const SelectedNote now{note->start, note->length, note->note};
    const int left = kKeyColumn + (note->start - m_firstBeat * 4) * kStepPixels + 1;
    m_hoverZone = pattern_grid::ZoneAt(x - left, note->length);
    SetShape(m_hoverZone == NoteZone::Move ? Qt::SizeAllCursor : Qt::SizeHorCursor);
    if (!HasCapture()) SetCapture();
    if (m_hover == now) return;
    m_hover = now;
    Refresh();
}

void CNoteGrid::LeftButtonDown(int x, int y) {
    Widget()->setFocus(Qt::MouseFocusReason);
    if (!Current()) return;
    int step = 0, number = 0;
    if (!CellAt(x, y, &step, &number)) return;
    const Qt::KeyboardModifiers modifiers = m_pressModifiers;
    if (modifiers & Qt::ShiftModifier) {
        m_rubberStart = {x, y};
        m_rubber = QRect(m_rubberStart, m_rubberStart);
        SetCapture();
        Refresh();
        return;
    }
    m_cursorStep = step;
    m_cursorRow = m_edits.Editor().RowForNote(number);
    if (cursorMoved) cursorMoved();
    PatternNote* note = m_edits.Editor().NoteAt(step, number);
    if (note && (modifiers & Qt::ControlModifier)) {
        const SelectedNote chosen{note->start, note->length, note->note};
        auto found = std::find(m_selection.begin(), m_selection.end(), chosen);
        if (found == m_selection.end()) m_selection.push_back(chosen);
        else m_selection.erase(found);
        Refresh();
        return;
    }
    if (note) {
        Hover(x, y);
        Drag drag;
        drag.x0 = x;
        drag.y0 = y;
        drag.origin = drag.now = {note->start, note->length, note->note};
        drag.zone = m_hoverZone;
        if (m_selection.size() > 1 && IsSelected(*note)) {
            drag.group = true;
            drag.zone = NoteZone::Move;
            drag.groupOrigin = m_selection;
        } else {
            m_selection.clear();
        }
        m_drag = drag;
        m_edits.History().BeginGesture();
        if (!HasCapture()) SetCapture();
        Refresh();
        return;
    }
    m_selection.clear();
    m_edits.Apply(UndoCommands::AddNote(m_edits.Context(), Current(), step, m_edits.Editor().NoteLength(), number));
    Refresh();
}

bool CNoteGrid::HandleEvent(QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) m_pressModifiers = static_cast<QMouseEvent*>(event)->modifiers();
    return gui::CControl::HandleEvent(event);
}

void CNoteGrid::PointerMove(int x, int y) {
    if (m_rubber) {
        m_rubber = QRect(m_rubberStart, QPoint(x, y));
        const QRect area = m_rubber->normalized();
        int firstStep = 0, lastStep = 0, topNote = 0, bottomNote = 0;
        const int left = std::max(area.left(), kKeyColumn), right = std::min(area.right(), ContentWidth() - 1);
        const int top = std::max(area.top(), 0), bottom = std::min(area.bottom(), Height() - 1);
        if (Current() && CellAt(left, top, &firstStep, &topNote) && CellAt(right, bottom, &lastStep, &bottomNote))
            m_selection = NotesInRange(*Current(), firstStep, lastStep, std::min(topNote, bottomNote),
                                       std::max(topNote, bottomNote));
        Refresh();
        return;
    }
    if (m_drag) {
        if (m_drag->group) DragGroupTo(x, y);
        else DragTo(x, y);
        return;
    }
    Hover(x, y);
}

void CNoteGrid::DragTo(int x, int y) {
    Pattern* pattern = Current();
    PatternNote* note = FindNote(m_drag->now);
    if (!pattern || !note) {
        EndDrag();
        return;
    }
    CPatternEditor& editor = m_edits.Editor();
    const int steps = pattern_grid::StepsInDrag(x - m_drag->x0);
    const int rows = pattern_grid::RowsInDrag(y - m_drag->y0);
    const SelectedNote origin = m_drag->origin;
    SelectedNote next = m_drag->now;
    switch (m_drag->zone) {
    case NoteZone::Move: {
        const int newStart = origin.start + steps;
        const int newNote = Named() ? origin.note + rows : origin.note - rows;
        if (editor.IsValidNote(newStart, next.length, newNote, note)) {
            next.start = newStart;
            next.note = newNote;
        } else if (editor.IsValidNote(next.start, next.length, newNote, note)) {
            next.note = newNote;
        } else if (editor.IsValidNote(newStart, next.length, next.note, note)) {
            next.start = newStart;
        }
        break;
    }
    case NoteZone::ResizeStart: {
        const int length = origin.length - steps;
        if (length > 0 && editor.IsValidNote(origin.start + steps, length, next.note, note)) {
            next.start = origin.start + steps;
            next.length = length;
        }
        break;
    }
    case NoteZone::ResizeEnd: {
        const int length = origin.length + steps;
        if (length > 0 && editor.IsValidNote(next.start, length, next.note, note)) next.length = length;
        break;
    }
    }
    if (next == m_drag->now) return;
    const SelectedNote was = m_drag->now;
    if (m_drag->zone == NoteZone::Move)
        m_edits.Apply(UndoCommands::MoveNote(m_edits.Context(), pattern, was.start, was.note, next.start, next.note));
    else
        m_edits.Apply(
            UndoCommands::ResizeNote(m_edits.Context(), pattern, was.start, was.note, next.start, next.length));
    if (m_drag && FindNote(next)) {
        m_drag->now = next;
        m_hover = next;
    }
    Refresh();
}

void CNoteGrid::DragGroupTo(int x, int y) {
    Pattern* pattern = Current();
    if (!pattern) {
        EndDrag();
        return;
    }
    const int steps = pattern_grid::StepsInDrag(x - m_drag->x0);
    const int rows = pattern_grid::RowsInDrag(y - m_drag->y0);
    const int shift = Named() ? rows : -rows;
    if (steps == m_drag->steps && shift == m_drag->notes) return;
    // From where the group stands now to where the pointer asks for.
    const int byStep = steps - m_drag->steps, byNote = shift - m_drag->notes;
    if (!CanMoveNotes(*pattern, m_edits.Editor().RowCount(), m_selection, byStep, byNote)) return;
    const std::vector<SelectedNote> moving = m_selection;
    m_edits.Edit("Move Notes", [moving, byStep, byNote](Pattern& target) {
        std::vector<PatternNote*> found;
        for (const SelectedNote& chosen : moving)
            for (PatternNote* note = target.FirstNote(); note; note = note->next)
                if (note->start == chosen.start && note->note == chosen.note && note->length == chosen.length) {
                    found.push_back(note);
                    break;
                }
        for (PatternNote* note : found) target.SetNote(note, note->start + byStep, note->length, note->note + byNote);
    });
    if (!m_drag) return;
    for (SelectedNote& chosen : m_selection) {
        chosen.start += byStep;
        chosen.note += byNote;
    }
    m_drag->steps = steps;
    m_drag->notes = shift;
    m_hover.reset();
    Refresh();
}

void CNoteGrid::EndDrag() {
    if (!m_drag) return;
    m_drag.reset();
    m_edits.History().EndGesture();
}

void CNoteGrid::LeftButtonUp(int x, int y) {
    if (m_rubber) {
        m_rubber.reset();
        if (HasCapture()) ReleaseCapture();
        Refresh();
        return;
    }
    if (!m_drag) return;
    EndDrag();
    Hover(x, y);
    Refresh();
}

void CNoteGrid::RightButtonDown(int x, int y) {
    int step = 0, number = 0;
    if (!Current() || !CellAt(x, y, &step, &number)) return;
    PatternNote* note = m_edits.Editor().NoteAt(step, number);
    if (!note) return;
    EndDrag();
    const SelectedNote gone{note->start, note->length, note->note};
    m_selection.erase(std::remove(m_selection.begin(), m_selection.end(), gone), m_selection.end());
    m_hover.reset();
    SetShape(Qt::ArrowCursor);
    if (HasCapture()) ReleaseCapture();
    m_edits.Apply(UndoCommands::RemoveNote(m_edits.Context(), Current(), gone.start, gone.note));
    Refresh();
}

void CNoteGrid::CaptureLost() {
    // Another control took the pointer (a menu, a dialog): a drag ends where it stands.
    EndDrag();
    m_rubber.reset();
    m_hover.reset();
    SetShape(Qt::ArrowCursor);
}

bool CNoteGrid::WheelTurned(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    const bool sideways = (event->modifiers() & Qt::ShiftModifier) || (delta.y() == 0 && delta.x() != 0);
    m_wheelRest += delta.y() != 0 ? delta.y() : delta.x();
    const int notches = m_wheelRest / 120;
    m_wheelRest -= notches * 120;
    if (notches == 0) return true;
    if (sideways) {
        if (scrollBeats) scrollBeats(-notches * kWheelBeats);
    } else {
        SetFirstRow(m_firstRow - notches * kWheelRows);
    }
    return true;
}

// ----- Keys -----

void CNoteGrid::SetCursor(int step, int row) {
    const Pattern* pattern = Current();
    const int steps = pattern ? pattern->StepCount() : 1;
    m_cursorStep = std::clamp(step, 0, std::max(0, steps - 1));
    m_cursorRow = std::clamp(row, 0, std::max(0, m_edits.Editor().RowCount() - 1));
    EnsureCursorVisible();
    if (cursorMoved) cursorMoved();
    Refresh();
}

void CNoteGrid::SetOctave(int octave) {
    m_octave = std::clamp(octave, 0, kTopOctave);
    if (cursorMoved) cursorMoved();
}

void CNoteGrid::EnsureCursorVisible() {
    const int fully = std::max(1, Height() / kNoteRowPixels);
    if (m_cursorRow < m_firstRow) SetFirstRow(m_cursorRow);
    else if (m_cursorRow >= m_firstRow + fully) SetFirstRow(m_cursorRow - fully + 1);
    if (showBeat) showBeat(m_cursorStep / 4);
}

void CNoteGrid::EnterKey(int offset) {
    Pattern* pattern = Current();
    if (!pattern) return;
    CPatternEditor& editor = m_edits.Editor();
    const int named = Named() ? editor.RowCount() : 0;
    const int note = PianoKeyNote(offset, m_octave, named);
    if (note < 0) return;
    const int length = editor.NoteLength();
    if (!editor.IsValidNote(m_cursorStep, length, note, nullptr)) return;
    m_edits.Apply(UndoCommands::AddNote(m_edits.Context(), pattern, m_cursorStep, length, note));
    m_cursorRow = editor.RowForNote(note);
    // The cursor goes on by the note's length; at the pattern's end it stays on the last step.
    SetCursor(m_cursorStep + length, m_cursorRow);
}

bool CNoteGrid::KeyPressed(QKeyEvent* event) {
    const int key = event->key();
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool control = modifiers & Qt::ControlModifier;
    CPatternEditor& editor = m_edits.Editor();
    if (control) {
        switch (key) {
        case Qt::Key_C: CopySelection(); return true;
        case Qt::Key_V: PasteAtCursor(); return true;
        case Qt::Key_A: SelectAll(); return true;
        case Qt::Key_Z:
            // The window's Edit menu takes these when it has them; without it the grid does.
            if (modifiers & Qt::ShiftModifier) m_edits.History().Redo();
            else m_edits.History().Undo();
            return true;
        default: return false;
        }
    }
    const int offset = (modifiers & ~Qt::ShiftModifier) == Qt::NoModifier ? PianoKeyOffset(key) : -1;
    if (offset >= 0) {
        // A held key writes once.
        if (!event->isAutoRepeat()) EnterKey(offset);
        return true;
    }
    switch (key) {
    case Qt::Key_Left: SetCursor(m_cursorStep - 1, m_cursorRow); return true;
    case Qt::Key_Right: SetCursor(m_cursorStep + 1, m_cursorRow); return true;
    case Qt::Key_Up: SetCursor(m_cursorStep, m_cursorRow - 1); return true;
    case Qt::Key_Down: SetCursor(m_cursorStep, m_cursorRow + 1); return true;
    case Qt::Key_PageUp: SetOctave(m_octave + 1); return true;
    case Qt::Key_PageDown: SetOctave(m_octave - 1); return true;
    case Qt::Key_Escape: ClearSelection(); return true;
    case Qt::Key_Space:
        if (!event->isAutoRepeat()) editor.SetPlayPattern(!editor.IsPlayPatternDown());
        return true;
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        if (!m_selection.empty()) {
            DeleteSelection();
        } else if (Current()) {
            if (PatternNote* note = editor.NoteAt(m_cursorStep, editor.NoteForRow(m_cursorRow)))
                m_edits.Apply(UndoCommands::RemoveNote(m_edits.Context(), Current(), note->start, note->note));
        }
        return true;
    default: return false;
    }
}

// ----- Selection, copy and paste -----

void CNoteGrid::ClearSelection() {
    m_selection.clear();
    Refresh();
}

void CNoteGrid::SelectAll() {
    m_selection.clear();
    if (const Pattern* pattern = Current())
        for (const PatternNote* note = pattern->FirstNote(); note; note = note->next)
            m_selection.push_back({note->start, note->length, note->note});
    Refresh();
}

void CNoteGrid::DeleteSelection() {
    if (m_selection.empty() || !Current()) return;
    const std::vector<SelectedNote> gone = m_selection;
    m_selection.clear();
    m_hover.reset();
    m_edits.Edit("Delete Notes", [gone](Pattern& target) {
        for (const SelectedNote& chosen : gone)
            for (PatternNote* note = target.FirstNote(); note; note = note->next)
                if (note->start == chosen.start && note->note == chosen.note && note->length == chosen.length) {
                    target.RemoveNote(note);
                    break;
                }
    });
    Refresh();
}

void CNoteGrid::CopySelection() {
    std::vector<SelectedNote> copied = m_selection;
    // Without a selection the note under the cursor is copied.
    if (copied.empty() && Current())
        if (const PatternNote* note = m_edits.Editor().NoteAt(m_cursorStep, m_edits.Editor().NoteForRow(m_cursorRow)))
            copied.push_back({note->start, note->length, note->note});
    if (copied.empty()) return;
    int first = copied.front().start;
    for (const SelectedNote& note : copied) first = std::min(first, note.start);
    for (SelectedNote& note : copied) note.start -= first;
    m_edits.Clipboard() = std::move(copied);
}

void CNoteGrid::PasteAtCursor() {
    Pattern* pattern = Current();
    if (!pattern || m_edits.Clipboard().empty()) return;
    const std::vector<SelectedNote> notes = m_edits.Clipboard();
    const int at = m_cursorStep;
    CPatternEditor& editor = m_edits.Editor();
    const int rows = editor.RowCount();
    // Each note that fits is written; one that would leave the pattern or overlap is skipped.
    m_edits.Edit("Paste Notes", [notes, at, rows](Pattern& target) {
        for (const SelectedNote& copied : notes) {
            const int start = at + copied.start;
            if (copied.note < 0 || copied.note >= rows || start + copied.length > target.StepCount()) continue;
            bool free = true;
            for (const PatternNote* other = target.FirstNote(); other && free; other = other->next)
                free = other->note != copied.note || start >= other->start + other->length ||
                       other->start >= start + copied.length;
            if (free) target.AddNote(start, copied.length, copied.note);
        }
    });
    m_selection.clear();
    for (const SelectedNote& copied : notes) {
        const SelectedNote placed{at + copied.start, copied.length, copied.note};
        if (FindNote(placed)) m_selection.push_back(placed);
    }
    Refresh();
}

} // namespace pattern_editor
