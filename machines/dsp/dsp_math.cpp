#include "machines/dsp/dsp_math.h"

float CurvePhase(float a, float b, float y, float k, float norm) {
    if (b == a) return 0.0f;
    float f = (y - a) / (b - a);
    // Values slightly outside the segment (rounding, or a level left by another segment) map to its
    // ends rather than to a logarithm of a negative number.
    if (f <= 0.0f) return 0.0f;
    if (f >= 1.0f) return 1.0f;
    if (k == 0.0f) return f;
    const float phase = std::log(1.0f - f / norm) / k;
    if (!(phase > 0.0f)) return 0.0f;
    return phase > 1.0f ? 1.0f : phase;
}
