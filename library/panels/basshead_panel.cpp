#include "library/panels/basshead_panel.h"

#include "gui/lite_slider.h"
#include "library/panels/lcd_screen.h"
#include "library/panels/stock_pictures.h"
#include "machines/basshead/basshead_panel_layout.h"

#include <cstdio>

namespace stock_panels {

using namespace basshead_panel;

CBassHeadPanel::CBassHeadPanel(CBassHead* machine, QWidget* parent) : m_machine(machine) {
    if (CBassHeadPanelLink* previous = machine->PanelLink()) previous->ClosePanel();
    CreateIn(parent, "QX BassHead", stock_pictures::Get(stock_pictures::kBassHeadBackground));
    const gui::CPicture& track = stock_pictures::Get(stock_pictures::kBassHeadTrack);
    const gui::CPicture& handle = stock_pictures::Get(stock_pictures::kBassHeadHandle);
    for (int32_t i = 0; i < basshead::kParameterCount; ++i) {
        int x = 0, y = 0;
        SliderPlace(i, x, y);
        m_sliders[static_cast<size_t>(i)] = AddParameterControl<CWheelSlider>(x, y, track.Width(), gui::CLiteSlider::Orientation::kHorizontal,
                                                                  handle, &track, machine, i);
    }
    m_screen = Add<CLCDScreen>(kScreenX + kScreenInset, kScreenY + kScreenInset, kScreenWidth - 2 * kScreenInset,
                               kScreenHeight - 2 * kScreenInset, stock_pictures::Get(stock_pictures::kBassHeadFont));
    m_screen->Show(-1, kGreeting);
    {
        CMutexLock lock(*machine);
        machine->SetPanelLink(this);
    }
    ShowPanel();
}

CBassHeadPanel::~CBassHeadPanel() {
    if (!m_machine) return;
    CMutexLock lock(*m_machine);
    if (m_machine->PanelLink() == this) m_machine->SetPanelLink(nullptr);
}

gui::CLiteSlider* CBassHeadPanel::Slider(int32_t parameter) const {
    return parameter >= 0 && parameter < basshead::kParameterCount ? m_sliders[static_cast<size_t>(parameter)] : nullptr;
}

void CBassHeadPanel::ShowChange(int32_t parameter, float value) {
    gui::CLiteSlider* slider = Slider(parameter);
    if (!slider) return;
    slider->SetValue(value);
    // Fixed buffers: this may run on a worker thread, which must not allocate.
    char name[64], text[64], line[160];
    m_machine->GetParameterName(parameter, name);
    m_machine->FormatParameter(parameter, value, text);
    std::snprintf(line, sizeof line, "%s -> %s", name, text);
    m_screen->Show(parameter, line);
}

void CBassHeadPanel::ClosePanel() {
    // The machine forgets the panel (it is going, or replacing it), under its lock: a parameter
    // change on another thread may be reaching for the panel right now.
    {
        CMutexLock lock(*m_machine);
        m_machine->SetPanelLink(nullptr);
    }
    m_machine = nullptr;
    delete this;
}

} // namespace stock_panels
