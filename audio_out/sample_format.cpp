#include "audio_out/sample_format.h"

#include "platform/error.h"

#include <cmath>
#include <cstring>

namespace audio_format {

WaveFormat DecodeWaveFormat(int32_t code) {
    auto bits = static_cast<uint32_t>(code);
    int32_t shifts = 0;
    while ((bits & 0xf) == 0) {
        if (shifts == 4) platform::Raise("Invalid Format");
        bits >>= 4;
        ++shifts;
    }
    const uint32_t nibble = bits & 0xf;
    return {shifts, kWaveRates[shifts], nibble < 4 ? 8 : 16, nibble == 2 || nibble == 8};
}

int32_t WaveFormatCode(int32_t rateIndex, int32_t bits, bool stereo) {
    const int32_t flag = bits == 16 ? (stereo ? 8 : 4) : (stereo ? 2 : 1);
    return flag << (4 * rateIndex);
}

std::string WaveFormatText(int32_t code) {
    const WaveFormat format = DecodeWaveFormat(code);
    return platform::FormatText("%0.1fkHz, %ibit, %s", format.sampleRate / 1000.0, format.bits,
                                format.stereo ? "Stereo" : "Mono");
}

int32_t FindFormat(int32_t wanted, int32_t supported) {
    if (wanted & supported) return wanted;
    const WaveFormat format = DecodeWaveFormat(wanted);
    const struct {
        int32_t bits;
        bool stereo;
    } families[] = {{format.bits, format.stereo}, {16, true}, {16, false}, {8, true}, {8, false}};
    for (const auto& family : families) {
        for (int32_t j = format.rateIndex; j <= 4; ++j) {
            const int32_t code = WaveFormatCode(j, family.bits, family.stereo);
            if (code & supported) return code;
        }
        for (int32_t j = format.rateIndex - 1; j >= 0; --j) {
            const int32_t code = WaveFormatCode(j, family.bits, family.stereo);
            if (code & supported) return code;
        }
    }
    platform::Raise("WaveOutDriver: Unsupported Format");
}

int32_t LatencyFromSlider(float p) {
    const int32_t latency = 10 + static_cast<int32_t>(p * p * 390.0f);
    return latency < 1 ? 1 : latency;
}

float SliderFromLatency(int32_t latency) {
    const float p = std::sqrt(std::fmax(0.0f, static_cast<float>(latency - 10) / 390.0f));
    return std::fmin(1.0f, p);
}

int32_t LowestRate(int32_t rateMask) {
    for (int32_t j = 0; j < 8; ++j)
        if (rateMask & (1 << j)) return kAsioRates[j];
    return 0;
}

int32_t RateBit(int32_t rate) {
    for (int32_t j = 0; j < 8; ++j)
        if (kAsioRates[j] == rate) return 1 << j;
    return 0;
}

int32_t BufferSizeFromSlider(float p, int32_t minimum, int32_t maximum, int32_t granularity) {
    int32_t size = minimum + static_cast<int32_t>(p * p * static_cast<float>(maximum - minimum));
    if (granularity != 0) size -= size % granularity;
    return size < 1 ? 1 : size;
}

float SliderFromBufferSize(int32_t size, int32_t minimum, int32_t maximum) {
    if (maximum == minimum) return 0.0f;
    const float ratio = static_cast<float>(size - minimum) / static_cast<float>(maximum - minimum);
    return std::fmin(1.0f, std::sqrt(std::fmax(0.0f, ratio)));
}

int16_t FloatToPcm16(float x) {
    if (std::isnan(x)) return 0;
    if (x >= 1.0f) return 32767;
    if (x <= -1.0f) return -32768;
    return static_cast<int16_t>(x >= 0.0f ? x * 32767.0f : x * 32768.0f);
}

uint8_t FloatToPcm8(float x) {
    int32_t value = 0;
    if (std::isnan(x))
        value = 0;
    else if (x >= 1.0f)
        value = 127;
    else if (x <= -1.0f)
        value = -128;
    else
        value = static_cast<int32_t>(x >= 0.0f ? x * 127.0f : x * 128.0f);
    return static_cast<uint8_t>(value + 128);
}

int32_t FloatToInt32(float x) {
    if (std::isnan(x)) return 0;
    if (x >= 1.0f) return 2147483647;
    if (x <= -1.0f) return -2147483647 - 1;
    return static_cast<int32_t>(static_cast<double>(x) * 2147483648.0);
}

bool ConvertToAsio(int32_t sampleType, const float* source, void* destination, int32_t frames) {
    switch (sampleType) {
    case kAsioInt16: {
        auto* out = static_cast<int16_t*>(destination);
        for (int32_t i = 0; i < frames; ++i)
            out[i] = FloatToPcm16(source[i]);
        return true;
    }
    case kAsioInt32: {
        auto* out = static_cast<int32_t*>(destination);
        for (int32_t i = 0; i < frames; ++i)
            out[i] = FloatToInt32(source[i]);
        return true;
    }
    case kAsioFloat32:
        std::memcpy(destination, source, sizeof(float) * static_cast<size_t>(frames));
        return true;
    default:
        return false;
    }
}

} // namespace audio_format
