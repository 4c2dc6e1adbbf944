// CFormantFilter: four band-pass filters (12 dB resonance, output gain 16) tuned to the formants of
// one of 45 vowels; changing the vowel glides the four centres at 0.5 s per octave (the first vowel
// is taken at once). Process sums the four bands.
#pragma once

#include "machines/dsp/block_ops.h"
#include "machines/dsp/filter.h"
#include "machines/dsp/glide.h"

#include <cstdint>
#include <memory>

constexpr int32_t kVowelCount = 45;

struct Vowel {
    const char* name;  // display name, e.g. "Male IY"
    float formants[4]; // Hz, bands 1..4
};

// The vowel table, index 0..44.
const Vowel& VowelAt(int32_t index);

class CFormantFilter {
public:
    CFormantFilter(int32_t sampleRate, int32_t blockSize, int32_t vowel);

    // 0..44 (clamped). Setting the current vowel again changes nothing.
    void SetVowel(int32_t index);
    // Reallocates the two scratch blocks (not while rendering).
    void SetBlockSize(int32_t count);
    void SetSampleRate(int32_t rate);
    // out = Σ bands(in); count must not exceed the block size.
    void Process(int32_t count, const float* in, float* out);

    int32_t VowelIndex() const { return m_vowel; }
    const CGlide& BandGlide(int32_t band) const { return *m_glides[band]; }

private:
    std::unique_ptr<CFilter> m_bands[4];
    std::unique_ptr<CGlide> m_glides[4];
    AlignedBlock m_scratchA;
    AlignedBlock m_scratchB;
    int32_t m_vowel = -1;
    int32_t m_sampleRate;
};
