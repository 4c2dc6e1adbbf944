#include "machines/mixer/mixer.h"

#include "machine_interface/vesk_host.h"
#include "machines/dsp/dsp_math.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <type_traits>

namespace {

// Added at the first stage of each chain; keeps the chains out of denormals.
constexpr double kAntiDenormal = 2.3283064370807974e-10;

const char* const kTrackRoles[7] = {"Level", "Balance", "Low", "Mid", "High", "AUX1", "AUX2"};
const char* const kAuxRoles[5] = {"Level", "Balance", "Low", "Mid", "High"};

// Strip gain of a Level value: −48 .. +12 dB on the library's scale.
float LevelGain(float x) {
    return DbToGain(60.0f * x - 48.0f);
}

bool IsPositiveZero(double x) {
    return x == 0.0 && !std::signbit(x);
}

// True when every sample is +0 (bit pattern zero; a −0 sample takes the full path).
bool IsSilent(const float* in, int32_t count) {
    uint32_t bits = 0;
    for (int32_t i = 0; i < count; ++i)
        bits |= std::bit_cast<uint32_t>(in[i]);
    return bits == 0;
}

// One sample x through the two four-pole one-pole chains l (k1) and h (k2); on doubles or on a
// strip's two channels side by side.
template <typename T> inline void StepChains(T x, T (&l)[4], T (&h)[4], double k1, double k2) {
    l[0] += k1 * (x - l[0]) + kAntiDenormal;
    l[1] += k1 * (l[0] - l[1]);
    l[2] += k1 * (l[1] - l[2]);
    l[3] += k1 * (l[2] - l[3]);
    h[0] += kAntiDenormal + k2 * (x - h[0]);
    h[1] += k2 * (h[0] - h[1]);
    h[2] += k2 * (h[1] - h[2]);
    h[3] += k2 * (h[2] - h[3]);
}

void AddConstant(float* to, float value, int32_t count) {
    for (int32_t i = 0; i < count; ++i)
        to[i] += value;
}

} // namespace

// ---------------------------------------------------------------------------------------------

CMixerChannel::CMixerChannel(double lowCrossover, double highCrossover, int32_t sampleRate)
    : m_lowCrossover(lowCrossover), m_highCrossover(highCrossover) {
    SetSampleRate(sampleRate);
}

void CMixerChannel::SetSampleRate(int32_t sampleRate) {
    const double fs = sampleRate > 0 ? sampleRate : 44100;
    m_k1 = 2.0 * std::sin(std::numbers::pi * m_lowCrossover / fs);
    m_k2 = 2.0 * std::sin(std::numbers::pi * m_highCrossover / fs);
    std::fill(std::begin(m_l), std::end(m_l), 0.0);
    std::fill(std::begin(m_h), std::end(m_h), 0.0);
    m_d1 = m_d2 = m_d3 = 0.0;
}

bool CMixerChannel::IsSettled(float gain) const {
    // A channel whose input stays at +0 repeats itself sample for sample once one more step would
    // leave every filter stage, delay and smoother where it is.
    if (m_gain != gain || m_band[0] != m_bandTarget[0] || m_band[1] != m_bandTarget[1] ||
        m_band[2] != m_bandTarget[2])
        return false;
    if (!IsPositiveZero(m_d1) || !IsPositiveZero(m_d2) || !IsPositiveZero(m_d3)) return false;
    double l[4] = {m_l[0], m_l[1], m_l[2], m_l[3]};
    double h[4] = {m_h[0], m_h[1], m_h[2], m_h[3]};
    StepChains(0.0, l, h, m_k1, m_k2);
    return std::equal(l, l + 4, m_l) && std::equal(h, h + 4, m_h);
}

bool CMixerChannel::Rests(const float* in, int32_t count, bool aux1, bool aux2, float gain, float send1,
                          float send2) const {
    const bool sendsSettled = (!aux1 || m_send1 == send1) && (!aux2 || m_send2 == send2);
    return count > 0 && sendsSettled && IsSilent(in, count) && IsSettled(gain);
}

