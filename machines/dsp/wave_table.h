// CWaveTable: one period of a waveform, read with wrap-around linear interpolation.
#pragma once

#include <cstdint>
#include <memory>

class CWaveTable {
public:
    // count values, zeroed; the builder fills them through Values().
    explicit CWaveTable(int32_t count);

    int32_t Count() const { return m_count; }
    float* Values() { return m_values.get(); }
    const float* Values() const { return m_values.get(); }

    // Value at phase x (x >= 0; x >= 1 wraps to its fractional part), interpolated linearly between
    // neighbouring values, the last one leading back to the first.
    float Lookup(float x) const {
        if (x >= 1.0f) x -= static_cast<float>(static_cast<int32_t>(x));
        const float pos = x * static_cast<float>(m_count);
        int32_t i = static_cast<int32_t>(pos);
        const float frac = pos - static_cast<float>(i);
        if (i >= m_count) i = m_count - 1; // x a hair below 1 rounded up
        const int32_t j = i + 1 == m_count ? 0 : i + 1;
        const float* t = m_values.get();
        return t[i] + frac * (t[j] - t[i]);
    }

private:
    int32_t m_count;
    std::unique_ptr<float[]> m_values;
};
