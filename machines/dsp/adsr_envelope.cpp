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
    m_attackSegment.increment = 1.0f / (m_attack * rate);
    m_decaySegment.increment = 1.0f / (m_decay * rate);
    m_releaseSegment.increment = 1.0f / (m_release * rate);
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

CADSREnvelope::Segment& CADSREnvelope::SegmentOf(int32_t stage) {
    return stage == kAttack ? m_attackSegment : (stage == kDecay ? m_decaySegment : m_releaseSegment);
}

float CADSREnvelope::CurrentValue() const {
    switch (m_stage) {
    case kAttack:
        return CurveValue(0.0f, 1.0f, m_phase, m_attackSegment.k, m_attackSegment.norm);
    case kDecay:
        return CurveValue(1.0f, m_sustain, m_phase, m_decaySegment.k, m_decaySegment.norm);
    case kSustain:
        return m_sustain;
    case kRelease:
        return CurveValue(1.0f, 0.0f, m_phase, m_releaseSegment.k, m_releaseSegment.norm);
    default:
        return 0.0f;
    }
}

void CADSREnvelope::SetCurve(int32_t stage, float k) {
    Segment& segment = SegmentOf(stage);
    // The running segment keeps its output: its phase is re-derived under the new curve.
    const bool running = m_stage == stage;
    const float value = running ? CurrentValue() : 0.0f;
    segment.k = k;
    segment.norm = CurveNormaliser(k);
    if (running) m_phase = CurvePhase(StartOf(stage), EndOf(stage), value, k, segment.norm);
}

void CADSREnvelope::SetAttackCurve(float k) {
    SetCurve(kAttack, k);
}
void CADSREnvelope::SetDecayCurve(float k) {
    SetCurve(kDecay, k);
}
void CADSREnvelope::SetReleaseCurve(float k) {
    SetCurve(kRelease, k);
}

void CADSREnvelope::Trigger() {
    if (m_stage == kAttack) return;
    const float value = CurrentValue();
    m_phase = CurvePhase(0.0f, 1.0f, value, m_attackSegment.k, m_attackSegment.norm);
    m_stage = kAttack;
}

void CADSREnvelope::Release() {
    if (m_stage == kIdle || m_stage == kRelease) return;
    const float value = CurrentValue();
    m_phase = CurvePhase(1.0f, 0.0f, value, m_releaseSegment.k, m_releaseSegment.norm);
    m_stage = kRelease;
}

int32_t CADSREnvelope::RenderSegment(int32_t stage, int32_t next, float* out, int32_t i, int32_t count) {
    const Segment& segment = SegmentOf(stage);
    const float a = StartOf(stage);
    const float b = EndOf(stage);
    for (; i < count; ++i) {
        m_phase += segment.increment;
        if (m_phase > 1.0f) m_phase = 1.0f;
        out[i] = CurveValue(a, b, m_phase, segment.k, segment.norm);
        if (m_phase >= 1.0f) {
            m_stage = next;
            m_phase = 0.0f;
            return i + 1;
        }
    }
    return i;
}

void CADSREnvelope::Render(int32_t count, float* out) {
    int32_t i = 0;
    while (i < count) {
        switch (m_stage) {
        case kAttack:
            i = RenderSegment(kAttack, kDecay, out, i, count);
            break;
        case kDecay:
            i = RenderSegment(kDecay, kSustain, out, i, count);
            break;
        case kRelease:
            i = RenderSegment(kRelease, kIdle, out, i, count);
            break;
        case kSustain:
            for (; i < count; ++i)
                out[i] = m_sustain;
            break;
        default:
            for (; i < count; ++i)
                out[i] = 0.0f;
            break;
        }
    }
}
