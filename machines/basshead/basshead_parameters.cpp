#include "machines/basshead/basshead_parameters.h"

#include "machines/dsp/dsp_math.h"
#include "machines/dsp/formant_filter.h"

#include <cstdio>

namespace basshead {

namespace {

// How a parameter's value reads on the display.
enum Display : int32_t {
    kTime,       // T: "%.2fs" of EnvelopeTime
    kPercent,    // P: "%.0f%%"
    kSemitones,  // S: "%ist"
    kAttenuator, // A: "-oo dB", "-%.2fdB", "0dB"
    kBoost,      // G: "0dB", "+%.2fdB"
    kRate,       // H: "%.2fHz"
    kSend,       // L: destination name
    kDetune,     // "%.2fst"
    kFade,       // "%.2fs" of CubicTime
    kShape,      // Saw, Square, TriSquare
    kOnOff,
    kFilterMode,
    kRouting,
    kVowel,
    kSaturationMode,
    kLfoShape,
};

struct Info {
    const char* name;
    float defaultValue;
    Display display;
};

const Info kInfo[kParameterCount] = {
    {"Amp Attack", 0.2f, kTime},
    {"Amp Decay", 0.5f, kTime},
    {"Amp Sustain", 0.5f, kPercent},
    {"Amp Release", 0.5f, kTime},
    {"Amp Attack Curve", 0.5f, kPercent},
    {"Amp Decay Curve", 0.5f, kPercent},
    {"Amp Release Curve", 0.5f, kPercent},
    {"Filter Attack", 0.2f, kTime},
    {"Filter Decay", 0.5f, kTime},
    {"Filter Sustain", 0.5f, kPercent},
    {"Filter Release", 0.5f, kTime},
    {"Filter Attack Curve", 0.5f, kPercent},
    {"Filter Decay Curve", 0.5f, kPercent},
    {"Filter Release Curve", 0.5f, kPercent},
    {"VCO1 Shape", 0.0f, kShape},
    {"VCO1 Pulse Width", 0.5f, kPercent},
    {"VCO1 Semitone", 0.5f, kSemitones},
    {"VCO1 EnvMod", 0.0f, kPercent},
    {"VCO2 Shape", 0.0f, kShape},
    {"VCO2 Pulse Width", 0.5f, kPercent},
    {"VCO2 Semitone", 0.5f, kSemitones},
    {"VCO2 Detune", 0.0f, kDetune},
    {"VCO2 EnvMod", 0.0f, kPercent},
    {"Sync", 0.0f, kOnOff},
    {"VCF1 Mode", 0.0f, kFilterMode},
    {"VCF1 Cutoff", 0.15f, kPercent},
    {"VCF1 Resonance", 0.5f, kPercent},
    {"VCF1 Key Follow", 0.6f, kPercent},
    {"VCF1 Env Mod", 0.6f, kPercent},
    {"VCF2 Mode", 0.0f, kFilterMode},
    {"VCF2 Cutoff", 0.1f, kPercent},
    {"VCF2 Resonance", 0.2f, kPercent},
    {"VCF2 Key Follow", 0.6f, kPercent},
    {"VCF2 Env Mod", 0.6f, kPercent},
    {"Filter Routing", 0.0f, kRouting},
    {"Formant Mix", 0.0f, kPercent},
    {"Formant Vowel", 0.0f, kVowel},
    {"Osc Balance", 0.5f, kPercent},
    {"Osc Volume", 1.0f, kAttenuator},
    {"Noise", 0.0f, kAttenuator},
    {"Saturation", 0.0f, kSaturationMode},
    {"Overdrive", 0.0f, kBoost},
    {"Ring Mod", 0.0f, kAttenuator},
    {"Portamento", 0.0f, kPercent},
    {"Glide", 0.0f, kPercent},
    {"Slide Curve", 0.5f, kPercent},
#define BASSHEAD_LFO(n)                                                                                      \
    {"LFO" #n " Rate", 0.5f, kRate}, {"LFO" #n " Shape", 0.0f, kLfoShape},                                   \
        {"LFO" #n " Fade In", 0.0f, kFade}, {"LFO" #n " Send 1", 0.0f, kSend},                               \
        {"LFO" #n " Amp 1", 1.0f, kPercent}, {"LFO" #n " Send 2", 0.0f, kSend},                              \
        {"LFO" #n " Amp 2", 1.0f, kPercent}, {"LFO" #n " Send 3", 0.0f, kSend}, {                            \
        "LFO" #n " Amp 3", 1.0f, kPercent                                                                    \
    }
    BASSHEAD_LFO(1),
    BASSHEAD_LFO(2),
    BASSHEAD_LFO(3),
#undef BASSHEAD_LFO
};

const char* const kShapes[3] = {"Saw", "Square", "TriSquare"};
const char* const kOnOffNames[2] = {"Off", "On"};
const char* const kFilterModes[2] = {"Low Pass", "High Pass"};
const char* const kRoutings[3] = {"Serial", "Parralel", "Split"};
const char* const kSaturations[4] = {"None", "Soft Clip", "Digital", "Distort"};
const char* const kLfoShapes[6] = {"Sine", "Triangle", "Saw", "Pulse", "S&H", "S&G"};
const char* const kDestinations[kDestinationCount] = {
    "None",       "VCO1 Amp",         "VCO2 Amp",         "VCO1 Pitch",
    "VCO2 Pitch", "VCO1 Pulse Width", "VCO2 Pulse Width", "VCF1 Pitch",
    "VCF2 Pitch", "VCF1 Resonance",   "VCF2 Resonance"};

} // namespace

const char* ParameterName(int32_t index) {
    return index >= 0 && index < kParameterCount ? kInfo[index].name : "";
}

float ParameterDefault(int32_t index) {
    return index >= 0 && index < kParameterCount ? kInfo[index].defaultValue : 0.0f;
}

float AttenuatorGain(float x) {
    return x == 0.0f ? 0.0f : DbToGain(-(1.0f - x) * 48.0f);
}
float DriveGain(float x) {
    return x == 0.0f ? 1.0f : DbToGain(48.0f * x);
}

void FormatParameterValue(int32_t index, float x, char* text) {
    constexpr size_t kSize = 64;
    if (index < 0 || index >= kParameterCount) {
        text[0] = '\0';
        return;
    }
    const auto d = [](float v) { return static_cast<double>(v); };
    switch (kInfo[index].display) {
    case kTime:
        std::snprintf(text, kSize, "%.2fs", d(EnvelopeTime(x)));
        break;
    case kPercent:
        std::snprintf(text, kSize, "%.0f%%", d(100.0f * x));
        break;
    case kSemitones:
        std::snprintf(text, kSize, "%ist", SemitoneOffset(x));
        break;
    case kAttenuator:
        if (x == 0.0f)
            std::snprintf(text, kSize, "-oo dB");
        else if (x < 1.0f)
            std::snprintf(text, kSize, "-%.2fdB", d((1.0f - x) * 48.0f));
        else
            std::snprintf(text, kSize, "0dB");
        break;
    case kBoost:
        if (x == 0.0f)
            std::snprintf(text, kSize, "0dB");
        else
            std::snprintf(text, kSize, "+%.2fdB", d(48.0f * x));
        break;
    case kRate:
        std::snprintf(text, kSize, "%.2fHz", d(440.0f * Pow2(13.0f * x - 17.0f)));
        break;
    case kSend:
        std::snprintf(text, kSize, "%s", kDestinations[SendDestination(x)]);
        break;
    case kDetune:
        std::snprintf(text, kSize, "%.2fst", d(x));
        break;
    case kFade:
        std::snprintf(text, kSize, "%.2fs", d(CubicTime(x)));
        break;
    case kShape:
        std::snprintf(text, kSize, "%s", kShapes[ChoiceIndex(3, x)]);
        break;
    case kOnOff:
        std::snprintf(text, kSize, "%s", kOnOffNames[ChoiceIndex(2, x)]);
        break;
    case kFilterMode:
        std::snprintf(text, kSize, "%s", kFilterModes[ChoiceIndex(2, x)]);
        break;
    case kRouting:
        std::snprintf(text, kSize, "%s", kRoutings[ChoiceIndex(3, x)]);
        break;
    case kVowel:
        std::snprintf(text, kSize, "%s", VowelAt(ChoiceIndex(kVowelCount, x)).name);
        break;
    case kSaturationMode:
        std::snprintf(text, kSize, "%s", kSaturations[ChoiceIndex(4, x)]);
        break;
    case kLfoShape:
        std::snprintf(text, kSize, "%s", kLfoShapes[ChoiceIndex(6, x)]);
        break;
    }
}

} // namespace basshead
