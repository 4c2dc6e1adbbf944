#include "studio_ui/machine_panels/program_panel_factory.h"

#include "host_machines/midi_machines.h"
#include "host_machines/vst/vst_adapter.h"
#include "studio_ui/machine_panels/midi_device_panel.h"
#include "studio_ui/machine_panels/vst_editor_window.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWidget>

#include <cstring>

namespace program_panels {

bool NativeEditorsAvailable() {
    return QGuiApplication::instance() && QGuiApplication::platformName() == QLatin1String("xcb");
}

CProgramPanelFactory::CProgramPanelFactory(std::function<bool()> canEmbed)
    : m_canEmbed(std::move(canEmbed)) {}

WindowHandle CProgramPanelFactory::CreatePanel(CMachine* machine, const char* kind, WindowHandle parent) {
    if (!machine || !kind || !QApplication::instance()) return nullptr;
    auto* parentWidget = static_cast<QWidget*>(parent);
    // Each panel owns itself: it goes with its window or when its machine goes.
    if (std::strcmp(kind, "QX MIDI Input") == 0)
        return (new CMIDIDevicePanel(static_cast<CMIDIInput*>(machine), parentWidget))->Widget();
    if (std::strcmp(kind, "QX MIDI Output") == 0)
        return (new CMIDIDevicePanel(static_cast<CMIDIOutput*>(machine), parentWidget))->Widget();
    if (std::strcmp(kind, "VST") == 0) {
        if (!m_canEmbed || !m_canEmbed()) return nullptr;
        auto* adapter = static_cast<CVSTAdapter*>(machine);
        if (!adapter->HasEditor()) return nullptr;
        // Many plug-ins tell their editor's size only once it is open: their window starts at a
        // stand-in size and takes the real one when the editor opens.
        int32_t width = CVSTEditorWindow::kStandInWidth;
        int32_t height = CVSTEditorWindow::kStandInHeight;
        int32_t reportedWidth = 0;
        int32_t reportedHeight = 0;
        if (adapter->EditorSize(&reportedWidth, &reportedHeight)) {
            width = reportedWidth;
            height = reportedHeight;
        }
        return (new CVSTEditorWindow(adapter, parentWidget, width, height))->Widget();
    }
    return nullptr;
}

CProgramPanelFactory& ProgramPanelFactory() {
    static CProgramPanelFactory factory;
    return factory;
}

} // namespace program_panels
