// CHeavyKnob: a round knob drawn with the painter (no picture strip), value 0..1. Dragging
// works like the skinned knob's: the press remembers the pointer's y and the value, and while the
// button is held the value becomes ((start y - y) x 0.01 + start value), quantised down to one of
// the knob's positions and clamped, so 100 pixels upward move it over the whole range. With focus
// the arrow keys step by one position, Page Up/Down by a tenth, Home and End go to the ends. A
// change the user makes is reported to the parent through ChildChanged(this).
//
// Threads: user-interface thread only. Pointer positions are logical pixels.
#pragma once

#include "gui/control.h"

namespace gui {

// The value a knob of positions steps (at least 2) takes when dragged from (startY, startValue)
// to y: index = trunc(((startY - y) x 0.01 + startValue) x (positions - 1)), clamped to
// 0 .. positions - 1, then index / (positions - 1). A hair of tolerance keeps whole steps whole
// where the decimal 0.01 is not exact in binary (29 pixels of 101 positions is 29/100, not 28).
float KnobDragValue(int startY, float startValue, int y, int positions);

class CHeavyKnob : public CControl {
public:
    static constexpr int kDefaultPositions = 101; // one per pixel of a 100-pixel drag

    using CControl::Create;
    void Create(CControl* parent, int x, int y, int width, int height, int positions = kDefaultPositions);
    float Value() const { return m_value; }
    // From code: no report.
    void SetValue(float value);
    int Positions() const { return m_positions; }

    void LeftButtonDown(int x, int y) override;
    void PointerMove(int x, int y) override;
    void LeftButtonUp(int x, int y) override;
    bool KeyPressed(QKeyEvent* event) override;
    void Render(QPainter& painter) override;

private:
    void ChangeByUser(float value);

    float m_value = 0.0f;
    int m_positions = kDefaultPositions;
    bool m_dragging = false;
    int m_startY = 0;
    float m_startValue = 0.0f;
};

} // namespace gui
