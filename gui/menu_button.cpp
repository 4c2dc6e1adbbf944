#include "gui/menu_button.h"

#include "gui/color_manager.h"
#include "gui/field_control.h"

#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

namespace gui {

namespace {
constexpr int kArrowRoom = 12; // the drop-down arrow's place at the right of the face
} // namespace

void CMenuButton::CreateMenuButton(CControl* parent, const QString& caption, int x, int y, int width, int height) {
    CreateButton(parent, caption, x, y, width, height);
    Widget()->setObjectName("MenuButton");
    m_menu = new QMenu(Widget());
    m_menu->setPalette(FieldPalette(Colors()));
    m_menu->setFont(Font());
}

int CMenuButton::AddEntry(const QString& text, bool enabled) {
    const int index = EntryCount();
    QAction* action = m_menu->addAction(text);
    action->setEnabled(enabled);
    // A disabled action never triggers, so greyed entries cannot be chosen by any route.
    QObject::connect(action, &QAction::triggered, m_menu, [this, index] {
        m_chosen = index;
        if (Parent()) Parent()->ChildChanged(this);
    });
    m_entries.push_back(action);
    return index;
}

void CMenuButton::AddSeparator() { m_menu->addSeparator(); }

QAction* CMenuButton::EntryAction(int index) const {
    return index >= 0 && index < EntryCount() ? m_entries[static_cast<size_t>(index)] : nullptr;
}

void CMenuButton::SetEntryEnabled(int index, bool enabled) {
    if (QAction* action = EntryAction(index)) action->setEnabled(enabled);
}

bool CMenuButton::IsEntryEnabled(int index) const {
    const QAction* action = EntryAction(index);
    return action && action->isEnabled();
}

void CMenuButton::Clicked() {
    if (m_entries.empty()) return;
    // popup, not exec: the menu runs in the program's own event loop and reports through its actions.
    m_menu->popup(Widget()->mapToGlobal(QPoint(0, Height())));
}

void CMenuButton::RenderFace(QPainter& painter, const QRect& inside) {
    CButton::RenderFace(painter, inside.adjusted(0, 0, -kArrowRoom + 2, 0));
    const int cx = inside.right() - kArrowRoom / 2;
    const int cy = inside.center().y() + 1;
    QPainterPath arrow;
    arrow.moveTo(cx - 4, cy - 2);
    arrow.lineTo(cx + 4, cy - 2);
    arrow.lineTo(cx, cy + 2);
    arrow.closeSubpath();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Colors().Brush(IsEnabled() ? kSlotButtonText : kSlotDisabledText));
    painter.drawPath(arrow);
    painter.restore();
}

} // namespace gui
