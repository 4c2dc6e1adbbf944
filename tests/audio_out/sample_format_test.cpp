// Format codes, format choice, buffer arithmetic and sample conversions of the output drivers.
#include "audio_out/sample_format.h"
#include "platform/error.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace audio_format;

namespace {

TEST(WaveFormat, FramesUseWholeKilohertz) {
    EXPECT_EQ(WaveOutFrames(22050, 150), 3300); // not 3307
    EXPECT_EQ(WaveOutFrames(44100, 150), 6600);
    EXPECT_EQ(WaveOutFrames(11025, 10), 110);
}

TEST(WaveFormat, DecodesAndNamesCodes) {
    const WaveFormat cd = DecodeWaveFormat(0x800);
    EXPECT_EQ(cd.sampleRate, 44100);
    EXPECT_EQ(cd.bits, 16);
    EXPECT_TRUE(cd.stereo);
    const WaveFormat low = DecodeWaveFormat(0x1);
    EXPECT_EQ(low.sampleRate, 11025);
    EXPECT_EQ(low.bits, 8);
    EXPECT_FALSE(low.stereo);
    EXPECT_EQ(DecodeWaveFormat(0x40000).sampleRate, 96000);
    EXPECT_FALSE(DecodeWaveFormat(0x40000).stereo);
    EXPECT_EQ(WaveFormatText(0x800), "44.1kHz, 16bit, Stereo");
    EXPECT_EQ(WaveFormatText(0x2000), "48.0kHz, 8bit, Stereo");
    for (int32_t bad : {0, 0x100000, 0x7f00000}) {
        try {
            DecodeWaveFormat(bad);
            FAIL() << "accepted " << bad;
        } catch (const platform::CError& error) {
            EXPECT_STREQ(error.what(), "Invalid Format");
        }
    }
}

TEST(WaveFormat, FindFormatFallsBackByFamilyThenRate) {
    EXPECT_EQ(FindFormat(0x800, 0x800 | 0x8000), 0x800);     // supported as it is
    EXPECT_EQ(FindFormat(0x800, 0x8000 | 0x4000), 0x8000);   // the next higher rate, same layout
    EXPECT_EQ(FindFormat(0x80000, 0x1 | 0x4), 0x4);          // 16-bit mono at the lowest rate
    EXPECT_EQ(FindFormat(0x8000, 0x800 | 0x80), 0x800);      // higher rates first, then lower
    EXPECT_EQ(FindFormat(0x8000, 0x200 | 0x20000), 0x20000); // 8-bit stereo after both 16-bit families
    try {
        FindFormat(0x800, 0);
        FAIL();
    } catch (const platform::CError& error) {
        EXPECT_STREQ(error.what(), "WaveOutDriver: Unsupported Format");
    }
}

TEST(WaveFormat, LatencySlider) {
    EXPECT_EQ(LatencyFromSlider(0.5f), 107);
    EXPECT_EQ(LatencyFromSlider(0.0f), 10);
    EXPECT_EQ(LatencyFromSlider(1.0f), 400);
    EXPECT_NEAR(SliderFromLatency(107), 0.5f, 2e-3f); // sqrt(97 / 390)
    EXPECT_EQ(SliderFromLatency(5), 0.0f);
    EXPECT_EQ(SliderFromLatency(1000), 1.0f);
}

TEST(AsioFormat, RatesAndBufferSizes) {
    EXPECT_EQ(LowestRate(RateBit(44100) | RateBit(48000)), 44100);
    EXPECT_EQ(LowestRate(RateBit(96000)), 96000);
    EXPECT_EQ(LowestRate(0), 0);
    EXPECT_EQ(RateBit(12345), 0);
    EXPECT_EQ(InitialBufferSize(0, 2048), 2048);
    EXPECT_EQ(InitialBufferSize(256, 2048), 256);
    EXPECT_EQ(BufferSizeFromSlider(0.5f, 64, 2048, 32), 544);
    EXPECT_EQ(BufferSizeFromSlider(0.5f, 64, 2048, 0), 560);
    EXPECT_EQ(BufferSizeFromSlider(0.0f, 0, 0, 0), 1);
    EXPECT_EQ(SliderFromBufferSize(256, 256, 256), 0.0f);
    EXPECT_NEAR(SliderFromBufferSize(560, 64, 2048), 0.5f, 1e-3f);
}

TEST(Conversion, SixteenAndEightBit) {
    EXPECT_EQ(FloatToPcm16(0.5f), 16383);
    EXPECT_EQ(FloatToPcm16(-1.0f), -32768);
    EXPECT_EQ(FloatToPcm16(1.0f), 32767);
    EXPECT_EQ(FloatToPcm16(3.0f), 32767);
    EXPECT_EQ(FloatToPcm16(-0.5f), -16384);
    EXPECT_EQ(FloatToPcm16(-7.0f), -32768);
    EXPECT_EQ(FloatToPcm16(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(FloatToPcm8(0.5f), 191);
    EXPECT_EQ(FloatToPcm8(-1.0f), 0);
    EXPECT_EQ(FloatToPcm8(0.0f), 128);
    EXPECT_EQ(FloatToPcm8(1.0f), 255);
    EXPECT_EQ(FloatToPcm8(-0.5f), 64);
}

TEST(Conversion, AsioChannelTypes) {
    EXPECT_EQ(FloatToInt32(0.5f), 1073741824);
    EXPECT_EQ(FloatToInt32(1.0f), 2147483647);
    EXPECT_EQ(FloatToInt32(-1.0f), -2147483647 - 1);
    EXPECT_EQ(FloatToInt32(-0.5f), -1073741824);

    const float source[3] = {0.5f, -1.0f, 0.25f};
    int32_t wide[3] = {};
    ASSERT_TRUE(ConvertToAsio(kAsioInt32, source, wide, 3));
    EXPECT_EQ(wide[0], 1073741824);
    int16_t narrow[3] = {};
    ASSERT_TRUE(ConvertToAsio(kAsioInt16, source, narrow, 3));
    EXPECT_EQ(narrow[0], 16383);
    EXPECT_EQ(narrow[1], -32768);
    float floats[3] = {};
    ASSERT_TRUE(ConvertToAsio(kAsioFloat32, source, floats, 3));
    EXPECT_EQ(floats[2], 0.25f);
    int32_t untouched[3] = {7, 7, 7};
    EXPECT_FALSE(ConvertToAsio(16, source, untouched, 3)); // a 24-bit type: the half is not written
    EXPECT_EQ(untouched[0], 7);
}

} // namespace
