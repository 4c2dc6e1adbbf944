#include "gui/lite_button.h"

namespace gui {

CLiteButton::CLiteButton(CLiteContainer& container, int x, int y, const CPicture& up, const CPicture& pressed,
                         const CPicture& latched, Mode mode)
    : CLiteControl(container, x, y, up.Width(), up.Height()), m_up(up), m_pressed(pressed), m_latched(latched),
      m_mode(mode) {}

void CLiteButton::SetState(int state) {
    if (state < kUp || state > kLatched || state == m_state) return;
    m_state = state;
    Redraw();
}

void CLiteButton::Draw(CPicture& target) {
    const CPicture& picture = m_state == kPressed ? m_pressed : m_state == kLatched ? m_latched : m_up;
    target.Draw(picture, 0, 0, Width(), Height(), X(), Y());
}

void CLiteButton::LeftButtonDown(int, int) {
    if (m_mode == Mode::kToggle && m_state == kLatched) {
        SetState(kUp);
        Container().LiteButtonClicked(this);
        return;
    }
    m_tracking = true;
    SetCapture();
    SetState(kPressed);
}

void CLiteButton::PointerMove(int x, int y) {
    if (!m_tracking) return;
    SetState(Contains(x, y) ? kPressed : kUp);
}

void CLiteButton::LeftButtonUp(int, int) {
    if (!m_tracking) return;
    m_tracking = false;
    ReleaseCapture();
    if (m_state != kPressed) return;
    SetState(m_mode == Mode::kToggle ? kLatched : kUp);
    Container().LiteButtonClicked(this);
}

void CLiteButton::CaptureLost() {
    // The press ends without a click.
    if (!m_tracking) return;
    m_tracking = false;
    if (m_state == kPressed) SetState(kUp);
}

} // namespace gui
