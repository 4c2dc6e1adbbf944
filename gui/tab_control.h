// CTabControl: a row of page tabs (Qt's QTabBar) in the container control "TabContainer", painted
// in the face colours (slot 2, text slot 4). When the user picks another page the parent's
// ChildChanged(this) is called; SetPage from code is not reported. The owner shows the page's
// controls itself.
//
// Threads: user-interface thread only.
#pragma once

#include "gui/field_control.h"

#include <QString>

class QTabBar;

namespace gui {

class CTabControl : public CFieldControl {
public:
    void CreateTabControl(CControl* parent, int x, int y, int width, int height);
    int AddPage(const QString& caption);
    int PageCount() const;
    QString PageCaption(int index) const;
    // The page shown, -1 when there are none.
    int Page() const;
    void SetPage(int index);
    QTabBar* TabBar() const;
    void ApplyColors() override;
};

} // namespace gui
