#include "library/panels/antialias_panel.h"

#include "gui/lite_knob.h"
#include "library/panels/stock_pictures.h"
#include "machines/antialias/antialias_panel_layout.h"

namespace stock_panels {

CAntiAliasPanel::CAntiAliasPanel(CAntiAliasFilter* machine, QWidget* parent) : m_machine(machine) {
    if (CAntiAliasPanelLink* previous = machine->PanelLink()) previous->ClosePanel();
    CreateIn(parent, "QX AntiAlias", stock_pictures::Get(stock_pictures::kAntiAliasBackground));
    m_knob = AddParameterControl<CWheelKnob>(0, 0, antialias_panel::kKnobSize, antialias_panel::kKnobSize,
                                 stock_pictures::Get(stock_pictures::kAntiAliasKnob), machine, 0);
    {
        CMutexLock lock(*machine);
        machine->SetPanelLink(this);
    }
    ShowPanel();
}

CAntiAliasPanel::~CAntiAliasPanel() {
    if (!m_machine) return;
    CMutexLock lock(*m_machine);
    if (m_machine->PanelLink() == this) m_machine->SetPanelLink(nullptr);
}

void CAntiAliasPanel::MoveKnob(float value) { m_knob->SetValue(value); }

void CAntiAliasPanel::ClosePanel() {
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
