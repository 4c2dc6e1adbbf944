#include "machines/drumkit/drumkit.h"

#include "machine_interface/vesk_host.h"
#include "machines/drumkit/drumkit_panel_layout.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

struct ParameterInfo {
    const char* name;
    float initial;
    int32_t voice; // the voice that receives it (−1: a level or balance, found from kLevelParameters)
};

const ParameterInfo kParameters[CDrumKit::kParameterCount] = {
    {"BD Tune", 1.0f, 0},     {"BD Level", 1.0f, -1},   {"BD Balance", 0.5f, -1}, {"BD Attack", 0.5f, 0},
    {"BD Decay", 1.0f, 0},    {"SD Tune", 0.5f, 1},     {"SD Level", 1.0f, -1},   {"SD Balance", 0.5f, -1},
    {"SD Tone", 0.4f, 1},     {"SD Snappy", 0.8f, 1},   {"LT Tune", 1.0f, 2},     {"LT Level", 1.0f, -1},
    {"LT Balance", 0.5f, -1}, {"LT Decay", 0.5f, 2},    {"MT Tune", 1.0f, 3},     {"MT Level", 1.0f, -1},
    {"MT Balance", 0.5f, -1}, {"MT Decay", 0.5f, 3},    {"HT Tune", 1.0f, 4},     {"HT Level", 1.0f, -1},
    {"HT Balance", 0.5f, -1}, {"HT Decay", 0.5f, 4},    {"RS Level", 1.0f, -1},   {"RS Balance", 0.5f, -1},
    {"CP Level", 1.0f, -1},   {"CP Balance", 0.5f, -1}, {"CH Level", 1.0f, -1},   {"CH Balance", 0.5f, -1},
    {"CH Decay", 0.3f, 7},    {"OH Level", 1.0f, -1},   {"OH Balance", 0.5f, -1}, {"OH Decay", 0.3f, 8},
    {"CC Level", 1.0f, -1},   {"CC Balance", 0.5f, -1}, {"CC Decay", 0.5f, 9},    {"RC Level", 1.0f, -1},
    {"RC Balance", 0.5f, -1}, {"RC Decay", 0.5f, 10},
};

const int32_t kLevelParameters[CDrumKit::kVoiceCount] = {1, 6, 11, 15, 19, 22, 24, 26, 29, 32, 35};

const char* const kVoiceNames[CDrumKit::kVoiceCount] = {
    "Bass Drum", "Snare Drum",    "Low Tom",     "Mid Tom",      "High Tom",    "Rim Shot",
    "Clap",      "Closed Hi Hat", "Open Hi Hat", "Crash Cymbal", "Ride Cymbal",
};

bool ValidIndex(int32_t index) {
    return index >= 0 && index < CDrumKit::kParameterCount;
}

// The voice a parameter belongs to: its own sound parameter, or its level or balance.
int32_t OwnerVoice(int32_t index) {
    if (kParameters[index].voice >= 0) return kParameters[index].voice;
    for (int32_t v = 0; v < CDrumKit::kVoiceCount; ++v)
        if (index == kLevelParameters[v] || index == kLevelParameters[v] + 1) return v;
    return -1;
}

} // namespace

CDrumKit::CDrumKit(CVeskHost* host) : CMachine(host) {
    m_sampleRate = host ? host->GetSampleRate() : 44100;
    m_blockSize = host ? host->GetBufferSize() : 0;
    m_parameterCount = kParameterCount;
    m_namedNoteCount = kVoiceCount;
    AddPort(kPortControlIn, "Control In");
    AddPort(kPortStereoOut, "Line Out");
    m_voices[0] = std::make_unique<CBassDrum>(m_sampleRate, m_blockSize);
    m_voices[1] = std::make_unique<CSnareDrum>(m_sampleRate, m_blockSize);
    for (int32_t t = 0; t < 3; ++t)
        m_voices[2 + t] = std::make_unique<CTomDrum>(m_sampleRate, m_blockSize, t);
    m_voices[5] = std::make_unique<CRimShot>(m_sampleRate, m_blockSize);
    m_voices[6] = std::make_unique<CClap>(m_sampleRate, m_blockSize);
    m_voices[7] = std::make_unique<CHiHatClosed>(m_sampleRate, m_blockSize);
    m_voices[8] = std::make_unique<CHiHatOpen>(m_sampleRate, m_blockSize);
    m_voices[9] = std::make_unique<CCrashCymbal>(m_sampleRate, m_blockSize);
    m_voices[10] = std::make_unique<CRideCymbal>(m_sampleRate, m_blockSize);
    for (int32_t v = 0; v < kVoiceCount; ++v)
        m_voices[v]->SetOutputParameters(kLevelParameters[v], kLevelParameters[v] + 1);
    m_noise.Resize(m_blockSize);
    m_random.state = RandomState::SeedFromProcess();
    for (int32_t i = 0; i < kParameterCount; ++i)
        SetParameter(i, kParameters[i].initial);
}

