// CMachinePanel: what every stock machine's skinned panel shares: it is made inside the window a
// machine's CreateGUI receives, shown at once, and deleted with that window or when its machine
// closes it (the machine is deleted, or makes a new panel).
//
// Threads: user-interface thread, except where a derived panel says otherwise.
#pragma once

#include "library/panels/skinned_panel.h"

#include <QMetaObject>

class QWidget;

namespace stock_panels {

class CMachinePanel : public CSkinnedPanel {
public:
    ~CMachinePanel() override;

protected:
    CMachinePanel() = default;
    // Makes the window inside parent (a toolkit control's window or any other widget) over the
    // background picture, at (0, 0) in its size.
    void CreateIn(QWidget* parent, const char* name, const gui::CPicture& background);
    // Shows the window once the controls are in place.
    void ShowPanel();

private:
    QMetaObject::Connection m_windowGone;
};

} // namespace stock_panels