float CMixerChannel::Process(const float* in, float* main, float* aux1, float* aux2, int32_t count,
                             float gain, float send1, float send2) {
    if (Rests(in, count, aux1, aux2, gain, send1, send2)) {
        // Every sample of the block gives the same output: the crossover's resting value.
        const double high = 0.0 - m_h[3];
        const double low = m_l[3];
        const double mid = 0.0 - (high + low);
        const float y = static_cast<float>(low * m_band[0] + mid * m_band[1] + high * m_band[2]);
        if (aux1) AddConstant(aux1, m_send1 * y, count);
        if (aux2) AddConstant(aux2, m_send2 * y, count);
        const float out = y * m_gain;
        AddConstant(main, out, count);
        return std::fabs(out);
    }
    double l[4] = {m_l[0], m_l[1], m_l[2], m_l[3]};
    double h[4] = {m_h[0], m_h[1], m_h[2], m_h[3]};
    float peak = 0.0f;
    for (int32_t i = 0; i < count; ++i) {
        const double x = in[i];
        m_gain = SmoothToward(gain, m_gain);
        StepChains(x, l, h, m_k1, m_k2);
        m_band[0] = SmoothToward(m_bandTarget[0], m_band[0]);
        m_band[1] = SmoothToward(m_bandTarget[1], m_band[1]);
        m_band[2] = SmoothToward(m_bandTarget[2], m_band[2]);
        const double x3 = m_d3;
        m_d3 = m_d2;
        m_d2 = m_d1;
        m_d1 = x;
        const double high = x3 - h[3];
        const double low = l[3];
        const double mid = x3 - (high + low);
        float y = static_cast<float>(low * m_band[0] + mid * m_band[1] + high * m_band[2]);
        if (aux1) {
            m_send1 = SmoothToward(send1, m_send1);
            aux1[i] += m_send1 * y;
        }
        if (aux2) {
            m_send2 = SmoothToward(send2, m_send2);
            aux2[i] += m_send2 * y;
        }
        y *= m_gain;
        peak = std::max(peak, std::fabs(y));
        main[i] += y;
    }
    std::copy(l, l + 4, m_l);
    std::copy(h, h + 4, m_h);
    return peak;
}

