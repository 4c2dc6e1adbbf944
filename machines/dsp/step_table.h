// CStepTable: a band-limited edge for the oscillators' edge correction. A step table rises from
// about 0 to exactly 1 (a minimum-phase band-limited step); an impulse table holds the band-limited
// impulse itself. Its wave table holds 2·zeroCrossings·pointsPerSample + 1 values; one sample of the
// signal spans pointsPerSample values.
#pragma once

#include "machines/dsp/wave_table.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class CStepTable {
public:
    // From a binary block: int32 zero crossings, int32 points per sample, int32 value count, then
    // that many float32 values, all little-endian. Null when the block is too short or inconsistent.
    static std::unique_ptr<CStepTable> FromBinary(const void* data, size_t size);
    // A minimum-phase windowed sinc (MinimumPhaseSinc); with keepImpulse it is stored as it is,
    // otherwise summed and normalised into a step that ends at exactly 1.
    static std::unique_ptr<CStepTable> Generate(int32_t zeroCrossings, int32_t pointsPerSample,
                                                bool keepImpulse);
    // The running sum of the source values divided by the final sum (ends at exactly 1).
    static std::unique_ptr<CStepTable> Integrated(const CStepTable& source);

    CStepTable(int32_t zeroCrossings, int32_t pointsPerSample, int32_t valueCount);

    int32_t ZeroCrossings() const { return m_zeroCrossings; }
    int32_t PointsPerSample() const { return m_pointsPerSample; }
    int32_t Count() const { return m_table.Count(); }
    const float* Values() const { return m_table.Values(); }
    float* Values() { return m_table.Values(); }
    const CWaveTable& Table() const { return m_table; }

    // The values j, j + P, j + 2P, … (P points per sample) side by side: the corrections an edge
    // makes to consecutive samples read one row instead of striding through the table. Rows
    // 0 … P, each SampleSpan() long; positions past the table hold 0. Built by the factories.
    const float* PhaseRow(int32_t j) const { return m_phaseRows.data() + static_cast<size_t>(j) * m_span; }
    // Samples one edge spans: ceil((Count − 1) / P).
    int32_t SampleSpan() const { return m_span; }

private:
    void BuildPhaseRows();

    int32_t m_zeroCrossings;
    int32_t m_pointsPerSample;
    CWaveTable m_table;
    int32_t m_span = 0;
    std::vector<float> m_phaseRows;
};
