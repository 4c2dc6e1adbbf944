#include "machines/basshead/basshead_voice.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace basshead;

namespace {

const CSharedTables& Tables() {
    return SharedTables();
}

void Waveshape(int32_t mode, float* x, int32_t count) {
    switch (mode) {
    case 1: // soft clip
        for (int32_t i = 0; i < count; ++i) {
            const float v = x[i];
            x[i] = v <= -1.0f ? -2.0f / 3.0f : (v >= 1.0f ? 2.0f / 3.0f : v - v * v * v / 3.0f);
        }
        break;
    case 2: // digital
        for (int32_t i = 0; i < count; ++i)
            x[i] = x[i] < -1.0f ? -1.0f : (x[i] > 1.0f ? 1.0f : x[i]);
        break;
    case 3: // distort
        for (int32_t i = 0; i < count; ++i) {
            const float v = 1.5f * x[i] - 0.5f * x[i] * x[i] * x[i];
            x[i] = v < -1.0f ? -1.0f : (v > 1.0f ? 1.0f : v);
        }
        break;
    default:
        break;
    }
}

// Saw → 2, Square → 3, TriSquare → 1.
int32_t OscillatorWaveform(float x) {
    static const int32_t kWaveforms[3] = {COscillator::kSaw, COscillator::kSquare, COscillator::kTriSquare};
    return kWaveforms[ChoiceIndex(3, x)];
}

} // namespace

BassHeadVoice::BassHeadVoice(CVeskHost* host, int32_t sampleRate, int32_t blockSize)
    : m_host(host), m_sampleRate(sampleRate), m_glide(sampleRate, 0.0f, 0.0f, 0.0f),
      m_amp(CExpAmp::kExponential, 1.0f),
      m_osc1(sampleRate, &Tables().sine, 100.0f, Tables().edge.get(), Tables().impulse.get()),
      m_osc2(sampleRate, &Tables().sine, 100.0f, Tables().edge.get(), Tables().impulse.get()),
      m_ampEnvelope(sampleRate, 0.1f, 0.1f, 0.1f, 0.1f), m_filterEnvelope(sampleRate, 0.1f, 0.1f, 0.1f, 0.1f),
      m_filter1(sampleRate, CFilter::kLowPass, false, 0.0f, 0.0f),
      m_filter2(sampleRate, CFilter::kLowPass, false, 0.0f, 0.0f),
      m_formant(sampleRate, blockSize, 0), m_lfo{COscillator(sampleRate, &Tables().sine, 10.0f),
                                                 COscillator(sampleRate, &Tables().sine, 10.0f),
                                                 COscillator(sampleRate, &Tables().sine, 10.0f)} {
    m_noise.state = RandomState::SeedFromProcess();
    m_osc1.SetPitch(0.0f);
    m_osc2.SetPitch(0.0f);
    SetBlockSize(blockSize);
    for (int32_t i = 0; i < kParameterCount; ++i)
        ApplyParameter(i, ParameterDefault(i));
}

void BassHeadVoice::SetSampleRate(int32_t rate) {
    m_glide.SetSampleRate(rate);
    m_osc1.SetSampleRate(rate);
    m_osc2.SetSampleRate(rate);
    for (auto& lfo : m_lfo)
        lfo.SetSampleRate(rate);
    m_filter1.SetSampleRate(rate);
    m_filter2.SetSampleRate(rate);
    m_ampEnvelope.SetSampleRate(rate);
    m_filterEnvelope.SetSampleRate(rate);
    m_formant.SetSampleRate(rate);
    m_sampleRate = rate;
}

void BassHeadVoice::SetBlockSize(int32_t count) {
    for (auto& block : m_lfoOut)
        block.Resize(count);
    m_pitchOrMixA.Resize(count);
    m_syncOrMixB.Resize(count);
    m_osc1OrCutoff.Resize(count);
    m_osc2Out.Resize(count);
    m_filterEnvelopeOut.Resize(count);
    m_widthOrResonanceOrAmp.Resize(count);
    m_glideOut.Resize(count);
    m_formantOut.Resize(count);
    m_formant.SetBlockSize(count);
    m_blockSize = count;
}

void BassHeadVoice::SetNoiseSeed(uint32_t seed) {
    m_noise.state = seed;
    for (int32_t n = 0; n < kLfoCount; ++n)
        m_lfo[n].SetRandomSeed(seed * 2654435761u + static_cast<uint32_t>(n) + 1u);
}

