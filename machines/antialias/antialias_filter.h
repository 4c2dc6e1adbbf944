// QX AntiAlias (CAntiAliasFilter): a stereo minimum-phase low-pass FIR, one of five designed for
// 2x .. 32x oversampling. The filter runs as if the signal were zero-stuffed by the factor and
// decimated again: each output is gain · Σj h[j·M] · in[i − j].
//
// Threads: every operation runs under the machine lock the host takes; Process on the rendering
// thread.
#pragma once

#include "machine_interface/machine.h"
#include "machine_interface/panel_factory.h"

#include <cstdint>
#include <memory>
#include <vector>

// A FIR with one set of coefficients for both channels. Of a zero-stuffed input only every
// step-th history entry is a real sample, so the filter keeps the coefficients h[0], h[step],
// h[2·step], … and a history of real samples alone: y[n] = gain · Σj h[j·step] · x[n − j].
class CStereoFIR {
public:
    // Samples rendered per pass; the history holds the last taps' worth before them.
    static constexpr int32_t kChunk = 64;

    CStereoFIR(int32_t taps, std::vector<float> coefficients);

    // Gain = 1 / |h[0] + h[step] + h[2·step] + …| (1 when that sum is 0): unity at DC for the taps
    // a filter fed one real sample per step uses. Also picks those taps. Not on the audio thread
    // (it sizes the history).
    void SetGainFromPhase(int32_t step);
    // Sets out[i] = gain · Σj h[j·step] · in[i − j] for count samples of both channels, the
    // history carrying on from the previous call. Each sum runs from the newest sample to the
    // oldest; the samples of a pass are summed side by side, tap by tap, over one contiguous run
    // of history, which the compiler turns into vector code.
    void Process(const float* inLeft, const float* inRight, float* outLeft, float* outRight, int32_t count);

    int32_t TapCount() const { return m_taps; }
    float Gain() const { return m_gain; }

private:
    int32_t m_taps;
    std::vector<float> m_coefficients;
    std::vector<float> m_phase; // h[0], h[step], h[2·step], …
    // Per channel: the last m_phase.size() − 1 real samples, oldest first, then room for a pass.
    std::vector<float> m_history[2];
    int32_t m_step = 1;
    float m_gain = 1.0f;
};

// What an open AntiAlias panel offers the machine: moving its knob when the parameter changes (any
// thread, machine locked), and closing when the machine goes or makes a new panel (UI thread).
class CAntiAliasPanelLink {
public:
    virtual ~CAntiAliasPanelLink() = default;
    virtual void MoveKnob(float value) = 0;
    virtual void ClosePanel() = 0;
};

class CAntiAliasFilter : public CMachine {
public:
    // Its own panel, made by the panel factory of this module (none headless).
    WindowHandle CreateGUI(WindowHandle parent) override {
        return machine_panels::Create(this, "QX AntiAlias", parent);
    }
    static constexpr int32_t kSettings = 5;

    explicit CAntiAliasFilter(CVeskHost* host);
    ~CAntiAliasFilter() override;

    void Delete() override { delete this; }
    void Process() override;
    float GetParameter(int32_t index) override;
    void SetParameter(int32_t index, float value) override;
    void GetParameterName(int32_t index, char* text) override;
    void FormatParameter(int32_t index, float value, char* text) override;
    void SetSampleRate(int32_t rate) override { m_sampleRate = rate; }
    void SetBufferSize(int32_t frames) override { m_blockSize = frames; }
    bool IsGenerator() override { return false; }
    // The panel background's size (antialias_panel_layout.h).
    bool GetGUIRect(int16_t* left, int16_t* top, int16_t* right, int16_t* bottom) override;

    // The open panel (null when closed); the panel registers itself and is not owned.
    void SetPanelLink(CAntiAliasPanelLink* link) { m_panel = link; }
    CAntiAliasPanelLink* PanelLink() const { return m_panel; }

    // Setting 0..4 for a parameter value (trunc(4x)); the factor is 2^(setting + 1).
    static int32_t SettingFor(float value);
    const CStereoFIR& Filter(int32_t setting) const { return *m_filters[setting]; }

private:
    float m_oversampling = 0.0f;
    int32_t m_sampleRate;
    int32_t m_blockSize;
    std::unique_ptr<CStereoFIR> m_filters[kSettings];
    CAntiAliasPanelLink* m_panel = nullptr;
};

class CAntiAliasFilterInfo : public CMachineInfo {
public:
    explicit CAntiAliasFilterInfo(CVeskHost* host)
        : CMachineInfo("QX AntiAlias", "VeskPlug::QX AntiAlias"), m_host(host) {}
    void Delete() override { delete this; }
    CMachine* CreateMachine() override { return new CAntiAliasFilter(m_host); }

    CVeskHost* m_host;
};
