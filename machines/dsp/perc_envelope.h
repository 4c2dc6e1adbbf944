// CPercEnvelope: delay, attack, hold and decay for percussive sounds, with optional repeats of the
// attack/decay pair. Output 0..1. Times in seconds (a time <= 0 lasts one sample), curvature k
// −8..+8. A retrigger from the decay rises from the current level.
#pragma once

#include <cstdint>

class CPercEnvelope {
public:
    enum Stage : int32_t { kIdle = 0, kDelay = 1, kAttack = 2, kHold = 3, kDecay = 4 };

    CPercEnvelope(int32_t sampleRate, float attack, float decay, float attackCurve, float decayCurve);

    void SetAttack(float seconds);
    void SetDecay(float seconds);
    void SetHold(float seconds);
    void SetDelay(float seconds);
    void SetAttackCurve(float k);
    void SetDecayCurve(float k);
    // Extra attack/decay rounds per trigger (3 plays the pair four times).
    void SetRepeats(int32_t repeats) { m_repeats = repeats < 0 ? 0 : repeats; }
    void SetSampleRate(int32_t rate);

    void Trigger();
    bool IsActive() const { return m_stage != kIdle; }
    void Render(int32_t count, float* out);

    int32_t Stage() const { return m_stage; }

private:
    float Increment(float seconds) const;
    void UpdateIncrements();
    float DecayValue() const;
    // Up to count samples of the current stage (not idle); reached tells whether it ended.
    int32_t RenderStage(int32_t count, float* out, bool& reached);
    // The stage after the current one ends (a decay with repeats left starts the attack again).
    int32_t NextStage();

    float m_attack, m_decay, m_hold = 0.0f, m_delay = 0.0f;
    float m_attackK = 0, m_attackNorm = 1, m_decayK = 0, m_decayNorm = 1;
    float m_delayIncrement = 1, m_attackIncrement = 1, m_holdIncrement = 1, m_decayIncrement = 1;
    float m_phase = 0.0f;
    int32_t m_stage = kIdle;
    int32_t m_repeats = 0;
    int32_t m_repeatsLeft = 0;
    int32_t m_sampleRate;
};
