#include "library/panels/skinned_panel.h"

#include "machine_interface/machine.h"

#include <QToolTip>
#include <QWheelEvent>
#include <QWidget>

namespace stock_panels {

void CWheelKnob::Nudge(int notches) {
    if (FrameCount() > 1) ChangeValue(Value() + static_cast<float>(notches) / static_cast<float>(FrameCount() - 1));
}

void CWheelSlider::Nudge(int notches) {
    if (m_travel > 0) ChangeValue(Value() + static_cast<float>(notches) / static_cast<float>(m_travel));
}

std::string CSkinnedPanel::HintText(gui::CLiteParameterControl& control) {
    CMachine* machine = control.Machine();
    if (!machine) return {};
    char name[64] = {}, text[64] = {};
    {
        CMutexLock lock(*machine);
        machine->GetParameterName(control.Parameter(), name);
        machine->FormatParameter(control.Parameter(), control.Value(), text);
    }
    return std::string(name) + ": " + text;
}

gui::CLiteParameterControl* CSkinnedPanel::ParameterControlAt(int x, int y) const {
    for (auto it = m_parameterControls.rbegin(); it != m_parameterControls.rend(); ++it)
        if ((*it)->IsVisible() && (*it)->IsEnabled() && (*it)->Contains(x, y)) return *it;
    return nullptr;
}

void CSkinnedPanel::UpdateHint(int x, int y) {
    if (!Widget()) return;
    gui::CLiteParameterControl* control = nullptr;
    for (gui::CLiteParameterControl* c : m_parameterControls)
        if (c == CaptureHolder()) control = c;
    const bool dragging = control != nullptr;
    if (!control) control = ParameterControlAt(x, y);
    const QString text = control ? QString::fromStdString(HintText(*control)) : QString();
    Widget()->setToolTip(text);
    // While a drag runs the tip follows the value at once, without waiting for the hover delay.
    if (dragging) QToolTip::showText(Widget()->mapToGlobal(QPoint(x, y)), text, Widget());
}

bool CSkinnedPanel::WheelTurned(QWheelEvent* event) {
    const QPoint at = event->position().toPoint();
    gui::CLiteParameterControl* control = ParameterControlAt(at.x(), at.y());
    const int notches = event->angleDelta().y() / 120;
    if (!control || notches == 0) return false;
    if (auto* knob = dynamic_cast<CWheelKnob*>(control)) knob->Nudge(notches);
    if (auto* slider = dynamic_cast<CWheelSlider*>(control)) slider->Nudge(notches);
    UpdateHint(at.x(), at.y());
    return true;
}

void CSkinnedPanel::PointerMove(int x, int y) {
    CLiteContainer::PointerMove(x, y);
    UpdateHint(x, y);
}

void CSkinnedPanel::LeftButtonDown(int x, int y) {
    CLiteContainer::LeftButtonDown(x, y);
    UpdateHint(x, y);
}

} // namespace stock_panels
