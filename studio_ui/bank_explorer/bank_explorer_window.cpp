#include "studio_ui/bank_explorer/bank_explorer_window.h"

#include "studio_ui/bank_explorer/bank_explorer.h"

#include <QWidget>

namespace bank_explorer {

CBankExplorerWindow::CBankExplorerWindow(CVeskHost* host) : m_host(host) {}

CBankExplorerWindow::~CBankExplorerWindow() {
    // The explorer's widget goes before the window's takes it along.
    m_explorer.reset();
}

void CBankExplorerWindow::Build() {
    CreateWindow(nullptr, kWindowTitle, 0, 0, kWindowWidth, kWindowHeight, false);
    m_explorer = std::make_unique<CBankExplorer>(m_host);
    m_explorer->Build(this, 0, 0, Width(), Height());
}

void CBankExplorerWindow::Open() {
    Show();
    m_explorer->Show();
    Widget()->raise();
    Widget()->activateWindow();
}

void CBankExplorerWindow::SizeChanged(int width, int height) {
    gui::CWindow::SizeChanged(width, height);
    if (m_explorer) m_explorer->MoveResize(0, 0, width, height);
}

} // namespace bank_explorer
