#include "host_machines/midi_machines.h"

#include "host_machines/midi/midi_devices.h"
#include "machine_interface/vesk_host.h"
#include "platform/clock.h"
#include "platform/error.h"

#include <cstdio>

namespace {
// Every incoming note sounds this long after it arrived, so that notes land at sample-accurate
// offsets inside a later buffer instead of all at its start.
constexpr int64_t kInputDelayMilliseconds = 80;

uint8_t VelocityByte(float velocity) {
    const int value = static_cast<int>(velocity * 127.0f);
    return static_cast<uint8_t>(value < 0 ? 0 : value > 127 ? 127 : value);
}
} // namespace

CMIDIInput::CMIDIInput(CVeskHost* host, CMIDIDeviceRegistry* registry)
    : CMachine(host), m_sampleRate(host->GetSampleRate()), m_bufferSize(host->GetBufferSize()),
      m_counterFrequency(platform::HighResFrequency()), m_clock(&platform::HighResCounter),
      m_registry(registry ? registry : &CMIDIDeviceRegistry::Studio()) {
    AddPort(kPortControlOut, "Control Out");
}

CMIDIInput::~CMIDIInput() {
    if (m_panel) m_panel->ClosePanel();
    try {
        SelectDevice(-1);
    } catch (const platform::CError& error) {
        std::fprintf(stderr, "%s\n", error.what());
    }
}

void CMIDIInput::SelectDevice(int32_t index) {
    if (m_device) {
        CMIDIInputDevice* device = m_device;
        m_device = nullptr;
        device->RemoveHook(&Hook, this);
        device->CloseOnce();
    }
    CMIDIInputDevice* device = m_registry->Input(index);
    if (!device) return;
    m_device = device;
    device->AddHook(&Hook, this);
    device->OpenOnce();
}

void CMIDIInput::Hook(void* context, uint8_t status, uint8_t data1, uint8_t data2) {
    static_cast<CMIDIInput*>(context)->OnMessage(status, data1, data2);
}

void CMIDIInput::OnMessage(uint8_t status, uint8_t data1, uint8_t data2) {
    CMutexLock lock(*this);
    if ((status & 0xF0) == 0x90 && data2 == 0) status = static_cast<uint8_t>(0x80 | (status & 0x0F));
    ControlEvent event{};
    event.index = data1;
    event.SetStamp(m_counterFrequency ? m_clock() : 0);
    if ((status & 0xF0) == 0x90) {
        event.kind = kEventNoteOn;
        m_host->GetNoteFrequency(data1, &event.frequency);
        event.value = static_cast<float>(data2) * 0.007874016f;
    } else if ((status & 0xF0) == 0x80) {
        event.kind = kEventNoteOff;
    } else {
        return;
    }
    m_pending.AddEvent(&event);
}

void CMIDIInput::Process() {
    CControlBuffer* out = m_ports[0]->m_controlBuffer;
    m_carry.CopyTo(&m_pending);
    m_carry.Clear();
    if (m_counterFrequency == 0) {
        m_pending.CopyTo(out);
        m_pending.Clear();
        return;
    }
    const int64_t now = m_clock();
    ControlEvent event;
    while (m_pending.GetNextEvent(&event)) {
        int64_t offset = static_cast<int64_t>(m_sampleRate) *
                         (event.Stamp() + m_counterFrequency * kInputDelayMilliseconds / 1000 - now) /
                         m_counterFrequency;
        if (offset < 0) offset = 0;
        if (offset < m_bufferSize) {
            event.time = static_cast<int32_t>(offset);
            out->AddEvent(&event);
        } else {
            m_carry.AddEvent(&event);
        }
    }
}

CMIDIOutput::CMIDIOutput(CVeskHost* host, CMIDIDeviceRegistry* registry)
    : CMachine(host), m_sampleRate(host->GetSampleRate()), m_bufferSize(host->GetBufferSize()),
      m_counterFrequency(platform::HighResFrequency()), m_clock(&platform::HighResCounter),
      m_registry(registry ? registry : &CMIDIDeviceRegistry::Studio()) {
    AddPort(kPortControlIn, "Control In");
}

CMIDIOutput::~CMIDIOutput() {
    if (m_panel) m_panel->ClosePanel();
    try {
        SelectDevice(-1);
    } catch (const platform::CError& error) {
        std::fprintf(stderr, "%s\n", error.what());
    }
}

void CMIDIOutput::SelectDevice(int32_t index) {
    if (m_device) {
        CMIDIOutputDevice* device = m_device;
        m_device = nullptr;
        device->CloseOnce();
    }
    CMIDIOutputDevice* device = m_registry->Output(index);
    if (!device) return;
    m_device = device;
    device->OpenOnce();
}

void CMIDIOutput::Process() {
    CControlBuffer* in = m_ports[0]->m_controlBuffer;
    m_carry.CopyTo(in);
    m_carry.Clear();
    m_errorCount = 0;
    const int64_t now = m_clock();
    ControlEvent event;
    while (in->GetNextEvent(&event)) {
        if (event.time >= m_bufferSize) {
            event.time -= m_bufferSize;
            m_carry.AddEvent(&event);
            continue;
        }
        // No device: the notes are dropped.
        if (!m_device || (event.kind != kEventNoteOn && event.kind != kEventNoteOff)) continue;
        // The note is handed over with the time it is due instead of sleeping until then: the
        // processing thread never waits, and the backend plays it at its offset.
        const int64_t due = now + static_cast<int64_t>(event.time) * m_counterFrequency / m_sampleRate;
        const bool on = event.kind == kEventNoteOn;
        try {
            m_device->Write(on ? 0x90 : 0x80, static_cast<uint8_t>(event.index),
                            on ? VelocityByte(event.value) : 0, due);
        } catch (const platform::CError& error) {
            ++m_errorCount;
            m_lastError = error.what();
        }
    }
}
