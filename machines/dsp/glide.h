// CGlide: a pitch that slides to each new target along a curved segment. The slide takes
// |distance in octaves| · glide rate (s per octave) + portamento (s); 0 jumps. The very first target
// is taken at once. Output: octave pitch per sample.
#pragma once

#include <cstdint>

class CVeskHost;

class CGlide {
public:
    CGlide(int32_t sampleRate, float glideRate, float portamento, float curve);

    void SetGlide(float secondsPerOctave) { m_glideRate = secondsPerOctave; }
    void SetPortamento(float seconds) { m_portamento = seconds; }
    void SetCurve(float k);
    void SetSampleRate(int32_t rate) { m_sampleRate = rate > 0 ? rate : 1; }
    // Octave pitch to slide to.
    void SetTarget(float pitch);
    // MIDI note 0..127; the frequency comes from the host's note table (equal temperament from
    // 8.1758 Hz without a host).
    void SetNote(int32_t note, CVeskHost* host);
    void Render(int32_t count, float* out);

    float Current() const { return m_current; }
    bool IsSliding() const { return m_sliding; }

private:
    int32_t m_sampleRate;
    float m_glideRate;
    float m_portamento;
    float m_k = 0.0f;
    float m_norm = 1.0f;
    float m_current = 0.0f, m_start = 0.0f, m_target = 0.0f;
    float m_phase = 0.0f;
    float m_increment = 0.0f;
    bool m_initialised = false;
    bool m_sliding = false;
};
