// The eleven drum sounds of QX DGenR8. Each voice has its own event queue: the machine posts
// triggers and parameter changes into it, and Render applies them at their sample offsets, so a
// sound starts exactly on its trigger's sample. An idle voice renders nothing and costs nothing.
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

    CDrumKitVoice(int32_t sampleRate, int32_t blockSize, int32_t blockCount);
    virtual ~CDrumKitVoice() = default;
    CDrumKitVoice(const CDrumKitVoice&) = delete;
    CDrumKitVoice& operator=(const CDrumKitVoice&) = delete;

    // Kinds 1 and 3 trigger the voice; kind 5 applies the parameter when it is one of the voice's.
    virtual void HandleEvent(const ControlEvent& event);
    // Adds the voice's samples start .. start + count − 1 into left and right, scaled by the
    // side gains. noise is the machine's noise block (the voice reads the same range of it).
    virtual void RenderStretch(int32_t start, int32_t count, float* left, float* right, const float* noise,
                               float leftGain, float rightGain) = 0;
    virtual void SetSampleRate(int32_t rate) = 0;

    // Queues an event for the next Render.
    void AddEvent(const ControlEvent& event) { m_events.AddEvent(&event); }
    // Renders one buffer of count samples (<= block size), applying queued events at their offsets.
    void Render(float* left, float* right, const float* noise, int32_t count, float leftGain,
                float rightGain);
    // Reallocates the scratch blocks.
    void SetBufferSize(int32_t count);
    bool IsIdle() const { return m_idle; }

protected:
    virtual void Trigger() = 0;
    virtual void ApplyParameter(int32_t /*index*/, float /*value*/) {}

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

private:
    CPercEnvelope m_pitch, m_amp, m_click;
    COscillator m_osc;
    CFilter m_f1, m_f2, m_f3;
    CExpAmp m_vca{CExpAmp::kExponential, 1.0f};
    float m_basePitch;
    float m_range = 0.0f;
    bool m_clickPending = false;
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

private:
    CPercEnvelope m_tone1, m_tone2, m_bend, m_snap, m_noise;
    COscillator m_osc1, m_osc2;
    CFilter m_low, m_high;
    CExpAmp m_vca{CExpAmp::kExponential, 1.0f};
    float m_noiseLevel = 0.0f;
    float m_smoothedNoise = 0.0f;
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

private:
    void SetTune(float x);

    int32_t m_variant;
    CPercEnvelope m_amp, m_click;
    COscillator m_a, m_b, m_c;
    CFilter m_filter;
    CExpAmp m_vca{CExpAmp::kExponential, 1.0f};
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
