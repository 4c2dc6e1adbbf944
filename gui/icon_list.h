// CIconList: icons with captions below them in rows (Qt's QListWidget in icon mode) in the
// container control "IconListContainer", painted in the field colours. When the user selects
// another icon the parent's ChildChanged(this) is called; selecting from code is not reported.
//
// Threads: user-interface thread only.
#pragma once

#include "gui/list_box.h"

#include <QIcon>

namespace gui {

class CIconList : public CListBox {
public:
    // iconSize: the square side of each icon in logical pixels.
    void CreateIconList(CControl* parent, int x, int y, int width, int height, int iconSize);
    int AddIcon(const QIcon& icon, const QString& caption);
};

} // namespace gui