void BassHeadVoice::Fade(int32_t n, float* l, int32_t count) {
    if (m_fadeLevel[n] >= 1.0f) return;
    // The same additions whether the LFO is heard or skipped, and however the buffer is cut: a
    // closed form per stretch would round differently.
    const float step = 1.0f / (static_cast<float>(m_sampleRate) * m_fadeTime[n]);
    float level = m_fadeLevel[n];
    for (int32_t i = 0; i < count; ++i) {
        level = level + step < 1.0f ? level + step : 1.0f;
        if (l) l[i] *= level;
    }
    m_fadeLevel[n] = level;
}

void BassHeadVoice::ApplyParameter(int32_t index, float x) {
    if (index >= kLfo1Rate && index < kParameterCount) {
        const int32_t n = (index - kLfo1Rate) / kLfoStride;
        const int32_t role = (index - kLfo1Rate) % kLfoStride;
        COscillator& lfo = m_lfo[n];
        switch (role) {
        case 0:
            lfo.SetPitch(LfoPitch(x));
            break;
        case 1: {
            m_lfoShape[n] = ChoiceIndex(6, x);
            const CSharedTables& tables = Tables();
            const CWaveTable* shapes[6] = {&tables.sine,   &tables.triangle, &tables.saw,
                                           &tables.square, &tables.sine,     &tables.sine};
            lfo.SetWaveTable(shapes[m_lfoShape[n]]);
            break;
        }
        case 2:
            m_fadeTime[n] = CubicTime(x);
            break;
        default: {
            const int32_t send = (role - 3) / 2;
            if ((role - 3) % 2 == 0)
                m_sendDestination[n][send] = SendDestination(x);
            else
                m_sendAmount[n][send] = x;
            for (float& amount : m_route[n])
                amount = 0.0f;
            for (int32_t s = 0; s < kSendCount; ++s)
                m_route[n][m_sendDestination[n][s]] += m_sendAmount[n][s];
            m_route[n][kDestNone] = 0.0f;
            m_lfoRouted[n] = false;
            for (int32_t d = 1; d < kDestinationCount; ++d)
                if (m_route[n][d] != 0.0f) m_lfoRouted[n] = true;
            break;
        }
        }
        return;
    }
    CADSREnvelope& env = index < kFilterAttack ? m_ampEnvelope : m_filterEnvelope;
    switch (index) {
    case 0:
    case 7:
        env.SetAttack(EnvelopeTime(x));
        break;
    case 1:
    case 8:
        env.SetDecay(EnvelopeTime(x));
        break;
    case 2:
    case 9:
        env.SetSustain(x);
        break;
    case 3:
    case 10:
        env.SetRelease(EnvelopeTime(x));
        break;
    case 4:
    case 11:
        env.SetAttackCurve(CurveFromParameter(x));
        break;
    case 5:
    case 12:
        env.SetDecayCurve(CurveFromParameter(x));
        break;
    case 6:
    case 13:
        env.SetReleaseCurve(CurveFromParameter(x));
        break;
    case kVco1Shape:
        m_osc1.SetWaveform(OscillatorWaveform(x));
        break;
    case kVco1PulseWidth:
        m_width1 = x;
        break;
    case kVco1Semitone:
        m_semitone1 = SemitoneOffset(x);
        break;
    case kVco1EnvMod:
        m_envMod1 = x;
        break;
    case kVco2Shape:
        m_osc2.SetWaveform(OscillatorWaveform(x));
        break;
    case kVco2PulseWidth:
        m_width2 = x;
        break;
    case kVco2Semitone:
        m_semitone2 = SemitoneOffset(x);
        break;
    case kVco2Detune:
        m_detune2 = x;
        break;
    case kVco2EnvMod:
        m_envMod2 = x;
        break;
    case kSync:
        m_sync = static_cast<int32_t>(2.0f * x) != 0;
        break;
    case 24:
    case 29:
        (index == 24 ? m_filter1 : m_filter2).SetType(ChoiceIndex(2, x));
        break;
    case 25:
    case 30:
        m_cutoff[index == 25 ? 0 : 1] = 12.0f * x;
        (index == 25 ? m_filter1 : m_filter2).SetCutoff(12.0f * x);
        break;
    case 26:
    case 31:
        (index == 26 ? m_filter1 : m_filter2).SetResonance(24.0f * x);
        break;
    case 27:
    case 32:
        m_keyFollow[index == 27 ? 0 : 1] = x;
        break;
    case 28:
    case 33:
        m_filterEnvDepth[index == 28 ? 0 : 1] = x;
        break;
    case kFilterRouting:
        m_routing = ChoiceIndex(3, x);
        break;
    case kFormantMix:
        m_formantMix = x;
        break;
    case kFormantVowel:
        m_formant.SetVowel(ChoiceIndex(kVowelCount, x));
        break;
    case kOscBalance:
        m_balance = x;
        break;
    case kOscVolume:
        m_oscGain = AttenuatorGain(x);
        break;
    case kNoise:
        m_noiseGain = AttenuatorGain(x);
        break;
    case kSaturation:
        m_saturation = ChoiceIndex(4, x);
        break;
    case kOverdrive:
        m_drive = DriveGain(x);
        break;
    case kRingMod:
        m_ringGain = AttenuatorGain(x);
        break;
    case kPortamento:
        m_glide.SetPortamento(0.4f * x * x);
        break;
    case kGlide:
        m_glide.SetGlide(0.4f * x * x);
        break;
    case kSlideCurve:
        m_glide.SetCurve(CurveFromParameter(x));
        break;
    default:
        break;
    }
}

