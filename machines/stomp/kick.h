// QX Stomp (CKick): a one-voice kick drum. Each note restarts a pitch envelope that sweeps a sine
// down from the note's frequency and an amplitude envelope; a 24 dB low-pass sits between them.
// Note and parameter events take effect at their own sample; a change from a panel or the host at
// the start of the next block. The output does not depend on how the stream is cut into buffers.
//
// Threads: Process runs on the machine's worker thread with the machine locked; SetParameter on
// the user-interface thread (or the worker, for parameter events), also under the machine lock.
#pragma once

#include "machine_interface/machine.h"
#include "machine_interface/panel_factory.h"
#include "machines/dsp/dsp.h"

#include <memory>

// The kick's sound generator. Owned by CKick.
class CKickVoice {
public:
    CKickVoice(int32_t sampleRate, int32_t blockSize);

    // Posts an event (note on, parameter) to be applied at its time in the next Render.
    void AddEvent(const ControlEvent& event) { m_events.AddEvent(&event); }
    // Renders count samples (<= block size) into out, applying every queued event at its offset.
    void Render(float* out, int32_t count);
    void SetSampleRate(int32_t rate);
    void SetBlockSize(int32_t count);

private:
    void Apply(const ControlEvent& event);
    void RenderStretch(float* out, int32_t offset, int32_t count);

    CControlBuffer m_events;
    AlignedBlock m_a;
    AlignedBlock m_b;
    COscillator m_oscillator;
    CFilter m_filter;
    CExpAmp m_amp;
    CPercEnvelope m_pitchEnvelope;
    CPercEnvelope m_ampEnvelope;
    float m_notePitch = 0.0f; // octave pitch of the last note
};

class CKick : public CMachine {
public:
    // Its own panel, made by the panel factory of this module (none headless).
    WindowHandle CreateGUI(WindowHandle parent) override {
        return machine_panels::Create(this, "QX Stomp", parent);
    }
    static constexpr int32_t kParameterCount = 7;

    explicit CKick(CVeskHost* host);

    void Delete() override { delete this; }
    void Process() override;
    float GetParameter(int32_t index) override;
    void SetParameter(int32_t index, float value) override;
    void GetParameterName(int32_t index, char* text) override;
    void FormatParameter(int32_t index, float value, char* text) override;
    void SetSampleRate(int32_t rate) override;
    void SetBufferSize(int32_t frames) override;
    bool IsGenerator() override { return true; }

private:
    float m_values[kParameterCount] = {};
    int32_t m_sampleRate;
    int32_t m_blockSize;
    std::unique_ptr<CKickVoice> m_voice;
    int32_t m_eventTime = 0; // offset given to parameter changes while a parameter event is applied
};

class CKickInfo : public CSimpleMachineInfo<CKick> {
public:
    explicit CKickInfo(CVeskHost* host) : CSimpleMachineInfo<CKick>(host, "QX Stomp", "VeskPlug::QX Stomp") {}
};
