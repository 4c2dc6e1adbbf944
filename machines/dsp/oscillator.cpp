#include "machines/dsp/oscillator.h"

#include "machines/dsp/dsp_math.h"
#include "machines/dsp/fast_exp.h"
#include "machines/dsp/shared_tables.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

COscillator::COscillator(int32_t sampleRate, const CWaveTable* waveTable, float frequency,
                         const CStepTable* edge, const CStepTable* secondEdge)
    : m_sampleRate(sampleRate > 0 ? sampleRate : 1), m_waveTable(waveTable), m_edge(edge),
      m_secondEdge(secondEdge) {
    SetFrequency(frequency);
    m_random.state = RandomState::SeedFromProcess();
    if (edge) m_ringSize = 2 * edge->ZeroCrossings() + 1;
    m_ring = std::make_unique<float[]>(static_cast<size_t>(m_ringSize + kChunk));
}

void COscillator::SetFrequency(float hz) {
    m_frequency = hz;
    m_basePitch = OctavePitch(hz);
    m_pitchCountdown = 0;
}

void COscillator::SetPitch(float pitch) {
    m_basePitch = pitch;
    m_frequency = PitchFrequency(pitch);
    m_pitchCountdown = 0;
}

void COscillator::SetWaveform(int32_t type) {
    if (type == m_waveform) return;
    m_waveform = type;
    m_phase = 0.0f;
    m_fineExit = -1.0f;
    m_advanceExit = -1.0f;
}

void COscillator::RenderWave(float* out, int32_t count) {
    const float increment = m_frequency / static_cast<float>(m_sampleRate);
    float phase = m_phase;
    for (int32_t i = 0; i < count; ++i) {
        out[i] = m_waveTable->Lookup(phase);
        phase += increment;
        if (phase >= 1.0f) phase -= 1.0f;
    }
    m_phase = phase;
}

void COscillator::Advance(int32_t count) {
    // One closed form from the start of the run: adding each call's share on would round
    // differently for every way of cutting the run.
    if (m_phase != m_advanceExit || m_frequency != m_advanceFrequency) {
        m_advanceBase = m_phase;
        m_advanceElapsed = 0.0;
    }
    m_advanceElapsed += static_cast<double>(count);
    const double phase = m_advanceBase + m_advanceElapsed * m_frequency / m_sampleRate;
    m_phase = static_cast<float>(phase - std::floor(phase));
    if (m_phase >= 1.0f) m_phase = 0.0f;
    m_advanceExit = m_phase;
    m_advanceFrequency = m_frequency;
}

void COscillator::RenderSampleHold(float* out, int32_t count) {
    const float increment = m_frequency / static_cast<float>(m_sampleRate);
    for (int32_t i = 0; i < count; ++i) {
        out[i] = m_held;
        m_phase += increment;
        if (m_phase >= 1.0f) {
            m_held = (static_cast<float>(m_random.Next()) / 32767.0f - 0.5f) * 2.0f;
            m_phase -= 1.0f;
        }
    }
}

void COscillator::RenderSampleGlide(float* out, int32_t count) {
    const float increment = m_frequency / static_cast<float>(m_sampleRate);
    for (int32_t i = 0; i < count; ++i) {
        out[i] = m_held + m_phase * (m_next - m_held);
        m_phase += increment;
        if (m_phase >= 1.0f) {
            m_held = m_next;
            m_next = (static_cast<float>(m_random.Next()) / 32767.0f - 0.5f) * 2.0f;
            m_phase -= 1.0f;
        }
    }
}

void COscillator::RenderPitched(const float* pitch, float* out, int32_t count) {
    const float rate = static_cast<float>(m_sampleRate);
    float phase = m_phase;
    for (int32_t i = 0; i < count; ++i) {
        out[i] = m_waveTable->Lookup(phase);
        phase += 440.0f * Pow2(pitch[i] + m_basePitch - 5.0f) / rate;
        if (phase >= 1.0f) phase -= 1.0f;
    }
    m_phase = phase;
}

namespace {
// g·second(x) + (1 − g)·first(x) for two tables of the same length: one index for both reads, the
// same values as two Lookup calls.
inline float BlendLookup(const float* first, const float* second, int32_t n, float g, float x) {
    if (x >= 1.0f) x -= static_cast<float>(static_cast<int32_t>(x));
    const float pos = x * static_cast<float>(n);
    int32_t i = static_cast<int32_t>(pos);
    const float frac = pos - static_cast<float>(i);
    if (i >= n) i = n - 1;
    const int32_t j = i + 1 == n ? 0 : i + 1;
    const float a = first[i] + frac * (first[j] - first[i]);
    const float b = second[i] + frac * (second[j] - second[i]);
    return g * b + (1.0f - g) * a;
}
} // namespace

