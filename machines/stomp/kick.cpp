#include "machines/stomp/kick.h"

#include "machine_interface/vesk_host.h"

#include <cstdio>
#include <cstring>

namespace {

const char* const kNames[CKick::kParameterCount] = {"VCO Attack", "VCO Decay", "VCO Curve", "Amp Attack",
                                                    "Amp Decay",  "Amp Curve", "VCF Cutoff"};
const float kDefaults[CKick::kParameterCount] = {0.02f, 0.5f, 0.28f, 0.05f, 0.5f, 1.0f, 0.37f};

ControlEvent ParameterEvent(int32_t index, float value, int32_t time = 0) {
    ControlEvent event{};
    event.size = sizeof(ControlEvent);
    event.kind = kEventParameter;
    event.time = time;
    event.index = index;
    event.value = value;
    return event;
}

} // namespace

CKickVoice::CKickVoice(int32_t sampleRate, int32_t blockSize)
    : m_a(blockSize), m_b(blockSize), m_oscillator(sampleRate, &SharedTables().sine, 1.0f),
      m_filter(sampleRate, CFilter::kLowPass, true, 6.0f, 0.0f), m_amp(CExpAmp::kExponential, 1.0f),
      m_pitchEnvelope(sampleRate, 0.01f, 1.0f, 0.0f, 0.0f),
      m_ampEnvelope(sampleRate, 0.01f, 1.0f, 0.0f, 0.0f) {
    // The envelope times the note pitch is the whole pitch; the oscillator adds nothing of its own.
    m_oscillator.SetPitch(0.0f);
}

void CKickVoice::SetSampleRate(int32_t rate) {
    m_oscillator.SetSampleRate(rate);
    m_filter.SetSampleRate(rate);
    m_pitchEnvelope.SetSampleRate(rate);
    m_ampEnvelope.SetSampleRate(rate);
}

void CKickVoice::SetBlockSize(int32_t count) {
    m_a.Resize(count);
    m_b.Resize(count);
}

void CKickVoice::Apply(const ControlEvent& event) {
    if (event.kind == kEventNoteOn) {
        if (event.frequency > 0.0f) m_notePitch = OctavePitch(event.frequency);
        m_ampEnvelope.Trigger();
        m_pitchEnvelope.Trigger();
        return;
    }
    if (event.kind != kEventParameter) return; // a note-off lets the drum play out
    const float x = event.value;
    switch (event.index) {
    case 0:
        m_pitchEnvelope.SetAttack(0.2f * x);
        break;
    case 1:
        m_pitchEnvelope.SetDecay(x);
        break;
    case 2:
        m_pitchEnvelope.SetDecayCurve(CurveFromParameter(x));
        break;
    case 3:
        m_ampEnvelope.SetAttack(0.2f * x);
        break;
    case 4:
        m_ampEnvelope.SetDecay(x);
        break;
    case 5:
        m_ampEnvelope.SetDecayCurve(CurveFromParameter(x));
        break;
    case 6:
        m_filter.SetCutoff(12.0f * x);
        break;
    default:
        break;
    }
}

void CKickVoice::RenderStretch(float* out, int32_t offset, int32_t count) {
    if (count <= 0) return;
    float* a = m_a.Data();
    float* b = m_b.Data();
    m_pitchEnvelope.Render(count, a);
    for (int32_t i = 0; i < count; ++i)
        a[i] *= m_notePitch;
    m_oscillator.RenderPitched(a, b, count);
    m_filter.Process(count, b, nullptr, nullptr);
    m_ampEnvelope.Render(count, a);
    m_amp.Process(count, b, a);
    std::memcpy(out + offset, b, sizeof(float) * static_cast<size_t>(count));
}

void CKickVoice::Render(float* out, int32_t count) {
    if (count > m_a.Count()) count = m_a.Count();
    ControlEvent event{};
    if (!m_events.GetNextEvent(&event)) {
        RenderStretch(out, 0, count);
        return;
    }
    int32_t at = event.time < 0 ? 0 : (event.time > count ? count : event.time);
    RenderStretch(out, 0, at);
    for (;;) {
        Apply(event);
        const bool more = m_events.GetNextEvent(&event);
        int32_t next = more ? event.time : count;
        next = next < at ? at : (next > count ? count : next);
        RenderStretch(out, at, next - at);
        at = next;
        if (!more) break;
    }
}

CKick::CKick(CVeskHost* host)
    : CMachine(host), m_sampleRate(host ? host->GetSampleRate() : 44100),
      m_blockSize(host ? host->GetBufferSize() : 256) {
    AddPort(kPortControlIn, "Control In");
    AddPort(kPortMonoOut, "Line Out");
    m_voice = std::make_unique<CKickVoice>(m_sampleRate, m_blockSize);
    m_parameterCount = kParameterCount;
    for (int32_t i = 0; i < kParameterCount; ++i) {
        m_values[i] = kDefaults[i];
        m_voice->AddEvent(ParameterEvent(i, kDefaults[i]));
    }
}

void CKick::Process() {
    CControlBuffer* control = m_ports[0]->m_controlBuffer;
    ControlEvent event{};
    while (control->GetNextEvent(&event)) {
        if (event.kind == kEventNoteOn || event.kind == kEventNoteOff)
            m_voice->AddEvent(event);
        else if (event.kind == kEventParameter) {
            // The change reaches the voice at the event's own sample.
            m_eventTime = event.time;
            AutomateParameter(event.index, event.value);
            m_eventTime = 0;
        }
    }
    CAudioBuffer* out = m_ports[1]->m_audioBuffer;
    const int32_t count = out->m_length < m_blockSize ? out->m_length : m_blockSize;
    m_voice->Render(out->m_channel1, count);
}

float CKick::GetParameter(int32_t index) {
    return index >= 0 && index < kParameterCount ? m_values[index] : 0.0f;
}

void CKick::SetParameter(int32_t index, float value) {
    if (index < 0 || index >= kParameterCount) return;
    m_values[index] = value;
    m_voice->AddEvent(ParameterEvent(index, value, m_eventTime));
}

void CKick::GetParameterName(int32_t index, char* text) {
    std::snprintf(text, 64, "%s", index >= 0 && index < kParameterCount ? kNames[index] : "");
}

void CKick::FormatParameter(int32_t index, float value, char* text) {
    if (index < 0 || index >= kParameterCount) {
        text[0] = '\0';
        return;
    }
    std::snprintf(text, 64, "%.0f%%", static_cast<double>(value * 100.0f));
}

void CKick::SetSampleRate(int32_t rate) {
    m_voice->SetSampleRate(rate);
    m_sampleRate = rate;
}

void CKick::SetBufferSize(int32_t frames) {
    m_voice->SetBlockSize(frames);
    m_blockSize = frames;
}
