#include "gui/label.h"

#include "gui/color_manager.h"

#include <QFontMetrics>
#include <QPainter>

namespace gui {

void CLabel::CreateLabel(CControl* parent, const QString& text, int x, int y, int width, int height,
                         Qt::Alignment alignment) {
    m_text = text;
    m_alignment = alignment;
    Create(parent, "Label", x, y, width, height, true);
    Refresh();
}

void CLabel::SetText(const QString& text) {
    if (text == m_text) return;
    m_text = text;
    Refresh();
}

void CLabel::SetAlignment(Qt::Alignment alignment) {
    m_alignment = alignment;
    Refresh();
}

void CLabel::SetTextSlot(int slot) {
    Colors().Color(slot); // refuses a slot outside the palette now, not at the next repaint
    m_textSlot = slot;
    Refresh();
}

void CLabel::Render(QPainter& painter) {
    painter.fillRect(0, 0, Width(), Height(), Colors().Brush(BackgroundSlot()));
    painter.setFont(Font());
    painter.setPen(Colors().Pen(m_textSlot));
    const QString shown = QFontMetrics(Font()).elidedText(m_text, Qt::ElideRight, Width());
    painter.drawText(QRect(0, 0, Width(), Height()), static_cast<int>(m_alignment) | Qt::TextSingleLine, shown);
}

} // namespace gui
