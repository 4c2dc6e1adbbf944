#include "machines/dsp/filter.h"

#include "machines/dsp/dsp_math.h"

#include <algorithm>
#include <cmath>

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
    m_activeGain = m_baseGain;
}

void CFilter::SetCutoff(float pitch) {
    m_cutoff = pitch;
    m_dirty = true;
}

void CFilter::SetResonance(float db) {
    m_resonance = db;
    m_damping = std::pow(10.0f, -db / 10.0f);
    UpdateBaseGain();
    m_dirty = true;
}

void CFilter::UpdateBaseGain() {
    m_baseGain = std::pow(10.0f, -m_resonance / 20.0f) * m_outputGain;
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
    UpdateBaseGain();
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

namespace {

template <typename T> struct CoefficientSet { T b0, b1, b2, a1, a2; };

// The coefficients of one type from t = tan ω (ω = π·f/rate) and, for the band types, the width's
// tangent tw = tan(ω·damping).
template <typename T> inline CoefficientSet<T> Design(int32_t type, T t, T tw, T damping) {
    CoefficientSet<T> c;
    switch (type) {
    case CFilter::kLowPass:
    case CFilter::kHighPass: {
        const T k = type == CFilter::kLowPass ? 1.0f / t : t;
        const T a0 = 1.0f / (1.0f + kSqrt2 * damping * k + k * k);
        c.b0 = a0;
        c.b1 = type == CFilter::kLowPass ? 2.0f * a0 : -2.0f * a0;
        c.b2 = a0;
        c.a1 = type == CFilter::kLowPass ? 2.0f * a0 * (1.0f - k * k) : 2.0f * a0 * (k * k - 1.0f);
        c.a2 = a0 * (1.0f - kSqrt2 * damping * k + k * k);
        break;
    }
    case CFilter::kBandPass: {
        const T e = 2.0f * (1.0f - t * t) / (1.0f + t * t); // 2·cos 2ω
        const T k = 1.0f / tw;
        const T a0 = 1.0f / (k + 1.0f);
        c.b0 = a0;
        c.b1 = T{};
        c.b2 = -a0;
        c.a1 = -k * e * a0;
        c.a2 = (k - 1.0f) * a0;
        break;
    }
    default: {
        const T e = 2.0f * (1.0f - t * t) / (1.0f + t * t);
        const T a0 = 1.0f / (tw + 1.0f);
        c.b0 = a0;
        c.b1 = -e * a0;
        c.b2 = a0;
        c.a1 = -e * a0;
        c.a2 = (1.0f - tw) * a0;
        break;
    }
    }
    return c;
}

inline bool BandType(int32_t type) {
    return type == CFilter::kBandPass || type == CFilter::kBandReject;
}

} // namespace

float CFilter::Omega(float pitch) const {
    const auto rate = static_cast<float>(m_sampleRate);
    float f = PitchFrequency(pitch);
    if (!(f >= 1.0f)) f = 1.0f;
    if (f > rate * 0.25f) f = rate * 0.25f;
    return kPi * f / rate;
}

void CFilter::Update(float pitch, float damping) {
    ++m_updates;
    const float omega = Omega(pitch);
    const float t = FastTan(omega);
    // With 0 dB of resonance (damping 1) the width's tangent is the centre's.
    const float tw = !BandType(m_type) ? 0.0f : damping == 1.0f ? t : FastTan(omega * damping);
    const CoefficientSet<float> c = Design<float>(m_type, t, tw, damping);
    m_b0 = c.b0;
    m_b1 = c.b1;
    m_b2 = c.b2;
    m_a1 = c.a1;
    m_a2 = c.a2;
}

void CFilter::DesignFour(const float* pitch, const float* damping, float (*out)[5]) {
    m_updates += 4;
    const auto rate = static_cast<float>(m_sampleRate);
    DspVec4 f = 440.0f * FastExp2(LoadVec4(pitch) - 5.0f);
    f = f >= 1.0f ? f : 1.0f;
    const float quarter = rate * 0.25f;
    f = f > quarter ? quarter : f;
    const DspVec4 omega = kPi * f / rate;
    const DspVec4 d = LoadVec4(damping);
    const DspVec4 width = omega * d;
    const bool band = BandType(m_type);
    bool near = true;
    for (int32_t k = 0; k < 4; ++k)
        near = near && omega[k] < kTanQuarterLimit && (!band || width[k] < kTanQuarterLimit);
    if (!near) {
        // Some lane needs FastTan's reduction: one at a time, as Update would.
        for (int32_t k = 0; k < 4; ++k) {
            --m_updates;
            Update(pitch[k], damping[k]);
            out[k][0] = m_b0, out[k][1] = m_b1, out[k][2] = m_b2, out[k][3] = m_a1, out[k][4] = m_a2;
        }
        return;
    }
    const DspVec4 t = TanQuarter(omega);
    const DspVec4 tw = band ? TanQuarter(width) : DspVec4{};
    const CoefficientSet<DspVec4> c = Design<DspVec4>(m_type, t, tw, d);
    for (int32_t k = 0; k < 4; ++k) {
        out[k][0] = c.b0[k];
        out[k][1] = c.b1[k];
        out[k][2] = c.b2[k];
        out[k][3] = c.a1[k];
        out[k][4] = c.a2[k];
    }
}

namespace {

// One biquad stage (or two in series) over runs of samples: run r from at[r] to at[r + 1] on
// coefficient set set[r] (b0, b1, b2, a1, a2) with gain gains[r].
template <bool kCascade>
void RunSets(float* samples, int32_t runs, const int32_t* at, const int32_t* set, const float (*sets)[5],
             const float* gains, float (&s1)[4], float (&s2)[4]) {
    float x1 = s1[0], x2 = s1[1], y1 = s1[2], y2 = s1[3];
    float u1 = s2[0], u2 = s2[1], v1 = s2[2], v2 = s2[3];
    for (int32_t r = 0; r < runs; ++r) {
        const float* c = sets[set[r]];
        const float b0 = c[0], b1 = c[1], b2 = c[2], a1 = c[3], a2 = c[4];
        const float gain = gains[r];
        for (int32_t i = at[r]; i < at[r + 1]; ++i) {
            const float x = samples[i];
            // The newest output enters last: the feedback path from one sample to the next is then
            // one multiply and one subtraction long.
            float y = (b0 * x + b1 * x1 + b2 * x2 - a2 * y2) - a1 * y1;
            x2 = x1;
            x1 = x;
            y2 = y1;
            y1 = y;
            if constexpr (kCascade) {
                const float w = y;
                y = (b0 * w + b1 * u1 + b2 * u2 - a2 * v2) - a1 * v1;
                u2 = u1;
                u1 = w;
                v2 = v1;
                v1 = y;
            }
            samples[i] = y * gain;
        }
    }
    s1[0] = x1, s1[1] = x2, s1[2] = y1, s1[3] = y2;
    s2[0] = u1, s2[1] = u2, s2[2] = v1, s2[3] = v2;
}
} // namespace

void CFilter::Process(int32_t count, float* samples, const float* cutoff, const float* resonance) {
    // Runs up to each flush point; a decaying tail is cut there once it is far below hearing, so the
    // state never sinks into denormals (the recursion itself stays free of the extra test). The
    // points lie on the filter's own sample count, wherever the calls begin and end.
    int32_t done = 0;
    while (done < count) {
        const int32_t run = std::min(count - done, kFlushInterval - m_sinceFlush);
        ProcessRun(run, samples + done, cutoff ? cutoff + done : nullptr, resonance ? resonance + done : nullptr);
        done += run;
        m_sinceFlush += run;
        if (m_sinceFlush == kFlushInterval) {
            m_sinceFlush = 0;
            for (Stage& stage : m_stages)
                stage = Stage{Flush(stage.x1), Flush(stage.x2), Flush(stage.y1), Flush(stage.y2)};
        }
    }
}

void CFilter::ProcessRun(int32_t count, float* samples, const float* cutoff, const float* resonance) {
    float s1[4] = {m_stages[0].x1, m_stages[0].x2, m_stages[0].y1, m_stages[0].y2};
    float s2[4] = {m_stages[1].x1, m_stages[1].x2, m_stages[1].y1, m_stages[1].y2};
    if (cutoff || resonance) {
        ProcessModulated(count, samples, cutoff, resonance, s1, s2);
    } else if (count > 0) {
        if (m_dirty) {
            // After a setter the coefficients follow once.
            Update(m_cutoff, m_damping);
            m_updatedPitch = m_cutoff;
            m_updatedDamping = m_damping;
            m_dirty = false;
        }
        m_activeGain = m_baseGain;
        float gain = m_baseGain;
        const float set[1][5] = {{m_b0, m_b1, m_b2, m_a1, m_a2}};
        const int32_t at[2] = {0, count}, first = 0;
        if (m_cascade)
            RunSets<true>(samples, 1, at, &first, set, &gain, s1, s2);
        else
            RunSets<false>(samples, 1, at, &first, set, &gain, s1, s2);
    }
    m_stages[0] = Stage{s1[0], s1[1], s1[2], s1[3]};
    m_stages[1] = Stage{s2[0], s2[1], s2[2], s2[3]};
}

void CFilter::ProcessModulated(int32_t count, float* samples, const float* cutoff, const float* resonance,
                               float (&s1)[4], float (&s2)[4]) {
    // The gain of the last update point stays in force into the next call.
    float gain = resonance ? m_activeGain : m_baseGain;
    // Coefficients follow the inputs at the samples where the countdown runs out (every
    // kUpdateInterval samples) and, after a setter, at the first sample; between those the stages
    // run on fixed ones. A pass plans up to kPlan such points: their inputs, which of them moved
    // (those are designed four at a time), then the runs between them.
    constexpr int32_t kPlan = 64;
    int32_t at[kPlan + 1];
    int32_t set[kPlan];
    float gains[kPlan];
    float pitches[kPlan];
    float dampings[kPlan];
    float sets[kPlan + 1][5];
    int32_t i = 0;
    while (i < count) {
        int32_t runs = 0;
        int32_t designs = 0;
        // Set 0 holds the coefficients in force when the pass starts.
        sets[0][0] = m_b0, sets[0][1] = m_b1, sets[0][2] = m_b2, sets[0][3] = m_a1, sets[0][4] = m_a2;
        int32_t current = 0;
        float lastPitch = m_updatedPitch, lastDamping = m_updatedDamping;
        bool forced = m_dirty;
        while (i < count && runs < kPlan) {
            int32_t left = m_countdown;
            const bool due = left == 0 || forced;
            if (due) {
                float damping = m_damping;
                if (resonance) {
                    const float db = m_resonance + resonance[i];
                    damping = std::pow(10.0f, -db / 10.0f);
                    gain = std::pow(10.0f, -db / 20.0f) * m_outputGain;
                } else {
                    gain = m_baseGain;
                }
                m_activeGain = gain;
                const float pitch = cutoff ? m_cutoff + cutoff[i] : m_cutoff;
                if (forced || pitch != lastPitch || damping != lastDamping) {
                    pitches[designs] = pitch;
                    dampings[designs] = damping;
                    current = ++designs;
                    lastPitch = pitch;
                    lastDamping = damping;
                }
                forced = false;
                if (left == 0) left = kUpdateInterval;
            }
            const int32_t run = std::min(count - i, left);
            m_countdown = left - run;
            at[runs] = i;
            set[runs] = current;
            gains[runs] = gain;
            ++runs;
            i += run;
        }
        at[runs] = i;
        // Design the moved points: four at a time, the rest one by one.
        int32_t d = 0;
        for (; d + 4 <= designs; d += 4)
            DesignFour(pitches + d, dampings + d, sets + 1 + d);
        for (; d < designs; ++d) {
            Update(pitches[d], dampings[d]);
            float* c = sets[1 + d];
            c[0] = m_b0, c[1] = m_b1, c[2] = m_b2, c[3] = m_a1, c[4] = m_a2;
        }
        if (designs > 0) {
            const float* c = sets[designs];
            m_b0 = c[0], m_b1 = c[1], m_b2 = c[2], m_a1 = c[3], m_a2 = c[4];
            m_updatedPitch = lastPitch;
            m_updatedDamping = lastDamping;
        }
        m_dirty = false;
        if (m_cascade)
            RunSets<true>(samples, runs, at, set, sets, gains, s1, s2);
        else
            RunSets<false>(samples, runs, at, set, sets, gains, s1, s2);
    }
}
