// QX BassHead (CBassHead): the library's monophonic subtractive synthesizer. Notes arrive on
// "Control In" and are handed round-robin to the voices (one voice: last-note priority without note
// memory); parameter changes reach the voices through their event queues: a parameter event at its
// own sample, a change from a panel or the host at the start of the next buffer. Stereo out on
// "Line Out"; the output does not depend on how the stream is cut into buffers.
//
// Threads: Process, SetParameter, SetSampleRate and SetBufferSize run under the machine lock the
// host takes; Process on the machine's worker thread, the setters on the user-interface thread.
#pragma once

#include "machine_interface/machine.h"
#include "machine_interface/panel_factory.h"
#include "machines/basshead/basshead_panel_link.h"
#include "machines/basshead/basshead_parameters.h"
#include "machines/basshead/basshead_voice.h"

#include <memory>
#include <vector>

class CBassHead : public CMachine {
public:
    // Its own panel, made by the panel factory of this module (none headless).
    WindowHandle CreateGUI(WindowHandle parent) override {
        return machine_panels::Create(this, "QX BassHead", parent);
    }
    static constexpr int32_t kVoiceCount = 1;

    explicit CBassHead(CVeskHost* host);
    ~CBassHead() override;

    void Delete() override { delete this; }
    void Process() override;
    float GetParameter(int32_t index) override;
    void SetParameter(int32_t index, float value) override;
    void GetParameterName(int32_t index, char* text) override;
    void FormatParameter(int32_t index, float value, char* text) override;
    void SetSampleRate(int32_t rate) override;
    void SetBufferSize(int32_t frames) override;
    bool IsGenerator() override { return true; }
    // The panel background's size (basshead_panel_layout.h).
    bool GetGUIRect(int16_t* left, int16_t* top, int16_t* right, int16_t* bottom) override;
    // The open panel (null when closed); the panel registers itself and is not owned.
    void SetPanelLink(CBassHeadPanelLink* link) { m_panel = link; }
    CBassHeadPanelLink* PanelLink() const { return m_panel; }
    // Reseeds the voices' noise and random LFOs (renders are reproducible for a given seed).
    void SetNoiseSeed(uint32_t seed);

private:
    void HandleNote(const ControlEvent& event);

    float m_values[basshead::kParameterCount] = {};
    int32_t m_sampleRate;
    int32_t m_blockSize;
    std::vector<std::unique_ptr<BassHeadVoice>> m_voices;
    size_t m_nextVoice = 0;
    int32_t m_eventTime = 0; // offset given to parameter changes while a parameter event is applied
    CBassHeadPanelLink* m_panel = nullptr;
};

class CBassHeadInfo : public CSimpleMachineInfo<CBassHead> {
public:
    explicit CBassHeadInfo(CVeskHost* host)
        : CSimpleMachineInfo<CBassHead>(host, "QX BassHead", "VeskPlug::QX BassHead") {}
};
