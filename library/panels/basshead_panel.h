// The BassHead panel: 73 sliders, one per parameter in index order, down three columns of groups,
// and the text display (CLCDScreen) that reports each change as "NAME -> TEXT".
//
// Threads: made, shown and closed on the user-interface thread; ShowChange runs on whichever
// thread changes a parameter (machine locked) and only stores state for the next repaint.
#pragma once

#include "library/panels/machine_panel.h"
#include "machines/basshead/basshead.h"

#include <array>

namespace gui {
class CLiteSlider;
}

namespace stock_panels {

class CLCDScreen;

class CBassHeadPanel : public CMachinePanel, public CBassHeadPanelLink {
public:
    static constexpr const char* kGreeting = "BassHead 1.0 Ready";

    // Closes the machine's open panel first. The machine must outlive the panel or close it.
    CBassHeadPanel(CBassHead* machine, QWidget* parent);
    ~CBassHeadPanel() override;

    gui::CLiteSlider* Slider(int32_t parameter) const;
    CLCDScreen* Screen() const { return m_screen; }

    void ShowChange(int32_t parameter, float value) override;
    void ClosePanel() override;

private:
    CBassHead* m_machine;
    std::array<gui::CLiteSlider*, basshead::kParameterCount> m_sliders{};
    CLCDScreen* m_screen = nullptr;
};

} // namespace stock_panels
