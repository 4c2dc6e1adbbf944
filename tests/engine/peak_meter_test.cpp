// The peak meter's state: levels in dB from squared and from absolute peaks, the floor, the
// one-second hold and the 48 dB/s fall on a stepped clock, and the master feeding it.
#include "engine/peak_meter.h"
#include "tests/support/studio_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

class CSteppedClock : public CMillisecondClock {
public:
    uint32_t Now() override { return m_now; }
    uint32_t m_now = 5000;
};

TEST(PeakMeter, LevelsAreDecibelsOfTheAmplitudeWithAFloorAndATop) {
    EXPECT_FLOAT_EQ(CPeakMeterModel::LevelDb(1.0f), 0.0f);
    EXPECT_NEAR(CPeakMeterModel::LevelDb(0.25f), -6.0206f, 1e-4);
    EXPECT_FLOAT_EQ(CPeakMeterModel::LevelDb(0.0f), -90.0f);
    // 2^-15 is the quietest level shown; just below it is the floor.
    EXPECT_NEAR(CPeakMeterModel::LevelDb(1.0f / 32768.0f), -45.154f, 1e-3);
    EXPECT_FLOAT_EQ(CPeakMeterModel::LevelDb(std::nextafter(1.0f / 32768.0f, 0.0f)), -90.0f);
    EXPECT_NEAR(CPeakMeterModel::LevelDb(1000.0f), 15.051f, 1e-3);
    EXPECT_FLOAT_EQ(CPeakMeterModel::LevelDb(std::nanf("")), -90.0f);
}

TEST(PeakMeter, StartsAtTheFloorAndReadsBothKindsOfInputAlike) {
    CSteppedClock clock;
    CPeakMeterModel meter(&clock);
    EXPECT_FLOAT_EQ(meter.Read().current[0], -90.0f);
    EXPECT_FLOAT_EQ(meter.Read().held[1], -90.0f);

    // Squared peaks (the master) and absolute peaks (an HD row) of the same half-scale signal.
    meter.Input(0.25f, 1.0f);
    EXPECT_NEAR(meter.Read().current[0], -6.0206f, 1e-4);
    EXPECT_FLOAT_EQ(meter.Read().current[1], 0.0f);
    CPeakMeterModel row(&clock);
    row.InputAbsolute(0.5f, 1.0f);
    EXPECT_NEAR(row.Read().current[0], -6.0206f, 1e-4) << "an absolute peak must not read half the dB";
    EXPECT_FLOAT_EQ(row.Read().current[1], 0.0f);
    EXPECT_EQ(meter.Updates(), 1u);
    EXPECT_FLOAT_EQ(meter.Get().left, 0.25f);
}

TEST(PeakMeter, APeakIsHeldOneSecondThenFallsAt48DecibelsPerSecond) {
    CSteppedClock clock;
    CPeakMeterModel meter(&clock);
    meter.Input(1.0f, 1.0f);
    meter.Input(0.0f, 0.0f); // silence right after: the peak is kept by the hold
    EXPECT_FLOAT_EQ(meter.Read().current[0], -90.0f);
    EXPECT_FLOAT_EQ(meter.Read().held[0], 0.0f);

    meter.Decay(); // the hold begins now
    for (uint32_t step = 0; step < 100; ++step) {
        clock.m_now += 10;
        meter.Decay();
        ASSERT_FLOAT_EQ(meter.Read().held[0], 0.0f) << "after " << (step + 1) * 10 << " ms";
    }
    // 1.25 s after the hold began: a quarter of a second of falling, 12 dB.
    clock.m_now += 250;
    meter.Decay();
    EXPECT_NEAR(meter.Read().held[0], -12.0f, 1e-3);
    // Falling on in small steps adds up to the same slope.
    for (int step = 0; step < 50; ++step) {
        clock.m_now += 10;
        meter.Decay();
    }
    EXPECT_NEAR(meter.Read().held[0], -36.0f, 1e-3);
    EXPECT_NEAR(meter.Read().held[1], -36.0f, 1e-3);
    // And stops at the floor.
    clock.m_now += 5000;
    meter.Decay();
    EXPECT_FLOAT_EQ(meter.Read().held[0], -90.0f);
}

TEST(PeakMeter, ALouderPeakTakesTheHoldAndAQuieterOneDoesNot) {
    CSteppedClock clock;
    CPeakMeterModel meter(&clock);
    meter.Input(0.25f, 0.25f);
    meter.Decay();
    clock.m_now += 1500; // falling by 24 dB
    meter.Decay();
    EXPECT_NEAR(meter.Read().held[0], -30.0206f, 1e-3);
    // A peak that came and went between two reads of the graphics thread is not lost.
    meter.Input(1.0f, 0.0001f);
    meter.Input(0.0f, 0.0f);
    const CPeakMeterModel::Levels levels = meter.Read();
    EXPECT_FLOAT_EQ(levels.held[0], 0.0f);
    EXPECT_NEAR(levels.held[1], -30.0206f, 1e-3); // -40 dB is below the falling hold: kept
    // The new hold starts at the next Decay and lasts its second again.
    meter.Decay();
    clock.m_now += 1000;
    meter.Decay();
    EXPECT_FLOAT_EQ(meter.Read().held[0], 0.0f);
}

class MasterMeterTest : public ::testing::Test, public CStudioFixture {};

TEST_F(MasterMeterTest, AFullScaleSineReadsZeroAndSilenceTheFloor) {
    CMachineContainer* master = m_studio->NewProject();
    CMachineContainer* tone = Add(m_tone);
    // 441 Hz at 44100: one period is 100 samples, so every 256-frame buffer holds a crest.
    CStudioFixture::Machine(tone)->m_frequency = 441.0;
    CStudioFixture::Machine(tone)->m_level = 1.0f;
    ASSERT_TRUE(Cable(tone, master));
    for (int i = 0; i < 400 && m_studio->MasterGain() != m_studio->MasterVolume(); ++i)
        Render(256); // the master gain glides up first
    Render(256);
    const CPeakMeterModel::Levels loud = m_studio->PeakMeter().Read();
    EXPECT_NEAR(loud.current[0], 0.0f, 0.01);
    EXPECT_NEAR(loud.current[1], 0.0f, 0.01);

    CStudioFixture::Machine(tone)->m_level = 0.0f;
    Render(256);
    const CPeakMeterModel::Levels quiet = m_studio->PeakMeter().Read();
    EXPECT_FLOAT_EQ(quiet.current[0], -90.0f);
    EXPECT_FLOAT_EQ(quiet.current[1], -90.0f);
    EXPECT_NEAR(quiet.held[0], 0.0f, 0.01); // the sine's peak is still held
}

} // namespace
