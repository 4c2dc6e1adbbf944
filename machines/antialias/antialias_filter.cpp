#include "machines/antialias/antialias_filter.h"
#include "machines/antialias/antialias_panel_layout.h"

#include "machine_interface/vesk_host.h"
#include "machines/dsp/transforms.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
constexpr int32_t kZeroCrossings = 8;
} // namespace

CStereoFIR::CStereoFIR(int32_t taps, std::vector<float> coefficients)
    : m_taps(taps), m_coefficients(std::move(coefficients)) {
    m_coefficients.resize(static_cast<size_t>(taps), 0.0f);
    SetGainFromPhase(1);
}

void CStereoFIR::SetGainFromPhase(int32_t step) {
    m_step = step > 0 ? step : 1;
    double sum = 0.0;
    m_phase.clear();
    for (int32_t k = 0; k < m_taps; k += m_step) {
        sum += m_coefficients[static_cast<size_t>(k)];
        m_phase.push_back(m_coefficients[static_cast<size_t>(k)]);
    }
    m_gain = sum == 0.0 ? 1.0f : static_cast<float>(1.0 / std::fabs(sum));
    const size_t past = m_phase.empty() ? 0 : m_phase.size() - 1;
    for (auto& history : m_history)
        history.assign(past + kChunk, 0.0f);
}

void CStereoFIR::Process(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                         int32_t count) {
    const auto taps = static_cast<int32_t>(m_phase.size());
    if (taps == 0) {
        for (int32_t i = 0; i < count; ++i)
            outLeft[i] = outRight[i] = 0.0f;
        return;
    }
    const float* h = m_phase.data();
    const int32_t past = taps - 1;
    const float* const in[2] = {inLeft, inRight};
    float* const out[2] = {outLeft, outRight};
    for (int32_t done = 0; done < count;) {
        const int32_t n = std::min(kChunk, count - done);
        for (int c = 0; c < 2; ++c) {
            float* history = m_history[c].data();
            std::copy_n(in[c] + done, n, history + past);
            // sum[i] collects the taps of output i in the order newest → oldest.
            float sum[kChunk];
            for (int32_t i = 0; i < n; ++i)
                sum[i] = 0.0f;
            for (int32_t j = 0; j < taps; ++j) {
                const float coefficient = h[j];
                const float* x = history + past - j;
                for (int32_t i = 0; i < n; ++i)
                    sum[i] += coefficient * x[i];
            }
            float* y = out[c] + done;
            for (int32_t i = 0; i < n; ++i)
                y[i] = 0.0f + m_gain * sum[i];
            std::copy(history + n, history + n + past, history);
        }
        done += n;
    }
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
    // The filter was made for this factor: its taps are those of the real samples of a signal
    // zero-stuffed by it.
    m_filters[setting]->Process(in->m_channel1, in->m_channel2, out->m_channel1, out->m_channel2, n);
}

float CAntiAliasFilter::GetParameter(int32_t index) {
    return index == 0 ? m_oversampling : 0.0f;
}

void CAntiAliasFilter::SetParameter(int32_t index, float value) {
    if (index != 0) return;
    m_oversampling = value;
    if (m_panel) m_panel->MoveKnob(value);
}

CAntiAliasFilter::~CAntiAliasFilter() {
    // The panel goes with the machine.
    if (m_panel) m_panel->ClosePanel();
}

bool CAntiAliasFilter::GetGUIRect(int16_t* left, int16_t* top, int16_t* right, int16_t* bottom) {
    *left = 0;
    *top = 0;
    *right = antialias_panel::kWidth;
    *bottom = antialias_panel::kHeight;
    return true;
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