void BassHeadVoice::NoteOn(const ControlEvent& event) {
    m_note = event.index;
    m_noteFrequency = event.frequency;
    m_velocity = event.value;
    m_osc1.SetPitch(0.0f);
    m_osc2.SetPitch(0.0f);
    m_filter1.SetCutoff(m_cutoff[0]);
    m_filter2.SetCutoff(m_cutoff[1]);
    m_glide.SetNote(event.index, m_host);
    m_ampEnvelope.Trigger();
    m_filterEnvelope.Trigger();
    for (int32_t n = 0; n < kLfoCount; ++n)
        m_fadeLevel[n] = m_fadeTime[n] > 0.0f ? 0.0f : 1.0f;
}

void BassHeadVoice::Apply(const ControlEvent& event) {
    switch (event.kind) {
    case kEventNoteOn:
        NoteOn(event);
        break;
    case kEventNoteOff:
        m_ampEnvelope.Release();
        m_filterEnvelope.Release();
        break;
    case kEventParameter:
        ApplyParameter(event.index, event.value);
        break;
    default:
        break;
    }
}

void BassHeadVoice::Render(float* left, float* right, float gain, int32_t count) {
    if (count > m_blockSize) count = m_blockSize;
    ControlEvent event{};
    int32_t at = 0;
    while (m_events.GetNextEvent(&event)) {
        int32_t time = event.time < at ? at : (event.time > count ? count : event.time);
        RenderStretch(left, right, gain, at, time - at);
        at = time;
        Apply(event);
    }
    RenderStretch(left, right, gain, at, count - at);
}

bool BassHeadVoice::Routed(int32_t destination) const {
    for (int32_t n = 0; n < kLfoCount; ++n)
        if (m_route[n][destination] != 0.0f) return true;
    return false;
}

bool BassHeadVoice::SumSends(int32_t destination, float* out, int32_t count, bool add) const {
    bool wrote = false;
    for (int32_t n = 0; n < kLfoCount; ++n) {
        const float amount = m_route[n][destination];
        if (amount == 0.0f) continue;
        MixScaled(out, m_lfoOut[n].Data(), count, amount, !add && !wrote, false);
        wrote = true;
    }
    return wrote;
}

