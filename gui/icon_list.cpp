#include "gui/icon_list.h"

#include <QListWidget>

namespace gui {

void CIconList::CreateIconList(CControl* parent, int x, int y, int width, int height, int iconSize) {
    CreateList(parent, "IconListContainer", x, y, width, height);
    QListWidget* list = List();
    list->setViewMode(QListView::IconMode);
    list->setIconSize(QSize(iconSize, iconSize));
    list->setMovement(QListView::Static);
    list->setResizeMode(QListView::Adjust);
    list->setWrapping(true);
    list->setWordWrap(true);
    list->setSpacing(4);
    // Room for the icon and two lines of caption under it.
    list->setGridSize(QSize(iconSize + 28, iconSize + 2 * list->fontMetrics().height() + 8));
}

int CIconList::AddIcon(const QIcon& icon, const QString& caption) {
    const int index = AddEntry(caption);
    List()->item(index)->setIcon(icon);
    return index;
}

} // namespace gui
