// QX AntiAlias (CAntiAliasFilter): a stereo minimum-phase low-pass FIR, one of five designed for
// 2x .. 32x oversampling. The filter runs as if the signal were zero-stuffed by the factor and
// decimated again: each output is gain · Σj h[j·M] · in[i − j].
//
// Threads: every operation runs under the machine lock the host takes; Process on the worker thread.
#pragma once

#include "machine_interface/machine.h"
#include "machine_interface/panel_factory.h"

#include <cstdint>
#include <memory>
#include <vector>

// A FIR with one set of coefficients for both channels and a history ring per channel.
class CStereoFIR {
public:
    CStereoFIR(int32_t taps, std::vector<float> coefficients);

    // Gain = 1 / |h[0] + h[step] + h[2·step] + …| (1 when that sum is 0): unity at DC for the taps
    // a filter fed one real sample per step uses. Also sets the stride of the sums in Push.
    void SetGainFromPhase(int32_t step);
    // Stores the inputs and adds gain · Σk h[k]·history[newest − k] to the outputs. Only every
    // step-th history entry holds a real sample (the others are PushZero's zeros), so the sum
    // walks those taps alone.
    void Push(float inLeft, float inRight, float* outLeft, float* outRight);
    // Stores a zero in both rings.
    void PushZero();

    int32_t TapCount() const { return m_taps; }
    float Gain() const { return m_gain; }

private:
    int32_t m_taps;
    std::vector<float> m_coefficients;
    std::vector<float> m_history[2];
    int32_t m_write = 0;
    int32_t m_step = 1;
    float m_gain = 1.0f;
};

class CAntiAliasFilter : public CMachine {
public:
    // Its own panel, made by the panel factory of this module (none headless).
    WindowHandle CreateGUI(WindowHandle parent) override {
        return machine_panels::Create(this, "QX AntiAlias", parent);
    }
    static constexpr int32_t kSettings = 5;

    explicit CAntiAliasFilter(CVeskHost* host);

    void Delete() override { delete this; }
    void Process() override;
    float GetParameter(int32_t index) override;
    void SetParameter(int32_t index, float value) override;
    void GetParameterName(int32_t index, char* text) override;
    void FormatParameter(int32_t index, float value, char* text) override;
    void SetSampleRate(int32_t rate) override { m_sampleRate = rate; }
    void SetBufferSize(int32_t frames) override { m_blockSize = frames; }
    bool IsGenerator() override { return false; }

    // Setting 0..4 for a parameter value (trunc(4x)); the factor is 2^(setting + 1).
    static int32_t SettingFor(float value);
    const CStereoFIR& Filter(int32_t setting) const { return *m_filters[setting]; }

private:
    float m_oversampling = 0.0f;
    int32_t m_sampleRate;
    int32_t m_blockSize;
    std::unique_ptr<CStereoFIR> m_filters[kSettings];
};

class CAntiAliasFilterInfo : public CMachineInfo {
public:
    explicit CAntiAliasFilterInfo(CVeskHost* host)
        : CMachineInfo("QX AntiAlias", "VeskPlug::QX AntiAlias"), m_host(host) {}
    void Delete() override { delete this; }
    CMachine* CreateMachine() override { return new CAntiAliasFilter(m_host); }

    CVeskHost* m_host;
};
