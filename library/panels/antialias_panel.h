// The AntiAlias panel: one 96-pixel knob for "Oversampling" at the top-left corner of its
// background.
//
// Threads: made, shown and closed on the user-interface thread; MoveKnob runs on whichever thread
// changes the parameter (machine locked) and only marks the knob for the next repaint.
#pragma once

#include "library/panels/machine_panel.h"
#include "machines/antialias/antialias_filter.h"

namespace gui {
class CLiteKnob;
}

namespace stock_panels {

class CAntiAliasPanel : public CMachinePanel, public CAntiAliasPanelLink {
public:
    // Closes the machine's open panel first. The machine must outlive the panel or close it.
    CAntiAliasPanel(CAntiAliasFilter* machine, QWidget* parent);
    ~CAntiAliasPanel() override;

    gui::CLiteKnob* Knob() const { return m_knob; }

    void MoveKnob(float value) override;
    void ClosePanel() override;

private:
    CAntiAliasFilter* m_machine;
    gui::CLiteKnob* m_knob = nullptr;
};

} // namespace stock_panels
