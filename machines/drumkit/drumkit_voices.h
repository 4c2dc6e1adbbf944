// The eleven drum sounds of QX DGenR8. Each voice has its own event queue: the machine posts
// triggers and parameter changes (its level and balance too) into it, and Render applies them at
// their sample offsets, so a sound starts exactly on its trigger's sample and a knob moves on its
// event's sample. An idle voice renders nothing and costs nothing.
//
// A voice decides whether it went idle, and whether a finished branch (a click, a snap) may rest,
// only at settle points: every kSettleInterval samples of the machine's own sample count and at
// every event. Those points do not move with the buffer size, so neither does the sound.
//
// Threads: built on the user-interface thread; events posted and buffers rendered by the owning
// CDrumKit under its machine lock.
#pragma once

#include "machine_interface/control_buffer.h"
#include "machines/dsp/dsp.h"

#include <cstdint>
#include <memory>

class CDrumKitVoice {
public:
    static constexpr int32_t kMaxBlocks = 6;
    static constexpr int32_t kSettleInterval = 256;

    CDrumKitVoice(int32_t sampleRate, int32_t blockSize, int32_t blockCount);
    virtual ~CDrumKitVoice() = default;
    CDrumKitVoice(const CDrumKitVoice&) = delete;
    CDrumKitVoice& operator=(const CDrumKitVoice&) = delete;

    // Kinds 1 and 3 trigger the voice; kind 5 applies the parameter when it is one of the voice's
    // (its level and balance included).
    virtual void HandleEvent(const ControlEvent& event);
    // Adds the voice's samples start .. start + count − 1 into left and right, scaled by the
    // side gains. noise is the machine's noise block (the voice reads the same range of it).
    virtual void RenderStretch(int32_t start, int32_t count, float* left, float* right, const float* noise,
                               float leftGain, float rightGain) = 0;
    virtual void SetSampleRate(int32_t rate) = 0;

    // Queues an event for the next Render.
    void AddEvent(const ControlEvent& event) { m_events.AddEvent(&event); }
    // The machine parameters that set this voice's output level and balance (0..1 each).
    void SetOutputParameters(int32_t levelIndex, int32_t balanceIndex);
    // Adds one buffer of count samples (<= block size) into left and right, applying queued events
    // at their offsets. position: the machine's sample count at the buffer's first sample.
    void Render(float* left, float* right, const float* noise, int32_t count, int64_t position);
    // Reallocates the scratch blocks.
    void SetBufferSize(int32_t count);
    bool IsIdle() const { return m_idle; }

protected:
    virtual void Trigger() = 0;
    virtual void ApplyParameter(int32_t /*index*/, float /*value*/) {}
    // At a settle point: goes idle when the sound has ended, lets finished branches rest.
    virtual void Settle() = 0;

    float* Block(int32_t i) { return m_blocks[i].Data(); }
    // Limits every value of a block to −limit .. +limit.
    static void Clamp(float* block, int32_t count, float limit);
    // left/right[start + i] += gain · y[i] with fixed gains.
    static void AddOut(const float* y, int32_t start, int32_t count, float* left, float* right,
                       float leftGain, float rightGain);
    // As AddOut, the gains gliding toward their targets sample by sample (jumping on the first
    // rendered stretch).
    void AddOutSmoothed(const float* y, int32_t start, int32_t count, float* left, float* right,
                        float leftGain, float rightGain);

    CControlBuffer m_events;
    int32_t m_levelIndex = -1, m_balanceIndex = -1;
    float m_level = 1.0f, m_balance = 0.5f;
    float m_leftTarget = 1.0f, m_rightTarget = 1.0f; // side gains from level and balance
    AlignedBlock m_blocks[kMaxBlocks];
    int32_t m_blockCount;
    int32_t m_blockSize;
    int32_t m_sampleRate;
    bool m_idle = true;
    bool m_firstRender = true;
    float m_leftGain = 0.0f;
    float m_rightGain = 0.0f;
};

class CBassDrum : public CDrumKitVoice {
public:
    CBassDrum(int32_t sampleRate, int32_t blockSize);
    void RenderStretch(int32_t start, int32_t count, float* left, float* right, const float* noise,
                       float leftGain, float rightGain) override;
    void SetSampleRate(int32_t rate) override;

protected:
    void Trigger() override;
    void ApplyParameter(int32_t index, float value) override;
    void Settle() override;

private:
    CPercEnvelope m_pitch, m_amp, m_click;
    COscillator m_osc;
    CFilter m_f1, m_f2, m_f3;
    CExpAmp m_vca{CExpAmp::kExponential, 1.0f};
    float m_basePitch;
    float m_range = 0.0f;
    bool m_clickPending = false;
    bool m_clickOn = false; // the click branch runs (from its trigger to a settle point after it)
};

