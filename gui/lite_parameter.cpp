#include "gui/lite_parameter.h"

#include "machine_interface/machine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace gui {
namespace {

float Clamped(float value) { return std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f); }

} // namespace

CLiteParameterControl::CLiteParameterControl(CLiteContainer& container, int x, int y, int width, int height,
                                             CMachine* machine, int32_t parameter)
    : CLiteControl(container, x, y, width, height), m_machine(machine), m_parameter(parameter),
      m_value(machine ? Clamped(machine->GetParameter(parameter)) : 0.5f) {}

void CLiteParameterControl::SetValue(float value) {
    m_value.store(Clamped(value), std::memory_order_relaxed);
    MarkDirty();
}

void CLiteParameterControl::SendText(float value) {
    if (!m_machine) return;
    // Texts are 64-byte buffers; a machine that forgets the terminator must not run us off the end.
    char name[65] = {};
    char display[65] = {};
    m_machine->GetParameterName(m_parameter, name);
    m_machine->FormatParameter(m_parameter, value, display);
    name[64] = display[64] = '\0';
    char text[160];
    std::snprintf(text, sizeof text, "%s %s", name, display);
    Container().ShowText(text);
}

void CLiteParameterControl::ChangeValue(float value) {
    value = Clamped(value);
    if (value == Value()) return;
    if (m_machine) {
        CMutexLock lock(*m_machine);
        SendText(value);
        m_machine->AutomateParameter(m_parameter, value);
    }
    m_value.store(value, std::memory_order_relaxed);
    Redraw();
    Container().LiteValueChanged(this, value);
}

void CLiteParameterControl::BeginDrag() {
    SetCapture();
    if (!m_machine) return;
    CMutexLock lock(*m_machine);
    SendText(Value());
}

void CLiteParameterControl::EndDrag() {
    if (!HasCapture()) return;
    ReleaseCapture();
    Container().LiteDragEnded(this);
}

} // namespace gui
