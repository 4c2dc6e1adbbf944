#include "machines/mixer/mixer.h"
#include "machines/mixer/mixer_panel_layout.h"

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
template <typename T> inline void StepChains(const T& x, T (&l)[4], T (&h)[4], double k1, double k2) {
    l[0] += k1 * (x - l[0]) + kAntiDenormal;
    l[1] += k1 * (l[0] - l[1]);
    l[2] += k1 * (l[1] - l[2]);
    l[3] += k1 * (l[2] - l[3]);
    h[0] += kAntiDenormal + k2 * (x - h[0]);
    h[1] += k2 * (h[0] - h[1]);
    h[2] += k2 * (h[1] - h[2]);
    h[3] += k2 * (h[2] - h[3]);
}

// Doubles for S strips of two channels.
template <int S> struct LaneVector;
template <> struct LaneVector<1> {
    using Type = double __attribute__((vector_size(16)));
};
template <> struct LaneVector<2> {
    using Type = double __attribute__((vector_size(32)));
};


void AddConstant(float* to, float value, int32_t count) {
    for (int32_t i = 0; i < count; ++i)
        to[i] += value;
}

// The state of S strips' channels stepped side by side (lane 2s + c: strip s, channel c).
template <int S> struct LaneState {
    static constexpr int kLanes = 2 * S;
    using Lanes = typename LaneVector<S>::Type;
    Lanes l[4], h[4], d1, d2, d3;
    float g[kLanes], band[3][kLanes], target[3][kLanes], s1[kLanes], s2[kLanes], top[kLanes];
    const float* in[kLanes];
    float* main[kLanes];
    float* aux1[kLanes];
    float* aux2[kLanes];
    float gain[kLanes], send1[kLanes], send2[kLanes];
    double k1, k2;
    int32_t count;
};

// One block of the lanes. The strips' recursions are independent, so strips side by side cost
// little more than one (the crossover's one-pole stages are bound by their latency). Gliding
// runs every smoother sample by sample; a settled block leaves them out (they would return their
// values unchanged) and adds each lane's outputs in a pass of its own over a chunk, which the
// compiler turns into vector code. Either way each output sample receives the strips' terms in
// strip order, as strips rendered one after the other would add them.
template <int S, bool Gliding> [[gnu::always_inline]] inline void RunLanesBody(LaneState<S>& state) {
    constexpr int kLanes = LaneState<S>::kLanes;
    using Lanes = typename LaneState<S>::Lanes;
    constexpr int32_t kChunk = 64;
    Lanes l[4], h[4];
    for (int j = 0; j < 4; ++j)
        l[j] = state.l[j], h[j] = state.h[j];
    // xs[3 + k] is the chunk's input k; xs[0..2] the three before it (the crossover's delay).
    Lanes xs[kChunk + 3];
    xs[0] = state.d3, xs[1] = state.d2, xs[2] = state.d1;
    const double k1 = state.k1, k2 = state.k2;
    Lanes bandLow, bandMid, bandHigh;
    for (int lane = 0; lane < kLanes; ++lane) {
        bandLow[lane] = state.band[0][lane];
        bandMid[lane] = state.band[1][lane];
        bandHigh[lane] = state.band[2][lane];
    }
    float y[kLanes][kChunk];
    for (int32_t from = 0; from < state.count; from += kChunk) {
        const int32_t n = std::min(kChunk, state.count - from);
        for (int lane = 0; lane < kLanes; ++lane) {
            const float* input = state.in[lane] + from;
            for (int32_t k = 0; k < n; ++k)
                xs[3 + k][lane] = input[k];
        }
        for (int32_t k = 0; k < n; ++k) {
            const int32_t i = from + k;
            const Lanes x = xs[3 + k];
            if constexpr (Gliding)
                for (int lane = 0; lane < kLanes; ++lane)
                    state.g[lane] = SmoothToward(state.gain[lane], state.g[lane]);
            StepChains(x, l, h, k1, k2);
            if constexpr (Gliding) {
                for (int j = 0; j < 3; ++j)
                    for (int lane = 0; lane < kLanes; ++lane)
                        state.band[j][lane] = SmoothToward(state.target[j][lane], state.band[j][lane]);
                for (int lane = 0; lane < kLanes; ++lane) {
                    bandLow[lane] = state.band[0][lane];
                    bandMid[lane] = state.band[1][lane];
                    bandHigh[lane] = state.band[2][lane];
                }
            }
            const Lanes x3 = xs[k];
            const Lanes high = x3 - h[3];
            const Lanes low = l[3];
            const Lanes mid = x3 - (high + low);
            const Lanes mixed = low * bandLow + mid * bandMid + high * bandHigh;
            if constexpr (Gliding) {
                for (int lane = 0; lane < kLanes; ++lane) {
                    float value = static_cast<float>(mixed[lane]);
                    if (state.aux1[lane]) {
                        state.s1[lane] = SmoothToward(state.send1[lane], state.s1[lane]);
                        state.aux1[lane][i] += state.s1[lane] * value;
                    }
                    if (state.aux2[lane]) {
                        state.s2[lane] = SmoothToward(state.send2[lane], state.s2[lane]);
                        state.aux2[lane][i] += state.s2[lane] * value;
                    }
                    value *= state.g[lane];
                    state.top[lane] = std::max(state.top[lane], std::fabs(value));
                    state.main[lane][i] += value;
                }
            } else {
                for (int lane = 0; lane < kLanes; ++lane)
                    y[lane][k] = static_cast<float>(mixed[lane]);
            }
        }
        if constexpr (!Gliding) {
            for (int lane = 0; lane < kLanes; ++lane) {
                const float* value = y[lane];
                if (state.aux1[lane]) {
                    float* aux = state.aux1[lane] + from;
                    const float send = state.s1[lane];
                    for (int32_t k = 0; k < n; ++k)
                        aux[k] += send * value[k];
                }
                if (state.aux2[lane]) {
                    float* aux = state.aux2[lane] + from;
                    const float send = state.s2[lane];
                    for (int32_t k = 0; k < n; ++k)
                        aux[k] += send * value[k];
                }
                const float gain = state.g[lane];
                float* out = state.main[lane] + from;
                float top = state.top[lane];
                for (int32_t k = 0; k < n; ++k) {
                    const float scaled = value[k] * gain;
                    top = std::max(top, std::fabs(scaled));
                    out[k] += scaled;
                }
                state.top[lane] = top;
            }
        }
        // The chunk's last three inputs lead the next one.
        xs[0] = xs[n], xs[1] = xs[n + 1], xs[2] = xs[n + 2];
    }
    for (int j = 0; j < 4; ++j)
        state.l[j] = l[j], state.h[j] = h[j];
    state.d3 = xs[0], state.d2 = xs[1], state.d1 = xs[2];
}

