// Sample formats and buffer arithmetic of the output drivers: the "Wave Out" format codes (one
// capability flag per rate, bit depth and channel layout), FindFormat, latency and buffer-size
// slider mappings, and the float-to-device conversions. Pure functions, any thread.
#pragma once

#include <cstdint>
#include <string>

namespace audio_format {

// --- "Wave Out" format codes: five rates, each a nibble of 8-bit mono (1), 8-bit stereo (2),
// 16-bit mono (4), 16-bit stereo (8); 0x1 is 11.025 kHz 8-bit mono, 0x80000 96 kHz 16-bit stereo.
constexpr int32_t kWaveRates[5] = {11025, 22050, 44100, 48000, 96000};

struct WaveFormat {
    int32_t rateIndex; // 0..4
    int32_t sampleRate;
    int32_t bits; // 8 or 16
    bool stereo;
};

// Raises "Invalid Format" for a code with no flag in its five nibbles.
WaveFormat DecodeWaveFormat(int32_t code);
// The flag for a rate index, bit depth and layout.
int32_t WaveFormatCode(int32_t rateIndex, int32_t bits, bool stereo);
// "%0.1fkHz, %ibit, %s", e.g. "44.1kHz, 16bit, Stereo".
std::string WaveFormatText(int32_t code);
// The wanted code when the device supports it; else the first supported code among the wanted
// layout, 16-bit stereo, 16-bit mono, 8-bit stereo, 8-bit mono, each tried at the wanted rate,
// then higher rates, then lower ones. Raises "WaveOutDriver: Unsupported Format".
int32_t FindFormat(int32_t wanted, int32_t supported);
// Frames per buffer: whole kilohertz times milliseconds (22050 Hz, 150 ms: 22 x 150 = 3300).
inline int32_t WaveOutFrames(int32_t sampleRate, int32_t latency) {
    return sampleRate / 1000 * latency;
}
// Latency slider p (0..1) to 10..400 ms, and back.
int32_t LatencyFromSlider(float p);
float SliderFromLatency(int32_t latency);

// --- "ASIO" drivers: the rate table of the rate masks, buffer-size slider.
constexpr int32_t kAsioRates[8] = {11025, 22050, 44100, 48000, 88200, 96000, 176400, 192000};
// The rate of the lowest bit of the mask, or 0 for an empty mask.
int32_t LowestRate(int32_t rateMask);
// The mask bit of a rate in the table, 0 when the rate is not in it.
int32_t RateBit(int32_t rate);
// minimum + trunc(p^2 (maximum - minimum)), down to a multiple of the granularity (when not 0),
// at least 1.
int32_t BufferSizeFromSlider(float p, int32_t minimum, int32_t maximum, int32_t granularity);
float SliderFromBufferSize(int32_t size, int32_t minimum, int32_t maximum);
// The preferred size, or the maximum when the preferred size is 0.
inline int32_t InitialBufferSize(int32_t preferred, int32_t maximum) {
    return preferred != 0 ? preferred : maximum;
}

// --- Conversions of one float sample. NaN becomes silence.
int16_t FloatToPcm16(float x); // 1 -> 32767, 0.5 -> 16383, -1 -> -32768
uint8_t FloatToPcm8(float x);  // unsigned with 128 as silence: 0.5 -> 191, -1 -> 0
int32_t FloatToInt32(float x); // 0.5 -> 1073741824, 1 -> 2147483647, -1 -> -2147483648

// Channel sample types of the "ASIO" drivers.
enum AsioSampleType : int32_t {
    kAsioInt16 = 0,    // 16-bit integers in the host's byte order
    kAsioInt32 = 18,   // 32-bit little-endian integers
    kAsioFloat32 = 19, // 32-bit floats (JACK's own)
};
// Converts frames samples into the device half; false (nothing written) for other types.
bool ConvertToAsio(int32_t sampleType, const float* source, void* destination, int32_t frames);

} // namespace audio_format
