#include "machines/basshead/basshead.h"
#include "machines/basshead/basshead_panel_layout.h"

#include "machine_interface/vesk_host.h"
#include "platform/clock.h"
#include "platform/random.h"

#include <cstdio>

using namespace basshead;

CBassHead::CBassHead(CVeskHost* host)
    : CMachine(host), m_sampleRate(host ? host->GetSampleRate() : 44100),
      m_blockSize(host ? host->GetBufferSize() : 256) {
    platform::SeedRandom(platform::TickCount());
    AddPort(kPortControlIn, "Control In");
    AddPort(kPortStereoOut, "Line Out");
    for (int32_t v = 0; v < kVoiceCount; ++v)
        m_voices.push_back(std::make_unique<BassHeadVoice>(host, m_sampleRate, m_blockSize));
    m_parameterCount = kParameterCount;
    for (int32_t i = 0; i < kParameterCount; ++i)
        SetParameter(i, ParameterDefault(i));
}

void CBassHead::HandleNote(const ControlEvent& event) {
    if (event.kind == kEventNoteOn) {
        BassHeadVoice& voice = *m_voices[m_nextVoice];
        m_nextVoice = (m_nextVoice + 1) % m_voices.size();
        voice.AddEvent(event);
        voice.m_note = event.index;
        return;
    }
    // A note-off goes to the first voice playing that note; an overlapped, stolen note finds none.
    for (auto& voice : m_voices) {
        if (voice->m_note == event.index) {
            voice->AddEvent(event);
            voice->m_note = -1;
            return;
        }
    }
}

void CBassHead::Process() {
    CControlBuffer* control = m_ports[0]->m_controlBuffer;
    ControlEvent event{};
    while (control->GetNextEvent(&event)) {
        if (event.kind == kEventNoteOn || event.kind == kEventNoteOff)
            HandleNote(event);
        else if (event.kind == kEventParameter) {
            // The change reaches the voices at the event's own sample.
            m_eventTime = event.time;
            AutomateParameter(event.index, event.value);
            m_eventTime = 0;
        }
    }
    CAudioBuffer* out = m_ports[1]->m_audioBuffer;
    out->Clear();
    const int32_t count = out->m_length < m_blockSize ? out->m_length : m_blockSize;
    for (auto& voice : m_voices)
        voice->Render(out->m_channel1, out->m_channel2, 1.0f, count);
}

float CBassHead::GetParameter(int32_t index) {
    return index >= 0 && index < kParameterCount ? m_values[index] : 0.0f;
}

void CBassHead::SetParameter(int32_t index, float value) {
    if (index < 0 || index >= kParameterCount) return;
    m_values[index] = value;
    ControlEvent event{};
    event.size = sizeof(ControlEvent);
    event.kind = kEventParameter;
    event.time = m_eventTime;
    event.index = index;
    event.value = value;
    for (auto& voice : m_voices)
        voice->AddEvent(event);
    if (m_panel) m_panel->ShowChange(index, value);
}

CBassHead::~CBassHead() {
    // The panel goes with the machine.
    if (m_panel) m_panel->ClosePanel();
}

bool CBassHead::GetGUIRect(int16_t* left, int16_t* top, int16_t* right, int16_t* bottom) {
    *left = 0;
    *top = 0;
    *right = basshead_panel::kWidth;
    *bottom = basshead_panel::kHeight;
    return true;
}

void CBassHead::SetNoiseSeed(uint32_t seed) {
    for (auto& voice : m_voices)
        voice->SetNoiseSeed(seed++);
}

void CBassHead::GetParameterName(int32_t index, char* text) {
    std::snprintf(text, 64, "%s", ParameterName(index));
}

void CBassHead::FormatParameter(int32_t index, float value, char* text) {
    FormatParameterValue(index, value, text);
}

void CBassHead::SetSampleRate(int32_t rate) {
    for (auto& voice : m_voices)
        voice->SetSampleRate(rate);
    m_sampleRate = rate;
}

void CBassHead::SetBufferSize(int32_t frames) {
    for (auto& voice : m_voices)
        voice->SetBlockSize(frames);
    m_blockSize = frames;
}