void CMixerChannel::ProcessStereo(CMixerChannel* channel[2], const float* const in[2], float* const main[2],
                                  float* const aux1[2], float* const aux2[2], int32_t count,
                                  const float gain[2], float send1, float send2, float peak[2]) {
    CMixerChannel& a = *channel[0];
    CMixerChannel& b = *channel[1];
    if (a.Rests(in[0], count, aux1[0], aux2[0], gain[0], send1, send2) ||
        b.Rests(in[1], count, aux1[1], aux2[1], gain[1], send1, send2) || a.m_k1 != b.m_k1 ||
        a.m_k2 != b.m_k2) {
        for (int c = 0; c < 2; ++c)
            peak[c] = channel[c]->Process(in[c], main[c], aux1[c], aux2[c], count, gain[c], send1, send2);
        return;
    }
    // Lane c of every vector is channel c; each lane runs Process's arithmetic in its order.
    using Pair = double __attribute__((vector_size(16)));
    const double k1 = a.m_k1, k2 = a.m_k2;
    Pair l[4], h[4];
    for (int j = 0; j < 4; ++j) {
        l[j] = Pair{a.m_l[j], b.m_l[j]};
        h[j] = Pair{a.m_h[j], b.m_h[j]};
    }
    Pair d1 = {a.m_d1, b.m_d1}, d2 = {a.m_d2, b.m_d2}, d3 = {a.m_d3, b.m_d3};
    float g[2] = {a.m_gain, b.m_gain};
    float band[3][2] = {{a.m_band[0], b.m_band[0]}, {a.m_band[1], b.m_band[1]}, {a.m_band[2], b.m_band[2]}};
    const float target[3] = {a.m_bandTarget[0], a.m_bandTarget[1], a.m_bandTarget[2]};
    const float targetB[3] = {b.m_bandTarget[0], b.m_bandTarget[1], b.m_bandTarget[2]};
    float s1[2] = {a.m_send1, b.m_send1}, s2[2] = {a.m_send2, b.m_send2};
    float top[2] = {0.0f, 0.0f};
    // The smoothers of a settled strip (gains, bands and sends at their targets) would return
    // their values unchanged sample after sample: that loop leaves them out.
    auto run = [&](auto gliding) {
        for (int32_t i = 0; i < count; ++i) {
            const Pair x = {in[0][i], in[1][i]};
            if constexpr (decltype(gliding)::value) {
                g[0] = SmoothToward(gain[0], g[0]);
                g[1] = SmoothToward(gain[1], g[1]);
            }
            StepChains(x, l, h, k1, k2);
            if constexpr (decltype(gliding)::value) {
                for (int j = 0; j < 3; ++j) {
                    band[j][0] = SmoothToward(target[j], band[j][0]);
                    band[j][1] = SmoothToward(targetB[j], band[j][1]);
                }
            }
            const Pair x3 = d3;
            d3 = d2;
            d2 = d1;
            d1 = x;
            const Pair high = x3 - h[3];
            const Pair low = l[3];
            const Pair mid = x3 - (high + low);
            const Pair bandLow = {band[0][0], band[0][1]}, bandMid = {band[1][0], band[1][1]},
                       bandHigh = {band[2][0], band[2][1]};
            const Pair mixed = low * bandLow + mid * bandMid + high * bandHigh;
            for (int c = 0; c < 2; ++c) {
                float y = static_cast<float>(mixed[c]);
                if (aux1[c]) {
                    if constexpr (decltype(gliding)::value) s1[c] = SmoothToward(send1, s1[c]);
                    aux1[c][i] += s1[c] * y;
                }
                if (aux2[c]) {
                    if constexpr (decltype(gliding)::value) s2[c] = SmoothToward(send2, s2[c]);
                    aux2[c][i] += s2[c] * y;
                }
                y *= g[c];
                top[c] = std::max(top[c], std::fabs(y));
                main[c][i] += y;
            }
        }
    };
    bool settled = true;
    for (int c = 0; c < 2; ++c) {
        settled = settled && g[c] == gain[c] && (!aux1[c] || s1[c] == send1) && (!aux2[c] || s2[c] == send2);
        for (int j = 0; j < 3; ++j)
            settled = settled && band[j][c] == (c == 0 ? target[j] : targetB[j]);
    }
    if (settled)
        run(std::false_type{});
    else
        run(std::true_type{});
    for (int c = 0; c < 2; ++c) {
        CMixerChannel& ch = *channel[c];
        for (int j = 0; j < 4; ++j) {
            ch.m_l[j] = l[j][c];
            ch.m_h[j] = h[j][c];
        }
        ch.m_d1 = d1[c], ch.m_d2 = d2[c], ch.m_d3 = d3[c];
        ch.m_gain = g[c];
        for (int j = 0; j < 3; ++j)
            ch.m_band[j] = band[j][c];
        ch.m_send1 = s1[c];
        ch.m_send2 = s2[c];
        peak[c] = top[c];
    }
}

// ---------------------------------------------------------------------------------------------

