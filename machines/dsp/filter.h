// CFilter: a biquad multimode filter, one stage (12 dB/octave) or two identical stages in series
// (24 dB/octave). Cutoff in octave pitch, resonance in dB (0 dB gives Butterworth low/high-pass).
// The per-sample cutoff input is added to the cutoff pitch and the resonance input (dB) to the
// resonance; with either input the coefficients follow every 4 samples (recomputed when the inputs
// moved), without them only after a setter. The output is scaled by 10^(−resonance/20) · output gain.
// The coefficient countdown, the gain in force and the flushing of tiny state values all run on the
// filter's own sample count, so a stream filtered in calls of any sizes gives the same samples.
#pragma once

#include <cstdint>

class CFilter {
public:
    enum Type : int32_t { kLowPass = 0, kHighPass = 1, kBandPass = 2, kBandReject = 3 };
    static constexpr int32_t kUpdateInterval = 4;
    // Samples between the cuts of a decaying tail's tiny state values (counted across calls).
    static constexpr int32_t kFlushInterval = 64;

    CFilter(int32_t sampleRate, int32_t type, bool cascade, float cutoffPitch, float resonanceDb);

    void SetCutoff(float pitch);
    void SetResonance(float db);
    // Also clears the state of both stages.
    void SetType(int32_t type);
    void SetCascade(bool cascade);
    void SetOutputGain(float gain);
    void SetSampleRate(int32_t rate);
    // Clears the state of both stages.
    void Reset();

    // Filters samples in place. cutoff (octaves) and resonance (dB) inputs are optional.
    void Process(int32_t count, float* samples, const float* cutoff, const float* resonance);

    // Coefficient recomputations so far (for tests and diagnostics).
    int64_t UpdateCount() const { return m_updates; }
    int32_t Type() const { return m_type; }

private:
    struct Stage {
        float x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    };
    // Coefficients for one cutoff pitch and damping into m_b0 … m_a2.
    void Update(float pitch, float damping);
    // π·f/rate of a cutoff pitch, f kept within 1 Hz .. rate/4.
    float Omega(float pitch) const;
    // Update for four points at once, into out (b0, b1, b2, a1, a2 each); the same values.
    void DesignFour(const float* pitch, const float* damping, float (*out)[5]);
    // Process without the tail flush: count samples that do not cross a flush point.
    void ProcessRun(int32_t count, float* samples, const float* cutoff, const float* resonance);
    void ProcessModulated(int32_t count, float* samples, const float* cutoff, const float* resonance,
                          float (&s1)[4], float (&s2)[4]);
    // 10^(−resonance/20) · output gain, after a setter.
    void UpdateBaseGain();

    Stage m_stages[2];
    float m_b0 = 1, m_b1 = 0, m_b2 = 0, m_a1 = 0, m_a2 = 0;
    int32_t m_type;
    bool m_cascade;
    float m_cutoff;
    float m_resonance = 0.0f;
    float m_damping = 1.0f;
    float m_outputGain = 1.0f;
    float m_baseGain = 1.0f;   // the output scale from the resonance setting
    float m_activeGain = 1.0f; // the output scale going with the coefficients in force
    int32_t m_sinceFlush = 0;  // samples since the last flush point
    int32_t m_sampleRate;
    int32_t m_countdown = 0;
    bool m_dirty = true;
    float m_updatedPitch = 0.0f; // the inputs of the current coefficients
    float m_updatedDamping = 0.0f;
    int64_t m_updates = 0;
};
