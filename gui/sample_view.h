// CSampleView: draws the waveform of a float buffer (one channel, full scale +-1), one vertical
// line per pixel column from the column's lowest to its highest sample, over a centre line.
//
// Threads: user-interface thread only. The view keeps its own copy of the samples.
#pragma once

#include "gui/control.h"

#include <cstddef>
#include <vector>

namespace gui {

class CSampleView : public CControl {
public:
    using CControl::Create;
    void Create(CControl* parent, int x, int y, int width, int height);
    // Copies count samples and repaints; null or none shows an empty view.
    void SetSamples(const float* samples, size_t count);
    size_t SampleCount() const { return m_samples.size(); }

    void Render(QPainter& painter) override;

private:
    std::vector<float> m_samples;
};

} // namespace gui
