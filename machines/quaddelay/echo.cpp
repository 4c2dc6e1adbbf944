#include "machines/quaddelay/echo.h"

#include "machine_interface/vesk_host.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

const char* const kRoles[8] = {"Delay Time", "Feedback", "Filter Frequency", "Filter Bandwidth",
                               "LFO Amount", "LFO Rate", "Wet Level",        "Dry Level"};
const float kDefaults[CEcho::kParameterCount] = {
    0.1f, 0.5f, 0.0f, 0.5f, 0.0f, 0.5f, 1.0f, 0.0f, // line 1
    0.2f, 0.5f, 0.1f, 0.5f, 0.0f, 0.5f, 0.0f, 0.0f, // line 2
    0.3f, 0.5f, 0.2f, 0.5f, 0.0f, 0.5f, 0.0f, 0.0f, // line 3
    0.4f, 0.5f, 0.3f, 0.5f, 0.0f, 0.5f, 0.0f, 0.0f, // line 4
};

float DelaySeconds(float x) {
    return 0.01f + 0.99f * (Pow2(x) - 1.0f);
}

inline float FlushDenormal(float x) {
    return std::fpclassify(x) == FP_SUBNORMAL ? 0.0f : x;
}

} // namespace

CFilteredDelayLine::CFilteredDelayLine(int32_t sampleRate, float lengthSeconds, float feedback)
    : m_sampleRate(sampleRate > 0 ? sampleRate : 1), m_feedback(feedback) {
    const auto length = static_cast<int32_t>(static_cast<float>(m_sampleRate) * lengthSeconds);
    m_length = length < 1 ? 1 : length;
    m_buffer = std::make_unique<float[]>(static_cast<size_t>(m_length));
}

void CFilteredDelayLine::SetDelayTime(float seconds) {
    const float d = seconds < 0.0f ? 0.0f : (seconds > 1.0f ? 1.0f : seconds);
    m_target = static_cast<float>(m_length - 1) * (1.0f - d);
}

void CFilteredDelayLine::SetFilterFrequency(float value) {
    m_frequency = value;
    m_coefficientsFor = -1.0f;
}

void CFilteredDelayLine::SetBandwidth(float hz) {
    m_bandwidth = hz;
    m_coefficientsFor = -1.0f;
}

void CFilteredDelayLine::UpdateCoefficients(float modulation) {
    const auto rate = static_cast<float>(m_sampleRate);
    float fc = 440.0f * Pow2(m_frequency - 5.0f) * 12.0f * modulation;
    if (fc < 1.0f)
        fc = 1.0f;
    else if (fc > rate * 0.25f)
        fc = rate * 0.25f;
    const float t = std::tan(kPi * m_bandwidth / rate);
    const float c = 1.0f / t;
    const float a = 1.0f / (1.0f + c);
    m_b0 = a;
    m_b1 = 0.0f;
    m_b2 = -a;
    m_a1 = -2.0f * a * c * std::cos(kTwoPi * fc / rate);
    m_a2 = a * (c - 1.0f);
    m_coefficientsFor = modulation;
}

void CFilteredDelayLine::Process(const float* in, float* out, const float* modulation, int32_t count) {
    float* buffer = m_buffer.get();
    for (int32_t j = 0; j < count; ++j) {
        // The coefficients follow the modulation sample by sample; an unchanged factor gives the
        // same coefficients, so they are only recomputed when it moves.
        if (modulation[j] != m_coefficientsFor) UpdateCoefficients(modulation[j]);
        m_current = SmoothToward(static_cast<double>(m_target), m_current);
        double position = m_current + m_write;
        if (position >= m_length) position -= m_length;
        const auto p = static_cast<float>(position);
        int32_t i0 = static_cast<int32_t>(p);
        if (i0 >= m_length) i0 = m_length - 1;
        const float f = p - static_cast<float>(i0);
        const int32_t i1 = i0 == m_length - 1 ? 0 : i0 + 1;
        float s = ((1.0f - f) * buffer[i0] + f * buffer[i1]) * m_feedback + in[j];
        s = FlushDenormal(s);
        float v = m_b0 * s + m_b1 * m_x1 + m_b2 * m_x2 - m_a1 * m_y1 - m_a2 * m_y2;
        v = FlushDenormal(v);
        m_x2 = m_x1;
        m_x1 = s;
        m_y2 = m_y1;
        m_y1 = v;
        buffer[m_write] = v;
        out[j] = v;
        if (++m_write == m_length) m_write = 0;
    }
}

CEcho::CEcho(CVeskHost* host)
    : CMachine(host), m_blockSize(host ? host->GetBufferSize() : 256),
      m_sampleRate(host ? host->GetSampleRate() : 44100) {
    for (float& value : m_values)
        value = -1.0f; // every setter below runs once
    m_parameterCount = kParameterCount;
    m_scratch.Resize(m_blockSize);
    m_modulation.Resize(m_blockSize);
    for (int32_t i = 0; i < m_blockSize; ++i)
        m_modulation[static_cast<size_t>(i)] = 1.0f;
    AddPort(kPortStereoIn, "Line In");
    AddPort(kPortStereoOut, "Line Out");
    for (int32_t line = 0; line < kLineCount; ++line) {
        MakeDelayLines(line);
        m_lines[line].lfo = std::make_unique<COscillator>(m_sampleRate, &SharedTables().sine, 10.0f);
    }
    for (int32_t i = 0; i < kParameterCount; ++i)
        SetParameter(i, kDefaults[i]);
}

