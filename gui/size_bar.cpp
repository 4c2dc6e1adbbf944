#include "gui/size_bar.h"

#include "gui/color_manager.h"

#include <QPainter>
#include <QWidget>

#include <algorithm>

namespace gui {

void CSizeBar::CreateSizeBar(CControl* parent, SizeBarDirection direction, int x, int y, int length, int thickness) {
    m_direction = direction;
    const bool leftRight = direction == SizeBarDirection::kLeftRight;
    Create(parent, "SizeBar", x, y, leftRight ? thickness : length, leftRight ? length : thickness, true);
    Widget()->setCursor(leftRight ? Qt::SizeHorCursor : Qt::SizeVerCursor);
    Refresh();
}

void CSizeBar::SetLimits(int minimum, int maximum) {
    m_maximum = maximum;
    m_minimum = std::min(minimum, maximum);
    SetPosition(Position());
}

int CSizeBar::Position() const { return m_direction == SizeBarDirection::kLeftRight ? X() : Y(); }

int CSizeBar::Clamp(int position) const {
    int highest = m_maximum;
    // Never past the parent's far edge, where the user could not grab it again.
    if (Parent() && Parent()->Widget()) {
        const int room = m_direction == SizeBarDirection::kLeftRight ? Parent()->Width() - Width()
                                                                     : Parent()->Height() - Height();
        highest = std::min(highest, room);
    }
    return std::max(std::min(position, highest), std::min(m_minimum, highest));
}

void CSizeBar::SetPosition(int position) {
    const int clamped = Clamp(position);
    if (clamped == Position()) return;
    if (m_direction == SizeBarDirection::kLeftRight) Move(clamped, Y());
    else Move(X(), clamped);
}

int CSizeBar::Along(int x, int y) const { return m_direction == SizeBarDirection::kLeftRight ? X() + x : Y() + y; }

void CSizeBar::LeftButtonDown(int x, int y) {
    SetCapture();
    m_dragging = true;
    m_grab = Along(x, y) - Position();
    Refresh();
}

void CSizeBar::PointerMove(int x, int y) {
    if (!m_dragging) return;
    const int wanted = Clamp(Along(x, y) - m_grab);
    if (wanted == Position()) return;
    SetPosition(wanted);
    if (Parent()) Parent()->ChildChanged(this);
}

void CSizeBar::LeftButtonUp(int, int) {
    if (!m_dragging) return;
    m_dragging = false;
    ReleaseCapture();
    Refresh();
}

void CSizeBar::CaptureLost() {
    if (!m_dragging) return;
    m_dragging = false;
    Refresh();
}

void CSizeBar::Render(QPainter& painter) {
    const CColorManager& colors = Colors();
    painter.fillRect(0, 0, Width(), Height(), colors.Brush(kSlotFace));
    // A raised ridge along the bar; sunken while held.
    DrawBevel(painter, 0, 0, Width(), Height(), m_dragging ? Bevel::kSunken : Bevel::kRaised, colors);
}

} // namespace gui
