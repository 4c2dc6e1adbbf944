#include "library/panels/machine_panel.h"

#include <QObject>
#include <QWidget>

namespace stock_panels {

CMachinePanel::~CMachinePanel() { QObject::disconnect(m_windowGone); }

void CMachinePanel::CreateIn(QWidget* parent, const char* name, const gui::CPicture& background) {
    gui::CControl* parentControl = parent ? gui::CControl::FromWidget(parent) : nullptr;
    Create(parentControl, name, 0, 0, background.Width(), background.Height(), &background);
    if (parent && !parentControl) Widget()->setParent(parent);
    // The window may go first (its parent window is deleted): the panel goes with it. The widget
    // has already left the control when this runs, so the control does not delete it again.
    m_windowGone = QObject::connect(Widget(), &QObject::destroyed, [this] { delete this; });
}

void CMachinePanel::ShowPanel() { ShowWith(gui::ShowCommand::kShow); }

} // namespace stock_panels
