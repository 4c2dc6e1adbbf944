// CExpAmp: a voltage-controlled amplifier. Exponential mode multiplies by 2^(c/scale) − 1 (control 0
// silences, 1 passes unchanged at scale 1); linear mode by c/scale.
#pragma once

#include <cstdint>

class CExpAmp {
public:
    enum Mode : int32_t { kLinear = 0, kExponential = 1 };

    CExpAmp(int32_t mode, float scale) : m_mode(mode), m_scale(scale) {}

    // samples[i] *= gain from control[i].
    void Process(int32_t count, float* samples, const float* control) const;

private:
    int32_t m_mode;
    float m_scale;
};
