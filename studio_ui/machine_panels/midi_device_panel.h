// CMIDIDevicePanel: the panel of the MIDI machines, 240 x 40 with one combo box ("DeviceCombo")
// listing "No Device" and then the registry's input devices (input machine) or output devices
// (output machine) in registry order. Picking a device selects it for the machine (it is opened
// once); picking "No Device" only closes the current one. A device that fails to open is told in
// the error box and leaves the machine with no device.
//
// Threads: user-interface thread only (device selection runs there). The panel owns itself: it
// goes with its window, or when its machine goes (CProgramPanel).
#pragma once

#include "host_machines/midi_machines.h"
#include "studio_ui/machine_panels/program_panel.h"

#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace gui {
class CComboBox;
}

namespace program_panels {

class CMIDIDevicePanel : public CProgramPanel, public CMIDIPanelLink {
public:
    static constexpr int kWidth = 240;
    static constexpr int kHeight = 40;
    // The box at (8, 8), 224 wide; its list opens below it (Qt sizes the list itself).
    static constexpr int kComboX = 8;
    static constexpr int kComboY = 8;
    static constexpr int kComboWidth = 224;
    static constexpr int kComboHeight = 24;

    // Made inside parent, shown, and registered with the machine (a previous panel is closed).
    CMIDIDevicePanel(CMIDIInput* machine, QWidget* parent);
    CMIDIDevicePanel(CMIDIOutput* machine, QWidget* parent);
    ~CMIDIDevicePanel() override;

    gui::CComboBox* Combo() const { return m_combo.get(); }
    // The combo entry of a device number (-1: "No Device").
    static int EntryOf(int32_t device) { return device < 0 ? 0 : device + 1; }

    // CMIDIPanelLink
    WindowHandle Window() override { return Widget(); }
    void ClosePanel() override;

    void ComboChanged(gui::CComboBox* combo) override;
    void Render(QPainter& painter) override;

private:
    void Build(QWidget* parent, const std::vector<std::string>& names);
    // The machine's device number, or -1.
    int32_t CurrentDevice() const;
    // Raises the device's errors.
    void SelectDevice(int32_t device);
    void Unlink();

    CMIDIInput* m_input = nullptr;
    CMIDIOutput* m_output = nullptr;
    std::unique_ptr<gui::CComboBox> m_combo;
};

} // namespace program_panels
