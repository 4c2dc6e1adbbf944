#include "machines/dsp/perc_envelope.h"

#include "machines/dsp/dsp_math.h"
#include "machines/dsp/fast_exp.h"

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

// Values a + (b − a)·(1 − e^(k·phase))·norm of a curved segment over phases already in out (the
// same curve CurveValue gives), four at a time.
static void CurveRun(float* out, int32_t count, float a, float b, float k, float norm) {
    const float span = b - a;
    int32_t i = 0;
    if (k == 0.0f) {
        for (; i < count; ++i)
            out[i] = a + span * out[i];
        return;
    }
    const float k2 = k * kInvLn2;
    const DspVec4 k2v = {k2, k2, k2, k2};
    for (; i + 4 <= count; i += 4) {
        const DspVec4 e = FastExp2(k2v * LoadVec4(out + i));
        StoreVec4(out + i, a + span * (1.0f - e) * norm);
    }
    for (; i < count; ++i)
        out[i] = a + span * (1.0f - FastExp2(k2 * out[i])) * norm;
}

// Moves phase on by increment per sample (held at 1) into out until it reaches 1 or out is full;
// returns the samples written. reached tells whether the segment ended. The phase stays in a
// register for the whole run (the output may not alias it).
static int32_t PhaseRun(float* out, int32_t count, float& phaseRef, float increment, bool& reached) {
    float phase = phaseRef;
    int32_t i = 0;
    reached = false;
    for (; i < count; ++i) {
        phase += increment;
        if (phase >= 1.0f) {
            phase = 1.0f;
            out[i++] = 1.0f;
            reached = true;
            break;
        }
        out[i] = phase;
    }
    phaseRef = phase;
    return i;
}

// A flat stage (delay at 0, hold at 1): the phase runs as in PhaseRun, the output stays at level.
static int32_t FlatRun(float* out, int32_t count, float& phase, float increment, float level, bool& reached) {
    const int32_t run = PhaseRun(out, count, phase, increment, reached);
    for (int32_t i = 0; i < run; ++i)
        out[i] = level;
    return run;
}

int32_t CPercEnvelope::RenderStage(int32_t count, float* out, bool& reached) {
    switch (m_stage) {
    case kDelay:
        return FlatRun(out, count, m_phase, m_delayIncrement, 0.0f, reached);
    case kHold:
        return FlatRun(out, count, m_phase, m_holdIncrement, 1.0f, reached);
    case kAttack: {
        // The phases of the run first, then their curve values in one vector pass.
        const int32_t run = PhaseRun(out, count, m_phase, m_attackIncrement, reached);
        CurveRun(out, run, 0.0f, 1.0f, m_attackK, m_attackNorm);
        return run;
    }
    default: {
        const int32_t run = PhaseRun(out, count, m_phase, m_decayIncrement, reached);
        CurveRun(out, run, 1.0f, 0.0f, m_decayK, m_decayNorm);
        return run;
    }
    }
}

int32_t CPercEnvelope::NextStage() {
    switch (m_stage) {
    case kDelay:
        return kAttack;
    case kAttack:
        return m_hold > 0.0f ? kHold : kDecay;
    case kHold:
        return kDecay;
    default:
        if (m_repeatsLeft == 0) return kIdle;
        --m_repeatsLeft;
        return kAttack;
    }
}

void CPercEnvelope::Render(int32_t count, float* out) {
    int32_t i = 0;
    while (i < count && m_stage != kIdle) {
        bool reached = false;
        i += RenderStage(count - i, out + i, reached);
        if (reached) {
            m_phase = 0.0f;
            m_stage = NextStage();
        }
    }
    for (; i < count; ++i)
        out[i] = 0.0f;
}
