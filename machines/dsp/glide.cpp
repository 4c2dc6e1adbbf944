#include "machines/dsp/glide.h"

#include "machine_interface/vesk_host.h"
#include "machines/dsp/dsp_math.h"

#include <cmath>

CGlide::CGlide(int32_t sampleRate, float glideRate, float portamento, float curve)
    : m_sampleRate(sampleRate > 0 ? sampleRate : 1), m_glideRate(glideRate), m_portamento(portamento) {
    SetCurve(curve);
}

void CGlide::SetCurve(float k) {
    m_k = k;
    m_norm = CurveNormaliser(k);
}

void CGlide::SetTarget(float pitch) {
    if (!m_initialised) {
        m_initialised = true;
        m_current = m_start = m_target = pitch;
        m_sliding = false;
        return;
    }
    m_start = m_current;
    m_target = pitch;
    const float time = std::fabs(pitch - m_current) * m_glideRate + m_portamento;
    if (time > 0.0f) {
        m_sliding = true;
        m_increment = 1.0f / (time * static_cast<float>(m_sampleRate));
    } else {
        m_sliding = false;
        m_current = pitch;
    }
    m_phase = 0.0f;
}

void CGlide::SetNote(int32_t note, CVeskHost* host) {
    float frequency = 0.0f;
    if (host) {
        host->GetNoteFrequency(static_cast<uint32_t>(note), &frequency);
    } else if (note >= 0 && note < 128) {
        frequency = static_cast<float>(8.175798915636872 * std::pow(2.0, note / 12.0));
    }
    if (frequency > 0.0f) SetTarget(OctavePitch(frequency));
}

void CGlide::Render(int32_t count, float* out) {
    int32_t i = 0;
    if (m_sliding) {
        for (; i < count; ++i) {
            m_phase += m_increment;
            if (m_phase > 1.0f) m_phase = 1.0f;
            m_current = CurveValue(m_start, m_target, m_phase, m_k, m_norm);
            out[i] = m_current;
            if (m_phase >= 1.0f) {
                m_sliding = false;
                m_current = m_target;
                ++i;
                break;
            }
        }
    }
    for (; i < count; ++i)
        out[i] = m_current;
}
