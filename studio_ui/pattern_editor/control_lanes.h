// CControlLanes: the current pattern's control tracks under the note grid, one 128-pixel lane
// each: a label column naming the parameter ("Velocity" or the machine's own name), then the
// grid's step columns and beat shading, with a 12 x 12 handle for every set step, 1 at the lane's
// top and 0 114 pixels below.
//
// Mouse: a left press on an unset step sets it to the value under the pointer; over a handle the
// up-down size cursor shows, a left press drags it (a pop-up next to the pointer shows the value
// in the machine's own words) and a right press clears it. Lanes scroll with their own vertical
// bar and the wheel; the beats scroll with the page's shared bar.
//
// Every edit goes through the undo history (a drag is one step).
//
// Threads: user-interface thread only.
#pragma once

#include "gui/control.h"

#include <memory>

namespace gui {
class CLabel;
class CScrollBar;
} // namespace gui

namespace pattern_editor {

class CPatternEdits;

class CControlLanes : public gui::CControl {
public:
    enum class State { kIdle, kHover, kDrag };

    explicit CControlLanes(CPatternEdits& edits);
    ~CControlLanes() override;

    void Build(gui::CControl* parent, int x, int y, int width, int height);
    void SetFirstBeat(int beat);
    int FirstBeat() const { return m_firstBeat; }
    // Pixels the lanes are scrolled down.
    int ScrollY() const { return m_scrollY; }
    void SetScrollY(int pixels);
    void ScrollToBottom();
    // The model changed (steps, tracks, another pattern): the scroll range and picture follow.
    void ModelChanged();

    State CurrentState() const { return m_state; }
    // The value pop-up while a handle is dragged (hidden otherwise).
    gui::CLabel& Popup() { return *m_popup; }
    // The top of a lane in this control's pixels.
    int LaneTop(int lane) const;
    // The x of a step's column (its left edge).
    int StepX(int step) const;

    void Render(QPainter& painter) override;
    void SizeChanged(int width, int height) override;
    void ChildChanged(gui::CControl* child) override;
    void LeftButtonDown(int x, int y) override;
    void LeftButtonUp(int x, int y) override;
    void RightButtonDown(int x, int y) override;
    void PointerMove(int x, int y) override;
    void CaptureLost() override;
    bool WheelTurned(QWheelEvent* event) override;

private:
    // The lane and step under a pixel; false outside the lanes' step columns.
    bool StepAt(int x, int y, int* lane, int* step) const;
    // The set step whose handle is under the pixel.
    bool HandleAt(int x, int y, int* lane, int* step) const;
    int ContentWidth() const;
    int TotalHeight() const;
    void UpdateRange();
    void ShowPopup(int x, int y, float value);
    void EndDrag();
    void ToIdle();

    CPatternEdits& m_edits;
    std::unique_ptr<gui::CScrollBar> m_vertical;
    std::unique_ptr<gui::CLabel> m_popup;
    int m_firstBeat = 0;
    int m_scrollY = 0;
    State m_state = State::kIdle;
    int m_lane = -1, m_step = -1; // the handle hovered or dragged
    int m_y0 = 0;
    float m_valueAtPress = 0.0f;
    int m_wheelRest = 0;
};

} // namespace pattern_editor
