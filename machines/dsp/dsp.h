// The DSP kit of the QX Stockrack machines. Every built-in instrument and effect is assembled from
// these blocks; include this header to get all of them.
//
// Conventions shared by every block:
// - Samples are 32-bit floats, processed one block (`count` samples) per call, at an integer
//   sample rate in Hz.
// - Pitches are octave pitches: p = log2(f / 440) + 5, so 5.0 is 440 Hz and a semitone is 1/12.
// - Decibels are 10·log10 of an amplitude (DbToGain / GainToDb).
// - Times are seconds unless a name says samples.
// - Threads: blocks are built on the user-interface thread (machine constructors) and then
//   rendered by the owning machine on its worker thread with the machine locked; they take no lock
//   of their own. CSharedTables is built once and only read afterwards, from any thread.
// - Nothing allocates while rendering; allocation happens in constructors, SetBufferSize and the
//   table builders.
// - Randomness on the audio path comes from a RandomState owned by the block or voice, seeded from
//   the process-wide generator when it is built, so renders do not depend on thread timing.
//
// The kit at a glance:
//   dsp_math.h       Pow2, FloorInt, OctavePitch/PitchFrequency, ChoiceIndex, EnvelopeTime (8x³ s,
//                    >= 0.01), CubicTime, DbToGain/GainToDb, SmoothToward, CurveFromParameter,
//                    CurveNormaliser, CurveValue/CurvePhase
//   fast_exp.h       FastExp2 (2^x by polynomial, scalar and four-wide DspVec4 forms with the same
//                    bits), LoadVec4/StoreVec4
//   block_ops.h      AddConstant, MixScaled (set / modulate / add), AlignedBlock (scratch blocks),
//                    SetDspProcessorFeatures
//   wave_table.h     CWaveTable (one period, Lookup(phase 0..1))
//   step_table.h     CStepTable (band-limited step or impulse for edge correction)
//   shared_tables.h  SharedTables(): sine, cosine, triangle, saw (falling), square; edge, impulse,
//                    integratedEdge
//   oscillator.h     COscillator: RenderWave, RenderPitched, RenderBlend, RenderSampleHold,
//                    RenderSampleGlide, band-limited Render (Saw, Square, TriSquare, Impulse)
//   adsr_envelope.h  CADSREnvelope (curved ADSR, retrigger from the current level)
//   perc_envelope.h  CPercEnvelope (delay, attack, hold, decay, repeats)
//   filter.h         CFilter (low/high/band-pass/band-reject, 12 or 24 dB/octave, cutoff in octave
//                    pitch, resonance in dB, per-sample cutoff and resonance inputs)
//   glide.h          CGlide (pitch slides; SetNote asks the host for the note's frequency)
//   formant_filter.h CFormantFilter (45 vowels, VowelAt)
//   exp_amp.h        CExpAmp (2^c − 1 or linear gain)
//   random_state.h   RandomState (15-bit generator owned by one voice or block)
//   transforms.h     Transform, BlackmanWindow, RealCepstrum, MinimumPhase, MinimumPhaseSinc
#pragma once

#include "machines/dsp/adsr_envelope.h"
#include "machines/dsp/block_ops.h"
#include "machines/dsp/dsp_math.h"
#include "machines/dsp/exp_amp.h"
#include "machines/dsp/filter.h"
#include "machines/dsp/formant_filter.h"
#include "machines/dsp/glide.h"
#include "machines/dsp/oscillator.h"
#include "machines/dsp/perc_envelope.h"
#include "machines/dsp/random_state.h"
#include "machines/dsp/shared_tables.h"
#include "machines/dsp/step_table.h"
#include "machines/dsp/transforms.h"
#include "machines/dsp/wave_table.h"
