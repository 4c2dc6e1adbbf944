#include "machines/dsp/exp_amp.h"

#include "machines/dsp/fast_exp.h"

void CExpAmp::Process(int32_t count, float* samples, const float* control) const {
    const float inverse = 1.0f / m_scale;
    int32_t i = 0;
    if (m_mode == kExponential) {
        const DspVec4 scale = {inverse, inverse, inverse, inverse};
        for (; i + 4 <= count; i += 4)
            StoreVec4(samples + i, LoadVec4(samples + i) * (FastExp2(LoadVec4(control + i) * scale) - 1.0f));
        for (; i < count; ++i)
            samples[i] *= FastExp2(control[i] * inverse) - 1.0f;
    } else {
        for (; i < count; ++i)
            samples[i] *= control[i] * inverse;
    }
}
