#include "gui/tool_bar.h"

#include "gui/color_manager.h"

#include <QEvent>
#include <QPainter>
#include <QWidget>

namespace gui {

void CToolBarButton::Create(CControl* toolBar, int command, const QImage& icon, const QString& toolTip, int x, int y,
                            int width, int height) {
    m_command = command;
    m_icon = icon;
    CControl::Create(toolBar, "ToolBarButton", x, y, width, height, true);
    Widget()->setToolTip(toolTip);
}

QString CToolBarButton::ToolTip() const { return Widget() ? Widget()->toolTip() : QString(); }

void CToolBarButton::SetEnabled(bool enabled) {
    if (enabled == m_enabled) return;
    m_enabled = enabled;
    if (!enabled) {
        m_pressed = false;
        ReleaseCapture();
    }
    Refresh();
}

void CToolBarButton::LeftButtonDown(int x, int y) {
    if (!m_enabled) return;
    m_pressed = true;
    m_inside = Inside(x, y);
    SetCapture();
    Refresh();
}

void CToolBarButton::PointerMove(int x, int y) {
    if (!m_pressed) return;
    const bool inside = Inside(x, y);
    if (inside == m_inside) return;
    m_inside = inside;
    Refresh();
}

void CToolBarButton::LeftButtonUp(int x, int y) {
    if (!m_pressed) return;
    const bool clicked = Inside(x, y);
    m_pressed = false;
    ReleaseCapture();
    Refresh();
    // Last: the owner may rebuild the tool bar in answer to the click.
    if (clicked && Parent()) Parent()->ToolBarButtonClicked(this);
}

void CToolBarButton::CaptureLost() {
    if (!m_pressed) return;
    m_pressed = false;
    Refresh();
}

bool CToolBarButton::HandleEvent(QEvent* event) {
    if (event->type() == QEvent::Enter || event->type() == QEvent::Leave) {
        m_hover = event->type() == QEvent::Enter;
        Refresh();
    }
    return CControl::HandleEvent(event);
}

void CToolBarButton::Render(QPainter& painter) {
    const CColorManager& colors = Colors();
    const bool down = m_pressed && m_inside;
    painter.fillRect(0, 0, Width(), Height(), colors.Brush(down ? kSlotDisabledFace : BackgroundSlot()));
    if (down) DrawBevel(painter, 0, 0, Width(), Height(), Bevel::kSunken, colors);
    else if (m_hover && m_enabled) DrawBevel(painter, 0, 0, Width(), Height(), Bevel::kRaised, colors);
    if (m_icon.isNull()) return;
    // Icons keep their logical size (an icon drawn at density 2 covers half its pixels) unless
    // they do not fit.
    QSize size = m_icon.deviceIndependentSize().toSize();
    if (size.width() > Width() - 4 || size.height() > Height() - 4) size.scale(Width() - 4, Height() - 4, Qt::KeepAspectRatio);
    const int shift = down ? 1 : 0;
    const QRect target((Width() - size.width()) / 2 + shift, (Height() - size.height()) / 2 + shift, size.width(),
                       size.height());
    painter.setOpacity(m_enabled ? 1.0 : 0.35);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, m_icon);
    painter.setOpacity(1.0);
}

CToolBar::CToolBar() = default;

CToolBar::~CToolBar() { m_buttons.clear(); }

void CToolBar::Create(CControl* owner, int x, int y, int width, int height) {
    CControl::Create(owner, "ToolBar", x, y, width, height, true);
}

CToolBarButton* CToolBar::AddButton(int command, const QImage& icon, const QString& toolTip) {
    auto button = std::make_unique<CToolBarButton>();
    const int size = std::min(kButtonSize, Height());
    button->Create(this, command, icon, toolTip, m_nextX, (Height() - size) / 2, size, size);
    m_nextX += size + kGap;
    button->Show(); // appears with the tool bar
    m_buttons.push_back(std::move(button));
    return m_buttons.back().get();
}

void CToolBar::ToolBarButtonClicked(CToolBarButton* button) {
    if (Parent()) Parent()->ToolBarButtonClicked(button);
}

void CToolBar::Render(QPainter& painter) {
    const CColorManager& colors = Colors();
    painter.fillRect(0, 0, Width(), Height(), colors.Brush(BackgroundSlot()));
    // A thin line separates the bar from the view below.
    painter.setPen(colors.Pen(kSlotBevelShadow));
    painter.drawLine(0, Height() - 1, Width() - 1, Height() - 1);
}

} // namespace gui
