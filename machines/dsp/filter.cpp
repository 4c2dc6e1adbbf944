#include "machines/dsp/filter.h"

#include "machines/dsp/dsp_math.h"

#include <cmath>
#include <initializer_list>

namespace {
constexpr float kSqrt2 = 1.41421356f;

// Flushes values too small to matter, so a silent tail never drops into denormals.
inline float Flush(float x) {
    return std::fabs(x) < 1e-15f ? 0.0f : x;
}
} // namespace

CFilter::CFilter(int32_t sampleRate, int32_t type, bool cascade, float cutoffPitch, float resonanceDb)
    : m_type(type), m_cascade(cascade), m_cutoff(cutoffPitch), m_sampleRate(sampleRate > 0 ? sampleRate : 1) {
    SetResonance(resonanceDb);
}

void CFilter::SetCutoff(float pitch) {
    m_cutoff = pitch;
    m_dirty = true;
}

void CFilter::SetResonance(float db) {
    m_resonance = db;
    m_damping = std::pow(10.0f, -db / 10.0f);
    m_dirty = true;
}

void CFilter::SetType(int32_t type) {
    m_type = type;
    Reset();
    m_dirty = true;
}

void CFilter::SetCascade(bool cascade) {
    m_cascade = cascade;
    m_dirty = true;
}

void CFilter::SetOutputGain(float gain) {
    m_outputGain = gain;
    m_dirty = true;
}

void CFilter::SetSampleRate(int32_t rate) {
    m_sampleRate = rate > 0 ? rate : 1;
    m_dirty = true;
}

void CFilter::Reset() {
    m_stages[0] = Stage{};
    m_stages[1] = Stage{};
}

void CFilter::Update(float pitch, float damping) {
    ++m_updates;
    const auto rate = static_cast<float>(m_sampleRate);
    float f = PitchFrequency(pitch);
    if (!(f >= 1.0f)) f = 1.0f;
    if (f > rate * 0.25f) f = rate * 0.25f;
    const float omega = kPi * f / rate;
    switch (m_type) {
    case kLowPass: {
        const float c = 1.0f / std::tan(omega);
        const float a0 = 1.0f / (1.0f + kSqrt2 * damping * c + c * c);
        m_b0 = a0;
        m_b1 = 2.0f * a0;
        m_b2 = a0;
        m_a1 = 2.0f * a0 * (1.0f - c * c);
        m_a2 = a0 * (1.0f - kSqrt2 * damping * c + c * c);
        break;
    }
    case kHighPass: {
        const float c = std::tan(omega);
        const float a0 = 1.0f / (1.0f + kSqrt2 * damping * c + c * c);
        m_b0 = a0;
        m_b1 = -2.0f * a0;
        m_b2 = a0;
        m_a1 = 2.0f * a0 * (c * c - 1.0f);
        m_a2 = a0 * (1.0f - kSqrt2 * damping * c + c * c);
        break;
    }
    case kBandPass: {
        const float e = 2.0f * std::cos(kTwoPi * f / rate);
        const float c = 1.0f / std::tan(kPi * f * damping / rate);
        const float a0 = 1.0f / (c + 1.0f);
        m_b0 = a0;
        m_b1 = 0.0f;
        m_b2 = -a0;
        m_a1 = -c * e * a0;
        m_a2 = (c - 1.0f) * a0;
        break;
    }
    default: {
        const float e = 2.0f * std::cos(kTwoPi * f / rate);
        const float c = std::tan(kPi * f * damping / rate);
        const float a0 = 1.0f / (c + 1.0f);
        m_b0 = a0;
        m_b1 = -e * a0;
        m_b2 = a0;
        m_a1 = -e * a0;
        m_a2 = (1.0f - c) * a0;
        break;
    }
    }
}

void CFilter::Process(int32_t count, float* samples, const float* cutoff, const float* resonance) {
    float gain = std::pow(10.0f, -m_resonance / 20.0f) * m_outputGain;
    const bool modulated = cutoff || resonance;
    // Coefficients and state live in locals for the loop (the samples could alias the members as far
    // as the compiler knows), and go back to the members at the end.
    float b0 = m_b0, b1 = m_b1, b2 = m_b2, a1 = m_a1, a2 = m_a2;
    Stage s1 = m_stages[0];
    Stage s2 = m_stages[1];
    const bool cascade = m_cascade;
    for (int32_t i = 0; i < count; ++i) {
        bool update = m_dirty;
        if (modulated) {
            if (m_countdown == 0) {
                update = true;
                m_countdown = kUpdateInterval - 1;
            } else {
                --m_countdown;
            }
        }
        if (update) {
            m_dirty = false;
            float damping = m_damping;
            if (resonance) {
                const float db = m_resonance + resonance[i];
                damping = std::pow(10.0f, -db / 10.0f);
                gain = std::pow(10.0f, -db / 20.0f) * m_outputGain;
            }
            Update(cutoff ? m_cutoff + cutoff[i] : m_cutoff, damping);
            b0 = m_b0;
            b1 = m_b1;
            b2 = m_b2;
            a1 = m_a1;
            a2 = m_a2;
        }
        const float x = samples[i];
        float y = b0 * x + b1 * s1.x1 + b2 * s1.x2 - a1 * s1.y1 - a2 * s1.y2;
        s1.x2 = s1.x1;
        s1.x1 = x;
        s1.y2 = s1.y1;
        s1.y1 = y;
        if (cascade) {
            const float x2 = y;
            y = b0 * x2 + b1 * s2.x1 + b2 * s2.x2 - a1 * s2.y1 - a2 * s2.y2;
            s2.x2 = s2.x1;
            s2.x1 = x2;
            s2.y2 = s2.y1;
            s2.y1 = y;
        }
        samples[i] = y * gain;
    }
    // A decaying tail is cut once it is far below hearing, so the state never sinks into denormals
    // (checked per block: the recursion stays free of the extra test).
    for (Stage* stage : {&s1, &s2}) {
        stage->x1 = Flush(stage->x1);
        stage->x2 = Flush(stage->x2);
        stage->y1 = Flush(stage->y1);
        stage->y2 = Flush(stage->y2);
    }
    m_stages[0] = s1;
    m_stages[1] = s2;
}
