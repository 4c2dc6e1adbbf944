// QX DGenR8 (CDrumKit): an analogue-style drum machine of eleven synthesized sounds mixed into one
// stereo output, each with its own level and balance. Notes (note mod 11) or drum-row triggers start
// sounds at their own sample; there is no note-off.
//
// Threads: Process runs on the machine's worker thread with the machine locked; parameter, rate
// and size changes arrive under the machine lock too. Parameter changes reach the voices through
// their event queues: a parameter event at its own sample, a change from a panel or the host at
// the start of the next buffer. The output does not depend on how the stream is cut into buffers.
#pragma once

#include "machine_interface/machine.h"
#include "machine_interface/panel_factory.h"
#include "machines/drumkit/drumkit_voices.h"
#include "machines/dsp/dsp.h"

#include <memory>

// What an open DrumKit panel offers the machine: moving a knob when a parameter changes (any
// thread, machine locked), and closing when the machine goes or makes a new panel (UI thread).
class CDrumKitPanelLink {
public:
    virtual ~CDrumKitPanelLink() = default;
    virtual void MoveKnob(int32_t parameter, float value) = 0;
    virtual void ClosePanel() = 0;
};

class CDrumKit : public CMachine {
public:
    // Its own panel, made by the panel factory of this module (none headless).
    WindowHandle CreateGUI(WindowHandle parent) override {
        return machine_panels::Create(this, "QX DGenR8", parent);
    }
    static constexpr int32_t kVoiceCount = 11;
    static constexpr int32_t kParameterCount = 38;

    explicit CDrumKit(CVeskHost* host);
    ~CDrumKit() override;

    void Delete() override { delete this; }
    void Process() override;
    float GetParameter(int32_t index) override;
    void SetParameter(int32_t index, float value) override;
    void GetParameterName(int32_t index, char* text) override;
    void FormatParameter(int32_t index, float value, char* text) override;
    void GetNoteName(int32_t note, char* text) override;
    void SetSampleRate(int32_t rate) override;
    void SetBufferSize(int32_t frames) override;
    bool IsGenerator() override { return true; }
    // The panel background's size (drumkit_panel_layout.h).
    bool GetGUIRect(int16_t* left, int16_t* top, int16_t* right, int16_t* bottom) override;

    // The open panel (null when closed); the panel registers itself and is not owned.
    void SetPanelLink(CDrumKitPanelLink* link) { m_panel = link; }
    CDrumKitPanelLink* PanelLink() const { return m_panel; }
    // Index of voice v's Level parameter; its Balance is the next index.
    static int32_t LevelParameter(int32_t voice);
    const CDrumKitVoice& Voice(int32_t v) const { return *m_voices[v]; }
    // Reseeds the per-machine noise generator (renders are reproducible for a given seed).
    void SetNoiseSeed(uint32_t seed) { m_random.state = seed; }

private:
    float m_values[kParameterCount] = {};
    std::unique_ptr<CDrumKitVoice> m_voices[kVoiceCount];
    AlignedBlock m_noise;
    RandomState m_random;
    int32_t m_sampleRate;
    int32_t m_blockSize;
    int64_t m_position = 0;   // samples rendered so far (the voices' settle points count on it)
    int32_t m_eventTime = 0;  // offset given to parameter changes while a parameter event is applied
    CDrumKitPanelLink* m_panel = nullptr;
};

class CDrumKitInfo : public CSimpleMachineInfo<CDrumKit> {
public:
    explicit CDrumKitInfo(CVeskHost* host)
        : CSimpleMachineInfo<CDrumKit>(host, "QX DGenR8", "VeskPlug::QX DGenR8") {}
};