void COscillator::RenderBlend(const float* pitch, float* out, int32_t count, const CWaveTable* second,
                              const float* blend, float blendAmount) {
    const float rate = static_cast<float>(m_sampleRate);
    if (pitch && blend != out && second->Count() == m_waveTable->Count()) {
        // The per-sample steps first, four at a time, parked in out; then the serial phase walk
        // reads each step back before writing the sample over it.
        const float base = m_basePitch;
        const int32_t n = m_waveTable->Count();
        const float* firstTable = m_waveTable->Values();
        const float* secondTable = second->Values();
        int32_t i = 0;
        for (; i + 4 <= count; i += 4)
            StoreVec4(out + i, 440.0f * FastExp2(base + LoadVec4(pitch + i) - 5.0f) / rate);
        for (; i < count; ++i)
            out[i] = 440.0f * FastExp2(base + pitch[i] - 5.0f) / rate;
        float phase = m_phase;
        for (i = 0; i < count; ++i) {
            const float g = blend ? blendAmount * blend[i] : blendAmount;
            const float step = out[i];
            out[i] = BlendLookup(firstTable, secondTable, n, g, phase);
            phase += step;
            if (phase >= 1.0f) phase -= 1.0f;
        }
        m_phase = phase;
        return;
    }
    float step = 440.0f * Pow2(m_basePitch - 5.0f) / rate;
    for (int32_t i = 0; i < count; ++i) {
        const float g = blend ? blendAmount * blend[i] : blendAmount;
        out[i] = g * second->Lookup(m_phase) + (1.0f - g) * m_waveTable->Lookup(m_phase);
        if (pitch) step = 440.0f * Pow2(m_basePitch + pitch[i] - 5.0f) / rate;
        m_phase += step;
        if (m_phase >= 1.0f) m_phase -= 1.0f;
    }
}

void COscillator::InsertEdge(int32_t at, float fraction, float height, bool secondTable) {
    const CStepTable* table = m_edge;
    if (secondTable && m_secondEdge)
        table = m_secondEdge;
    else if (m_waveform == kTriSquare)
        table = SharedTables().integratedEdge.get();
    if (!table || m_ringSize == 0) return;
    const int32_t points = table->PointsPerSample();
    const int32_t last = table->Count() - 1;
    const float position = fraction > 0.0f ? fraction * static_cast<float>(points) : 0.0f;
    const int32_t first = static_cast<int32_t>(position);
    const float g = position - static_cast<float>(first);
    // One correction per sample from the edge's own sample on, while the table lasts.
    int32_t steps = first < last ? (last - first + points - 1) / points : 0;
    if (steps > m_ringSize) steps = m_ringSize;
    // Table values first + step·P and the ones after them, each from a contiguous row.
    const float* a = table->PhaseRow(first % points) + first / points;
    const float* b = table->PhaseRow(first % points + 1) + first / points;
    float* cells = m_ring.get() + at;
    for (int32_t step = 0; step < steps; ++step)
        cells[step] += height * (1.0f - (a[step] + g * (b[step] - a[step])));
}

