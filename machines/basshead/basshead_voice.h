// BassHeadVoice: the sound of QX BassHead. Two band-limited oscillators (pulse width, hard sync,
// ring modulation), noise, drive, a formant filter, two filters in one of three routings, a
// waveshaper, two curved ADSR envelopes, a glide and three LFOs with three sends each.
//
// The machine posts note and parameter events into the voice's queue; Render applies each at its
// own sample. Rendered on the machine's worker thread under the machine lock; never allocates
// there (SetBlockSize reallocates, from the host's buffer-size change).
#pragma once

#include "machine_interface/control_buffer.h"
#include "machines/basshead/basshead_parameters.h"
#include "machines/dsp/dsp.h"

#include <cstdint>

class CVeskHost;

class BassHeadVoice {
public:
    // Applies every parameter default itself.
    BassHeadVoice(CVeskHost* host, int32_t sampleRate, int32_t blockSize);

    void AddEvent(const ControlEvent& event) { m_events.AddEvent(&event); }
    // Adds gain · the voice into left and right for count samples (<= block size), applying every
    // queued event at its time.
    void Render(float* left, float* right, float gain, int32_t count);
    void SetSampleRate(int32_t rate);
    void SetBlockSize(int32_t count);
    // Reseeds the noise and the random LFOs.
    void SetNoiseSeed(uint32_t seed);

    int32_t m_note = -1; // the note the voice plays, −1 for none (note allocation reads it)

private:
    static constexpr int32_t kLfoCount = 3;
    static constexpr int32_t kSendCount = 3;

    void Apply(const ControlEvent& event);
    void ApplyParameter(int32_t index, float x);
    void NoteOn(const ControlEvent& event);
    void RenderStretch(float* left, float* right, float gain, int32_t offset, int32_t count);
    // out = Σn amount(n, destination)·LFO n; false (out untouched) when no send reaches it.
    bool SumSends(int32_t destination, float* out, int32_t count, bool add) const;
    // Moves LFO n's fade-in on by count samples, scaling l when given, step by step.
    void Fade(int32_t n, float* l, int32_t count);
    bool Routed(int32_t destination) const;

    CVeskHost* m_host;
    CControlBuffer m_events;
    int32_t m_sampleRate;
    int32_t m_blockSize = 0;

    // Scratch blocks (16-byte aligned, block-size floats), several reused along the chain.
    AlignedBlock m_lfoOut[kLfoCount];
    AlignedBlock m_pitchOrMixA;
    AlignedBlock m_syncOrMixB;
    AlignedBlock m_osc1OrCutoff;
    AlignedBlock m_osc2Out;
    AlignedBlock m_filterEnvelopeOut;
    AlignedBlock m_widthOrResonanceOrAmp;
    AlignedBlock m_glideOut;
    AlignedBlock m_formantOut;

    CGlide m_glide;
    CExpAmp m_amp;
    COscillator m_osc1;
    COscillator m_osc2;
    CADSREnvelope m_ampEnvelope;
    CADSREnvelope m_filterEnvelope;
    CFilter m_filter1;
    CFilter m_filter2;
    CFormantFilter m_formant;
    COscillator m_lfo[kLfoCount];
    RandomState m_noise;

    // Working values of the parameters.
    float m_velocity = 0.0f;
    float m_noteFrequency = 440.0f;
    float m_width1 = 0.5f, m_width2 = 0.5f;
    int32_t m_semitone1 = 0, m_semitone2 = 0;
    float m_detune2 = 0.0f;
    float m_envMod1 = 0.0f, m_envMod2 = 0.0f;
    bool m_sync = false;
    float m_cutoff[2] = {0.0f, 0.0f};
    float m_keyFollow[2] = {0.6f, 0.6f};
    float m_filterEnvDepth[2] = {0.6f, 0.6f};
    int32_t m_routing = basshead::kSerial;
    float m_formantMix = 0.0f;
    float m_balance = 0.5f;
    float m_oscGain = 1.0f;
    float m_noiseGain = 0.0f;
    int32_t m_saturation = 0;
    float m_drive = 1.0f;
    float m_ringGain = 0.0f;
    int32_t m_lfoShape[kLfoCount] = {};
    float m_fadeTime[kLfoCount] = {};
    float m_fadeLevel[kLfoCount] = {1.0f, 1.0f, 1.0f};
    int32_t m_sendDestination[kLfoCount][kSendCount] = {};
    float m_sendAmount[kLfoCount][kSendCount] = {};
    // amount[n][d]: the sum of LFO n's send amounts to destination d, kept up to date by the setters.
    float m_route[kLfoCount][basshead::kDestinationCount] = {};
    bool m_lfoRouted[kLfoCount] = {}; // some send of LFO n reaches a destination with an amount
};
