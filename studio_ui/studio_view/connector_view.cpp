#include "studio_ui/studio_view/connector_view.h"

#include "engine/connector.h"
#include "gui/color_manager.h"
#include "machine_interface/port.h"
#include "studio_ui/studio_view/studio_view.h"

#include <QFontMetrics>
#include <QPainter>
#include <QWidget>

namespace studio_view {

CConnectorView::CConnectorView(CConnector* connector, CStudioView* view) : m_connector(connector), m_view(view) {}

const char* CConnectorView::Badge() const {
    const CPort* port = m_connector->m_port;
    if (port->IsControl()) return "CT";
    if (port->IsAudio()) return port->IsStereo() ? "ST" : "MO";
    return "--";
}

bool CConnectorView::InLit() const { return m_connector->m_port->IsInput() && m_connector->m_fanIn > 0; }
bool CConnectorView::OutLit() const { return m_connector->m_port->IsOutput() && m_connector->m_fanOut > 0; }

void CConnectorView::Render(QPainter& painter) {
    const gui::CColorManager& colors = Colors();
    painter.fillRect(0, 0, Width(), Height(), colors.Brush(gui::kSlotFieldBackground));
    painter.setFont(Font());
    // The badge.
    painter.setPen(colors.Pen(gui::kSlotFieldText));
    painter.drawText(QRect(1, 0, 13, Height()), Qt::AlignCenter, Badge());
    // The lamp: green while cables are on it, dark otherwise.
    const bool input = m_connector->m_port->IsInput();
    const bool lit = input ? InLit() : OutLit();
    const QRect lamp(15, 3, 7, 7);
    painter.setPen(colors.Pen(gui::kSlotBlack));
    painter.setBrush(lit ? colors.Brush(36) : colors.Brush(26));
    painter.drawRect(lamp.adjusted(0, 0, -1, -1));
    painter.setBrush(Qt::NoBrush);
    // The port's name after the lamp: narrowed (down to 75 %) where it is wider than its place,
    // cut with an ellipsis only where even that is too wide (the tool tip has it whole).
    painter.setPen(colors.Pen(gui::kSlotButtonText));
    const QRect text(24, 0, Width() - 25, Height());
    const QString full = QString::fromUtf8(m_connector->m_port->m_name);
    QFont font = Font();
    for (int stretch = 100; stretch >= 75 && QFontMetrics(font).horizontalAdvance(full) > text.width(); stretch -= 5)
        font.setStretch(stretch - 5);
    painter.setFont(font);
    painter.drawText(text, Qt::AlignVCenter | Qt::AlignLeft,
                     painter.fontMetrics().elidedText(full, Qt::ElideRight, text.width()));
    gui::DrawBevel(painter, 0, 0, Width(), Height(), gui::Bevel::kSunken, colors);
}

void CConnectorView::Show() {
    const bool input = m_connector->m_port->IsInput();
    Widget()->setToolTip(
        QString("%1 %2: %3").arg(Badge(), input ? "In" : "Out", QString::fromUtf8(m_connector->m_port->m_name)));
    gui::CControl::Show();
}

void CConnectorView::LeftButtonDown(int x, int y) {
    m_view->StartCable(this, Widget()->mapTo(m_view->Widget(), QPoint(x, y)));
}

void CConnectorView::PointerMove(int x, int y) {
    // While the button is held Qt sends the moves here; the drag belongs to the surface.
    m_view->DragTo(Widget()->mapTo(m_view->Widget(), QPoint(x, y)));
}

void CConnectorView::LeftButtonUp(int x, int y) {
    m_view->EndDrag(Widget()->mapTo(m_view->Widget(), QPoint(x, y)));
}

} // namespace studio_view
