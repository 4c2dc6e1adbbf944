// COscillator: a table oscillator with a band-limited mode, used for voice oscillators and LFOs.
//
// Band-limited Render makes Saw, Square, TriSquare and Impulse from a naive waveform plus edge
// corrections read from a step table (minimum-phase BLEP): every discontinuity writes the
// difference between the ideal band-limited edge and the naive jump into correction cells that
// the following samples add. The other Render modes read the wave table directly.
//
// Units: frequency in Hz, pitch in octave pitch (5.0 = 440 Hz), phase 0..1. Built on the
// user-interface thread, rendered on the owning machine's worker thread. Never allocates while
// rendering.
#pragma once

#include "machines/dsp/random_state.h"
#include "machines/dsp/step_table.h"
#include "machines/dsp/wave_table.h"

#include <cstdint>
#include <memory>

class COscillator {
public:
    enum Waveform : int32_t { kNone = 0, kTriSquare = 1, kSaw = 2, kSquare = 3, kImpulse = 4 };
    static constexpr int32_t kPitchInterval = 4; // samples between frequency updates from a pitch input

    // waveTable and the edge tables are not owned and must outlive the oscillator (normally the
    // shared tables). edge may be null for an oscillator that never renders band-limited.
    COscillator(int32_t sampleRate, const CWaveTable* waveTable, float frequency,
                const CStepTable* edge = nullptr, const CStepTable* secondEdge = nullptr);

    void SetSampleRate(int32_t rate) {
        m_sampleRate = rate > 0 ? rate : 1;
        m_pitchCountdown = 0;
    }
    void SetWaveTable(const CWaveTable* table) { m_waveTable = table; }
    // Hz; the base pitch follows.
    void SetFrequency(float hz);
    // Octave pitch; the frequency follows.
    void SetPitch(float pitch);
    // Band-limited waveform (Waveform); a change resets the phase to 0.
    void SetWaveform(int32_t type);
    // Reseeds the generator behind RenderSampleHold / RenderSampleGlide.
    void SetRandomSeed(uint32_t seed) { m_random.state = seed; }

    float Frequency() const { return m_frequency; }
    float BasePitch() const { return m_basePitch; }
    float Phase() const { return m_phase; }
    int32_t Waveform() const { return m_waveform; }

    // The wave table at the running phase, fixed frequency.
    void RenderWave(float* out, int32_t count);
    // Moves the phase on by count samples at the fixed frequency without rendering (an LFO nobody
    // listens to keeps its place in time). The phase is taken from the run of Advance calls as a
    // whole, so however the run is cut into calls the phase comes out the same.
    void Advance(int32_t count);
    // A random value in −1..1 held for one period; a new one from the sample after each wrap.
    void RenderSampleHold(float* out, int32_t count);
    // Linear slides between random values, one per period.
    void RenderSampleGlide(float* out, int32_t count);
    // The wave table at 440·2^(pitch[i] + base pitch − 5) Hz, per sample.
    void RenderPitched(const float* pitch, float* out, int32_t count);
    // g·second(phase) + (1 − g)·table(phase) with g = blendAmount (· blend[i] when given); pitch
    // (optional) is added to the base pitch per sample.
    void RenderBlend(const float* pitch, float* out, int32_t count, const CWaveTable* second,
                     const float* blend, float blendAmount);
    // Band-limited render of the current Waveform. width[i] (optional) in −1..1 sets the pulse
    // width (w + 1)/2; sync[i] (optional) exactly 0 restarts the phase; pitch[i] (optional) is added
    // to the base pitch, re-read every 4 samples counted across calls (and at the first sample after
    // SetPitch/SetFrequency), the frequency kept within 1 Hz .. rate/4; syncOut[i] (optional) is 0
    // on samples where the phase wrapped, else 1. Splitting a render into calls changes nothing.
    void Render(const float* width, const float* sync, const float* pitch, float* out, float* syncOut,
                int32_t count);

private:
    // The phase increment of a frequency kept within 1 Hz .. a quarter of the sample rate.
    float ClampedIncrement(float hz) const {
        const float rate = static_cast<float>(m_sampleRate);
        if (hz < 1.0f) hz = 1.0f;
        if (hz > rate * 0.25f) hz = rate * 0.25f;
        return hz / rate;
    }
    // Render's pulse waves without inputs: the phase moves on in closed form from edge to edge.
    void RenderFixedPulse(float* out, int32_t count);
    // Adds the corrections of the chunk's first n samples into out and moves the later ones to the
    // front of the ring.
    void JoinCorrections(float* out, int32_t n, bool impulse);
    // Adds an edge's corrections to the cells from chunk sample at on.
    void InsertEdge(int32_t at, float fraction, float height, bool secondTable);

    int32_t m_sampleRate;
    int32_t m_waveform = kNone;
    float m_phase = 0.0f;
    // The fixed pulse's phase at full precision: the phase after its last edge plus whole samples
    // since, at m_fineIncrement per sample. Valid while m_phase is still what that render left
    // (no other render or reset moved it), so splitting a render into calls changes nothing.
    double m_fineBase = 0.0;
    double m_fineElapsed = 0.0;
    double m_fineIncrement = -1.0;
    float m_fineExit = -1.0f;
    // Advance's run: the phase where it began and the samples since, valid while m_phase is what
    // the last Advance left at the same frequency.
    double m_advanceBase = 0.0;
    double m_advanceElapsed = 0.0;
    float m_advanceExit = -1.0f;
    float m_advanceFrequency = 0.0f;
    // Render's pitch input: samples until it is read again, and the increment read last.
    int32_t m_pitchCountdown = 0;
    float m_pitchIncrement = 0.0f;
    float m_pulse = 0.0f;
    float m_frequency = 0.0f;
    float m_basePitch = 0.0f;
    const CWaveTable* m_waveTable;
    const CStepTable* m_edge;
    const CStepTable* m_secondEdge;
    static constexpr int32_t kChunk = 64; // samples rendered before their edge corrections join
    // Edge corrections still to be added, one cell per sample from the chunk's first: kChunk cells
    // plus 2·Z + 1 for the edges near its end (0 where no edge is pending).
    std::unique_ptr<float[]> m_ring;
    int32_t m_ringSize = 0; // 2·Z + 1, 0 without an edge table
    float m_held = 0.0f;
    float m_next = 0.0f;
    RandomState m_random;
};
