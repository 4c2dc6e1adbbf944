#include "gui/tab_control.h"

#include "gui/color_manager.h"

#include <QTabBar>

namespace gui {

void CTabControl::CreateTabControl(CControl* parent, int x, int y, int width, int height) {
    auto* tabs = new QTabBar;
    tabs->setDrawBase(true);
    tabs->setExpanding(false);
    tabs->setFocusPolicy(Qt::StrongFocus);
    CreateField(parent, "TabContainer", x, y, width, height, tabs);
    SetBackgroundSlot(kSlotFace);
    QObject::connect(tabs, &QTabBar::currentChanged, tabs, [this](int) { ReportChange(); });
}

void CTabControl::ApplyColors() {
    CFieldControl::ApplyColors();
    if (!TabBar()) return;
    // Tabs are part of the panel, not a field: the face colours with the field's selection.
    QPalette palette = TabBar()->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, Colors().Color(kSlotFace));
        palette.setColor(group, QPalette::Button, Colors().Color(kSlotFace));
        palette.setColor(group, QPalette::WindowText, Colors().Color(kSlotButtonText));
        palette.setColor(group, QPalette::ButtonText, Colors().Color(kSlotButtonText));
    }
    TabBar()->setPalette(palette);
}

QTabBar* CTabControl::TabBar() const { return static_cast<QTabBar*>(Field()); }

int CTabControl::AddPage(const QString& caption) {
    CSilence silence(*this);
    return TabBar()->addTab(caption);
}

int CTabControl::PageCount() const { return TabBar()->count(); }

QString CTabControl::PageCaption(int index) const { return TabBar()->tabText(index); }

int CTabControl::Page() const { return TabBar()->currentIndex(); }

void CTabControl::SetPage(int index) {
    CSilence silence(*this);
    TabBar()->setCurrentIndex(index);
}

} // namespace gui
