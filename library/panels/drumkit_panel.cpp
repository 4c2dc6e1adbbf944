#include "library/panels/drumkit_panel.h"

#include "gui/lite_knob.h"
#include "library/panels/stock_pictures.h"
#include "machines/drumkit/drumkit_panel_layout.h"

namespace stock_panels {

CDrumKitPanel::CDrumKitPanel(CDrumKit* machine, QWidget* parent) : m_machine(machine) {
    if (CDrumKitPanelLink* previous = machine->PanelLink()) previous->ClosePanel();
    CreateIn(parent, "QX DGenR8", stock_pictures::Get(stock_pictures::kDrumKitBackground));
    const gui::CPicture& strip = stock_pictures::Get(stock_pictures::kDrumKitKnob);
    for (const drumkit_panel::KnobPlace& place : drumkit_panel::kKnobs)
        m_knobs[static_cast<size_t>(place.parameter)] = AddParameterControl<CWheelKnob>(
            place.x, place.y, drumkit_panel::kKnobSize, drumkit_panel::kKnobSize, strip, machine, place.parameter);
    {
        CMutexLock lock(*machine);
        machine->SetPanelLink(this);
    }
    ShowPanel();
}

CDrumKitPanel::~CDrumKitPanel() {
    if (!m_machine) return;
    CMutexLock lock(*m_machine);
    if (m_machine->PanelLink() == this) m_machine->SetPanelLink(nullptr);
}

gui::CLiteKnob* CDrumKitPanel::Knob(int32_t parameter) const {
    return parameter >= 0 && parameter < CDrumKit::kParameterCount ? m_knobs[static_cast<size_t>(parameter)] : nullptr;
}

void CDrumKitPanel::MoveKnob(int32_t parameter, float value) {
    if (gui::CLiteKnob* knob = Knob(parameter)) knob->SetValue(value);
}

void CDrumKitPanel::ClosePanel() {
    // The machine forgets the panel (it is going, or replacing it); under its lock, since a
    // parameter change on another thread may be reaching for the panel right now.
    {
        CMutexLock lock(*m_machine);
        m_machine->SetPanelLink(nullptr);
    }
    m_machine = nullptr;
    delete this;
}

} // namespace stock_panels
