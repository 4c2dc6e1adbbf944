#include "audio_out/offline_driver.h"

#include <algorithm>

void SilenceCallback(int32_t channelCount, float** channels, int32_t frames) {
    for (int32_t c = 0; c < channelCount; ++c)
        std::fill(channels[c], channels[c] + frames, 0.0f);
}

COfflineDriver::COfflineDriver(int32_t sampleRate, int32_t bufferSize, int32_t channels)
    : m_sampleRate(sampleRate), m_bufferSize(std::max(1, bufferSize)), m_channelCount(std::max(0, channels)),
      m_buffers(static_cast<size_t>(m_channelCount),
                std::vector<float>(static_cast<size_t>(m_bufferSize), 0.0f)),
      m_readPosition(m_bufferSize) {
    for (auto& buffer : m_buffers)
        m_pointers.push_back(buffer.data());
}

void COfflineDriver::RenderBuffer() {
    // The update pass runs between buffers, never inside one.
    const int64_t updateInterval = std::max<int64_t>(1, m_sampleRate / 100);
    if (m_updatePass && m_framesSinceUpdate >= updateInterval) {
        m_framesSinceUpdate %= updateInterval;
        m_updatePass();
    }
    m_callback(m_channelCount, m_pointers.data(), m_bufferSize);
    m_framesSinceUpdate += m_bufferSize;
    m_readPosition = 0;
}

void COfflineDriver::Render(float** channels, int32_t channelCount, int32_t frames) {
    int32_t written = 0;
    while (written < frames) {
        if (m_readPosition == m_bufferSize) RenderBuffer();
        const int32_t piece = std::min(frames - written, m_bufferSize - m_readPosition);
        for (int32_t c = 0; c < channelCount; ++c) {
            float* out = channels[c] + written;
            if (c < m_channelCount)
                std::copy_n(m_buffers[static_cast<size_t>(c)].data() + m_readPosition, piece, out);
            else
                std::fill_n(out, piece, 0.0f);
        }
        m_readPosition += piece;
        written += piece;
    }
    m_framesRendered += frames;
}
