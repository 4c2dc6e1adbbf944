// The lowest and highest sample a pixel column of a waveform view stands for. Qt-free, so it is
// tested without a display. Samples are floats (full scale +-1); columns 0 .. columns - 1.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace gui {

struct ColumnExtent {
    float low = 0.0f;
    float high = 0.0f;
};

// Column c covers samples [c x count / columns, (c + 1) x count / columns), at least one; with
// fewer samples than columns neighbouring columns show the same sample. Samples that are not
// numbers count as silence. No samples or no columns: a flat line.
inline ColumnExtent WaveformColumn(const float* samples, size_t count, int column, int columns) {
    if (!samples || count == 0 || columns <= 0 || column < 0 || column >= columns) return {};
    const size_t perColumns = static_cast<size_t>(columns);
    const size_t first = std::min(static_cast<size_t>(column) * count / perColumns, count - 1);
    const size_t end = std::max(first + 1, std::min((static_cast<size_t>(column) + 1) * count / perColumns, count));
    ColumnExtent extent{INFINITY, -INFINITY};
    for (size_t i = first; i < end; ++i) {
        const float sample = std::isnan(samples[i]) ? 0.0f : samples[i];
        extent.low = std::min(extent.low, sample);
        extent.high = std::max(extent.high, sample);
    }
    return extent;
}

} // namespace gui
