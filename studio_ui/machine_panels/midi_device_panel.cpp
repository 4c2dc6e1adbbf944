#include "studio_ui/machine_panels/midi_device_panel.h"

#include "gui/color_manager.h"
#include "gui/combo_box.h"
#include "gui/dialog_service.h"
#include "host_machines/midi/midi_devices.h"

#include <QComboBox>
#include <QObject>
#include <QPainter>
#include <QWidget>

#include <exception>

namespace program_panels {

namespace {

template <typename Registry, typename Device>
std::vector<std::string> DeviceNames(const Registry& registry, int32_t count,
                                     Device* (Registry::*device)(int32_t) const) {
    std::vector<std::string> names;
    for (int32_t i = 0; i < count; ++i)
        names.push_back((registry.*device)(i)->Name());
    return names;
}

} // namespace

CMIDIDevicePanel::CMIDIDevicePanel(CMIDIInput* machine, QWidget* parent) : m_input(machine) {
    if (CMIDIPanelLink* previous = machine->PanelLink()) previous->ClosePanel();
    const CMIDIDeviceRegistry& registry = machine->Registry();
    Build(parent, DeviceNames(registry, registry.InputCount(), &CMIDIDeviceRegistry::Input));
    machine->SetPanelLink(this);
}

CMIDIDevicePanel::CMIDIDevicePanel(CMIDIOutput* machine, QWidget* parent) : m_output(machine) {
    if (CMIDIPanelLink* previous = machine->PanelLink()) previous->ClosePanel();
    const CMIDIDeviceRegistry& registry = machine->Registry();
    Build(parent, DeviceNames(registry, registry.OutputCount(), &CMIDIDeviceRegistry::Output));
    machine->SetPanelLink(this);
}

CMIDIDevicePanel::~CMIDIDevicePanel() {
    Unlink();
}

void CMIDIDevicePanel::Unlink() {
    if (m_input && m_input->PanelLink() == this) m_input->SetPanelLink(nullptr);
    if (m_output && m_output->PanelLink() == this) m_output->SetPanelLink(nullptr);
    m_input = nullptr;
    m_output = nullptr;
}

void CMIDIDevicePanel::Build(QWidget* parent, const std::vector<std::string>& names) {
    CreateIn(parent, "MIDI Device Panel", kWidth, kHeight, true);
    m_combo = std::make_unique<gui::CComboBox>();
    m_combo->CreateComboBox(this, kComboX, kComboY, kComboWidth, kComboHeight);
    m_combo->Combo()->setObjectName("DeviceCombo");
    m_combo->Combo()->setToolTip(m_input ? "MIDI input device" : "MIDI output device");
    m_combo->AddEntry("No Device");
    for (const std::string& name : names)
        m_combo->AddEntry(QString::fromStdString(name));
    m_combo->SetSelection(EntryOf(CurrentDevice()));
    m_combo->Show();
    Show();
}

int32_t CMIDIDevicePanel::CurrentDevice() const {
    if (m_input && m_input->Device()) return m_input->Device()->Number();
    if (m_output && m_output->Device()) return m_output->Device()->Number();
    return -1;
}

void CMIDIDevicePanel::SelectDevice(int32_t device) {
    if (m_input) m_input->SelectDevice(device);
    if (m_output) m_output->SelectDevice(device);
}

void CMIDIDevicePanel::ComboChanged(gui::CComboBox* combo) {
    if (!m_input && !m_output) return;
    const int32_t device = combo->Selection() - 1; // entry 0 is "No Device"
    QString failure;
    try {
        SelectDevice(device);
    } catch (const std::exception& error) {
        failure = QString::fromUtf8(error.what());
        // A device that did not open is not kept half-selected (hooked but silent, or an output
        // reporting every note as unsent): the machine is left with none.
        try {
            SelectDevice(-1);
        } catch (const std::exception&) {
            // Closing a device that never opened has nothing to report beyond the first error.
        }
    }
    m_combo->SetSelection(EntryOf(CurrentDevice()));
    if (!failure.isEmpty()) gui::ShowError(Widget(), failure);
}

void CMIDIDevicePanel::ClosePanel() {
    Unlink();
    Dispose();
}

void CMIDIDevicePanel::Render(QPainter& painter) {
    const gui::CColorManager& colors = Colors();
    painter.fillRect(0, 0, Width(), Height(), colors.Brush(gui::kSlotFace));
    gui::DrawBevel(painter, 0, 0, Width(), Height(), gui::Bevel::kRaised, colors);
}

} // namespace program_panels