CMixer::CMixer(CVeskHost* host, int32_t tracks, int32_t auxBuses)
    : CMachine(host), m_tracks(tracks), m_auxBuses(auxBuses) {
    m_blockSize = host ? host->GetBufferSize() : 0;
    const int32_t sampleRate = host ? host->GetSampleRate() : 44100;
    char name[64];
    AddPort(kPortStereoOut, "Output");
    for (int32_t t = 1; t <= m_tracks; ++t) {
        std::snprintf(name, sizeof name, "Track %i In", t);
        AddPort(kPortStereoIn, name);
    }
    for (int32_t a = 1; a <= m_auxBuses; ++a) {
        std::snprintf(name, sizeof name, "AUX %i Out", a);
        AddPort(kPortSendOut, name);
        std::snprintf(name, sizeof name, "AUX %i In", a);
        AddPort(kPortReturnIn, name);
    }
    m_parameterCount = 7 * m_tracks + 5 * m_auxBuses;
    m_values.assign(static_cast<size_t>(m_parameterCount), 0.5f);
    m_strips = std::make_unique<Strip[]>(static_cast<size_t>(m_tracks + m_auxBuses));
    for (int32_t s = 0; s < m_tracks + m_auxBuses; ++s)
        for (auto& channel : m_strips[s].channel)
            channel = std::make_unique<CMixerChannel>(880.0, 5000.0, sampleRate);
    for (int32_t i = 0; i < m_parameterCount; ++i)
        SetParameter(i, 0.5f);
}

CMixer::~CMixer() = default;

int32_t CMixer::BlockLength() const {
    return std::min(m_blockSize, m_ports[0]->m_audioBuffer->m_length);
}

void CMixer::Process() {
    const int32_t n = BlockLength();
    m_ports[0]->m_audioBuffer->Clear();
    for (int32_t p = 1 + m_tracks; p < m_portCount; ++p)
        m_ports[p]->m_audioBuffer->Clear();

    CAudioBuffer* out = m_ports[0]->m_audioBuffer;
    CAudioBuffer* aux1 = m_auxBuses > 0 ? m_ports[1 + m_tracks]->m_audioBuffer : nullptr;
    CAudioBuffer* aux2 = m_auxBuses > 1 ? m_ports[3 + m_tracks]->m_audioBuffer : nullptr;
    const int32_t solo = m_solo.load(std::memory_order_relaxed);
    for (int32_t j = 0; j < m_tracks; ++j) {
        Strip& strip = m_strips[j];
        const float* v = &m_values[static_cast<size_t>(7 * j)];
        const bool sounding = (solo < 0 || solo == j) && !strip.mute.load(std::memory_order_relaxed);
        const float level = sounding ? LevelGain(v[0]) : 0.0f;
        const float send1 = sounding && aux1 ? v[5] : 0.0f;
        const float send2 = sounding && aux2 ? v[6] : 0.0f;
        const CAudioBuffer* in = m_ports[1 + j]->m_audioBuffer;
        const int32_t count = std::min(n, in->m_length);
        CMixerChannel* channels[2] = {strip.channel[0].get(), strip.channel[1].get()};
        const float* const inputs[2] = {in->m_channel1, in->m_channel2};
        float* const mains[2] = {out->m_channel1, out->m_channel2};
        float* const sends1[2] = {aux1 ? aux1->m_channel1 : nullptr, aux1 ? aux1->m_channel2 : nullptr};
        float* const sends2[2] = {aux2 ? aux2->m_channel1 : nullptr, aux2 ? aux2->m_channel2 : nullptr};
        const float gains[2] = {(1.0f - v[1]) * level, v[1] * level};
        CMixerChannel::ProcessStereo(channels, inputs, mains, sends1, sends2, count, gains, send1, send2,
                                     strip.peak);
    }
}

