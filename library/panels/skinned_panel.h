// CSkinnedPanel: a skinned container whose knobs and sliders also take the mouse wheel (one step
// per notch: a knob's frame, a slider's pixel) and name their parameter and its display text in
// the window's tool tip while hovered or dragged, as users of any plug-in host expect.
//
// Threads: user-interface thread.
#pragma once

#include "gui/lite_container.h"
#include "gui/lite_knob.h"
#include "gui/lite_slider.h"

#include <string>
#include <utility>
#include <vector>

class QWheelEvent;

namespace stock_panels {

// A knob that turns by whole frames.
class CWheelKnob : public gui::CLiteKnob {
public:
    using CLiteKnob::CLiteKnob;
    void Nudge(int notches);
};

// A slider that moves by whole pixels of its travel.
class CWheelSlider : public gui::CLiteSlider {
public:
    CWheelSlider(gui::CLiteContainer& container, int x, int y, int trackLength, Orientation orientation,
                 const gui::CPicture& handle, const gui::CPicture* back, CMachine* machine, int32_t parameter)
        : CLiteSlider(container, x, y, trackLength, orientation, handle, back, machine, parameter),
          m_travel(trackLength - (orientation == Orientation::kVertical ? handle.Height() : handle.Width())) {}
    void Nudge(int notches);

private:
    int m_travel;
};

class CSkinnedPanel : public gui::CLiteContainer {
public:
    // Adds a CWheelKnob or CWheelSlider and lets the wheel and the tool tip reach it.
    template <class T, class... Args>
    T* AddParameterControl(Args&&... args) {
        T* control = Add<T>(std::forward<Args>(args)...);
        m_parameterControls.push_back(control);
        return control;
    }
    // The tool tip's text for a control: "name: display text".
    static std::string HintText(gui::CLiteParameterControl& control);

    bool WheelTurned(QWheelEvent* event) override;
    void PointerMove(int x, int y) override;
    void LeftButtonDown(int x, int y) override;

private:
    gui::CLiteParameterControl* ParameterControlAt(int x, int y) const;
    void UpdateHint(int x, int y);

    std::vector<gui::CLiteParameterControl*> m_parameterControls;
};

} // namespace stock_panels
