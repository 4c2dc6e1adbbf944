// CADSREnvelope: attack, decay, sustain, release with a curvature per timed segment. Output 0..1.
// Times in seconds (> 0), sustain 0..1, curvature k −8..+8 (CurveValue). A retrigger rises from the
// current level; a release falls from it along the 1 → 0 release curve.
#pragma once

#include <cstdint>

class CADSREnvelope {
public:
    enum Stage : int32_t { kIdle = 0, kAttack = 1, kDecay = 2, kSustain = 3, kRelease = 4 };

    CADSREnvelope(int32_t sampleRate, float attack, float decay, float sustain, float release);

    void SetAttack(float seconds);
    void SetDecay(float seconds);
    void SetSustain(float level) { m_sustain = level; }
    void SetRelease(float seconds);
    // Changing the curve of the running segment keeps its output where it is.
    void SetAttackCurve(float k);
    void SetDecayCurve(float k);
    void SetReleaseCurve(float k);
    void SetSampleRate(int32_t rate);

    // Enters the attack from the current level (nothing while already in the attack).
    void Trigger();
    // Enters the release from the current level (nothing when idle or releasing).
    void Release();
    void Render(int32_t count, float* out);

    int32_t Stage() const { return m_stage; }
    float Phase() const { return m_phase; }
    // The value the envelope outputs at its current stage and phase.
    float CurrentValue() const;

private:
    // One timed segment: its curvature, normaliser and per-sample phase increment.
    struct Segment {
        float k = 0.0f;
        float norm = 1.0f;
        float increment = 0.0f;
    };
    void UpdateIncrements();
    // The segment a timed stage runs on, and its start and end levels.
    Segment& SegmentOf(int32_t stage);
    float StartOf(int32_t stage) const { return stage == kAttack ? 0.0f : 1.0f; }
    float EndOf(int32_t stage) const {
        return stage == kAttack ? 1.0f : (stage == kDecay ? m_sustain : 0.0f);
    }
    void SetCurve(int32_t stage, float k);
    // Runs a timed stage from out[i] on; returns the index after the last sample written.
    int32_t RenderSegment(int32_t stage, int32_t next, float* out, int32_t i, int32_t count);

    float m_attack, m_decay, m_sustain, m_release;
    Segment m_attackSegment, m_decaySegment, m_releaseSegment;
    float m_phase = 0.0f;
    int32_t m_stage = kIdle;
    int32_t m_sampleRate;
};
