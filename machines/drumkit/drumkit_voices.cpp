#include "machines/drumkit/drumkit_voices.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int32_t kLowPass = CFilter::kLowPass;
constexpr int32_t kHighPass = CFilter::kHighPass;
constexpr int32_t kBandPass = CFilter::kBandPass;

// Parameter indices the voices react to (the machine's own numbering).
enum : int32_t {
    kBdTune = 0,
    kBdAttack = 3,
    kBdDecay = 4,
    kSdTune = 5,
    kSdTone = 8,
    kSdSnappy = 9,
    kLtTune = 10,
    kLtDecay = 13,
    kMtTune = 14,
    kMtDecay = 17,
    kHtTune = 18,
    kHtDecay = 21,
    kChDecay = 28,
    kOhDecay = 31,
    kCcDecay = 34,
    kRcDecay = 37,
};

void Copy(float* dst, const float* src, int32_t count) {
    std::memcpy(dst, src, sizeof(float) * static_cast<size_t>(count));
}

void Scale(float* block, int32_t count, float gain) {
    for (int32_t i = 0; i < count; ++i)
        block[i] *= gain;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Voice base

CDrumKitVoice::CDrumKitVoice(int32_t sampleRate, int32_t blockSize, int32_t blockCount)
    : m_blockCount(blockCount), m_blockSize(blockSize), m_sampleRate(sampleRate) {
    SetBufferSize(blockSize);
}

void CDrumKitVoice::SetBufferSize(int32_t count) {
    m_blockSize = count;
    for (int32_t i = 0; i < m_blockCount; ++i)
        m_blocks[i].Resize(count);
}

void CDrumKitVoice::SetOutputParameters(int32_t levelIndex, int32_t balanceIndex) {
    m_levelIndex = levelIndex;
    m_balanceIndex = balanceIndex;
}

void CDrumKitVoice::HandleEvent(const ControlEvent& event) {
    if (event.kind == kEventNoteOn || event.kind == kEventTriggerOn) {
        Trigger();
        m_idle = false;
    } else if (event.kind == kEventParameter) {
        if (event.index == m_levelIndex || event.index == m_balanceIndex) {
            (event.index == m_levelIndex ? m_level : m_balance) = event.value;
            // Level: 0 dB at 1, −32 dB just above 0, silent at 0; balance shares twice the gain.
            const float g = m_level <= 0.0f ? 0.0f : DbToGain(-(1.0f - m_level) * 32.0f);
            m_leftTarget = 2.0f * g * (1.0f - m_balance);
            m_rightTarget = 2.0f * g * m_balance;
        } else {
            ApplyParameter(event.index, event.value);
        }
    }
}

void CDrumKitVoice::Render(float* left, float* right, const float* noise, int32_t count, int64_t position) {
    count = std::min(count, m_blockSize);
    // Renders [from, to) in stretches that end at the settle points inside it.
    const auto renderUpTo = [&](int32_t from, int32_t to) {
        while (from < to && !m_idle) {
            const auto phase = static_cast<int32_t>((position + from) % kSettleInterval);
            const int32_t end = std::min(to, from + kSettleInterval - phase);
            RenderStretch(from, end - from, left, right, noise, m_leftTarget, m_rightTarget);
            if ((position + end) % kSettleInterval == 0) Settle();
            from = end;
        }
    };
    int32_t at = 0;
    ControlEvent event;
    while (m_events.GetNextEvent(&event)) {
        const int32_t time = std::clamp(event.time, at, count);
        renderUpTo(at, time);
        at = time;
        // Every event is a settle point too (settling twice at one sample changes nothing).
        if (!m_idle) Settle();
        HandleEvent(event);
    }
    renderUpTo(at, count);
}

void CDrumKitVoice::Clamp(float* block, int32_t count, float limit) {
    for (int32_t i = 0; i < count; ++i)
        block[i] = std::clamp(block[i], -limit, limit);
}

void CDrumKitVoice::AddOut(const float* y, int32_t start, int32_t count, float* left, float* right,
                           float leftGain, float rightGain) {
    float* l = left + start;
    float* r = right + start;
    for (int32_t i = 0; i < count; ++i) {
        l[i] += leftGain * y[i];
        r[i] += rightGain * y[i];
    }
}

void CDrumKitVoice::AddOutSmoothed(const float* y, int32_t start, int32_t count, float* left, float* right,
                                   float leftGain, float rightGain) {
    if (m_firstRender) {
        m_leftGain = leftGain;
        m_rightGain = rightGain;
    }
    float* l = left + start;
    float* r = right + start;
    for (int32_t i = 0; i < count; ++i) {
        m_leftGain = SmoothToward(leftGain, m_leftGain);
        m_rightGain = SmoothToward(rightGain, m_rightGain);
        l[i] += m_leftGain * y[i];
        r[i] += m_rightGain * y[i];
    }
}

// ---------------------------------------------------------------------------------------------
// Bass drum: a sine/triangle blend swept down from 142..250 Hz to 50 Hz, plus a filtered click.

CBassDrum::CBassDrum(int32_t sampleRate, int32_t blockSize)
    : CDrumKitVoice(sampleRate, blockSize, 4), m_pitch(sampleRate, 0.0f, 0.5f, 0.0f, -6.0f),
      m_amp(sampleRate, 0.05f, 0.5f, 0.0f, -4.0f), m_click(sampleRate, 0.005f, 0.1f, 1.0f, 1.0f),
      m_osc(sampleRate, &SharedTables().sine, 1.0f),
      m_f1(sampleRate, kLowPass, false, OctavePitch(1200.0f), 0.0f),
      m_f2(sampleRate, kBandPass, false, OctavePitch(800.0f), 3.0f),
      m_f3(sampleRate, kLowPass, false, OctavePitch(300.0f), 0.0f), m_basePitch(OctavePitch(50.0f)) {
    m_osc.SetPitch(0.0f);
}

void CBassDrum::SetSampleRate(int32_t rate) {
    m_sampleRate = rate;
    m_pitch.SetSampleRate(rate);
    m_amp.SetSampleRate(rate);
    m_click.SetSampleRate(rate);
    m_osc.SetSampleRate(rate);
    m_f1.SetSampleRate(rate);
    m_f2.SetSampleRate(rate);
    m_f3.SetSampleRate(rate);
}

void CBassDrum::ApplyParameter(int32_t index, float x) {
    switch (index) {
    case kBdTune:
        m_basePitch = OctavePitch(50.0f);
        m_range = OctavePitch(142.0f + 108.0f * x) - m_basePitch;
        m_amp.SetHold(0.05f * x);
        break;
    case kBdAttack:
        m_amp.SetAttack(0.001f + 0.019f * x);
        break;
    case kBdDecay:
        m_amp.SetDecay(0.1f + 0.4f * x);
        m_pitch.SetDecay(0.1f + 0.4f * x);
        m_click.SetDecay(0.1f * x);
        break;
    default:
        break;
    }
}

void CBassDrum::Trigger() {
    m_amp.Trigger();
    m_click.Trigger();
    m_pitch.Trigger();
    m_clickPending = true;
    m_clickOn = true;
}

void CBassDrum::Settle() {
    m_clickOn = m_click.IsActive();
    m_idle = !m_amp.IsActive();
}

void CBassDrum::RenderStretch(int32_t start, int32_t count, float* left, float* right, const float* noise,
                              float leftGain, float rightGain) {
    float* b0 = Block(0);
    float* b1 = Block(1);
    float* b2 = Block(2);
    float* b3 = Block(3);
    m_pitch.Render(count, b0);
    for (int32_t i = 0; i < count; ++i)
        b0[i] = m_basePitch + m_range * b0[i];
    m_osc.RenderBlend(b0, b1, count, &SharedTables().triangle, b0, 0.15f);
    m_amp.Render(count, b0);
    m_vca.Process(count, b1, b0);
    Clamp(b1, count, 0.9f);

    // The click: an idle click envelope multiplies the whole branch by 2^0 − 1 = 0, so it is
    // skipped from the settle point after its end (its filters rest until the next trigger).
    if (m_clickOn) {
        std::fill(b2, b2 + count, 0.0f);
        if (m_clickPending) {
            b2[0] = 1.0f;
            m_clickPending = false;
        }
        m_f1.Process(count, b2, nullptr, nullptr);
        m_f2.Process(count, b2, nullptr, nullptr);
        Copy(b3, noise + start, count);
        m_f3.Process(count, b3, nullptr, nullptr);
        for (int32_t i = 0; i < count; ++i)
            b2[i] = 0.4f * b3[i] + 500.0f * b2[i];
        m_click.Render(count, b3);
        m_vca.Process(count, b2, b3);
        for (int32_t i = 0; i < count; ++i)
            b1[i] += b2[i];
    }
    AddOutSmoothed(b1, start, count, left, right, leftGain, rightGain);
    m_firstRender = false;
}

// ---------------------------------------------------------------------------------------------
// Snare drum: two bent sine tones and a low/high split of the noise under snap and noise envelopes.

CSnareDrum::CSnareDrum(int32_t sampleRate, int32_t blockSize)
    : CDrumKitVoice(sampleRate, blockSize, 6), m_tone1(sampleRate, 0.001f, 0.17f, 0.0f, -4.0f),
      m_tone2(sampleRate, 0.001f, 0.17f, 0.0f, -8.0f), m_bend(sampleRate, 0.0f, 0.17f, 0.0f, -2.0f),
      m_snap(sampleRate, 0.0f, 0.0f, 0.0f, 0.0f), m_noise(sampleRate, 0.03f, 0.09f, 0.0f, 0.0f),
      m_osc1(sampleRate, &SharedTables().sine, 140.0f),
      m_osc2(sampleRate, &SharedTables().sine, 140.0f * 330.0f / 180.0f),
      m_low(sampleRate, kLowPass, false, OctavePitch(5000.0f), 0.0f),
      m_high(sampleRate, kHighPass, false, OctavePitch(5000.0f), 0.0f) {
    m_tone1.SetDelay(0.002f);
    m_tone2.SetDelay(0.002f);
    m_bend.SetDelay(0.002f);
    m_snap.SetHold(0.002f);
}

void CSnareDrum::SetSampleRate(int32_t rate) {
    m_sampleRate = rate;
    for (CPercEnvelope* e : {&m_tone1, &m_tone2, &m_bend, &m_snap, &m_noise})
        e->SetSampleRate(rate);
    m_osc1.SetSampleRate(rate);
    m_osc2.SetSampleRate(rate);
    m_low.SetSampleRate(rate);
    m_high.SetSampleRate(rate);
}

void CSnareDrum::ApplyParameter(int32_t index, float x) {
    switch (index) {
    case kSdTune: {
        const float f = 140.0f + 80.0f * x;
        m_osc1.SetFrequency(f);
        m_osc2.SetFrequency(f * 330.0f / 180.0f);
        break;
    }
    case kSdTone:
        m_noise.SetDecay(0.09f + 0.18f * x);
        break;
    case kSdSnappy:
        m_noiseLevel = x <= 0.0f ? 0.0f : DbToGain(-(1.0f - x) * 32.0f);
        break;
    default:
        break;
    }
}

void CSnareDrum::Trigger() {
    m_tone1.Trigger();
    m_tone2.Trigger();
    m_bend.Trigger();
    m_snap.Trigger();
    m_noise.Trigger();
    m_snapOn = true;
}

void CSnareDrum::Settle() {
    m_snapOn = m_snap.IsActive();
    m_idle = !m_snap.IsActive() && !m_noise.IsActive();
}

void CSnareDrum::RenderStretch(int32_t start, int32_t count, float* left, float* right, const float* noise,
                               float leftGain, float rightGain) {
    float* b[6];
    for (int32_t i = 0; i < 6; ++i)
        b[i] = Block(i);
    const CWaveTable* triangle = &SharedTables().triangle;

    m_bend.Render(count, b[4]);
    for (int32_t i = 0; i < count; ++i)
        b[4][i] = (b[4][i] - 1.0f) * 0.12f;
    m_tone1.Render(count, b[1]);
    m_osc1.RenderBlend(b[4], b[0], count, triangle, b[1], 0.3f);
    m_vca.Process(count, b[0], b[1]);
    m_tone2.Render(count, b[3]);
    m_osc2.RenderBlend(b[4], b[2], count, triangle, b[3], 0.3f);
    m_vca.Process(count, b[2], b[3]);
    Clamp(b[0], count, 0.8f);
    Clamp(b[2], count, 0.8f);

    Copy(b[4], noise + start, count);
    m_low.Process(count, b[4], nullptr, nullptr);
    Copy(b[5], b[4], count);
    // The snap lasts a few samples; after it the high-passed share is multiplied by 0 and skipped
    // from the next settle point.
    if (m_snapOn) {
        m_high.Process(count, b[4], nullptr, nullptr);
        m_snap.Render(count, b[1]);
        m_vca.Process(count, b[4], b[1]);
    } else {
        std::fill(b[4], b[4] + count, 0.0f);
    }
    m_noise.Render(count, b[3]);
    m_vca.Process(count, b[5], b[3]);

    if (m_firstRender) m_smoothedNoise = m_noiseLevel;
    for (int32_t i = 0; i < count; ++i) {
        m_smoothedNoise = SmoothToward(m_noiseLevel, m_smoothedNoise);
        const float level = m_smoothedNoise;
        b[4][i] = 1.2f * level * b[5][i] + (level + 0.1f) * b[4][i];
        b[4][i] += 0.4f * b[2][i] + b[0][i];
    }
    AddOutSmoothed(b[4], start, count, left, right, leftGain, rightGain);
    m_firstRender = false;
}

// ---------------------------------------------------------------------------------------------
// Toms: three sines gliding ±0.1 octave with the envelope, plus a filtered noise click.

namespace {
const float kTomFrequencies[3][3] = {
    {45.45f, 30.3f, 83.33f},
    {55.56f, 37.03f, 100.0f},
    {66.67f, 45.45f, 121.95f},
};
} // namespace

CTomDrum::CTomDrum(int32_t sampleRate, int32_t blockSize, int32_t variant)
    : CDrumKitVoice(sampleRate, blockSize, 4), m_variant(std::clamp(variant, 0, 2)),
      m_amp(sampleRate, 0.01f, 0.31f, 0.0f, -2.0f), m_click(sampleRate, 0.0001f, 0.001f, 0.0f, 0.0f),
      m_a(sampleRate, &SharedTables().sine, 1.0f), m_b(sampleRate, &SharedTables().sine, 1.0f),
      m_c(sampleRate, &SharedTables().sine, 1.0f),
      m_filter(sampleRate, kLowPass, false, OctavePitch(1100.0f), 4.0f) {
    m_amp.SetHold(0.04f);
    SetTune(0.0f);
}

void CTomDrum::SetTune(float x) {
    const float k = x + 1.0f;
    const float* f = kTomFrequencies[m_variant];
    m_a.SetFrequency(f[0] * k);
    m_b.SetFrequency(f[1] * k);
    m_c.SetFrequency(f[2] * k);
}

void CTomDrum::SetSampleRate(int32_t rate) {
    m_sampleRate = rate;
    m_amp.SetSampleRate(rate);
    m_click.SetSampleRate(rate);
    m_a.SetSampleRate(rate);
    m_b.SetSampleRate(rate);
    m_c.SetSampleRate(rate);
    m_filter.SetSampleRate(rate);
}

void CTomDrum::ApplyParameter(int32_t index, float x) {
    const int32_t tune = m_variant == 0 ? kLtTune : m_variant == 1 ? kMtTune : kHtTune;
    const int32_t decay = m_variant == 0 ? kLtDecay : m_variant == 1 ? kMtDecay : kHtDecay;
    if (index == tune)
        SetTune(x);
    else if (index == decay)
        m_amp.SetDecay(0.23f + 0.17f * x);
}

void CTomDrum::Trigger() {
    m_amp.Trigger();
    m_click.Trigger();
    m_clickOn = true;
}

void CTomDrum::Settle() {
    m_clickOn = m_click.IsActive();
    m_idle = !m_amp.IsActive();
}

void CTomDrum::RenderStretch(int32_t start, int32_t count, float* left, float* right, const float* noise,
                             float leftGain, float rightGain) {
    float* b0 = Block(0);
    float* b1 = Block(1);
    float* b2 = Block(2);
    float* b3 = Block(3);
    const CWaveTable* triangle = &SharedTables().triangle;
    m_amp.Render(count, b3);
    for (int32_t i = 0; i < count; ++i)
        b2[i] = (b3[i] - 0.5f) * 0.2f;
    m_a.RenderBlend(b2, b0, count, triangle, nullptr, 0.2f);
    for (int32_t i = 0; i < count; ++i)
        b1[i] = 0.2f * b0[i];
    m_b.RenderBlend(b2, b0, count, triangle, nullptr, 0.2f);
    for (int32_t i = 0; i < count; ++i)
        b1[i] += b0[i];
    m_c.RenderBlend(b2, b0, count, triangle, nullptr, 0.2f);
    for (int32_t i = 0; i < count; ++i)
        b1[i] += 0.2f * b0[i];
    // The noise click; once its envelope is idle the branch is multiplied by 0 and skipped from the
    // next settle point.
    if (m_clickOn) {
        m_click.Render(count, b2);
        Copy(b0, noise + start, count);
        m_filter.Process(count, b0, b2, nullptr);
        m_vca.Process(count, b0, b2);
        for (int32_t i = 0; i < count; ++i)
            b1[i] += 2.0f * b0[i];
    }
    m_vca.Process(count, b1, b3);
    AddOut(b1, start, count, left, right, leftGain, rightGain);
}

// ---------------------------------------------------------------------------------------------
// Filtered noise: the rim shot and the clap.

CFilteredNoiseVoice::CFilteredNoiseVoice(int32_t sampleRate, int32_t blockSize, CPercEnvelope amp,
                                         CPercEnvelope centre, CFilter lowPass, CFilter bandPass,
                                         float noiseGain, float centreDepth)
    : CDrumKitVoice(sampleRate, blockSize, 3), m_amp(amp), m_centre(centre), m_f1(lowPass), m_f2(bandPass),
      m_noiseGain(noiseGain), m_centreDepth(centreDepth) {}

void CFilteredNoiseVoice::SetSampleRate(int32_t rate) {
    m_sampleRate = rate;
    m_amp.SetSampleRate(rate);
    m_centre.SetSampleRate(rate);
    m_f1.SetSampleRate(rate);
    m_f2.SetSampleRate(rate);
}

void CFilteredNoiseVoice::Trigger() {
    m_amp.Trigger();
    m_centre.Trigger();
}

void CFilteredNoiseVoice::Settle() {
    m_idle = !m_amp.IsActive() && !m_centre.IsActive();
}

void CFilteredNoiseVoice::RenderStretch(int32_t start, int32_t count, float* left, float* right,
                                        const float* noise, float leftGain, float rightGain) {
    float* b0 = Block(0);
    float* b1 = Block(1);
    float* b2 = Block(2);
    for (int32_t i = 0; i < count; ++i)
        b0[i] = m_noiseGain * noise[start + i];
    m_f1.Process(count, b0, nullptr, nullptr);
    m_amp.Render(count, b1);
    m_centre.Render(count, b2);
    Scale(b2, count, m_centreDepth);
    m_f2.Process(count, b0, b2, nullptr);
    m_vca.Process(count, b0, b1);
    AddOut(b0, start, count, left, right, leftGain, rightGain);
}

// Rim shot: low-passed noise through a band-pass sweeping down onto 220 Hz.
CRimShot::CRimShot(int32_t sampleRate, int32_t blockSize)
    : CFilteredNoiseVoice(sampleRate, blockSize, CPercEnvelope(sampleRate, 0.005f, 0.054f, 0.0f, 0.0f),
                          CPercEnvelope(sampleRate, 0.0f, 0.06f, 0.0f, 0.0f),
                          CFilter(sampleRate, kLowPass, true, OctavePitch(4000.0f), 3.0f),
                          CFilter(sampleRate, kBandPass, false, 4.0f, 0.0f), 4.0f, 2.0f) {}

// Clap: noise through a band-pass whose centre jumps up in four quick bursts.
CClap::CClap(int32_t sampleRate, int32_t blockSize)
    : CFilteredNoiseVoice(sampleRate, blockSize, CPercEnvelope(sampleRate, 0.02f, 0.14f, 0.0f, 2.0f),
                          CPercEnvelope(sampleRate, 0.01f, 0.03f, 0.0f, 2.0f),
                          CFilter(sampleRate, kLowPass, false, OctavePitch(1000.0f), 0.0f),
                          CFilter(sampleRate, kBandPass, false, 7.0f, 0.0f), 16.0f, 5.0f) {
    m_centre.SetRepeats(3);
}

// ---------------------------------------------------------------------------------------------
// Hi-hats.

CHiHat::CHiHat(int32_t sampleRate, int32_t blockSize, bool open)
    : CDrumKitVoice(sampleRate, blockSize, 2), m_open(open), m_amp(sampleRate, 0.0001f, 0.13f, 0.0f, 0.0f),
      m_band(sampleRate, kBandPass, false, OctavePitch(8000.0f), open ? 0.0f : 3.0f),
      m_high(sampleRate, kHighPass, false, OctavePitch(4000.0f), 0.0f) {}

void CHiHat::SetSampleRate(int32_t rate) {
    m_sampleRate = rate;
    m_amp.SetSampleRate(rate);
    m_band.SetSampleRate(rate);
    m_high.SetSampleRate(rate);
}

void CHiHat::ApplyParameter(int32_t index, float x) {
    if (!m_open && index == kChDecay) m_amp.SetDecay(0.045f + x);
    if (m_open && index == kOhDecay) m_amp.SetDecay(0.25f + 0.5f * x);
}

void CHiHat::Trigger() {
    m_amp.Trigger();
}

void CHiHat::Settle() {
    m_idle = !m_amp.IsActive();
}

void CHiHat::RenderStretch(int32_t start, int32_t count, float* left, float* right, const float* noise,
                           float leftGain, float rightGain) {
    float* b0 = Block(0);
    float* b1 = Block(1);
    Copy(b0, noise + start, count);
    m_band.Process(count, b0, nullptr, nullptr);
    if (m_open) m_high.Process(count, b0, nullptr, nullptr);
    m_amp.Render(count, b1);
    m_vca.Process(count, b0, b1);
    AddOut(b0, start, count, left, right, leftGain, rightGain);
}

// ---------------------------------------------------------------------------------------------
// Cymbals.

namespace {
const float kCymbalFrequencies[CCymbal::kOscillators] = {1047.0f, 1109.0f, 1175.0f,
                                                         1481.0f, 1049.0f, 1480.0f};
} // namespace

CCymbal::CCymbal(int32_t sampleRate, int32_t blockSize, bool ride)
    : CDrumKitVoice(sampleRate, blockSize, 4), m_ride(ride), m_attack(sampleRate, 0.005f, 0.075f, 0.0f, 0.0f),
      m_body(sampleRate, ride ? 0.016f : 0.026f, ride ? 1.6f : 3.7f, 0.0f, 0.0f),
      m_decay(sampleRate, 0.005f, 1.4f, 0.0f, -4.0f),
      m_band(sampleRate, kBandPass, false, OctavePitch(1050.0f), 0.0f),
      m_high(sampleRate, kHighPass, false, OctavePitch(2049.0f), 0.0f) {
    const CSharedTables& tables = SharedTables();
    for (int32_t i = 0; i < kOscillators; ++i) {
        m_oscillators[i] = std::make_unique<COscillator>(sampleRate, &tables.sine, kCymbalFrequencies[i],
                                                         tables.edge.get(), tables.impulse.get());
        m_oscillators[i]->SetWaveform(COscillator::kSquare);
    }
}

void CCymbal::SetSampleRate(int32_t rate) {
    m_sampleRate = rate;
    m_attack.SetSampleRate(rate);
    m_body.SetSampleRate(rate);
    m_decay.SetSampleRate(rate);
    m_band.SetSampleRate(rate);
    m_high.SetSampleRate(rate);
    for (auto& oscillator : m_oscillators)
        oscillator->SetSampleRate(rate);
}

void CCymbal::ApplyParameter(int32_t index, float x) {
    if (!m_ride && index == kCcDecay) m_decay.SetDecay(0.4f + x);
    if (m_ride && index == kRcDecay) m_decay.SetDecay(0.2f + 0.5f * x);
}

void CCymbal::Trigger() {
    m_attack.Trigger();
    m_body.Trigger();
    m_decay.Trigger();
}

void CCymbal::Settle() {
    m_idle = !m_decay.IsActive();
}

void CCymbal::RenderStretch(int32_t start, int32_t count, float* left, float* right, const float* /*noise*/,
                            float leftGain, float rightGain) {
    float* b0 = Block(0);
    float* b1 = Block(1);
    float* b2 = Block(2);
    float* b3 = Block(3);
    // The metallic source: all six squares at their own fixed frequencies, summed.
    m_oscillators[0]->Render(nullptr, nullptr, nullptr, b3, nullptr, count);
    for (int32_t k = 1; k < kOscillators; ++k) {
        m_oscillators[k]->Render(nullptr, nullptr, nullptr, b0, nullptr, count);
        for (int32_t i = 0; i < count; ++i)
            b3[i] += b0[i];
    }
    Scale(b3, count, 0.5f); // six squares at the level of three
    Copy(b0, b3, count);
    Copy(b1, b3, count);
    m_attack.Render(count, b2);
    m_vca.Process(count, b0, b2);
    m_band.Process(count, b0, b2, nullptr);
    m_body.Render(count, b2);
    m_high.Process(count, b1, b2, nullptr);
    for (int32_t i = 0; i < count; ++i)
        b3[i] = 0.5f * b0[i] + b1[i];
    m_decay.Render(count, b2);
    m_vca.Process(count, b3, b2);
    Scale(b3, count, m_ride ? 0.9f : 0.8f);
    AddOut(b3, start, count, left, right, leftGain, rightGain);
}
