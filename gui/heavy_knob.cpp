#include "gui/heavy_knob.h"

#include "gui/color_manager.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace gui {

namespace {

// The knob turns through 270 degrees, from down-left (0) over the top to down-right (1).
constexpr double kStartAngle = 225.0;
constexpr double kSweep = 270.0;
constexpr int kSlotLitArc = 36;  // the travel up to the value
constexpr int kSlotBodyTop = 34; // the body's light top; it shades to the bevel's light slot

} // namespace

float KnobDragValue(int startY, float startValue, int y, int positions) {
    positions = std::max(positions, 2);
    const double last = positions - 1;
    const double position = ((startY - y) * 0.01 + static_cast<double>(startValue)) * last;
    const double index = std::clamp(std::trunc(position + 1e-9), 0.0, last);
    return static_cast<float>(index / last);
}

void CHeavyKnob::Create(CControl* parent, int x, int y, int width, int height, int positions) {
    m_positions = std::max(positions, 2);
    CControl::Create(parent, "HeavyKnob", x, y, width, height, true);
    Widget()->setFocusPolicy(Qt::StrongFocus);
}

void CHeavyKnob::SetValue(float value) {
    value = std::clamp(value, 0.0f, 1.0f);
    if (value == m_value) return;
    m_value = value;
    Refresh();
}

void CHeavyKnob::LeftButtonDown(int, int y) {
    if (Widget()) Widget()->setFocus(Qt::MouseFocusReason);
    m_dragging = true;
    m_startY = y;
    m_startValue = m_value;
    SetCapture();
}

void CHeavyKnob::PointerMove(int, int y) {
    if (m_dragging) ChangeByUser(KnobDragValue(m_startY, m_startValue, y, m_positions));
}

void CHeavyKnob::LeftButtonUp(int, int) {
    m_dragging = false;
    ReleaseCapture();
}

bool CHeavyKnob::KeyPressed(QKeyEvent* event) {
    const float step = 1.0f / static_cast<float>(m_positions - 1);
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Right:
        ChangeByUser(m_value + step);
        return true;
    case Qt::Key_Down:
    case Qt::Key_Left:
        ChangeByUser(m_value - step);
        return true;
    case Qt::Key_PageUp:
        ChangeByUser(m_value + 0.1f);
        return true;
    case Qt::Key_PageDown:
        ChangeByUser(m_value - 0.1f);
        return true;
    case Qt::Key_Home:
        ChangeByUser(0.0f);
        return true;
    case Qt::Key_End:
        ChangeByUser(1.0f);
        return true;
    default:
        return false;
    }
}

void CHeavyKnob::ChangeByUser(float value) {
    value = std::clamp(value, 0.0f, 1.0f);
    if (value == m_value) return;
    m_value = value;
    Refresh();
    if (Parent()) Parent()->ChildChanged(this);
}

void CHeavyKnob::Render(QPainter& painter) {
    const CColorManager& colors = Colors();
    painter.fillRect(0, 0, Width(), Height(), colors.Brush(BackgroundSlot()));
    painter.setRenderHint(QPainter::Antialiasing, true);
    const double size = std::min(Width(), Height()) - 4.0;
    if (size <= 4.0) return;
    const QRectF ring((Width() - size) / 2.0, (Height() - size) / 2.0, size, size);
    const double thickness = std::max(2.0, size / 9.0);
    const QRectF arc = ring.adjusted(thickness / 2, thickness / 2, -thickness / 2, -thickness / 2);

    // The travel, then the part up to the value, as arcs around the body.
    QPen track(colors.Color(kSlotBevelShadow), thickness, Qt::SolidLine, Qt::FlatCap);
    painter.setPen(track);
    painter.drawArc(arc, static_cast<int>(kStartAngle * 16), static_cast<int>(-kSweep * 16));
    QPen lit(colors.Color(kSlotLitArc), thickness, Qt::SolidLine, Qt::FlatCap);
    painter.setPen(lit);
    painter.drawArc(arc, static_cast<int>(kStartAngle * 16), static_cast<int>(-kSweep * m_value * 16));

    // The body: a raised disc, lighter at the top.
    const QRectF body = ring.adjusted(thickness * 1.6, thickness * 1.6, -thickness * 1.6, -thickness * 1.6);
    QLinearGradient shade(body.topLeft(), body.bottomLeft());
    shade.setColorAt(0.0, colors.Color(kSlotBodyTop));
    shade.setColorAt(1.0, colors.Color(kSlotBevelLight));
    painter.setPen(QPen(colors.Color(kSlotBevelShadow), 1.0));
    painter.setBrush(shade);
    painter.drawEllipse(body);

    // The pointer line from the centre toward the value's angle.
    const double angle = (kStartAngle - kSweep * m_value) * M_PI / 180.0;
    const QPointF centre = body.center();
    const double reach = body.width() / 2.0 - 1.5;
    const QPointF tip(centre.x() + std::cos(angle) * reach, centre.y() - std::sin(angle) * reach);
    const QPointF from(centre.x() + std::cos(angle) * reach * 0.3, centre.y() - std::sin(angle) * reach * 0.3);
    painter.setPen(QPen(colors.Color(kSlotBlack), std::max(1.5, size / 16.0), Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(from, tip);
    if (Widget() && Widget()->hasFocus()) {
        painter.setPen(QPen(colors.Color(kSlotWhite), 1.0, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(0.5, 0.5, Width() - 1.0, Height() - 1.0));
    }
}

} // namespace gui