class CSnareDrum : public CDrumKitVoice {
public:
    CSnareDrum(int32_t sampleRate, int32_t blockSize);
    void RenderStretch(int32_t start, int32_t count, float* left, float* right, const float* noise,
                       float leftGain, float rightGain) override;
    void SetSampleRate(int32_t rate) override;

protected:
    void Trigger() override;
    void ApplyParameter(int32_t index, float value) override;
    void Settle() override;

private:
    CPercEnvelope m_tone1, m_tone2, m_bend, m_snap, m_noise;
    COscillator m_osc1, m_osc2;
    CFilter m_low, m_high;
    CExpAmp m_vca{CExpAmp::kExponential, 1.0f};
    float m_noiseLevel = 0.0f;
    float m_smoothedNoise = 0.0f;
    bool m_snapOn = false; // the snap branch runs (from its trigger to a settle point after it)
};

class CTomDrum : public CDrumKitVoice {
public:
    // variant 0 low, 1 mid, 2 high.
    CTomDrum(int32_t sampleRate, int32_t blockSize, int32_t variant);
    void RenderStretch(int32_t start, int32_t count, float* left, float* right, const float* noise,
                       float leftGain, float rightGain) override;
    void SetSampleRate(int32_t rate) override;

protected:
    void Trigger() override;
    void ApplyParameter(int32_t index, float value) override;
    void Settle() override;

private:
    void SetTune(float x);

    int32_t m_variant;
    CPercEnvelope m_amp, m_click;
    COscillator m_a, m_b, m_c;
    CFilter m_filter;
    CExpAmp m_vca{CExpAmp::kExponential, 1.0f};
    bool m_clickOn = false; // the click branch runs (from its trigger to a settle point after it)
};

// Noise through a low-pass, then a band-pass whose centre follows a second envelope, shaped by
// the amplitude envelope: the rim shot (one falling sweep) and the clap (four quick bursts).
class CFilteredNoiseVoice : public CDrumKitVoice {
public:
    CFilteredNoiseVoice(int32_t sampleRate, int32_t blockSize, CPercEnvelope amp, CPercEnvelope centre,
                        CFilter lowPass, CFilter bandPass, float noiseGain, float centreDepth);
    void RenderStretch(int32_t start, int32_t count, float* left, float* right, const float* noise,
                       float leftGain, float rightGain) override;
    void SetSampleRate(int32_t rate) override;

protected:
    void Trigger() override;
    void Settle() override;

    CPercEnvelope m_amp, m_centre;

private:
    CFilter m_f1, m_f2;
    CExpAmp m_vca{CExpAmp::kExponential, 1.0f};
    float m_noiseGain;
    float m_centreDepth; // octaves the centre envelope moves the band-pass
};

class CRimShot : public CFilteredNoiseVoice {
public:
    CRimShot(int32_t sampleRate, int32_t blockSize);
};

class CClap : public CFilteredNoiseVoice {
public:
    CClap(int32_t sampleRate, int32_t blockSize);
};

// Closed (open = false) and open hi-hat: filtered noise under a short or long decay.
class CHiHat : public CDrumKitVoice {
public:
    CHiHat(int32_t sampleRate, int32_t blockSize, bool open);
    void RenderStretch(int32_t start, int32_t count, float* left, float* right, const float* noise,
                       float leftGain, float rightGain) override;
    void SetSampleRate(int32_t rate) override;

protected:
    void Trigger() override;
    void ApplyParameter(int32_t index, float value) override;
    void Settle() override;

private:
    bool m_open;
    CPercEnvelope m_amp;
    CFilter m_band, m_high;
    CExpAmp m_vca{CExpAmp::kExponential, 1.0f};
};

class CHiHatClosed : public CHiHat {
public:
    CHiHatClosed(int32_t sampleRate, int32_t blockSize) : CHiHat(sampleRate, blockSize, false) {}
};

class CHiHatOpen : public CHiHat {
public:
    CHiHatOpen(int32_t sampleRate, int32_t blockSize) : CHiHat(sampleRate, blockSize, true) {}
};

// Crash (ride = false) and ride cymbal: six band-limited squares at inharmonic frequencies summed
// into a metallic source, split into a band-passed attack and a high-passed body.
class CCymbal : public CDrumKitVoice {
public:
    static constexpr int32_t kOscillators = 6;

    CCymbal(int32_t sampleRate, int32_t blockSize, bool ride);
    void RenderStretch(int32_t start, int32_t count, float* left, float* right, const float* noise,
                       float leftGain, float rightGain) override;
    void SetSampleRate(int32_t rate) override;

protected:
    void Trigger() override;
    void ApplyParameter(int32_t index, float value) override;
    void Settle() override;

private:
    bool m_ride;
    CPercEnvelope m_attack, m_body, m_decay;
    CFilter m_band, m_high;
    std::unique_ptr<COscillator> m_oscillators[kOscillators];
    CExpAmp m_vca{CExpAmp::kExponential, 1.0f};
};

class CCrashCymbal : public CCymbal {
public:
    CCrashCymbal(int32_t sampleRate, int32_t blockSize) : CCymbal(sampleRate, blockSize, false) {}
};

class CRideCymbal : public CCymbal {
public:
    CRideCymbal(int32_t sampleRate, int32_t blockSize) : CCymbal(sampleRate, blockSize, true) {}
};
