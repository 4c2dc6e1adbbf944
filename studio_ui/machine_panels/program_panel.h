// CProgramPanel: what the panels of the program's own machines share: each is made inside the
// window a machine's CreateGUI receives and owns itself, going with that window (its frame is
// destroyed) or when its machine goes.
//
// Threads: user-interface thread; Dispose may be called from another thread (a machine deleted
// there), and then the window goes on the user-interface thread, the panel with it.
#pragma once

#include "gui/control.h"

#include <QMetaObject>

class QWidget;

namespace program_panels {

class CProgramPanel : public gui::CControl {
public:
    ~CProgramPanel() override;

protected:
    CProgramPanel() = default;
    // Makes the window inside parent (a toolkit control's window or any other widget) at (0, 0).
    void CreateIn(QWidget* parent, const char* name, int width, int height, bool offscreen);
    // Deletes the panel and its window: at once on the user-interface thread, else there.
    void Dispose();

private:
    QMetaObject::Connection m_windowGone;
};

} // namespace program_panels
