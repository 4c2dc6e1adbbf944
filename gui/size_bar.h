// CSizeBar: a thin divider between two panes that the user drags to share the room between them.
// A left-right bar stands upright between a left and a right pane, shows the left-right size
// cursor and moves sideways; an up-down bar lies between an upper and a lower pane, shows the
// up-down size cursor and moves up and down. Its position is its left (or top) edge in the
// parent's coordinates, kept between the limits the owner sets and inside the parent. Each move
// while dragging reports the new position to the parent (ChildChanged); the owner converts it to
// its own measure (a fraction of the width, say) and lays out the panes.
//
// Threads: user-interface thread only.
#pragma once

#include "gui/control.h"

namespace gui {

enum class SizeBarDirection { kLeftRight, kUpDown };

class CSizeBar : public CControl {
public:
    // length runs across the drag direction, thickness along it.
    void CreateSizeBar(CControl* parent, SizeBarDirection direction, int x, int y, int length, int thickness);
    SizeBarDirection Direction() const { return m_direction; }
    // Positions the bar may take, in the parent's pixels; a minimum above the maximum is taken as
    // the maximum. The bar moves inside them at once when it is outside.
    void SetLimits(int minimum, int maximum);
    int Minimum() const { return m_minimum; }
    int Maximum() const { return m_maximum; }
    int Position() const;
    // From code: clamped to the limits, not reported.
    void SetPosition(int position);
    bool IsDragging() const { return m_dragging; }

    void LeftButtonDown(int x, int y) override;
    void PointerMove(int x, int y) override;
    void LeftButtonUp(int x, int y) override;
    void CaptureLost() override;
    void Render(QPainter& painter) override;

private:
    int Clamp(int position) const;
    // The pointer's position along the drag direction, in the parent's coordinates.
    int Along(int x, int y) const;

    SizeBarDirection m_direction = SizeBarDirection::kLeftRight;
    int m_minimum = 0;
    int m_maximum = 1 << 20;
    bool m_dragging = false;
    int m_grab = 0; // where in the bar the pointer took hold
};

} // namespace gui