void BassHeadVoice::RenderStretch(float* left, float* right, float gain, int32_t offset, int32_t count) {
    if (count <= 0) return;
    float* fe = m_filterEnvelopeOut.Data();
    float* g = m_glideOut.Data();
    float* pitch = m_pitchOrMixA.Data();
    float* sync = m_syncOrMixB.Data();
    float* o1 = m_osc1OrCutoff.Data();
    float* o2 = m_osc2Out.Data();
    float* shared = m_widthOrResonanceOrAmp.Data();

    // Filter envelope, LFOs (with their fade-in) and the glided note pitch.
    m_filterEnvelope.Render(count, fe);
    for (int32_t n = 0; n < kLfoCount; ++n) {
        float* l = m_lfoOut[n].Data();
        if (m_lfoShape[n] < 4 && !m_lfoRouted[n]) {
            // Nothing listens: keep the LFO's place in time and its fade-in, skip the samples.
            m_lfo[n].Advance(count);
            Fade(n, nullptr, count);
            continue;
        }
        if (m_lfoShape[n] == 4)
            m_lfo[n].RenderSampleHold(l, count);
        else if (m_lfoShape[n] == 5)
            m_lfo[n].RenderSampleGlide(l, count);
        else
            m_lfo[n].RenderWave(l, count);
        Fade(n, l, count);
    }
    m_glide.Render(count, g);

    // Oscillators: the glided pitch plus semitone offsets, LFO sends and the filter envelope.
    const auto renderOscillator = [&](COscillator& osc, float semitones, float envMod, int32_t pitchDest,
                                      int32_t widthDest, float width, int32_t ampDest, float* out,
                                      const float* syncIn, float* syncOut) {
        std::memcpy(pitch, g, sizeof(float) * static_cast<size_t>(count));
        AddConstant(pitch, count, semitones / 12.0f);
        SumSends(pitchDest, pitch, count, true);
        if (envMod > 0.0f) MixScaled(pitch, fe, count, 8.0f * envMod, false, false);
        if (!SumSends(widthDest, shared, count, false))
            std::memset(shared, 0, sizeof(float) * static_cast<size_t>(count));
        AddConstant(shared, count, 2.0f * width - 1.0f);
        osc.Render(shared, syncIn, pitch, out, syncOut, count);
        for (int32_t n = 0; n < kLfoCount; ++n) {
            const float amount = m_route[n][ampDest];
            if (std::fabs(amount) > 0.0001f) MixScaled(out, m_lfoOut[n].Data(), count, amount, false, true);
        }
    };
    renderOscillator(m_osc1, static_cast<float>(m_semitone1), m_envMod1, kDestVco1Pitch, kDestVco1Width,
                     m_width1, kDestVco1Amp, o1, nullptr, m_sync ? sync : nullptr);
    renderOscillator(m_osc2, static_cast<float>(m_semitone2) + m_detune2, m_envMod2, kDestVco2Pitch,
                     kDestVco2Width, m_width2, kDestVco2Amp, o2, m_sync ? sync : nullptr, nullptr);

    // Mix into A (and B for the two-channel routings).
    float* a = m_pitchOrMixA.Data();
    float* b = m_syncOrMixB.Data();
    const float v = m_oscGain;
    const float balance = m_balance;
    const float drive = m_saturation != 0 ? m_drive : 1.0f;
    const bool twoChannels = m_routing != kSerial;
    if (m_routing == kSplit) {
        const float gainA = drive * v * (1.0f - balance);
        const float gainB = v * balance;
        for (int32_t i = 0; i < count; ++i) {
            a[i] = gainA * o1[i];
            b[i] = gainB * o2[i];
        }
        if (m_noiseGain > 0.0f)
            for (int32_t i = 0; i < count; ++i)
                b[i] += m_noiseGain * (static_cast<float>(m_noise.Next()) / 16383.5f - 1.0f);
    } else {
        const float gain1 = v * (1.0f - balance);
        const float gain2 = v * balance;
        for (int32_t i = 0; i < count; ++i)
            a[i] = gain1 * o1[i] + gain2 * o2[i];
        if (m_noiseGain > 0.0f)
            for (int32_t i = 0; i < count; ++i)
                a[i] += m_noiseGain * (static_cast<float>(m_noise.Next()) / 16383.5f - 1.0f);
        if (m_ringGain > 0.0f)
            for (int32_t i = 0; i < count; ++i)
                a[i] += m_ringGain * o1[i] * o2[i];
        if (m_routing == kParallel) std::memcpy(b, a, sizeof(float) * static_cast<size_t>(count));
        if (drive != 1.0f)
            for (int32_t i = 0; i < count; ++i)
                a[i] *= drive;
    }

    // Formant filter, blended in by the mix.
    if (m_formantMix > 0.0f) {
        float* fo = m_formantOut.Data();
        m_formant.Process(count, a, fo);
        for (int32_t i = 0; i < count; ++i)
            a[i] = m_formantMix * fo[i] + (1.0f - m_formantMix) * a[i];
    }

    // Filter 1, the waveshaper, then filter 2 (on A in series, on B otherwise).
    float* cutoff = m_osc1OrCutoff.Data();
    float* resonance = m_widthOrResonanceOrAmp.Data();
    const auto runFilter = [&](CFilter& filter, int32_t which, int32_t pitchDest, int32_t resonanceDest,
                               float* samples) {
        const float envDepth = (m_velocity + 0.5f) * m_filterEnvDepth[which] * 8.0f;
        const float follow = 2.0f * m_keyFollow[which] - 1.0f;
        for (int32_t i = 0; i < count; ++i)
            cutoff[i] = fe[i] * envDepth + g[i] * follow;
        SumSends(pitchDest, cutoff, count, true);
        const bool resonanceRouted = SumSends(resonanceDest, resonance, count, false);
        filter.Process(count, samples, cutoff, resonanceRouted ? resonance : nullptr);
    };
    runFilter(m_filter1, 0, kDestVcf1Pitch, kDestVcf1Resonance, a);
    Waveshape(m_saturation, a, count);
    runFilter(m_filter2, 1, kDestVcf2Pitch, kDestVcf2Resonance, twoChannels ? b : a);

    // Amplitude envelope through the exponential amplifier, then out.
    float* env = m_widthOrResonanceOrAmp.Data();
    m_ampEnvelope.Render(count, env);
    m_amp.Process(count, a, env);
    if (twoChannels) m_amp.Process(count, b, env);
    MixScaled(left + offset, a, count, gain, false, false);
    MixScaled(right + offset, twoChannels ? b : a, count, gain, false, false);
}
