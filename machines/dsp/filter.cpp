#include "machines/dsp/filter.h"

#include "machines/dsp/dsp_math.h"

#include <cmath>

namespace {
constexpr float kSqrt2 = 1.41421356f;

// 2·cos 2ω from t = tan ω: 2·(1 − t²)/(1 + t²) (ω is at most π/4 here).
inline float TwiceCos2(float t) {
    const float t2 = t * t;
    return 2.0f * (1.0f - t2) / (1.0f + t2);
}

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
        const float c = 1.0f / FastTan(omega);
        const float a0 = 1.0f / (1.0f + kSqrt2 * damping * c + c * c);
        m_b0 = a0;
        m_b1 = 2.0f * a0;
        m_b2 = a0;
        m_a1 = 2.0f * a0 * (1.0f - c * c);
        m_a2 = a0 * (1.0f - kSqrt2 * damping * c + c * c);
        break;
    }
    case kHighPass: {
        const float c = FastTan(omega);
        const float a0 = 1.0f / (1.0f + kSqrt2 * damping * c + c * c);
        m_b0 = a0;
        m_b1 = -2.0f * a0;
        m_b2 = a0;
        m_a1 = 2.0f * a0 * (c * c - 1.0f);
        m_a2 = a0 * (1.0f - kSqrt2 * damping * c + c * c);
        break;
    }
    case kBandPass: {
        // With 0 dB of resonance (damping 1) the width's tangent is the centre's.
        const float t = FastTan(omega);
        const float e = TwiceCos2(t);
        const float c = damping == 1.0f ? 1.0f / t : 1.0f / FastTan(omega * damping);
        const float a0 = 1.0f / (c + 1.0f);
        m_b0 = a0;
        m_b1 = 0.0f;
        m_b2 = -a0;
        m_a1 = -c * e * a0;
        m_a2 = (c - 1.0f) * a0;
        break;
    }
    default: {
        const float t = FastTan(omega);
        const float e = TwiceCos2(t);
        const float c = damping == 1.0f ? t : FastTan(omega * damping);
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

namespace {
struct Coefficients {
    float b0, b1, b2, a1, a2;
};

// One biquad stage (or two in series) over a run of samples with fixed coefficients.
template <bool kCascade>
inline void Run(float* samples, int32_t count, const Coefficients& c, float gain, float (&s1)[4],
                float (&s2)[4]) {
    float x1 = s1[0], x2 = s1[1], y1 = s1[2], y2 = s1[3];
    float u1 = s2[0], u2 = s2[1], v1 = s2[2], v2 = s2[3];
    for (int32_t i = 0; i < count; ++i) {
        const float x = samples[i];
        // The newest output enters last: the feedback path from one sample to the next is then
        // one multiply and one subtraction long.
        float y = (c.b0 * x + c.b1 * x1 + c.b2 * x2 - c.a2 * y2) - c.a1 * y1;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        if constexpr (kCascade) {
            const float w = y;
            y = (c.b0 * w + c.b1 * u1 + c.b2 * u2 - c.a2 * v2) - c.a1 * v1;
            u2 = u1;
            u1 = w;
            v2 = v1;
            v1 = y;
        }
        samples[i] = y * gain;
    }
    s1[0] = x1, s1[1] = x2, s1[2] = y1, s1[3] = y2;
    s2[0] = u1, s2[1] = u2, s2[2] = v1, s2[3] = v2;
}
} // namespace

void CFilter::Process(int32_t count, float* samples, const float* cutoff, const float* resonance) {
    float gain = std::pow(10.0f, -m_resonance / 20.0f) * m_outputGain;
    const bool modulated = cutoff || resonance;
    float s1[4] = {m_stages[0].x1, m_stages[0].x2, m_stages[0].y1, m_stages[0].y2};
    float s2[4] = {m_stages[1].x1, m_stages[1].x2, m_stages[1].y1, m_stages[1].y2};
    // Coefficients follow the inputs at the samples where the countdown runs out (every
    // kUpdateInterval samples) and after a setter; between those the stages run on fixed ones.
    // An input that has not moved since the last recomputation keeps its coefficients.
    auto update = [&](int32_t i) {
        float damping = m_damping;
        if (resonance) {
            const float db = m_resonance + resonance[i];
            damping = std::pow(10.0f, -db / 10.0f);
            gain = std::pow(10.0f, -db / 20.0f) * m_outputGain;
        }
        const float pitch = cutoff ? m_cutoff + cutoff[i] : m_cutoff;
        if (m_dirty || pitch != m_updatedPitch || damping != m_updatedDamping) {
            Update(pitch, damping);
            m_updatedPitch = pitch;
            m_updatedDamping = damping;
        }
        m_dirty = false;
    };
    if (m_dirty && count > 0 && !(modulated && m_countdown == 0)) update(0);
    int32_t i = 0;
    while (i < count) {
        int32_t run = count - i;
        if (modulated) {
            int32_t left = m_countdown;
            if (left == 0) {
                update(i);
                left = kUpdateInterval;
            }
            if (run > left) run = left;
            m_countdown = left - run;
        }
        const Coefficients c{m_b0, m_b1, m_b2, m_a1, m_a2};
        if (m_cascade)
            Run<true>(samples + i, run, c, gain, s1, s2);
        else
            Run<false>(samples + i, run, c, gain, s1, s2);
        i += run;
    }
    // A decaying tail is cut once it is far below hearing, so the state never sinks into denormals
    // (checked per block: the recursion stays free of the extra test).
    for (float& v : s1)
        v = Flush(v);
    for (float& v : s2)
        v = Flush(v);
    m_stages[0] = Stage{s1[0], s1[1], s1[2], s1[3]};
    m_stages[1] = Stage{s2[0], s2[1], s2[2], s2[3]};
}
