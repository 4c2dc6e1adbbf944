#include "gui/lite_slider.h"

#include <algorithm>

namespace gui {
namespace {

bool Vertical(CLiteSlider::Orientation orientation) { return orientation == CLiteSlider::Orientation::kVertical; }

} // namespace

CLiteSlider::CLiteSlider(CLiteContainer& container, int x, int y, int trackLength, Orientation orientation,
                         const CPicture& handle, const CPicture* back, CMachine* machine, int32_t parameter)
    : CLiteParameterControl(container, x, y, Vertical(orientation) ? handle.Width() : trackLength,
                            Vertical(orientation) ? trackLength : handle.Height(), machine, parameter),
      m_orientation(orientation), m_handle(handle), m_back(back) {}

int CLiteSlider::HandleLength() const { return Vertical(m_orientation) ? m_handle.Height() : m_handle.Width(); }

int CLiteSlider::Travel() const {
    return std::max(0, (Vertical(m_orientation) ? Height() : Width()) - HandleLength());
}

QRect CLiteSlider::HandleRect() const {
    const int offset = static_cast<int>(Value() * static_cast<float>(Travel()));
    if (Vertical(m_orientation)) return {X(), Y() + Travel() - offset, m_handle.Width(), m_handle.Height()};
    return {X() + offset, Y(), m_handle.Width(), m_handle.Height()};
}

void CLiteSlider::Draw(CPicture& target) {
    if (m_back) target.Draw(*m_back, 0, 0, Width(), Height(), X(), Y());
    const QRect handle = HandleRect();
    target.Draw(m_handle, 0, 0, handle.width(), handle.height(), handle.x(), handle.y());
}

void CLiteSlider::LeftButtonDown(int x, int y) {
    if (!HandleRect().contains(x, y)) return;
    m_startPosition = Vertical(m_orientation) ? y : x;
    m_startValue = Value();
    BeginDrag();
}

void CLiteSlider::PointerMove(int x, int y) {
    if (!HasCapture() || Travel() == 0) return;
    // Up and right raise the value.
    const int moved = Vertical(m_orientation) ? m_startPosition - y : x - m_startPosition;
    ChangeValue(m_startValue + static_cast<float>(moved) / static_cast<float>(Travel()));
}

void CLiteSlider::LeftButtonUp(int, int) { EndDrag(); }

} // namespace gui
