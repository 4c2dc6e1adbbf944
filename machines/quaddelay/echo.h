// QX QuadDelay (CEcho): four echo lines side by side on one stereo input, summed. Each line has a
// delay time (10 ms .. 1 s), feedback, a band-pass inside the feedback loop, and wet and dry levels.
// Delay-time changes glide (SmoothToward) instead of jumping.
//
// Threads: every operation runs under the machine lock the host takes; Process on the worker thread.
#pragma once

#include "machine_interface/machine.h"
#include "machine_interface/panel_factory.h"
#include "machines/dsp/dsp.h"

#include <memory>

// One channel of one echo line: a one-second ring with an interpolated read tap, the feedback sum
// band-passed before it is written back and sent out.
class CFilteredDelayLine {
public:
    // A ring of max(1, trunc(sampleRate · lengthSeconds)) samples, zeroed.
    CFilteredDelayLine(int32_t sampleRate, float lengthSeconds, float feedback);

    // Seconds, clamped to 0..1 of the ring; the effective delay is 1 + (N − 1)·d samples.
    void SetDelayTime(float seconds);
    void SetFeedback(float gain) { m_feedback = gain; }
    // Centre frequency value F: the centre is 440·2^(F − 5)·12 Hz (times the modulation factor).
    void SetFilterFrequency(float value);
    // Hz.
    void SetBandwidth(float hz);
    // y = band-pass(x + feedback · tap), written back into the ring. modulation[j] multiplies the
    // filter centre; 1 leaves it where it is.
    void Process(const float* in, float* out, const float* modulation, int32_t count);
    // Both channels of one echo line at once: the same as left.Process then right.Process when the
    // two lines share their settings and position (as a line's two channels always do); otherwise
    // it runs them one after the other. The read position and coefficients are worked out once.
    static void ProcessPair(CFilteredDelayLine& left, CFilteredDelayLine& right, const float* inLeft,
                            const float* inRight, float* outLeft, float* outRight, const float* modulation,
                            int32_t count);

    // Four lines, both channels each, side by side: the same samples as ProcessPair for each
    // line in turn (lines[k][0] left, lines[k][1] right, out likewise), with the eight filters
    // stepping together. It works in pieces of kPiece samples; a piece where the modulation moves,
    // a line's two channels differ, or a read would reach samples written in the same piece runs
    // line by line instead.
    static constexpr int32_t kPiece = 64;
    static void ProcessFour(CFilteredDelayLine* const (&lines)[4][2], const float* inLeft, const float* inRight,
                            float* const (&out)[4][2], const float* modulation, int32_t count);

    int32_t Length() const { return m_length; }
    float DelaySamples() const { return static_cast<float>(m_length) - m_target; }

private:
    void UpdateCoefficients(float modulation);
    // ProcessFour's feedback sums of one settled line (read offset at its target) into lane `lane`
    // of sums (left) and lane + 4 (right), four samples at a time; returns how many it did.
    static int32_t SettledSums(const CFilteredDelayLine& left, const CFilteredDelayLine& right, const float* inL,
                               const float* inR, int32_t n, float (*sums)[8], int32_t lane);

    int32_t m_sampleRate;
    int32_t m_length;
    std::unique_ptr<float[]> m_buffer;
    int32_t m_write = 0;
    float m_feedback;
    float m_target = 0.0f;
    double m_current = 0.0; // read offset, gliding toward m_target; double so it arrives exactly
    float m_frequency = 0.0f;
    float m_bandwidth = 10.0f;
    float m_b0 = 0, m_b1 = 0, m_b2 = 0, m_a1 = 0, m_a2 = 0;
    float m_x1 = 0, m_x2 = 0, m_y1 = 0, m_y2 = 0;
    float m_coefficientsFor = -1.0f; // modulation factor the coefficients were made for; < 0: stale
    // Samples since the last one that was not +0 went into the ring; once it reaches the ring's
    // length with the filter at rest, a silent block leaves everything at +0 but the read glide.
    int64_t m_quietRun;

    bool SharesStateWith(const CFilteredDelayLine& other) const;
    bool AtRest() const;
    // Advances the glide and the write position over count samples of +0 in and +0 out.
    void SkipSilence(float* out, int32_t count);
    void NoteWritten(const float* out, int32_t count);
};

class CEcho : public CMachine {
public:
    // Its own panel, made by the panel factory of this module (none headless).
    WindowHandle CreateGUI(WindowHandle parent) override {
        return machine_panels::Create(this, "QX QuadDelay", parent);
    }
    static constexpr int32_t kLineCount = 4;
    static constexpr int32_t kParameterCount = 32;

    explicit CEcho(CVeskHost* host);

    void Delete() override { delete this; }
    void Process() override;
    float GetParameter(int32_t index) override;
    void SetParameter(int32_t index, float value) override;
    void GetParameterName(int32_t index, char* text) override;
    void FormatParameter(int32_t index, float value, char* text) override;
    void SetSampleRate(int32_t rate) override;
    void SetBufferSize(int32_t frames) override;
    bool IsGenerator() override { return false; }

    const CFilteredDelayLine& DelayLine(int32_t line, int32_t channel) const {
        return *m_lines[line].delay[channel];
    }

private:
    struct EchoLine {
        std::unique_ptr<CFilteredDelayLine> delay[2];
        std::unique_ptr<COscillator> lfo;
    };
    void MakeDelayLines(int32_t line);
    void ApplyToLine(int32_t index, float value);

    float m_values[kParameterCount];
    int32_t m_blockSize;
    int32_t m_sampleRate;
    AlignedBlock m_scratch[kLineCount][2]; // each line's output, left and right
    AlignedBlock m_modulation; // per-sample filter modulation factors (all 1)
    EchoLine m_lines[kLineCount];
};

class CEchoInfo : public CSimpleMachineInfo<CEcho> {
public:
    explicit CEchoInfo(CVeskHost* host)
        : CSimpleMachineInfo<CEcho>(host, "QX QuadDelay", "VeskPlug::QX QuadDelay") {}
};