void CEcho::MakeDelayLines(int32_t line) {
    for (auto& delay : m_lines[line].delay)
        delay = std::make_unique<CFilteredDelayLine>(m_sampleRate, 1.0f, 0.0f);
}

void CEcho::ApplyToLine(int32_t index, float x) {
    EchoLine& line = m_lines[index / 8];
    switch (index % 8) {
    case 0:
        for (auto& delay : line.delay)
            delay->SetDelayTime(DelaySeconds(x));
        break;
    case 1:
        for (auto& delay : line.delay)
            delay->SetFeedback(x);
        break;
    case 2:
        for (auto& delay : line.delay)
            delay->SetFilterFrequency(12.0f * x);
        break;
    case 3:
        for (auto& delay : line.delay)
            delay->SetBandwidth(10000.0f * x + 10.0f);
        break;
    case 4:
        line.lfo->SetPitch(6.0f * x - 10.0f);
        break;
    default:
        break; // LFO Rate, Wet and Dry Level are read where they are used
    }
}

void CEcho::SetParameter(int32_t index, float value) {
    if (index < 0 || index >= kParameterCount) return;
    if (value == m_values[index]) return;
    m_values[index] = value;
    ApplyToLine(index, value);
}

float CEcho::GetParameter(int32_t index) {
    return index >= 0 && index < kParameterCount ? m_values[index] : 0.0f;
}

void CEcho::GetParameterName(int32_t index, char* text) {
    if (index < 0 || index >= kParameterCount) {
        text[0] = '\0';
        return;
    }
    std::snprintf(text, 64, "%s %i", kRoles[index % 8], index / 8 + 1);
}

void CEcho::FormatParameter(int32_t index, float x, char* text) {
    if (index < 0 || index >= kParameterCount) {
        text[0] = '\0';
        return;
    }
    switch (index % 8) {
    case 0:
        // Through double so that 0.01f (9.9999998 ms) truncates to 9 as the single value says.
        std::snprintf(text, 64, "%ims", static_cast<int>(static_cast<double>(DelaySeconds(x)) * 1000.0));
        break;
    case 6:
    case 7: {
        const float level = x != 0.0f ? DbToGain(80.0f * x - 64.0f) : 0.0f;
        if (level == 0.0f)
            std::snprintf(text, 64, "-oo dB");
        else
            std::snprintf(text, 64, "%.2fdB", static_cast<double>(GainToDb(level)));
        break;
    }
    default:
        std::snprintf(text, 64, "%i%%", static_cast<int>(x * 100.0f));
        break;
    }
}

void CEcho::Process() {
    CAudioBuffer* in = m_ports[0]->m_audioBuffer;
    CAudioBuffer* out = m_ports[1]->m_audioBuffer;
    int32_t n = m_blockSize;
    if (n > in->m_length) n = in->m_length;
    if (n > out->m_length) n = out->m_length;
    const size_t bytes = sizeof(float) * static_cast<size_t>(n);
    std::memset(out->m_channel1, 0, bytes);
    std::memset(out->m_channel2, 0, bytes);
    float* scratch = m_scratch.Data();
    const float* modulation = m_modulation.Data();
    for (int32_t line = 0; line < kLineCount; ++line) {
        const float wet = 0.0625f * m_values[8 * line + 6];
        const float dry = 0.25f * m_values[8 * line + 7];
        const float* inputs[2] = {in->m_channel1, in->m_channel2};
        float* outputs[2] = {out->m_channel1, out->m_channel2};
        for (int32_t channel = 0; channel < 2; ++channel) {
            m_lines[line].delay[channel]->Process(inputs[channel], scratch, modulation, n);
            const float* x = inputs[channel];
            float* y = outputs[channel];
            for (int32_t i = 0; i < n; ++i) {
                y[i] += wet * scratch[i] + dry * x[i];
                scratch[i] = 0.0f;
            }
        }
    }
}

void CEcho::SetSampleRate(int32_t rate) {
    m_sampleRate = rate;
    for (int32_t line = 0; line < kLineCount; ++line) {
        // Echoes in flight are dropped; the line keeps its settings.
        MakeDelayLines(line);
        m_lines[line].lfo->SetSampleRate(rate);
        for (int32_t role = 0; role < 4; ++role)
            ApplyToLine(8 * line + role, m_values[8 * line + role]);
    }
}

void CEcho::SetBufferSize(int32_t frames) {
    m_scratch.Resize(frames);
    m_modulation.Resize(frames);
    for (int32_t i = 0; i < frames; ++i)
        m_modulation[static_cast<size_t>(i)] = 1.0f;
    m_blockSize = frames;
}