void CMixer::ProcessLate() {
    const int32_t n = BlockLength();
    CAudioBuffer* out = m_ports[0]->m_audioBuffer;
    const int32_t solo = m_solo.load(std::memory_order_relaxed);
    for (int32_t a = 0; a < m_auxBuses; ++a) {
        const int32_t index = m_tracks + a;
        Strip& strip = m_strips[index];
        const float* v = &m_values[static_cast<size_t>(AuxParameter(a))];
        const bool silent = (solo >= 0 && solo != index) || strip.mute.load(std::memory_order_relaxed);
        const float level = silent ? 0.0f : LevelGain(v[0]);
        const CAudioBuffer* in = m_ports[2 + m_tracks + 2 * a]->m_audioBuffer;
        const int32_t count = std::min(n, in->m_length);
        CMixerChannel* channels[2] = {strip.channel[0].get(), strip.channel[1].get()};
        const float* const inputs[2] = {in->m_channel1, in->m_channel2};
        float* const mains[2] = {out->m_channel1, out->m_channel2};
        float* const none[2] = {nullptr, nullptr};
        const float gains[2] = {(1.0f - v[1]) * level, v[1] * level};
        CMixerChannel::ProcessStereo(channels, inputs, mains, none, none, count, gains, 0.0f, 0.0f,
                                     strip.peak);
    }
}

float CMixer::GetParameter(int32_t index) {
    return index >= 0 && index < m_parameterCount ? m_values[static_cast<size_t>(index)] : 0.0f;
}

void CMixer::ApplyBands(int32_t strip) {
    const int32_t first = strip < m_tracks ? 7 * strip : AuxParameter(strip - m_tracks);
    const float* v = &m_values[static_cast<size_t>(first)];
    for (auto& channel : m_strips[strip].channel)
        channel->SetBandGains(v[2], v[3], v[4]);
}

void CMixer::SetParameter(int32_t index, float value) {
    if (index < 0 || index >= m_parameterCount) return;
    m_values[static_cast<size_t>(index)] = value;
    if (index < 7 * m_tracks) {
        const int32_t role = index % 7;
        if (role >= 2 && role <= 4) ApplyBands(index / 7);
    } else {
        const int32_t role = (index - 7 * m_tracks) % 5;
        if (role >= 2) ApplyBands(m_tracks + (index - 7 * m_tracks) / 5);
    }
    if (m_panel) m_panel->MoveControl(index, value);
}

void CMixer::GetParameterName(int32_t index, char* text) {
    text[0] = '\0';
    if (index < 0 || index >= m_parameterCount) return;
    if (index < 7 * m_tracks)
        std::snprintf(text, 64, "Track %i %s", index / 7 + 1, kTrackRoles[index % 7]);
    else
        std::snprintf(text, 64, "AUX %i %s", (index - 7 * m_tracks) / 5 + 1,
                      kAuxRoles[(index - 7 * m_tracks) % 5]);
}

void CMixer::FormatParameter(int32_t index, float value, char* text) {
    text[0] = '\0';
    if (index >= 0 && index < m_parameterCount)
        std::snprintf(text, 64, "%i%%", static_cast<int>(value * 100.0f));
}

void CMixer::SetSampleRate(int32_t rate) {
    for (int32_t s = 0; s < m_tracks + m_auxBuses; ++s)
        for (auto& channel : m_strips[s].channel)
            channel->SetSampleRate(rate);
}

void CMixer::SetBufferSize(int32_t frames) {
    m_blockSize = frames;
}

void CMixer::UpdateGUI() {
    if (!m_panel) return;
    for (int32_t s = 0; s < m_tracks + m_auxBuses; ++s) {
        const Strip& strip = m_strips[s];
        m_panel->SetMeters(s, strip.peak[0], strip.peak[1]);
    }
}

void CMixer::SetMute(int32_t strip, bool mute) {
    if (strip >= 0 && strip < m_tracks + m_auxBuses)
        m_strips[strip].mute.store(mute, std::memory_order_relaxed);
}

void CMixer::SetSolo(int32_t strip, bool on) {
    if (strip < 0 || strip >= m_tracks + m_auxBuses) return;
    const int32_t previous = m_solo.load(std::memory_order_relaxed);
    if (!on) {
        if (previous == strip) m_solo.store(-1, std::memory_order_relaxed);
        return;
    }
    if (previous >= 0 && previous != strip && m_panel) m_panel->ReleaseSolo(previous);
    m_solo.store(strip, std::memory_order_relaxed);
}