CDrumKit::~CDrumKit() {
    // The panel goes with the machine.
    if (m_panel) m_panel->ClosePanel();
}

bool CDrumKit::GetGUIRect(int16_t* left, int16_t* top, int16_t* right, int16_t* bottom) {
    *left = 0;
    *top = 0;
    *right = drumkit_panel::kWidth;
    *bottom = drumkit_panel::kHeight;
    return true;
}

int32_t CDrumKit::LevelParameter(int32_t voice) {
    return kLevelParameters[voice];
}

void CDrumKit::Process() {
    ControlEvent event;
    CControlBuffer* control = m_ports[0]->m_controlBuffer;
    while (control->GetNextEvent(&event)) {
        switch (event.kind) {
        case kEventNoteOn:
            m_voices[(event.index & 0xff) % kVoiceCount]->AddEvent(event);
            break;
        case kEventTriggerOn:
            if (event.index >= 0 && event.index < kVoiceCount) m_voices[event.index]->AddEvent(event);
            break;
        case kEventParameter:
            // The change reaches its voice at the event's own sample.
            m_eventTime = event.time;
            AutomateParameter(event.index, event.value);
            m_eventTime = 0;
            break;
        default:
            break; // note offs and trigger offs: every sound plays out
        }
    }

    CAudioBuffer* out = m_ports[1]->m_audioBuffer;
    const int32_t count = std::min(out->m_length, m_blockSize);
    out->Clear();
    float* noise = m_noise.Data();
    for (int32_t i = 0; i < count; ++i)
        noise[i] = (static_cast<float>(m_random.Next()) / 32767.0f - 0.5f) * 2.0f;

    for (auto& voice : m_voices)
        voice->Render(out->m_channel1, out->m_channel2, noise, count, m_position);
    m_position += count;
}

float CDrumKit::GetParameter(int32_t index) {
    return ValidIndex(index) ? m_values[index] : 0.0f;
}

void CDrumKit::SetParameter(int32_t index, float value) {
    if (!ValidIndex(index)) return;
    m_values[index] = value;
    const int32_t voice = OwnerVoice(index);
    if (voice >= 0) {
        ControlEvent event{};
        event.size = sizeof(ControlEvent);
        event.kind = kEventParameter;
        event.time = m_eventTime;
        event.index = index;
        event.value = value;
        m_voices[voice]->AddEvent(event);
    }
    if (m_panel) m_panel->MoveKnob(index, value);
}

void CDrumKit::GetParameterName(int32_t index, char* text) {
    text[0] = '\0';
    if (ValidIndex(index)) std::snprintf(text, 64, "%s", kParameters[index].name);
}

void CDrumKit::FormatParameter(int32_t index, float value, char* text) {
    text[0] = '\0';
    if (ValidIndex(index)) std::snprintf(text, 64, "%.0f%%", 100.0 * static_cast<double>(value));
}

void CDrumKit::GetNoteName(int32_t note, char* text) {
    text[0] = '\0';
    if (note >= 0 && note < kVoiceCount) std::snprintf(text, 64, "%s", kVoiceNames[note]);
}

void CDrumKit::SetSampleRate(int32_t rate) {
    for (auto& voice : m_voices)
        voice->SetSampleRate(rate);
    m_sampleRate = rate;
}

void CDrumKit::SetBufferSize(int32_t frames) {
    for (auto& voice : m_voices)
        voice->SetBufferSize(frames);
    m_noise.Resize(frames);
    m_blockSize = frames;
}
