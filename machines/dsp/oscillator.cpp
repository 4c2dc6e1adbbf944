#include "machines/dsp/oscillator.h"

#include "machines/dsp/dsp_math.h"
#include "machines/dsp/shared_tables.h"

#include <cmath>

COscillator::COscillator(int32_t sampleRate, const CWaveTable* waveTable, float frequency,
                         const CStepTable* edge, const CStepTable* secondEdge)
    : m_sampleRate(sampleRate > 0 ? sampleRate : 1), m_waveTable(waveTable), m_edge(edge),
      m_secondEdge(secondEdge) {
    SetFrequency(frequency);
    m_random.state = RandomState::SeedFromProcess();
    if (edge) {
        m_ringSize = 2 * edge->ZeroCrossings() + 1;
        m_ring = std::make_unique<float[]>(static_cast<size_t>(m_ringSize));
    }
}

void COscillator::SetFrequency(float hz) {
    m_frequency = hz;
    m_basePitch = OctavePitch(hz);
}

void COscillator::SetPitch(float pitch) {
    m_basePitch = pitch;
    m_frequency = PitchFrequency(pitch);
}

void COscillator::SetWaveform(int32_t type) {
    if (type == m_waveform) return;
    m_waveform = type;
    m_phase = 0.0f;
}

float COscillator::ClampedIncrement(float hz) const {
    const float rate = static_cast<float>(m_sampleRate);
    if (hz < 1.0f) hz = 1.0f;
    if (hz > rate * 0.25f) hz = rate * 0.25f;
    return hz / rate;
}

void COscillator::RenderWave(float* out, int32_t count) {
    const float increment = m_frequency / static_cast<float>(m_sampleRate);
    float phase = m_phase;
    for (int32_t i = 0; i < count; ++i) {
        out[i] = m_waveTable->Lookup(phase);
        phase += increment;
        if (phase >= 1.0f) phase -= 1.0f;
    }
    m_phase = phase;
}

void COscillator::Advance(int32_t count) {
    const double phase = m_phase + static_cast<double>(count) * m_frequency / m_sampleRate;
    m_phase = static_cast<float>(phase - std::floor(phase));
    if (m_phase >= 1.0f) m_phase = 0.0f;
}

void COscillator::RenderSampleHold(float* out, int32_t count) {
    const float increment = m_frequency / static_cast<float>(m_sampleRate);
    for (int32_t i = 0; i < count; ++i) {
        out[i] = m_held;
        m_phase += increment;
        if (m_phase >= 1.0f) {
            m_held = (static_cast<float>(m_random.Next()) / 32767.0f - 0.5f) * 2.0f;
            m_phase -= 1.0f;
        }
    }
}

void COscillator::RenderSampleGlide(float* out, int32_t count) {
    const float increment = m_frequency / static_cast<float>(m_sampleRate);
    for (int32_t i = 0; i < count; ++i) {
        out[i] = m_held + m_phase * (m_next - m_held);
        m_phase += increment;
        if (m_phase >= 1.0f) {
            m_held = m_next;
            m_next = (static_cast<float>(m_random.Next()) / 32767.0f - 0.5f) * 2.0f;
            m_phase -= 1.0f;
        }
    }
}

void COscillator::RenderPitched(const float* pitch, float* out, int32_t count) {
    const float rate = static_cast<float>(m_sampleRate);
    float phase = m_phase;
    for (int32_t i = 0; i < count; ++i) {
        out[i] = m_waveTable->Lookup(phase);
        phase += 440.0f * Pow2(pitch[i] + m_basePitch - 5.0f) / rate;
        if (phase >= 1.0f) phase -= 1.0f;
    }
    m_phase = phase;
}

void COscillator::RenderBlend(const float* pitch, float* out, int32_t count, const CWaveTable* second,
                              const float* blend, float blendAmount) {
    const float rate = static_cast<float>(m_sampleRate);
    float step = 440.0f * Pow2(m_basePitch - 5.0f) / rate;
    for (int32_t i = 0; i < count; ++i) {
        const float g = blend ? blendAmount * blend[i] : blendAmount;
        out[i] = g * second->Lookup(m_phase) + (1.0f - g) * m_waveTable->Lookup(m_phase);
        if (pitch) step = 440.0f * Pow2(m_basePitch + pitch[i] - 5.0f) / rate;
        m_phase += step;
        if (m_phase >= 1.0f) m_phase -= 1.0f;
    }
}

void COscillator::InsertEdge(float fraction, float height, bool secondTable) {
    const CStepTable* table = m_edge;
    if (secondTable && m_secondEdge)
        table = m_secondEdge;
    else if (m_waveform == kTriSquare)
        table = SharedTables().integratedEdge.get();
    if (!table || !m_ring) return;
    const int32_t points = table->PointsPerSample();
    const int32_t last = table->Count() - 1;
    const float* t = table->Values();
    const float position = fraction * static_cast<float>(points);
    int32_t j = static_cast<int32_t>(position);
    const float g = position - static_cast<float>(j);
    int32_t cell = m_readIndex;
    for (int32_t step = 0; j < last && step < m_ringSize; ++step) {
        const float correction = height * (1.0f - (t[j] + g * (t[j + 1] - t[j])));
        if (step < m_pending) {
            m_ring[static_cast<size_t>(cell)] += correction;
        } else {
            m_ring[static_cast<size_t>(cell)] = correction;
            ++m_pending;
        }
        j += points;
        if (++cell == m_ringSize) cell = 0;
    }
}

void COscillator::Render(const float* width, const float* sync, const float* pitch, float* out,
                         float* syncOut, int32_t count) {
    const int32_t waveform = m_waveform;
    const bool pulseWave = waveform == kTriSquare || waveform == kSquare || waveform == kImpulse;
    float increment = ClampedIncrement(m_frequency);
    int32_t countdown = 0;
    float w = 0.5f;
    float phase = m_phase;
    for (int32_t i = 0; i < count; ++i) {
        if (pitch) {
            if (countdown == 0) {
                countdown = kPitchInterval - 1;
                increment = ClampedIncrement(440.0f * Pow2(m_basePitch + pitch[i] - 5.0f));
            } else {
                --countdown;
            }
        }
        if (width) {
            w = (width[i] + 1.0f) * 0.5f;
            w = w < 0.0f ? 0.0f : (w > 1.0f ? 1.0f : w);
        }
        const float m = phase + increment;
        const bool syncReset = sync && sync[i] == 0.0f;
        if (m >= 1.0f || syncReset) {
            phase = syncReset ? 0.0f : m - 1.0f;
            if (syncOut) syncOut[i] = 0.0f;
            InsertEdge(phase / increment, waveform == kSaw ? (syncReset ? m : 1.0f) : 1.0f,
                       waveform == kImpulse);
            m_pulse = 0.0f;
        } else {
            phase = m;
            if (syncOut) syncOut[i] = 1.0f;
        }
        if (pulseWave && m_pulse == 0.0f && phase > w) {
            InsertEdge((phase - w) / increment, -1.0f, waveform == kImpulse);
            m_pulse = 1.0f;
        }
        float v = waveform == kSaw ? phase : (waveform == kImpulse ? 0.0f : m_pulse);
        if (m_pending > 0) {
            v += m_ring[static_cast<size_t>(m_readIndex)];
            if (++m_readIndex == m_ringSize) m_readIndex = 0;
            --m_pending;
        }
        out[i] = waveform == kImpulse ? v : 2.0f * v - 1.0f;
    }
    m_phase = phase;
}
