#include "machines/dsp/perc_envelope.h"

#include "machines/dsp/dsp_math.h"

CPercEnvelope::CPercEnvelope(int32_t sampleRate, float attack, float decay, float attackCurve,
                             float decayCurve)
    : m_attack(attack), m_decay(decay), m_attackK(attackCurve), m_attackNorm(CurveNormaliser(attackCurve)),
      m_decayK(decayCurve), m_decayNorm(CurveNormaliser(decayCurve)),
      m_sampleRate(sampleRate > 0 ? sampleRate : 1) {
    UpdateIncrements();
}

float CPercEnvelope::Increment(float seconds) const {
    if (seconds <= 0.0f) return 1.0f;
    const float increment = 1.0f / (seconds * static_cast<float>(m_sampleRate));
    return increment > 1.0f ? 1.0f : increment;
}

void CPercEnvelope::UpdateIncrements() {
    m_delayIncrement = Increment(m_delay);
    m_attackIncrement = Increment(m_attack);
    m_holdIncrement = Increment(m_hold);
    m_decayIncrement = Increment(m_decay);
}

void CPercEnvelope::SetAttack(float seconds) {
    m_attack = seconds;
    m_attackIncrement = Increment(seconds);
}
void CPercEnvelope::SetDecay(float seconds) {
    m_decay = seconds;
    m_decayIncrement = Increment(seconds);
}
void CPercEnvelope::SetHold(float seconds) {
    m_hold = seconds;
    m_holdIncrement = Increment(seconds);
}
void CPercEnvelope::SetDelay(float seconds) {
    m_delay = seconds;
    m_delayIncrement = Increment(seconds);
}
void CPercEnvelope::SetSampleRate(int32_t rate) {
    m_sampleRate = rate > 0 ? rate : 1;
    UpdateIncrements();
}

float CPercEnvelope::DecayValue() const {
    return CurveValue(1.0f, 0.0f, m_phase, m_decayK, m_decayNorm);
}

void CPercEnvelope::SetAttackCurve(float k) {
    if (m_stage == kAttack) {
        const float value = CurveValue(0.0f, 1.0f, m_phase, m_attackK, m_attackNorm);
        m_attackNorm = CurveNormaliser(k);
        m_phase = CurvePhase(0.0f, 1.0f, value, k, m_attackNorm);
    } else {
        m_attackNorm = CurveNormaliser(k);
    }
    m_attackK = k;
}

void CPercEnvelope::SetDecayCurve(float k) {
    if (m_stage == kDecay) {
        const float value = DecayValue();
        m_decayNorm = CurveNormaliser(k);
        m_phase = CurvePhase(1.0f, 0.0f, value, k, m_decayNorm);
    } else {
        m_decayNorm = CurveNormaliser(k);
    }
    m_decayK = k;
}

void CPercEnvelope::Trigger() {
    m_repeatsLeft = m_repeats;
    if (m_stage == kDecay)
        m_phase = CurvePhase(0.0f, 1.0f, DecayValue(), m_attackK, m_attackNorm);
    else if (m_stage == kHold)
        m_phase = CurvePhase(0.0f, 1.0f, 1.0f, m_attackK, m_attackNorm);
    m_stage = m_delay > 0.0f ? kDelay : kAttack;
}

void CPercEnvelope::Render(int32_t count, float* out) {
    for (int32_t i = 0; i < count; ++i) {
        switch (m_stage) {
        case kDelay:
            m_phase += m_delayIncrement;
            out[i] = 0.0f;
            if (m_phase >= 1.0f) {
                m_stage = kAttack;
                m_phase = 0.0f;
            }
            break;
        case kAttack:
            m_phase += m_attackIncrement;
            if (m_phase > 1.0f) m_phase = 1.0f;
            out[i] = CurveValue(0.0f, 1.0f, m_phase, m_attackK, m_attackNorm);
            if (m_phase >= 1.0f) {
                m_phase = 0.0f;
                m_stage = m_hold > 0.0f ? kHold : kDecay;
            }
            break;
        case kHold:
            m_phase += m_holdIncrement;
            out[i] = 1.0f;
            if (m_phase >= 1.0f) {
                m_stage = kDecay;
                m_phase = 0.0f;
            }
            break;
        case kDecay:
            m_phase += m_decayIncrement;
            if (m_phase > 1.0f) m_phase = 1.0f;
            out[i] = DecayValue();
            if (m_phase >= 1.0f) {
                m_phase = 0.0f;
                if (m_repeatsLeft > 0) {
                    --m_repeatsLeft;
                    m_stage = kAttack;
                } else {
                    m_stage = kIdle;
                }
            }
            break;
        default:
            for (; i < count; ++i)
                out[i] = 0.0f;
            return;
        }
    }
}
