#include "gui/lite_knob.h"

#include <algorithm>
#include <cmath>

namespace gui {
namespace {

// Values of the form index / (frames - 1) come back from a float a hair below the index; the
// frame must still be that index, so truncation allows for the float's rounding.
constexpr double kFrameTolerance = 1e-4;

} // namespace

CLiteKnob::CLiteKnob(CLiteContainer& container, int x, int y, int width, int height, const CPicture& strip,
                     CMachine* machine, int32_t parameter)
    : CLiteParameterControl(container, x, y, width, height, machine, parameter), m_strip(strip),
      m_frames(height > 0 ? strip.Height() / height : 0) {}

int CLiteKnob::Frame() const {
    if (m_frames < 2) return 0;
    const int frame = static_cast<int>(static_cast<double>(Value()) * (m_frames - 1) + kFrameTolerance);
    return std::clamp(frame, 0, m_frames - 1);
}

void CLiteKnob::Draw(CPicture& target) {
    if (m_frames < 1) return;
    target.Draw(m_strip, 0, Frame() * Height(), Width(), Height(), X(), Y());
}

void CLiteKnob::LeftButtonDown(int, int y) {
    m_startY = y;
    m_startValue = Value();
    BeginDrag();
}

void CLiteKnob::PointerMove(int, int y) {
    if (!HasCapture() || m_frames < 2) return;
    const double position = (m_startY - y) * 0.01 + m_startValue;
    // Truncated toward zero, then kept on the strip.
    const int index = std::clamp(static_cast<int>(position * (m_frames - 1)), 0, m_frames - 1);
    ChangeValue(static_cast<float>(index) / static_cast<float>(m_frames - 1));
}

void CLiteKnob::LeftButtonUp(int, int) { EndDrag(); }

} // namespace gui
