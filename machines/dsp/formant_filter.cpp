#include "machines/dsp/formant_filter.h"

#include "machines/dsp/dsp_math.h"

#include <cstring>

namespace {

const Vowel kVowels[kVowelCount] = {
    {"Male IY", {136, 266, 2293, 2937}},    {"Male IH", {135, 392, 1993, 2568}},
    {"Male EH", {128, 526, 1854, 2481}},    {"Male AE", {125, 664, 1727, 2420}},
    {"Male AH", {129, 631, 1192, 2377}},    {"Male AA", {124, 718, 1090, 2442}},
    {"Male AO", {127, 568, 836, 2403}},     {"Male UH", {136, 437, 1023, 2245}},
    {"Male UW", {139, 307, 876, 2239}},     {"Male ER", {132, 489, 1360, 1709}},
    {"Female IY", {231, 310, 2783, 3312}},  {"Female IH", {232, 441, 2474, 3063}},
    {"Female EH", {220, 608, 2334, 2999}},  {"Female AE", {208, 863, 2049, 2832}},
    {"Female AH", {223, 758, 1409, 2768}},  {"Female AA", {212, 864, 1229, 2783}},
    {"Female AO", {216, 587, 915, 2736}},   {"Female UH", {234, 469, 1162, 2685}},
    {"Female UW", {235, 378, 961, 2666}},   {"Female ER", {219, 503, 1641, 1977}},
    {"Soprano A", {800, 1150, 2900, 3900}}, {"Soprano E", {350, 2000, 2800, 3600}},
    {"Soprano I", {270, 2140, 2950, 3900}}, {"Soprano O", {450, 800, 2830, 3800}},
    {"Soprano U", {325, 700, 2700, 3800}},  {"Alto A", {800, 1150, 2800, 3500}},
    {"Alto E", {400, 1600, 2700, 3300}},    {"Alto I", {350, 1700, 2700, 3700}},
    {"Alto O", {450, 800, 2830, 2500}},     {"Alto U", {325, 700, 2530, 3500}},
    {"Counter A", {660, 1120, 2750, 3000}}, {"Counter E", {440, 1800, 2700, 3000}},
    {"Counter I", {270, 1850, 2900, 3350}}, {"Counter O", {430, 820, 2700, 3000}},
    {"Counter U", {370, 630, 2750, 3000}},  {"Tenor A", {650, 1080, 2650, 2900}},
    {"Tenor E", {400, 1700, 2600, 3200}},   {"Tenor I", {290, 1870, 2800, 3250}},
    {"Tenor O", {400, 800, 2600, 2800}},    {"Tenor U", {350, 600, 2700, 2900}},
    {"Bass A", {600, 1040, 2250, 2450}},    {"Bass E", {400, 1620, 2400, 2800}},
    {"Bass I", {250, 1750, 2600, 3050}},    {"Bass O", {400, 750, 2400, 2600}},
    {"Bass U", {350, 600, 2400, 2675}},
};

} // namespace

const Vowel& VowelAt(int32_t index) {
    if (index < 0) index = 0;
    if (index >= kVowelCount) index = kVowelCount - 1;
    return kVowels[index];
}

CFormantFilter::CFormantFilter(int32_t sampleRate, int32_t blockSize, int32_t vowel)
    : m_sampleRate(sampleRate) {
    for (int32_t band = 0; band < 4; ++band) {
        m_bands[band] = std::make_unique<CFilter>(sampleRate, CFilter::kBandPass, false, 0.0f, 12.0f);
        m_bands[band]->SetOutputGain(16.0f);
        m_glides[band] = std::make_unique<CGlide>(sampleRate, 0.5f, 0.0f, 0.0f);
    }
    SetBlockSize(blockSize);
    SetVowel(vowel);
}

void CFormantFilter::SetVowel(int32_t index) {
    if (index < 0) index = 0;
    if (index >= kVowelCount) index = kVowelCount - 1;
    if (index == m_vowel) return;
    m_vowel = index;
    for (int32_t band = 0; band < 4; ++band)
        m_glides[band]->SetTarget(OctavePitch(kVowels[index].formants[band]));
}

void CFormantFilter::SetBlockSize(int32_t count) {
    m_scratchA.Resize(count);
    m_scratchB.Resize(count);
}

void CFormantFilter::SetSampleRate(int32_t rate) {
    if (rate == m_sampleRate) return;
    m_sampleRate = rate;
    for (int32_t band = 0; band < 4; ++band) {
        m_bands[band]->SetSampleRate(rate);
        m_glides[band]->SetSampleRate(rate);
    }
}

void CFormantFilter::Process(int32_t count, const float* in, float* out) {
    if (count > m_scratchA.Count()) count = m_scratchA.Count();
    std::memset(out, 0, sizeof(float) * static_cast<size_t>(count));
    float* a = m_scratchA.Data();
    float* b = m_scratchB.Data();
    for (int32_t band = 0; band < 4; ++band) {
        std::memcpy(a, in, sizeof(float) * static_cast<size_t>(count));
        m_glides[band]->Render(count, b);
        m_bands[band]->Process(count, a, b, nullptr);
        MixScaled(out, a, count, 1.0f, false, false);
    }
}
