// The DrumKit panel: 27 knobs of 36 pixels over the background at the places of
// drumkit_panel_layout.h, one per parameter that has a place (the Balance parameters have none).
//
// Threads: made, shown and closed on the user-interface thread; MoveKnob runs on whichever thread
// changes a parameter (machine locked) and only marks the knob for the next repaint.
#pragma once

#include "library/panels/machine_panel.h"
#include "machines/drumkit/drumkit.h"

#include <array>

namespace gui {
class CLiteKnob;
}

namespace stock_panels {

class CDrumKitPanel : public CMachinePanel, public CDrumKitPanelLink {
public:
    // Closes the machine's open panel first. The machine must outlive the panel or close it.
    CDrumKitPanel(CDrumKit* machine, QWidget* parent);
    ~CDrumKitPanel() override;

    // The knob of a parameter, or null for one without a place.
    gui::CLiteKnob* Knob(int32_t parameter) const;

    void MoveKnob(int32_t parameter, float value) override;
    void ClosePanel() override;

private:
    CDrumKit* m_machine;
    std::array<gui::CLiteKnob*, CDrumKit::kParameterCount> m_knobs{};
};

} // namespace stock_panels
