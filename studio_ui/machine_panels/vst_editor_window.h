// CVSTEditorWindow: the window a VST plug-in draws its editor into, inside a machine frame. It is
// a native X11 child window (its window id is what effEditOpen gets), sized from the plug-in's
// effEditGetRect and resized when the plug-in asks (audioMasterSizeWindow). The plug-in's editor
// is open exactly while the window is visible: it opens when the window shows and closes
// (effEditClose) when it hides, when the window goes, or when the machine is deleted. While open,
// a timer on the user-interface thread gives the editor its effEditIdle calls.
//
// Threads: made, shown, hidden and destroyed on the user-interface thread. RequestSize may come
// from any thread (the plug-in's own); it only queues the change. The window owns itself: it goes
// with its parent window, or when the adapter goes.
#pragma once

#include "host_machines/vst/vst_adapter.h"
#include "studio_ui/machine_panels/program_panel.h"

#include <atomic>
#include <memory>

class QWidget;

namespace gui {
class CUiTimer;
}

namespace program_panels {

class CVSTEditorWindow : public CProgramPanel, public CVSTEditorLink {
public:
    // How often an open editor gets effEditIdle (about 50 times a second).
    static constexpr int kIdleIntervalMs = 20;
    // The largest size a plug-in may ask for, either way.
    static constexpr int kLargest = 4096;
    // The size of the window of a plug-in that tells its editor's size only once it is open.
    static constexpr int kStandInWidth = 400;
    static constexpr int kStandInHeight = 300;

    // Made inside parent at (0, 0) in the given size, shown, and registered with the adapter.
    CVSTEditorWindow(CVSTAdapter* adapter, QWidget* parent, int width, int height);
    ~CVSTEditorWindow() override;

    CVSTAdapter* Adapter() const { return m_adapter.load(); }
    bool IdleRunning() const;

    // CVSTEditorLink
    WindowHandle Window() override { return Widget(); }
    void RequestSize(int32_t width, int32_t height) override;
    void ClosePanel() override;

    bool HandleEvent(QEvent* event) override;

private:
    void OpenEditor();
    void CloseEditor();
    void ApplySize(int width, int height);
    void Unlink();

    // Null once the adapter went (it may go on another thread than this window's).
    std::atomic<CVSTAdapter*> m_adapter;
    std::unique_ptr<gui::CUiTimer> m_idle;
};

} // namespace program_panels
