#include "gui/window.h"

#include <QCloseEvent>
#include <QWidget>

namespace gui {

void CWindow::CreateWindow(CControl* parent, const QString& title, int x, int y, int width, int height,
                           bool offscreen) {
    Create(parent, "TamborelWindow", x, y, width, height, offscreen);
    if (parent) Widget()->setWindowFlags(Qt::Window);
    Widget()->setGeometry(x, y, width, height); // the client area; Qt adds the frame
    SetTitle(title);
}

void CWindow::SetTitle(const QString& title) {
    if (Widget()) Widget()->setWindowTitle(title);
}

QString CWindow::Title() const { return Widget() ? Widget()->windowTitle() : QString(); }

bool CWindow::HandleEvent(QEvent* event) {
    if (event->type() == QEvent::Close) {
        if (!CloseRequested()) event->ignore();
        else event->accept();
        return true;
    }
    return CControl::HandleEvent(event);
}

bool CWindow::CloseRequested() { return true; }

} // namespace gui
