// CSharedTables: the wave and step tables every machine of the library reads. Built once (the
// library context builds it when the library is loaded; SharedTables() builds it on first use
// otherwise), never changed afterwards, read from any thread without locks.
#pragma once

#include "machines/dsp/step_table.h"
#include "machines/dsp/wave_table.h"

#include <memory>

class CSharedTables {
public:
    static constexpr int32_t kWaveLength = 8192;

    CSharedTables();

    // One period each, value i at phase i/8192.
    CWaveTable sine;     // sin(2πx)
    CWaveTable cosine;   // cos(2πx)
    CWaveTable triangle; // 0 → 1 at 0.25 → 0 at 0.5 → −1 at 0.75 → 0
    CWaveTable saw;      // 1 − 2x (falling)
    CWaveTable square;   // +1 below 0.5, −1 from 0.5

    // Minimum-phase band-limited step, 32 zero crossings at 64 points per sample (4097 values).
    std::unique_ptr<CStepTable> edge;
    // Minimum-phase band-limited impulse, 8 zero crossings at 16 points per sample.
    std::unique_ptr<CStepTable> impulse;
    // The integral of the edge (a ramp), for the TriSquare waveform.
    std::unique_ptr<CStepTable> integratedEdge;
};

// The library's tables, built on the first call (thread-safe).
const CSharedTables& SharedTables();
