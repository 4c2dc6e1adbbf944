// The 73 parameters of QX BassHead: names, defaults and display texts. Pure data and formatting,
// shared by the machine and its voice.
#pragma once

#include <cstdint>

namespace basshead {

constexpr int32_t kParameterCount = 73;

// Parameter indices the voice and the tests name.
enum Parameter : int32_t {
    kAmpAttack = 0,
    kFilterAttack = 7,
    kVco1Shape = 14,
    kVco1PulseWidth = 15,
    kVco1Semitone = 16,
    kVco1EnvMod = 17,
    kVco2Shape = 18,
    kVco2PulseWidth = 19,
    kVco2Semitone = 20,
    kVco2Detune = 21,
    kVco2EnvMod = 22,
    kSync = 23,
    kVcf1Mode = 24,
    kVcf2Mode = 29,
    kFilterRouting = 34,
    kFormantMix = 35,
    kFormantVowel = 36,
    kOscBalance = 37,
    kOscVolume = 38,
    kNoise = 39,
    kSaturation = 40,
    kOverdrive = 41,
    kRingMod = 42,
    kPortamento = 43,
    kGlide = 44,
    kSlideCurve = 45,
    kLfo1Rate = 46,
    kLfoStride = 9, // LFO n's parameters start at kLfo1Rate + n·9: Rate, Shape, Fade In, Send/Amp ×3
};

// LFO send destinations (trunc(10·x) of a Send parameter).
enum Destination : int32_t {
    kDestNone = 0,
    kDestVco1Amp = 1,
    kDestVco2Amp = 2,
    kDestVco1Pitch = 3,
    kDestVco2Pitch = 4,
    kDestVco1Width = 5,
    kDestVco2Width = 6,
    kDestVcf1Pitch = 7,
    kDestVcf2Pitch = 8,
    kDestVcf1Resonance = 9,
    kDestVcf2Resonance = 10,
    kDestinationCount = 11,
};

enum Routing : int32_t { kSerial = 0, kParallel = 1, kSplit = 2 };

// Name of parameter index (empty text past the last).
const char* ParameterName(int32_t index);
float ParameterDefault(int32_t index);
// Display text of value x for parameter index, at most 64 bytes with the terminator.
void FormatParameterValue(int32_t index, float x, char* text);

// Working values shared by the display and the voice.
inline int32_t SemitoneOffset(float x) {
    return static_cast<int32_t>((x - 0.5f) * 96.0f);
}
// Osc Volume, Noise, Ring Mod: 0 at x = 0, else DbToGain(−(1 − x)·48).
float AttenuatorGain(float x);
// Overdrive: 1 at x = 0, else DbToGain(48·x).
float DriveGain(float x);
inline float LfoPitch(float x) {
    return 13.0f * x - 12.0f;
}
inline int32_t SendDestination(float x) {
    const auto d = static_cast<int32_t>(10.0f * x);
    return d < 0 ? 0 : (d > 10 ? 10 : d);
}

} // namespace basshead
