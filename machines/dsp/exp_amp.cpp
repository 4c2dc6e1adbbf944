#include "machines/dsp/exp_amp.h"

#include "machines/dsp/dsp_math.h"

#include <cmath>

void CExpAmp::Process(int32_t count, float* samples, const float* control) const {
    const float inverse = 1.0f / m_scale;
    if (m_mode == kExponential) {
        for (int32_t i = 0; i < count; ++i)
            samples[i] *= std::exp2(control[i] * inverse) - 1.0f;
    } else {
        for (int32_t i = 0; i < count; ++i)
            samples[i] *= control[i] * inverse;
    }
}
