#include "studio_ui/machine_panels/program_panel.h"

#include <QObject>
#include <QThread>
#include <QWidget>

namespace program_panels {

CProgramPanel::~CProgramPanel() {
    QObject::disconnect(m_windowGone);
}

void CProgramPanel::CreateIn(QWidget* parent, const char* name, int width, int height, bool offscreen) {
    gui::CControl* parentControl = parent ? gui::CControl::FromWidget(parent) : nullptr;
    Create(parentControl, name, 0, 0, width, height, offscreen);
    if (parent && !parentControl) Widget()->setParent(parent);
    // The window may go first (its parent window is deleted): the panel goes with it. The widget
    // has already left the control when this runs, so the control does not delete it again.
    m_windowGone = QObject::connect(Widget(), &QObject::destroyed, [this] { delete this; });
}

void CProgramPanel::Dispose() {
    QWidget* widget = Widget();
    if (widget && QThread::currentThread() != widget->thread()) {
        // Widgets and timers are the user-interface thread's: the window goes there, and the
        // panel with it through the window-gone connection.
        widget->deleteLater();
        return;
    }
    QObject::disconnect(m_windowGone);
    delete this;
}

} // namespace program_panels
