// The MIDI machines: "QX MIDI Input" turns notes from a MIDI input device into note events on its
// "Control Out" port, each sounding 80 ms after it arrived, at sample accuracy; "QX MIDI Output"
// sends the notes arriving on "Control In" to a MIDI output device.
//
// Threads: the input device's hook runs on a backend thread and adds to the pending list under
// the machine lock; Process runs on the processing thread (machine locked by the cycle); device
// selection runs on the user-interface thread.
#pragma once

#include "machine_interface/machine.h"
#include "machine_interface/panel_factory.h"

#include <cstdint>
#include <string>

class CMIDIDeviceRegistry;
class CMIDIInputDevice;
class CMIDIOutputDevice;

// What an open device panel offers its machine: its window (a second CreateGUI returns it again)
// and closing when the machine goes. User-interface thread.
class CMIDIPanelLink {
public:
    virtual ~CMIDIPanelLink() = default;
    virtual WindowHandle Window() = 0;
    virtual void ClosePanel() = 0;
};

class CMIDIInput : public CMachine {
public:
    // Its own panel, made by the panel factory of this module on the first request (none
    // headless) and returned again afterwards.
    WindowHandle CreateGUI(WindowHandle parent) override {
        return m_panel ? m_panel->Window() : machine_panels::Create(this, "QX MIDI Input", parent);
    }
    // The registry is the program's own (CMIDIDeviceRegistry::Studio()) unless given.
    explicit CMIDIInput(CVeskHost* host, CMIDIDeviceRegistry* registry = nullptr);
    // Removes its hook and closes its device once.
    ~CMIDIInput() override;
    void Delete() override { delete this; }
    void Process() override;
    void SetSampleRate(int32_t rate) override { m_sampleRate = rate; }
    void SetBufferSize(int32_t frames) override { m_bufferSize = frames; }
    bool IsGenerator() override { return false; }

    // Selects input device index (negative or out of range: none). Raises the device's errors.
    // User-interface thread, without the machine lock: removing the hook waits for a message
    // being delivered, and delivery takes the machine lock.
    void SelectDevice(int32_t index);
    CMIDIInputDevice* Device() const { return m_device; }
    CMIDIDeviceRegistry& Registry() const { return *m_registry; }
    // The open panel (null when closed); the panel registers itself and is not owned.
    void SetPanelLink(CMIDIPanelLink* link) { m_panel = link; }
    CMIDIPanelLink* PanelLink() const { return m_panel; }
    // The note hook: what the device delivers for every short message. Locks the machine.
    void OnMessage(uint8_t status, uint8_t data1, uint8_t data2);

    int32_t m_sampleRate;
    int32_t m_bufferSize;
    int64_t m_counterFrequency; // ticks per second of the time stamps; 0 without a counter
    int64_t (*m_clock)();       // reads the high-resolution counter
    CControlBuffer m_pending;   // notes not yet placed in a buffer
    CControlBuffer m_carry;     // notes due in a later buffer

private:
    static void Hook(void* context, uint8_t status, uint8_t data1, uint8_t data2);

    CMIDIDeviceRegistry* m_registry;
    CMIDIInputDevice* m_device = nullptr;
    CMIDIPanelLink* m_panel = nullptr;
};

class CMIDIOutput : public CMachine {
public:
    // Its own panel, made by the panel factory of this module on the first request (none
    // headless) and returned again afterwards.
    WindowHandle CreateGUI(WindowHandle parent) override {
        return m_panel ? m_panel->Window() : machine_panels::Create(this, "QX MIDI Output", parent);
    }
    explicit CMIDIOutput(CVeskHost* host, CMIDIDeviceRegistry* registry = nullptr);
    ~CMIDIOutput() override;
    void Delete() override { delete this; }
    void Process() override;
    void SetSampleRate(int32_t rate) override { m_sampleRate = rate; }
    void SetBufferSize(int32_t frames) override { m_bufferSize = frames; }
    bool IsGenerator() override { return false; }

    void SelectDevice(int32_t index);
    CMIDIOutputDevice* Device() const { return m_device; }
    CMIDIDeviceRegistry& Registry() const { return *m_registry; }
    void SetPanelLink(CMIDIPanelLink* link) { m_panel = link; }
    CMIDIPanelLink* PanelLink() const { return m_panel; }
    // Failures of the last Process (the device's not-open report), for the studio's error
    // display; the audio path never throws.
    int32_t ErrorCount() const { return m_errorCount; }
    const std::string& LastError() const { return m_lastError; }

    int32_t m_sampleRate;
    int32_t m_bufferSize;
    int64_t m_counterFrequency;
    int64_t (*m_clock)();
    CControlBuffer m_carry;

private:
    CMIDIDeviceRegistry* m_registry;
    CMIDIOutputDevice* m_device = nullptr;
    CMIDIPanelLink* m_panel = nullptr;
    int32_t m_errorCount = 0;
    std::string m_lastError;
};

// Both carry the empty machine identifier: project files store their machines with it.
class CMIDIInputInfo : public CSimpleMachineInfo<CMIDIInput> {
public:
    explicit CMIDIInputInfo(CVeskHost* host) : CSimpleMachineInfo(host, "QX MIDI Input", "QX MIDI Input") {}
};

class CMIDIOutputInfo : public CSimpleMachineInfo<CMIDIOutput> {
public:
    explicit CMIDIOutputInfo(CVeskHost* host) : CSimpleMachineInfo(host, "QX MIDI Output", "QX MIDI Output") {}
};
