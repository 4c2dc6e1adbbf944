// CLiteSlider: a skinned slider: a handle picture moving along a track, horizontal or vertical,
// over an optional back picture. The handle sits at value x (track - handle length), measured up
// from the bottom when vertical. A drag starts only on the handle and moves the value by the
// pointer's distance along the track.
//
// Threads: as every lightweight control (lite_container.h); the pictures are not owned and must
// outlive the slider.
#pragma once

#include "gui/lite_parameter.h"

namespace gui {

class CLiteSlider : public CLiteParameterControl {
public:
    enum class Orientation { kHorizontal, kVertical };

    // The slider covers the track (trackLength long) and the handle's breadth; back may be null.
    CLiteSlider(CLiteContainer& container, int x, int y, int trackLength, Orientation orientation,
                const CPicture& handle, const CPicture* back, CMachine* machine, int32_t parameter);

    // The handle's rectangle in container coordinates.
    QRect HandleRect() const;

    void Draw(CPicture& target) override;
    void PointerMove(int x, int y) override;
    void LeftButtonDown(int x, int y) override;
    void LeftButtonUp(int x, int y) override;

private:
    int HandleLength() const;
    int Travel() const;

    Orientation m_orientation;
    const CPicture& m_handle;
    const CPicture* m_back;
    int m_startPosition = 0;
    float m_startValue = 0.0f;
};

} // namespace gui
