#include "gui/sample_view.h"

#include "gui/color_manager.h"
#include "gui/waveform_columns.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace gui {

namespace {

constexpr int kSlotCentreLine = 23;
constexpr int kSlotWave = 36;

} // namespace

void CSampleView::Create(CControl* parent, int x, int y, int width, int height) {
    CControl::Create(parent, "SampleView", x, y, width, height, true);
}

void CSampleView::SetSamples(const float* samples, size_t count) {
    if (samples) m_samples.assign(samples, samples + count);
    else m_samples.clear();
    Refresh();
}

void CSampleView::Render(QPainter& painter) {
    const CColorManager& colors = Colors();
    const int width = Width();
    const int height = Height();
    painter.fillRect(0, 0, width, height, colors.Brush(kSlotFieldBackground));
    const int inner = std::max(height - 4, 1);
    const double half = (inner - 1) / 2.0;
    const double centre = 2 + half;
    painter.fillRect(2, static_cast<int>(centre), std::max(width - 4, 0), 1, colors.Brush(kSlotCentreLine));
    if (!m_samples.empty()) {
        const int columns = std::max(width - 4, 0);
        // A sample of +1 reaches the top row, -1 the bottom; louder ones are clipped to the view.
        auto row = [&](float sample) {
            return static_cast<int>(std::lround(centre - std::clamp(static_cast<double>(sample), -1.0, 1.0) * half));
        };
        const QBrush& wave = colors.Brush(kSlotWave);
        for (int c = 0; c < columns; ++c) {
            const ColumnExtent extent = WaveformColumn(m_samples.data(), m_samples.size(), c, columns);
            const int top = row(extent.high);
            const int bottom = row(extent.low);
            painter.fillRect(2 + c, top, 1, bottom - top + 1, wave);
        }
    }
    DrawBevel(painter, 0, 0, width, height, Bevel::kSunken, colors);
}

} // namespace gui
