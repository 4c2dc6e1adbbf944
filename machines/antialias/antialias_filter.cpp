#include "machines/antialias/antialias_filter.h"

#include "machine_interface/vesk_host.h"
#include "machines/dsp/transforms.h"

#include <cmath>
#include <cstdio>

namespace {
constexpr int32_t kZeroCrossings = 8;
} // namespace

CStereoFIR::CStereoFIR(int32_t taps, std::vector<float> coefficients)
    : m_taps(taps), m_coefficients(std::move(coefficients)) {
    m_coefficients.resize(static_cast<size_t>(taps), 0.0f);
    for (auto& history : m_history)
        history.assign(static_cast<size_t>(taps), 0.0f);
}

void CStereoFIR::SetGainFromPhase(int32_t step) {
    m_step = step > 0 ? step : 1;
    double sum = 0.0;
    for (int32_t k = 0; k < m_taps; k += m_step)
        sum += m_coefficients[static_cast<size_t>(k)];
    m_gain = sum == 0.0 ? 1.0f : static_cast<float>(1.0 / std::fabs(sum));
}

void CStereoFIR::Push(float inLeft, float inRight, float* outLeft, float* outRight) {
    m_history[0][static_cast<size_t>(m_write)] = inLeft;
    m_history[1][static_cast<size_t>(m_write)] = inRight;
    const float* h = m_coefficients.data();
    const float* left = m_history[0].data();
    const float* right = m_history[1].data();
    float sumLeft = 0.0f, sumRight = 0.0f;
    int32_t at = m_write;
    for (int32_t k = 0; k < m_taps; k += m_step) {
        sumLeft += h[k] * left[at];
        sumRight += h[k] * right[at];
        at -= m_step;
        if (at < 0) at += m_taps;
    }
    *outLeft += m_gain * sumLeft;
    *outRight += m_gain * sumRight;
    if (++m_write == m_taps) m_write = 0;
}

void CStereoFIR::PushZero() {
    m_history[0][static_cast<size_t>(m_write)] = 0.0f;
    m_history[1][static_cast<size_t>(m_write)] = 0.0f;
    if (++m_write == m_taps) m_write = 0;
}

CAntiAliasFilter::CAntiAliasFilter(CVeskHost* host)
    : CMachine(host), m_sampleRate(host ? host->GetSampleRate() : 44100),
      m_blockSize(host ? host->GetBufferSize() : 256) {
    AddPort(kPortStereoIn, "Line In");
    AddPort(kPortStereoOut, "Line Out");
    m_parameterCount = 1;
    for (int32_t setting = 0; setting < kSettings; ++setting) {
        const int32_t factor = 1 << (setting + 1);
        const std::vector<double> design = MinimumPhaseSinc(kZeroCrossings, factor);
        std::vector<float> coefficients(design.begin(), design.end());
        m_filters[setting] =
            std::make_unique<CStereoFIR>(static_cast<int32_t>(design.size()), std::move(coefficients));
        m_filters[setting]->SetGainFromPhase(factor);
    }
    CreatePrograms(1);
}

int32_t CAntiAliasFilter::SettingFor(float value) {
    const auto setting = static_cast<int32_t>(4.0f * value);
    return setting < 0 ? 0 : (setting > 4 ? 4 : setting);
}

void CAntiAliasFilter::Process() {
    CAudioBuffer* in = m_ports[0]->m_audioBuffer;
    CAudioBuffer* out = m_ports[1]->m_audioBuffer;
    int32_t n = m_blockSize;
    if (n > in->m_length) n = in->m_length;
    if (n > out->m_length) n = out->m_length;
    const int32_t setting = SettingFor(m_oversampling);
    const int32_t factor = 1 << (setting + 1);
    CStereoFIR& filter = *m_filters[setting];
    for (int32_t i = 0; i < n; ++i) {
        out->m_channel1[i] = 0.0f;
        out->m_channel2[i] = 0.0f;
        filter.Push(in->m_channel1[i], in->m_channel2[i], &out->m_channel1[i], &out->m_channel2[i]);
        for (int32_t z = 1; z < factor; ++z)
            filter.PushZero();
    }
}

float CAntiAliasFilter::GetParameter(int32_t index) {
    return index == 0 ? m_oversampling : 0.0f;
}

void CAntiAliasFilter::SetParameter(int32_t index, float value) {
    if (index == 0) m_oversampling = value;
}

void CAntiAliasFilter::GetParameterName(int32_t index, char* text) {
    std::snprintf(text, 64, "%s", index == 0 ? "Oversampling" : "");
}

void CAntiAliasFilter::FormatParameter(int32_t index, float value, char* text) {
    if (index != 0) {
        text[0] = '\0';
        return;
    }
    std::snprintf(text, 64, "%ix", 1 << (1 + SettingFor(value)));
}
