#include "gui/lite_meter.h"

#include <algorithm>
#include <cmath>

namespace gui {
namespace {

float Fraction(float level) { return (std::min(level, CLiteMeter::kTopDb) - CLiteMeter::kBottomDb) / 60.0f; }

} // namespace

CLiteMeter::CLiteMeter(CLiteContainer& container, int x, int y, int width, int height)
    : CLiteControl(container, x, y, width, height) {}

void CLiteMeter::SetLevel(float levelDb) {
    m_level.store(std::isnan(levelDb) ? -90.0f : levelDb, std::memory_order_relaxed);
    MarkDirty();
}

int CLiteMeter::BarHeight() const {
    const float level = Level();
    if (!(level >= kBottomDb)) return 0;
    return static_cast<int>(Fraction(level) * static_cast<float>(Height()));
}

void CLiteMeter::Draw(CPicture& target) {
    const int bar = BarHeight();
    if (bar <= 0) return;
    const float fraction = Fraction(Level());
    const auto red = static_cast<uint8_t>(fraction * 255.0f);
    target.FillRect(X(), Y() + Height() - bar, Width(), bar, red, static_cast<uint8_t>(255 - red), 0);
}

} // namespace gui
