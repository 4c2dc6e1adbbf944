#include "studio_ui/machine_panels/vst_editor_window.h"

#include "gui/ui_clock.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QWidget>

#include <algorithm>

namespace program_panels {

CVSTEditorWindow::CVSTEditorWindow(CVSTAdapter* adapter, QWidget* parent, int width, int height)
    : m_adapter(adapter) {
    if (CVSTEditorLink* previous = adapter->EditorLink()) {
        adapter->CloseEditor();
        adapter->SetEditorLink(nullptr);
        previous->ClosePanel();
    }
    CreateIn(parent, "VST", std::clamp(width, 1, kLargest), std::clamp(height, 1, kLargest), false);
    // A window of its own on the display for the plug-in to put its editor in; the surface and
    // the frame around it stay drawn by the toolkit.
    Widget()->setAttribute(Qt::WA_DontCreateNativeAncestors);
    Widget()->setAttribute(Qt::WA_NativeWindow);
    adapter->SetEditorLink(this);
    Show();
}

CVSTEditorWindow::~CVSTEditorWindow() {
    CloseEditor();
    Unlink();
}

void CVSTEditorWindow::Unlink() {
    CVSTAdapter* adapter = m_adapter.exchange(nullptr);
    if (adapter && adapter->EditorLink() == this) adapter->SetEditorLink(nullptr);
}

bool CVSTEditorWindow::IdleRunning() const {
    return m_idle && m_idle->IsActive();
}

bool CVSTEditorWindow::HandleEvent(QEvent* event) {
    // Show and Hide arrive when the window itself becomes visible or hidden on the display,
    // including through its frame, its page or the main window.
    if (event->type() == QEvent::Show)
        OpenEditor();
    else if (event->type() == QEvent::Hide)
        CloseEditor();
    return gui::CControl::HandleEvent(event);
}

void CVSTEditorWindow::OpenEditor() {
    CVSTAdapter* adapter = m_adapter.load();
    if (!adapter || !Widget()) return;
    adapter->OpenEditor(reinterpret_cast<void*>(Widget()->winId()));
    if (!adapter->EditorOpen()) return;
    int32_t width = 0;
    int32_t height = 0;
    if (adapter->EditorSize(&width, &height)) ApplySize(width, height);
    // Made on the clock in use now (a test may have installed its own since the window was made).
    m_idle = gui::UiClock().MakeTimer([this] {
        if (CVSTAdapter* current = m_adapter.load()) current->EditorIdle();
    });
    m_idle->Start(kIdleIntervalMs);
}

void CVSTEditorWindow::CloseEditor() {
    m_idle.reset();
    if (CVSTAdapter* adapter = m_adapter.load()) adapter->CloseEditor();
}

void CVSTEditorWindow::RequestSize(int32_t width, int32_t height) {
    // Widget() is only read here: the adapter holds its editor lock while it asks, and the window
    // leaves the adapter under that lock before it goes.
    QWidget* widget = Widget();
    if (!widget) return;
    QMetaObject::invokeMethod(
        widget, [this, width, height] { ApplySize(width, height); }, Qt::QueuedConnection);
}

void CVSTEditorWindow::ApplySize(int width, int height) {
    width = std::clamp(width, 1, kLargest);
    height = std::clamp(height, 1, kLargest);
    if (width == Width() && height == Height()) return;
    MoveResize(X(), Y(), width, height);
    // The frame around the window lays itself out for the new size.
    if (QWidget* parent = Widget()->parentWidget())
        QCoreApplication::postEvent(parent, new QEvent(QEvent::LayoutRequest));
}

void CVSTEditorWindow::ClosePanel() {
    // The adapter has closed the plug-in's editor and no longer knows this window.
    m_adapter.store(nullptr);
    Dispose();
}

} // namespace program_panels
