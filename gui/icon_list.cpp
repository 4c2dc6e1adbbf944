#include "gui/icon_list.h"

#include <QListWidget>

#include <algorithm>

namespace gui {

void CIconList::CreateIconList(CControl* parent, int x, int y, int width, int height, int iconSize) {
    CreateList(parent, "IconListContainer", x, y, width, height);
    QListWidget* list = List();
    list->setViewMode(QListView::IconMode);
    list->setIconSize(QSize(iconSize, iconSize));
    list->setMovement(QListView::Static);
    list->setResizeMode(QListView::Adjust);
    list->setWrapping(true);
    // Wrapped captions are held to the icon's width by Qt's item layout; one line reads better.
    list->setWordWrap(false);
    list->setUniformItemSizes(false);
    list->setSpacing(4);
    // Room for the icon and a caption of a dozen letters under it so names are not shortened.
    const int captionWidth = list->fontMetrics().horizontalAdvance(QStringLiteral("Controllers ")) + 8;
    list->setGridSize(QSize(std::max(iconSize + 16, captionWidth), iconSize + list->fontMetrics().height() + 14));
}

int CIconList::AddIcon(const QIcon& icon, const QString& caption) {
    const int index = AddEntry(caption);
    List()->item(index)->setIcon(icon);
    return index;
}

} // namespace gui
