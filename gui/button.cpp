#include "gui/button.h"

#include "gui/color_manager.h"

#include <QEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QWidget>

namespace gui {

void CButton::CreateButton(CControl* parent, const QString& caption, int x, int y, int width, int height) {
    m_caption = caption;
    Create(parent, "Button", x, y, width, height, true);
    Widget()->setFocusPolicy(Qt::StrongFocus);
    Refresh();
}

void CButton::SetCaption(const QString& caption) {
    m_caption = caption;
    Refresh();
}

void CButton::SetEnabled(bool enabled) {
    if (enabled == m_enabled) return;
    m_enabled = enabled;
    if (!enabled && m_pressed) {
        m_pressed = false;
        ReleaseCapture();
    }
    if (Widget()) Widget()->setEnabled(enabled);
    Refresh();
}

CButton::State CButton::CurrentState() const {
    if (!m_enabled) return State::kDisabled;
    if (!m_pressed) return State::kUp;
    return m_pointerInside ? State::kPressed : State::kPressedOutside;
}

void CButton::SetToolTip(const QString& tip) {
    if (Widget()) Widget()->setToolTip(tip);
}

void CButton::LeftButtonDown(int x, int y) {
    if (!m_enabled || !Inside(x, y)) return;
    Widget()->setFocus(Qt::MouseFocusReason);
    SetCapture();
    m_pressed = true;
    m_pointerInside = true;
    Refresh();
}

void CButton::PointerMove(int x, int y) {
    if (!m_enabled || !m_pressed) return;
    const bool inside = Inside(x, y);
    if (inside == m_pointerInside) return;
    m_pointerInside = inside;
    Refresh();
}

void CButton::LeftButtonUp(int x, int y) {
    if (!m_enabled || !m_pressed) return;
    const bool inside = Inside(x, y);
    m_pressed = false;
    ReleaseCapture();
    Refresh();
    // Last: the parent may destroy the button when told.
    if (inside) Clicked();
}

void CButton::CaptureLost() {
    // Another control took the pointer, or the button was hidden: the press is abandoned.
    if (!m_pressed) return;
    m_pressed = false;
    Refresh();
}

bool CButton::KeyPressed(QKeyEvent* event) {
    if (!m_enabled) return false;
    const int key = event->key();
    if (key != Qt::Key_Space && key != Qt::Key_Return && key != Qt::Key_Enter) return false;
    if (!event->isAutoRepeat()) Clicked();
    return true;
}

bool CButton::HandleEvent(QEvent* event) {
    // The focus outline comes and goes with the keyboard focus.
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) Refresh();
    return CControl::HandleEvent(event);
}

void CButton::Clicked() {
    if (Parent()) Parent()->ButtonClicked(this);
}

void CButton::Render(QPainter& painter) {
    const CColorManager& colors = Colors();
    const State state = CurrentState();
    painter.fillRect(0, 0, Width(), Height(), colors.Brush(state == State::kDisabled ? kSlotDisabledFace : kSlotFace));
    const bool sunken = state == State::kPressed;
    DrawBevel(painter, 0, 0, Width(), Height(), sunken ? Bevel::kSunken : Bevel::kRaised, colors);
    QRect inside(1, 1, Width() - 2, Height() - 2);
    if (sunken) inside.translate(1, 1);
    RenderFace(painter, inside);
    if (m_enabled && Widget() && Widget()->hasFocus() && Width() > 8 && Height() > 8) {
        QPen dotted = colors.Pen(kSlotBevelLight);
        dotted.setStyle(Qt::DotLine);
        painter.save();
        painter.setPen(dotted);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(3, 3, Width() - 7, Height() - 7);
        painter.restore();
    }
}

void CButton::RenderFace(QPainter& painter, const QRect& inside) {
    painter.setFont(Font());
    painter.setPen(Colors().Pen(m_enabled ? kSlotButtonText : kSlotDisabledText));
    painter.drawText(inside, Qt::AlignCenter | Qt::TextSingleLine, m_caption);
}

} // namespace gui
