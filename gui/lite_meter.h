// CLiteMeter: a vertical level bar on a skinned panel. Levels are in dB, limited to +12; below
// -48 dB nothing is drawn; above, the bar fills f = (level + 48) / 60 of the height from the bottom
// and turns from green to red as f rises (red = f x 255, green = 255 - red).
//
// Threads: SetLevel may be called from any thread (a panel's meter update on the graphics thread):
// it stores the level (one atomic, so no lock: a graphics thread holding the studio mutex must never
// wait for the UI's composition) and marks the meter dirty; the UI thread draws.
#pragma once

#include "gui/lite_container.h"

#include <atomic>

namespace gui {

class CLiteMeter : public CLiteControl {
public:
    static constexpr float kTopDb = 12.0f;
    static constexpr float kBottomDb = -48.0f;

    CLiteMeter(CLiteContainer& container, int x, int y, int width, int height);

    // Any thread: the level in dB (NaN reads as silence).
    void SetLevel(float levelDb);
    float Level() const { return m_level.load(std::memory_order_relaxed); }
    // The bar's height in pixels for the current level.
    int BarHeight() const;

    void Draw(CPicture& target) override;

private:
    // Written and read anywhere.
    std::atomic<float> m_level{-90.0f};
};

} // namespace gui
