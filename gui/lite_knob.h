// CLiteKnob: a skinned knob drawn from a picture strip of equal frames stacked top to bottom
// (frame height = the knob's height). Dragging up 100 pixels turns it through its whole range.
//
// Threads: as every lightweight control (lite_container.h); the strip is not owned and must
// outlive the knob (a panel's artwork).
#pragma once

#include "gui/lite_parameter.h"

namespace gui {

class CLiteKnob : public CLiteParameterControl {
public:
    // The knob is width x height at (x, y); strip holds strip height / height frames.
    CLiteKnob(CLiteContainer& container, int x, int y, int width, int height, const CPicture& strip,
              CMachine* machine, int32_t parameter);

    int FrameCount() const { return m_frames; }
    // The frame the current value shows: (frames - 1) x value, truncated.
    int Frame() const;

    void Draw(CPicture& target) override;
    void PointerMove(int x, int y) override;
    void LeftButtonDown(int x, int y) override;
    void LeftButtonUp(int x, int y) override;

private:
    const CPicture& m_strip;
    int m_frames;
    int m_startY = 0;
    float m_startValue = 0.0f;
};

} // namespace gui