void COscillator::Render(const float* width, const float* sync, const float* pitch, float* out,
                         float* syncOut, int32_t count) {
    const int32_t waveform = m_waveform;
    const bool pulseWave = waveform == kTriSquare || waveform == kSquare || waveform == kImpulse;
    const bool impulse = waveform == kImpulse;
    if (pulseWave && !width && !sync && !pitch && !syncOut && std::isfinite(m_frequency)) {
        RenderFixedPulse(out, count);
        return;
    }
    // With a pitch input the increment and its countdown carry over from the previous call.
    float increment = pitch ? m_pitchIncrement : ClampedIncrement(m_frequency);
    int32_t countdown = pitch ? m_pitchCountdown : 0;
    float w = 0.5f;
    float phase = m_phase;
    // Chunks of up to kChunk samples: the naive wave first (edges add their corrections to the
    // cells from their own sample on), then the corrections join it in one pass, and the cells
    // past the chunk move to the front for the next one.
    for (int32_t start = 0; start < count; start += kChunk) {
        const int32_t n = std::min(kChunk, count - start);
        float* o = out + start;
        for (int32_t k = 0; k < n; ++k) {
            const int32_t i = start + k;
            if (pitch) {
                if (countdown == 0) {
                    countdown = kPitchInterval - 1;
                    increment = ClampedIncrement(440.0f * Pow2(m_basePitch + pitch[i] - 5.0f));
                } else {
                    --countdown;
                }
            }
            if (width) {
                w = (width[i] + 1.0f) * 0.5f;
                w = w < 0.0f ? 0.0f : (w > 1.0f ? 1.0f : w);
            }
            const float m = phase + increment;
            const bool syncReset = sync && sync[i] == 0.0f;
            if (m >= 1.0f || syncReset) {
                phase = syncReset ? 0.0f : m - 1.0f;
                if (syncOut) syncOut[i] = 0.0f;
                InsertEdge(k, phase / increment, waveform == kSaw ? (syncReset ? m : 1.0f) : 1.0f, impulse);
                m_pulse = 0.0f;
            } else {
                phase = m;
                if (syncOut) syncOut[i] = 1.0f;
            }
            if (pulseWave && m_pulse == 0.0f && phase > w) {
                InsertEdge(k, (phase - w) / increment, -1.0f, impulse);
                m_pulse = 1.0f;
            }
            o[k] = waveform == kSaw ? phase : (impulse ? 0.0f : m_pulse);
        }
        JoinCorrections(o, n, impulse);
    }
    m_phase = phase;
    if (pitch) {
        m_pitchCountdown = countdown;
        m_pitchIncrement = increment;
    }
}

void COscillator::JoinCorrections(float* o, int32_t n, bool impulse) {
    float* cells = m_ring.get();
    if (impulse) {
        for (int32_t k = 0; k < n; ++k)
            o[k] += cells[k];
    } else {
        for (int32_t k = 0; k < n; ++k)
            o[k] = 2.0f * (o[k] + cells[k]) - 1.0f;
    }
    std::memmove(cells, cells + n, sizeof(float) * static_cast<size_t>(m_ringSize));
    std::fill(cells + m_ringSize, cells + m_ringSize + n, 0.0f);
}

void COscillator::RenderFixedPulse(float* out, int32_t count) {
    const bool impulse = m_waveform == kImpulse;
    const double increment = ClampedIncrement(m_frequency);
    constexpr double w = 0.5;
    // The phase is always base + elapsed · increment, rebased only at edges: the same sums whatever
    // the calls and chunks, where adding each stretch's steps on would round differently.
    double base = m_phase;
    double elapsed = 0.0;
    if (m_phase == m_fineExit && increment == m_fineIncrement) {
        base = m_fineBase;
        elapsed = m_fineElapsed;
    }
    for (int32_t start = 0; start < count; start += kChunk) {
        const int32_t n = std::min(kChunk, count - start);
        float* o = out + start;
        int32_t k = 0;
        while (k < n) {
            // The next edge: the wrap (phase reaches 1) while high, the rise (phase passes w)
            // while low. j is the number of samples up to and including the edge's sample.
            const bool high = m_pulse != 0.0f;
            auto reached = [&](double j) {
                const double p = base + (elapsed + j) * increment;
                return high ? p >= 1.0 : p > w;
            };
            const double estimate = std::ceil(((high ? 1.0 : w) - (base + elapsed * increment)) / increment);
            double j = estimate < 1.0 ? 1.0 : estimate;
            while (j > 1.0 && reached(j - 1.0))
                j -= 1.0;
            while (!reached(j))
                j += 1.0;
            const float level = impulse ? 0.0f : m_pulse;
            if (j > static_cast<double>(n - k)) {
                std::fill(o + k, o + n, level);
                elapsed += static_cast<double>(n - k);
                break;
            }
            const int32_t at = k + static_cast<int32_t>(j) - 1;
            std::fill(o + k, o + at, level);
            double phase = base + (elapsed + j) * increment;
            if (high) {
                phase -= 1.0;
                InsertEdge(at, static_cast<float>(phase / increment), 1.0f, impulse);
                m_pulse = 0.0f;
            }
            if (m_pulse == 0.0f && phase > w) {
                InsertEdge(at, static_cast<float>((phase - w) / increment), -1.0f, impulse);
                m_pulse = 1.0f;
            }
            base = phase;
            elapsed = 0.0;
            o[at] = impulse ? 0.0f : m_pulse;
            k = at + 1;
        }
        JoinCorrections(o, n, impulse);
    }
    m_fineBase = base;
    m_fineElapsed = elapsed;
    m_fineIncrement = increment;
    const auto phase = static_cast<float>(base + elapsed * increment);
    m_phase = phase >= 1.0f ? 0.0f : phase;
    m_fineExit = m_phase;
}
