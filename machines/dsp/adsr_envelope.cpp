#include "machines/dsp/adsr_envelope.h"

#include "machines/dsp/dsp_math.h"

namespace {
// Segment times must be positive; a zero time would make an infinite increment.
float PositiveTime(float seconds) {
    return seconds > 1e-6f ? seconds : 1e-6f;
}
} // namespace

CADSREnvelope::CADSREnvelope(int32_t sampleRate, float attack, float decay, float sustain, float release)
    : m_attack(PositiveTime(attack)), m_decay(PositiveTime(decay)), m_sustain(sustain),
      m_release(PositiveTime(release)), m_sampleRate(sampleRate > 0 ? sampleRate : 1) {
    UpdateIncrements();
}

void CADSREnvelope::UpdateIncrements() {
    const auto rate = static_cast<float>(m_sampleRate);
    m_attackIncrement = 1.0f / (m_attack * rate);
    m_decayIncrement = 1.0f / (m_decay * rate);
    m_releaseIncrement = 1.0f / (m_release * rate);
}

void CADSREnvelope::SetAttack(float seconds) {
    m_attack = PositiveTime(seconds);
    UpdateIncrements();
}
void CADSREnvelope::SetDecay(float seconds) {
    m_decay = PositiveTime(seconds);
    UpdateIncrements();
}
void CADSREnvelope::SetRelease(float seconds) {
    m_release = PositiveTime(seconds);
    UpdateIncrements();
}
void CADSREnvelope::SetSampleRate(int32_t rate) {
    m_sampleRate = rate > 0 ? rate : 1;
    UpdateIncrements();
}

float CADSREnvelope::CurrentValue() const {
    switch (m_stage) {
    case kAttack:
        return CurveValue(0.0f, 1.0f, m_phase, m_attackK, m_attackNorm);
    case kDecay:
        return CurveValue(1.0f, m_sustain, m_phase, m_decayK, m_decayNorm);
    case kSustain:
        return m_sustain;
    case kRelease:
        return CurveValue(1.0f, 0.0f, m_phase, m_releaseK, m_releaseNorm);
    default:
        return 0.0f;
    }
}

void CADSREnvelope::SetAttackCurve(float k) {
    if (m_stage == kAttack) {
        const float value = CurrentValue();
        m_attackK = k;
        m_attackNorm = CurveNormaliser(k);
        m_phase = CurvePhase(0.0f, 1.0f, value, k, m_attackNorm);
        return;
    }
    m_attackK = k;
    m_attackNorm = CurveNormaliser(k);
}

void CADSREnvelope::SetDecayCurve(float k) {
    if (m_stage == kDecay) {
        const float value = CurrentValue();
        m_decayK = k;
        m_decayNorm = CurveNormaliser(k);
        m_phase = CurvePhase(1.0f, m_sustain, value, k, m_decayNorm);
        return;
    }
    m_decayK = k;
    m_decayNorm = CurveNormaliser(k);
}

void CADSREnvelope::SetReleaseCurve(float k) {
    if (m_stage == kRelease) {
        const float value = CurrentValue();
        m_releaseK = k;
        m_releaseNorm = CurveNormaliser(k);
        m_phase = CurvePhase(1.0f, 0.0f, value, k, m_releaseNorm);
        return;
    }
    m_releaseK = k;
    m_releaseNorm = CurveNormaliser(k);
}

void CADSREnvelope::Trigger() {
    if (m_stage == kAttack) return;
    const float value = CurrentValue();
    m_phase = CurvePhase(0.0f, 1.0f, value, m_attackK, m_attackNorm);
    m_stage = kAttack;
}

void CADSREnvelope::Release() {
    if (m_stage == kIdle || m_stage == kRelease) return;
    const float value = CurrentValue();
    m_phase = CurvePhase(1.0f, 0.0f, value, m_releaseK, m_releaseNorm);
    m_stage = kRelease;
}

void CADSREnvelope::Render(int32_t count, float* out) {
    int32_t i = 0;
    while (i < count) {
        switch (m_stage) {
        case kAttack:
            for (; i < count; ++i) {
                m_phase += m_attackIncrement;
                if (m_phase > 1.0f) m_phase = 1.0f;
                out[i] = CurveValue(0.0f, 1.0f, m_phase, m_attackK, m_attackNorm);
                if (m_phase >= 1.0f) {
                    m_stage = kDecay;
                    m_phase = 0.0f;
                    ++i;
                    break;
                }
            }
            break;
        case kDecay:
            for (; i < count; ++i) {
                m_phase += m_decayIncrement;
                if (m_phase > 1.0f) m_phase = 1.0f;
                out[i] = CurveValue(1.0f, m_sustain, m_phase, m_decayK, m_decayNorm);
                if (m_phase >= 1.0f) {
                    m_stage = kSustain;
                    m_phase = 0.0f;
                    ++i;
                    break;
                }
            }
            break;
        case kSustain:
            for (; i < count; ++i)
                out[i] = m_sustain;
            break;
        case kRelease:
            for (; i < count; ++i) {
                m_phase += m_releaseIncrement;
                if (m_phase > 1.0f) m_phase = 1.0f;
                out[i] = CurveValue(1.0f, 0.0f, m_phase, m_releaseK, m_releaseNorm);
                if (m_phase >= 1.0f) {
                    m_stage = kIdle;
                    m_phase = 0.0f;
                    ++i;
                    break;
                }
            }
            break;
        default:
            for (; i < count; ++i)
                out[i] = 0.0f;
            break;
        }
    }
}
