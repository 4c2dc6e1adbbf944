// CNoteGrid: the pattern editor's note grid. A key column of note names (or the drum machine's
// named rows) on the left, 14 pixels per step and 16 per row, black-key rows and alternating
// groups of four beats shaded, the current pattern's notes as boxes, its own vertical scroll bar
// on the right. The horizontal scroll (first visible beat) is the page's, shared with the lanes.
//
// Mouse: a left press on an empty cell writes a note of the chosen length; a press on a note
// drags it (its left five pixels move its start, its last seven its end, the rest the whole note,
// shown by the left-right and four-way size cursors); a right press removes it. Shift+drag draws
// a rubber band that selects the notes it touches; Ctrl+click adds a note to the selection or
// takes it out; dragging a selected note moves the whole selection. The wheel scrolls the rows,
// Shift+wheel the beats.
//
// Keys: a cursor cell for step entry. The two piano rows of the keyboard (Z-M and Q-U) write a
// note of the chosen length at the cursor from the current octave and move the cursor on by that
// length; held keys repeat nothing. Arrows move the cursor, Page Up/Down change the octave,
// Delete removes the selection or the note under the cursor, Ctrl+C/Ctrl+V copy the selection
// and paste it at the cursor, Ctrl+A selects every note, Space plays or stops the pattern.
//
// Every edit goes through the undo history (a drag is one step). The grid draws from the model
// and redraws when the page tells it the model changed.
//
// Threads: user-interface thread only. The play marker's position comes from the page's timer.
#pragma once

#include "gui/control.h"
#include "sequencer/pattern_editor.h"
#include "studio_ui/pattern_editor/page_layout.h"

#include <QImage>
#include <QRect>

#include <functional>
#include <optional>
#include <vector>

class Pattern;
struct PatternNote;

namespace gui {
class CScrollBar;
}

namespace pattern_editor {

class CPatternEdits;

class CNoteGrid : public gui::CControl {
public:
    explicit CNoteGrid(CPatternEdits& edits);
    ~CNoteGrid() override;

    void Build(gui::CControl* parent, int x, int y, int width, int height);

    // ----- Scrolling -----
    int FirstBeat() const { return m_firstBeat; }
    void SetFirstBeat(int beat);
    int FirstRow() const { return m_firstRow; }
    // Clamped to the rows there are; the vertical bar follows.
    void SetFirstRow(int row);
    // Beats at least partly in view right of the key column.
    int VisibleBeats() const;
    int VisibleRows() const;
    // Another pattern (or none) is shown: scrolled to its first beat and to its highest note.
    void PatternShown();
    // The model changed: the rows, the scroll range and the picture follow.
    void ModelChanged();
    gui::CScrollBar& VerticalBar() { return *m_vertical; }

    // ----- Play marker -----
    // Play position in steps, -1 for none. The grid is drawn again only when the marker's pixel
    // column changes.
    void SetPlayPosition(float steps);
    // The marker's left pixel column (it is 3 wide, centred here), -1 when not shown.
    int PlayColumn() const { return m_playColumn; }
    // How often the grid's picture was drawn.
    int RenderCount() const { return m_renders; }

    // ----- Geometry -----
    // Grid pixels of a cell's top-left corner; the cell is 14 x 16.
    QPoint CellOrigin(int step, int note) const;
    // The cell under a grid pixel; false outside the grid (key column, scroll bar, past the rows).
    bool CellAt(int x, int y, int* step, int* note) const;

    // ----- Step entry and selection -----
    int CursorStep() const { return m_cursorStep; }
    int CursorRow() const { return m_cursorRow; }
    void SetCursor(int step, int row);
    int Octave() const { return m_octave; }
    void SetOctave(int octave);
    const std::vector<SelectedNote>& Selection() const { return m_selection; }
    void ClearSelection();
    void SelectAll();
    void DeleteSelection();
    void CopySelection();
    void PasteAtCursor();

    // The page's part: scroll the shared bar by beats (wheel) or so that a beat shows; the octave
    // or cursor changed (for the tool bar's read-out).
    std::function<void(int beats)> scrollBeats;
    std::function<void(int beat)> showBeat;
    std::function<void()> cursorMoved;

    void Render(QPainter& painter) override;
    void SizeChanged(int width, int height) override;
    void ChildChanged(gui::CControl* child) override;
    void LeftButtonDown(int x, int y) override;
    void LeftButtonUp(int x, int y) override;
    void RightButtonDown(int x, int y) override;
    void PointerMove(int x, int y) override;
    void CaptureLost() override;
    bool KeyPressed(QKeyEvent* event) override;
    bool WheelTurned(QWheelEvent* event) override;
    // Keeps the modifiers of a press (Shift starts a rubber band, Ctrl picks notes).
    bool HandleEvent(QEvent* event) override;

private:
    struct Drag {
        NoteZone zone = NoteZone::Move;
        int x0 = 0, y0 = 0;
        SelectedNote origin;
        SelectedNote now;
        bool group = false;
        std::vector<SelectedNote> groupOrigin; // a selection moving together
        int steps = 0, notes = 0;              // where the group stands from its origin
    };

    Pattern* Current() const;
    bool Named() const;
    int ContentWidth() const;
    PatternNote* FindNote(const SelectedNote& note) const;
    void Hover(int x, int y);
    void ClearHover();
    void DragTo(int x, int y);
    void DragGroupTo(int x, int y);
    void EndDrag();
    void UpdateVerticalRange();
    void EnsureCursorVisible();
    void EnterKey(int offset);
    bool IsSelected(const PatternNote& note) const;
    void SetShape(Qt::CursorShape shape);
    // Note names (or the drum machine's rows) from the first visible row to lastRow.
    void DrawKeyColumn(QPainter& keys, int lastRow);

    // What the cached key column was drawn for.
    struct KeyColumnKey {
        int firstRow = -1, height = 0, rows = 0;
        bool named = false;
        const void* machine = nullptr;
        qreal density = 0.0;
        bool operator==(const KeyColumnKey&) const = default;
    };

    CPatternEdits& m_edits;
    std::unique_ptr<gui::CScrollBar> m_vertical;
    int m_firstBeat = 0;
    int m_firstRow = 0;
    std::optional<SelectedNote> m_hover;
    NoteZone m_hoverZone = NoteZone::Move;
    std::optional<Drag> m_drag;
    std::optional<QRect> m_rubber; // grid pixels, from the press to the pointer
    QPoint m_rubberStart;
    std::vector<SelectedNote> m_selection;
    int m_cursorStep = 0;
    int m_cursorRow = 0;
    int m_octave = 5;
    int m_playColumn = -1;
    int m_renders = 0;
    int m_wheelRest = 0; // eighths of a degree not yet turned into rows
    Qt::CursorShape m_shape = Qt::ArrowCursor;
    Qt::KeyboardModifiers m_pressModifiers;
    QImage m_keyColumn;
    KeyColumnKey m_keyColumnKey;
};

} // namespace pattern_editor
