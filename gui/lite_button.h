// CLiteButton: a skinned button of three pictures (up; pressed with the pointer inside; latched),
// momentary or toggling. A press shows the pressed picture while the pointer stays on the button;
// a release there reports the click to the container (and latches a toggling button); a toggling
// button pressed while latched reports the click and comes back up.
//
// Threads: as every lightweight control (lite_container.h); the pictures are not owned and must
// outlive the button.
#pragma once

#include "gui/lite_container.h"

namespace gui {

class CLiteButton : public CLiteControl {
public:
    enum class Mode { kMomentary, kToggle };
    enum State : int { kUp = 0, kPressed = 1, kLatched = 2 };

    // The button takes the up picture's size.
    CLiteButton(CLiteContainer& container, int x, int y, const CPicture& up, const CPicture& pressed,
                const CPicture& latched, Mode mode);

    Mode ButtonMode() const { return m_mode; }
    int State() const { return m_state; }
    // UI thread: sets the state from code (0, 1 or 2; others are ignored) and redraws; no click.
    void SetState(int state);

    void Draw(CPicture& target) override;
    void PointerMove(int x, int y) override;
    void LeftButtonDown(int x, int y) override;
    void LeftButtonUp(int x, int y) override;
    void CaptureLost() override;

private:
    const CPicture& m_up;
    const CPicture& m_pressed;
    const CPicture& m_latched;
    Mode m_mode;
    int m_state = kUp;
    // A press that may still become a click (the pointer went down on the button).
    bool m_tracking = false;
};

} // namespace gui
