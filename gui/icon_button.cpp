#include "gui/icon_button.h"

#include <QPainter>
#include <QWidget>

namespace gui {

void CIconButton::CreateIconButton(CControl* parent, const QIcon& icon, const QString& toolTip, int x, int y,
                                   int width, int height) {
    m_icon = icon;
    CreateButton(parent, QString(), x, y, width, height);
    Widget()->setObjectName("IconButton");
    SetToolTip(toolTip);
}

void CIconButton::SetIcon(const QIcon& icon) {
    m_icon = icon;
    Refresh();
}

QString CIconButton::ToolTip() const { return Widget() ? Widget()->toolTip() : QString(); }

void CIconButton::RenderFace(QPainter& painter, const QRect& inside) {
    // The icon keeps its own size when it fits: scaling a small picture up blurs it.
    m_icon.paint(&painter, inside.adjusted(2, 2, -2, -2), Qt::AlignCenter,
                 IsEnabled() ? QIcon::Normal : QIcon::Disabled);
}

} // namespace gui
