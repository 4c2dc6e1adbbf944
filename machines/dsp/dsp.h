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