// Two strips fill the 256-bit registers where the processor has them (the same operations on
// doubles, so the same bits). Four would not fit the sixteen registers.
template <int S> __attribute__((target("avx"))) void RunLanesWide(LaneState<S>& state, bool settled) {
    if (settled)
        RunLanesBody<S, false>(state);
    else
        RunLanesBody<S, true>(state);
}

template <int S> void RunLanes(LaneState<S>& state, bool settled) {
    static const bool kWide = __builtin_cpu_supports("avx");
    if (S > 1 && kWide) {
        RunLanesWide<S>(state, settled);
        return;
    }
    if (settled)
        RunLanesBody<S, false>(state);
    else
        RunLanesBody<S, true>(state);
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

bool CMixerChannel::StereoPathFits(const StripIo& strip) {
    const CMixerChannel& a = *strip.channel[0];
    const CMixerChannel& b = *strip.channel[1];
    return !a.Rests(strip.in[0], strip.count, strip.aux1[0], strip.aux2[0], strip.gain[0], strip.send1,
                    strip.send2) &&
           !b.Rests(strip.in[1], strip.count, strip.aux1[1], strip.aux2[1], strip.gain[1], strip.send1,
                    strip.send2) &&
           a.m_k1 == b.m_k1 && a.m_k2 == b.m_k2;
}

void CMixerChannel::ProcessApart(const StripIo& strip) {
    for (int c = 0; c < 2; ++c)
        strip.peak[c] = strip.channel[c]->Process(strip.in[c], strip.main[c], strip.aux1[c], strip.aux2[c],
                                                  strip.count, strip.gain[c], strip.send1, strip.send2);
}

template <int S> void CMixerChannel::ProcessLanes(const StripIo* const* strips) {
    // Lane 2s + c is channel c of strip s; each lane runs Process's arithmetic in its order.
    LaneState<S> state;
    constexpr int kLanes = LaneState<S>::kLanes;
    state.count = strips[0]->count;
    state.k1 = strips[0]->channel[0]->m_k1;
    state.k2 = strips[0]->channel[0]->m_k2;
    CMixerChannel* channel[kLanes];
    for (int s = 0; s < S; ++s)
        for (int c = 0; c < 2; ++c) {
            const int lane = 2 * s + c;
            channel[lane] = strips[s]->channel[c];
            state.in[lane] = strips[s]->in[c];
            state.main[lane] = strips[s]->main[c];
            state.aux1[lane] = strips[s]->aux1[c];
            state.aux2[lane] = strips[s]->aux2[c];
            state.gain[lane] = strips[s]->gain[c];
            state.send1[lane] = strips[s]->send1;
            state.send2[lane] = strips[s]->send2;
        }
    bool settled = true;
    for (int lane = 0; lane < kLanes; ++lane) {
        const CMixerChannel& ch = *channel[lane];
        for (int j = 0; j < 4; ++j) {
            state.l[j][lane] = ch.m_l[j];
            state.h[j][lane] = ch.m_h[j];
        }
        state.d1[lane] = ch.m_d1, state.d2[lane] = ch.m_d2, state.d3[lane] = ch.m_d3;
        state.g[lane] = ch.m_gain;
        for (int j = 0; j < 3; ++j) {
            state.band[j][lane] = ch.m_band[j];
            state.target[j][lane] = ch.m_bandTarget[j];
            settled = settled && ch.m_band[j] == ch.m_bandTarget[j];
        }
        state.s1[lane] = ch.m_send1;
        state.s2[lane] = ch.m_send2;
        state.top[lane] = 0.0f;
        settled = settled && ch.m_gain == state.gain[lane] && (!state.aux1[lane] || ch.m_send1 == state.send1[lane]) &&
                  (!state.aux2[lane] || ch.m_send2 == state.send2[lane]);
    }
    RunLanes(state, settled);
    for (int lane = 0; lane < kLanes; ++lane) {
        CMixerChannel& ch = *channel[lane];
        for (int j = 0; j < 4; ++j) {
            ch.m_l[j] = state.l[j][lane];
            ch.m_h[j] = state.h[j][lane];
        }
        ch.m_d1 = state.d1[lane], ch.m_d2 = state.d2[lane], ch.m_d3 = state.d3[lane];
        ch.m_gain = state.g[lane];
        for (int j = 0; j < 3; ++j)
            ch.m_band[j] = state.band[j][lane];
        ch.m_send1 = state.s1[lane];
        ch.m_send2 = state.s2[lane];
        strips[lane / 2]->peak[lane % 2] = state.top[lane];
    }
}

void CMixerChannel::ProcessStereo(CMixerChannel* channel[2], const float* const in[2], float* const main[2],
                                  float* const aux1[2], float* const aux2[2], int32_t count,
                                  const float gain[2], float send1, float send2, float peak[2]) {
    const StripIo strip{{channel[0], channel[1]}, {in[0], in[1]},     {main[0], main[1]}, {aux1[0], aux1[1]},
                        {aux2[0], aux2[1]},       {gain[0], gain[1]}, send1,              send2,
                        count,                    peak};
    ProcessStrips(&strip, 1);
}

void CMixerChannel::ProcessStrips(const StripIo* strips, int32_t stripCount) {
    // A strip that fits the vector path waits for the next one to go with it; anything else
    // renders the waiting strip first, so the outputs are added in strip order.
    const StripIo* waiting = nullptr;
    for (int32_t s = 0; s < stripCount; ++s) {
        const StripIo& strip = strips[s];
        const bool fits = StereoPathFits(strip);
        if (waiting && fits && waiting->count == strip.count) {
            const StripIo* two[2] = {waiting, &strip};
            ProcessLanes<2>(two);
            waiting = nullptr;
            continue;
        }
        if (waiting) ProcessLanes<1>(&waiting);
        waiting = nullptr;
        if (fits)
            waiting = &strip;
        else
            ProcessApart(strip);
    }
    if (waiting) ProcessLanes<1>(&waiting);
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
    m_io.resize(static_cast<size_t>(std::max(m_tracks, m_auxBuses)));
    for (int32_t s = 0; s < m_tracks + m_auxBuses; ++s)
        for (auto& channel : m_strips[s].channel)
            channel = std::make_unique<CMixerChannel>(880.0, 5000.0, sampleRate);
    for (int32_t i = 0; i < m_parameterCount; ++i)
        SetParameter(i, 0.5f);
}

CMixer::~CMixer() {
    // The panel goes with the machine.
    if (m_panel) m_panel->ClosePanel();
}

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
        m_io[static_cast<size_t>(j)] = {{channels[0], channels[1]},
                                        {inputs[0], inputs[1]},
                                        {mains[0], mains[1]},
                                        {sends1[0], sends1[1]},
                                        {sends2[0], sends2[1]},
                                        {(1.0f - v[1]) * level, v[1] * level},
                                        send1,
                                        send2,
                                        count,
                                        strip.peak};
    }
    CMixerChannel::ProcessStrips(m_io.data(), m_tracks);
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
        m_io[static_cast<size_t>(a)] = {{channels[0], channels[1]},
                                        {inputs[0], inputs[1]},
                                        {mains[0], mains[1]},
                                        {none[0], none[1]},
                                        {none[0], none[1]},
                                        {(1.0f - v[1]) * level, v[1] * level},
                                        0.0f,
                                        0.0f,
                                        count,
                                        strip.peak};
    }
    CMixerChannel::ProcessStrips(m_io.data(), m_auxBuses);
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

bool CMixer::GetGUIRect(int16_t* left, int16_t* top, int16_t* right, int16_t* bottom) {
    *left = 0;
    *top = 0;
    *right = static_cast<int16_t>((m_tracks + m_auxBuses) * mixer_panel::kStripWidth);
    *bottom = mixer_panel::kStripHeight;
    return true;
}

void CMixer::UpdateGUI() {
    // The panel may be closing on the user-interface thread, which unlinks it under this lock.
    CMutexLock lock(*this);
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
