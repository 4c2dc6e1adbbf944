// CSequenceView: the song grid of the sequence editor page. A 196-pixel column of row labels
// ("machine.port", the selected row highlighted) on the left, a beat ruler on top, then one
// 14-pixel column per beat (groups of four beats shaded alike) and one 16-pixel row per control
// input port; every placement is a box over its pattern's length labelled with the pattern's
// name, the one under the mouse highlighted. A vertical scroll bar on the right and a horizontal
// one at the bottom (16 pixels each); the wheel scrolls rows, Shift+wheel scrolls beats.
//
// Mouse: a left click on a label selects its row; a left press on an empty cell of the selected
// row places the row's chosen pattern there when it fits; a left press on a placement drags it
// (the model keeps it at its last good start while it would overlap a neighbour, then it jumps
// past); a right press on a placement removes it. Every edit goes through the undo history, a
// drag as one step.
//
// The play marker is a 3-pixel inverted line at the song position; the view repaints for it only
// when its pixel column changes.
//
// Threads: user-interface thread only. The view never owns the song; the page tells it of the
// model's news (SongChanged, MoveMarker) from the user-interface thread.
#pragma once

#include "gui/control.h"

#include <cstdint>
#include <functional>
#include <memory>

class CSequenceEditor;
class CUndoStack;
struct SequenceEntry;
struct UndoContext;

namespace gui {
class CScrollBar;
}

namespace sequence_editor {

class CSequenceView : public gui::CControl {
public:
    enum class MouseState { kIdle, kHover, kDrag };

    // The song, the history and what its commands edit outlive the view.
    CSequenceView(CSequenceEditor& song, CUndoStack& undo, const UndoContext& context);
    ~CSequenceView() override;

    // Makes the control "SequenceView" with its scroll bars inside parent.
    void Build(gui::CControl* parent, int x, int y, int width, int height);
    // Called after the view edited the song or selected a row, so the page catches up at once.
    void SetEditedCallback(std::function<void()> edited) { m_edited = std::move(edited); }

    // Rows, placements, the length or the selection changed: the scroll ranges follow and the
    // grid is drawn again. A hovered or dragged placement that is gone is forgotten.
    void SongChanged();
    // The song position in steps (negative: not playing). Repaints only when the marker's pixel
    // column (or its visibility) changed; true when it did.
    bool MoveMarker(float positionSteps);

    int32_t FirstBeat() const { return m_firstBeat; }
    int32_t FirstRow() const { return m_firstRow; }
    // Scrolls so the beat and the row are the first shown (held to the scroll ranges).
    void ScrollTo(int32_t firstBeat, int32_t firstRow);
    // The marker's left pixel column, -1 while it is not drawn.
    int32_t MarkerColumn() const { return m_markerX; }
    // How often the marker's move repainted the view; how often the grid was drawn at all.
    int MarkerRepaints() const { return m_markerRepaints; }
    int Renders() const { return m_renders; }
    MouseState State() const { return m_state; }
    gui::CScrollBar* HorizontalBar() const { return m_horizontal.get(); }
    gui::CScrollBar* VerticalBar() const { return m_vertical.get(); }

    // gui::CControl
    void SizeChanged(int width, int height) override;
    void LeftButtonDown(int x, int y) override;
    void LeftButtonUp(int x, int y) override;
    void RightButtonDown(int x, int y) override;
    void PointerMove(int x, int y) override;
    void CaptureLost() override;
    bool HandleEvent(QEvent* event) override;
    bool WheelTurned(QWheelEvent* event) override;
    void ChildChanged(gui::CControl* child) override;
    void Render(QPainter& painter) override;

private:
    void LayOutBars();
    void UpdateScrollRanges();
    // The placement of the row covering the beat, or null.
    SequenceEntry* EntryAt(int32_t row, int32_t beat) const;
    // Whether the pointer still names a placement of the row (undo makes placements anew).
    bool IsOnRow(int32_t row, const SequenceEntry* entry) const;
    void SetHover(int32_t row, SequenceEntry* entry);
    void EndDrag();
    void Edited() {
        if (m_edited) m_edited();
    }
    void RenderRuler(QPainter& painter, int32_t lastBeat);
    void RenderRows(QPainter& painter, int32_t lastBeat);
    void RenderMarker(QPainter& painter);

    CSequenceEditor& m_song;
    CUndoStack& m_undo;
    const UndoContext& m_context;
    std::function<void()> m_edited;
    std::unique_ptr<gui::CScrollBar> m_horizontal;
    std::unique_ptr<gui::CScrollBar> m_vertical;

    int32_t m_firstBeat = 0;
    int32_t m_firstRow = 0;
    MouseState m_state = MouseState::kIdle;
    int32_t m_hoverRow = -1;
    SequenceEntry* m_hoverEntry = nullptr; // compared with the row's placements before any use
    int32_t m_pressX = 0;

    float m_markerSteps = -1.0f;
    int32_t m_markerX = -1;
    int m_markerRepaints = 0;
    int m_renders = 0;
};

} // namespace sequence_editor
