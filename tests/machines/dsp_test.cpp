// The DSP kit, measured on rendered signals.
#include "machines/dsp/dsp.h"
#include "tests/support/signal_tools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

using namespace signal_tools;

namespace {
constexpr int32_t kRate = 44100;
} // namespace

TEST(ValueFunctions, ChoicesTimesAndLevels) {
    EXPECT_EQ(ChoiceIndex(3, 1.0f), 2);
    EXPECT_EQ(ChoiceIndex(3, 0.999f), 2);
    EXPECT_EQ(ChoiceIndex(2, 0.5f), 1);
    EXPECT_EQ(ChoiceIndex(3, 0.0f), 0);
    EXPECT_FLOAT_EQ(EnvelopeTime(0.0f), 0.01f);
    EXPECT_FLOAT_EQ(EnvelopeTime(1.0f), 8.0f);
    EXPECT_FLOAT_EQ(EnvelopeTime(0.2f), 0.064f);
    EXPECT_FLOAT_EQ(CubicTime(0.0f), 0.0f);
    EXPECT_NEAR(DbToGain(10.0f), 10.0f, 1e-5f);
    EXPECT_NEAR(GainToDb(100.0f), 20.0f, 1e-5f);
    EXPECT_NEAR(Pow2(-3.3f), std::exp2(-3.3f), 1e-6f);
    EXPECT_EQ(FloorInt(-0.5f), -1);
    EXPECT_NEAR(PitchFrequency(5.0f), 440.0f, 1e-3f);
    EXPECT_NEAR(OctavePitch(880.0f), 6.0f, 1e-5f);
}

TEST(ValueFunctions, FastTangentFollowsTheLibrary) {
    // The filters' range (a few hertz to a quarter of the rate, stretched by damping), across
    // quarter turns and on both sides of the poles.
    double worst = 0.0;
    for (double x = -20.0; x <= 20.0; x += 0.000731) {
        const double exact = std::tan(x);
        if (std::fabs(exact) > 1e4) continue; // next to a pole the input's own rounding rules
        const double error = std::fabs(FastTan(static_cast<float>(x)) - std::tan(static_cast<float>(x)));
        worst = std::max(worst, error / std::max(1.0, std::fabs(exact)));
    }
    EXPECT_LT(worst, 4e-7);
    EXPECT_EQ(FastTan(0.0f), 0.0f);
    EXPECT_NEAR(FastTan(kPi / 4.0f), 1.0f, 1e-6f);
    EXPECT_NEAR(FastTan(kPi * 20.0f / 44100.0f), std::tan(kPi * 20.0f / 44100.0f), 1e-10f);
}

TEST(ValueFunctions, SmoothTowardNeverOvershoots) {
    float current = 0.0f;
    int steps = 0;
    while (current != 1.0f && steps < 100000) {
        const float next = SmoothToward(1.0f, current);
        ASSERT_GT(next, current);
        ASSERT_LE(next, 1.0f);
        current = next;
        ++steps;
    }
    EXPECT_EQ(current, 1.0f);
    EXPECT_GT(steps, 100); // a glide, not a jump
    EXPECT_EQ(SmoothToward(0.25f, 0.25f), 0.25f);
    EXPECT_LT(SmoothToward(0.0f, 0.5f), 0.5f);
}

TEST(ValueFunctions, CurveEndsAndInversion) {
    for (float k : {-8.0f, -2.5f, 0.0f, 1.0f, 8.0f}) {
        const float norm = CurveNormaliser(k);
        EXPECT_NEAR(CurveValue(0.2f, 0.9f, 0.0f, k, norm), 0.2f, 1e-5f) << k;
        EXPECT_NEAR(CurveValue(0.2f, 0.9f, 1.0f, k, norm), 0.9f, 1e-5f) << k;
        for (float phase : {0.1f, 0.37f, 0.5f, 0.93f}) {
            const float y = CurveValue(1.0f, 0.3f, phase, k, norm);
            EXPECT_NEAR(CurvePhase(1.0f, 0.3f, y, k, norm), phase, 2e-3f) << k << " " << phase;
        }
    }
    // k = 0 is a straight line; negative k moves fast at first, positive slowly.
    EXPECT_FLOAT_EQ(CurveValue(0.0f, 2.0f, 0.25f, 0.0f, 1.0f), 0.5f);
    EXPECT_GT(CurveValue(0.0f, 1.0f, 0.25f, -8.0f, CurveNormaliser(-8.0f)), 0.25f);
    EXPECT_LT(CurveValue(0.0f, 1.0f, 0.25f, 8.0f, CurveNormaliser(8.0f)), 0.25f);
}

TEST(BlockOps, VectorPathMatchesScalar) {
    std::mt19937 generator(7);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (int32_t count : {1, 3, 4, 7, 64, 257}) {
        std::vector<float> src(count), base(count);
        for (auto& v : src)
            v = value(generator);
        for (auto& v : base)
            v = value(generator);
        for (int mode = 0; mode < 3; ++mode) {
            std::vector<float> a = base, b = base;
            MixScaledScalar(a.data(), src.data(), count, 0.7f, mode == 0, mode == 1);
            MixScaledVector(b.data(), src.data(), count, 0.7f, mode == 0, mode == 1);
            for (int32_t i = 0; i < count; ++i)
                EXPECT_NEAR(a[i], b[i], 1e-6f) << count << " " << mode;
        }
        std::vector<float> a = base, b = base;
        AddConstantScalar(a.data(), count, 0.25f);
        AddConstantVector(b.data(), count, 0.25f);
        EXPECT_EQ(a, b);
    }
    std::vector<float> dst = {1.0f, 2.0f}, src = {0.5f, -1.0f};
    MixScaled(dst.data(), src.data(), 2, 2.0f, false, true); // amplitude modulation by 1 + 2·src
    EXPECT_FLOAT_EQ(dst[0], 2.0f);
    EXPECT_FLOAT_EQ(dst[1], -2.0f);
}

TEST(WaveTable, WrapsAndInterpolatesAcrossTheEnd) {
    CWaveTable table(4);
    const float values[4] = {0.0f, 1.0f, 2.0f, 3.0f};
    std::memcpy(table.Values(), values, sizeof values);
    EXPECT_FLOAT_EQ(table.Lookup(0.125f), 0.5f);
    EXPECT_FLOAT_EQ(table.Lookup(1.125f), 0.5f);
    EXPECT_FLOAT_EQ(table.Lookup(0.875f), 1.5f); // halfway from the last value back to the first
    EXPECT_FLOAT_EQ(table.Lookup(0.9999999f), table.Lookup(0.9999999f));
    EXPECT_LE(table.Lookup(std::nextafter(1.0f, 0.0f)), 3.0f);
}

TEST(Transforms, FastAndDirectAgreeAndInvert) {
    ComplexVector a(16), b;
    for (size_t i = 0; i < a.size(); ++i)
        a[i] = {std::sin(0.7 * static_cast<double>(i)), 0.1 * static_cast<double>(i)};
    b = a;
    FastTransform(a, false);
    DirectTransform(b, false);
    for (size_t i = 0; i < a.size(); ++i)
        EXPECT_NEAR(std::abs(a[i] - b[i]), 0.0, 1e-9);
    // A length that is not a power of two goes through the direct transform and comes back.
    ComplexVector c(12), original;
    for (size_t i = 0; i < c.size(); ++i)
        c[i] = {static_cast<double>(i % 5), 0.0};
    original = c;
    Transform(c, false);
    EXPECT_NEAR(c[0].real(), 21.0, 1e-9); // the sum of the values
    Transform(c, true);
    for (size_t i = 0; i < c.size(); ++i)
        EXPECT_NEAR(std::abs(c[i] - original[i]), 0.0, 1e-9);
    const auto window = BlackmanWindow(5);
    EXPECT_NEAR(window[0], 0.0, 1e-12);
    EXPECT_NEAR(window[2], 1.0, 1e-12);
}

TEST(Transforms, MinimumPhaseKeepsTheMagnitudeAndFrontLoadsEnergy) {
    const std::vector<double> h = MinimumPhaseSinc(8, 4);
    ASSERT_EQ(h.size(), 65u);
    // Most of the energy sits in the first quarter (a linear-phase sinc has it in the middle).
    double total = 0.0, front = 0.0;
    for (size_t i = 0; i < h.size(); ++i) {
        total += h[i] * h[i];
        if (i < h.size() / 4) front += h[i] * h[i];
    }
    EXPECT_GT(front / total, 0.9);
    // Same DC gain as the windowed sinc it came from.
    const auto window = BlackmanWindow(65);
    double sinc = 0.0, sum = 0.0;
    for (int k = 0; k < 65; ++k) {
        const double x = -8.0 + 16.0 * k / 64.0;
        sinc += (x == 0.0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x)) * window[k];
        sum += h[k];
    }
    EXPECT_NEAR(sum / sinc, 1.0, 1e-3);
}

TEST(StepTables, SharedEdgeImpulseAndRamp) {
    const CSharedTables& tables = SharedTables();
    const CStepTable& edge = *tables.edge;
    EXPECT_EQ(edge.ZeroCrossings(), 32);
    EXPECT_EQ(edge.PointsPerSample(), 64);
    ASSERT_EQ(edge.Count(), 4097);
    EXPECT_EQ(edge.Values()[4096], 1.0f);
    EXPECT_LT(std::fabs(edge.Values()[0]), 1e-3f);
    float peak = 0.0f;
    for (int i = 0; i < edge.Count(); ++i)
        peak = std::max(peak, edge.Values()[i]);
    EXPECT_GT(peak, 1.05f); // the overshoot of a minimum-phase step
    EXPECT_LT(peak, 1.3f);
    EXPECT_EQ(tables.impulse->Count(), 257);
    EXPECT_EQ(tables.integratedEdge->Count(), 4097);
    EXPECT_EQ(tables.integratedEdge->Values()[4096], 1.0f);
    for (int i = 1; i < 4097; i += 64)
        EXPECT_GE(tables.integratedEdge->Values()[i], tables.integratedEdge->Values()[i - 1] - 1e-4f);
    EXPECT_FLOAT_EQ(tables.saw.Lookup(0.0f), 1.0f);
    EXPECT_FLOAT_EQ(tables.triangle.Lookup(0.25f), 1.0f);
    EXPECT_FLOAT_EQ(tables.triangle.Lookup(0.75f), -1.0f);
    EXPECT_FLOAT_EQ(tables.square.Lookup(0.6f), -1.0f);
    EXPECT_NEAR(tables.cosine.Lookup(0.5f), -1.0f, 1e-6f);
}

TEST(StepTables, BinaryLayout) {
    std::vector<unsigned char> block;
    auto putInt = [&](int32_t v) {
        for (int b = 0; b < 4; ++b)
            block.push_back(static_cast<unsigned char>(v >> (8 * b)));
    };
    putInt(1);
    putInt(2);
    putInt(5);
    for (float v : {0.0f, 0.25f, 0.5f, 0.75f, 1.0f}) {
        uint32_t word = 0;
        std::memcpy(&word, &v, 4);
        putInt(static_cast<int32_t>(word));
    }
    const auto table = CStepTable::FromBinary(block.data(), block.size());
    ASSERT_TRUE(table);
    EXPECT_EQ(table->Count(), 5);
    EXPECT_FLOAT_EQ(table->Values()[3], 0.75f);
    EXPECT_FALSE(CStepTable::FromBinary(block.data(), block.size() - 1));
    block[8] = 6; // a count that does not match 2·Z·P + 1
    EXPECT_FALSE(CStepTable::FromBinary(block.data(), block.size()));
}

// The band-limited saw at 5 kHz: every component that is not a harmonic below Nyquist is an alias.
TEST(Oscillator, BandLimitedSawKeepsAliasesFortyDbDown) {
    const CSharedTables& tables = SharedTables();
    for (int32_t waveform : {COscillator::kSaw, COscillator::kSquare}) {
        COscillator osc(kRate, &tables.sine, 5000.0f, tables.edge.get(), tables.impulse.get());
        osc.SetWaveform(waveform);
        std::vector<float> warm(1024), out(16384);
        osc.Render(nullptr, nullptr, nullptr, warm.data(), nullptr, 1024);
        osc.Render(nullptr, nullptr, nullptr, out.data(), nullptr, 16384);
        const auto spectrum = Spectrum(out);
        const double binHz = static_cast<double>(kRate) / 16384.0;
        const double fundamental = *std::max_element(spectrum.begin() + static_cast<long>(4800 / binHz),
                                                     spectrum.begin() + static_cast<long>(5200 / binHz));
        double worstAlias = 0.0;
        for (size_t k = 8; k < spectrum.size(); ++k) {
            const double hz = static_cast<double>(k) * binHz;
            const double nearest = std::round(hz / 5000.0) * 5000.0;
            if (std::fabs(hz - nearest) < 8 * binHz) continue; // a harmonic and its window skirt
            worstAlias = std::max(worstAlias, spectrum[k]);
        }
        EXPECT_LT(ToDb(worstAlias / fundamental), -40.0) << "waveform " << waveform;
    }
}

TEST(Oscillator, FrequencyLimitsAndPitch) {
    const CSharedTables& tables = SharedTables();
    COscillator osc(kRate, &tables.sine, 100.0f, tables.edge.get(), tables.impulse.get());
    osc.SetWaveform(COscillator::kSaw);
    osc.SetPitch(0.0f);
    const int32_t n = 2 * kRate;
    std::vector<float> pitch(n, 20.0f), out(n), sync(n);
    osc.Render(nullptr, nullptr, pitch.data(), out.data(), sync.data(), n);
    auto wraps = [&] { return std::count(sync.begin(), sync.end(), 0.0f); };
    EXPECT_NEAR(static_cast<double>(wraps()), 2.0 * kRate / 4.0, 2.0); // a quarter of the rate
    std::fill(pitch.begin(), pitch.end(), -20.0f);
    osc.Render(nullptr, nullptr, pitch.data(), out.data(), sync.data(), n);
    EXPECT_NEAR(static_cast<double>(wraps()), 2.0, 1.0); // 1 Hz for two seconds
    // A pitch input of 5 with base pitch 0 plays 440 Hz.
    std::fill(pitch.begin(), pitch.end(), 5.0f);
    osc.Render(nullptr, nullptr, pitch.data(), out.data(), sync.data(), n);
    EXPECT_NEAR(static_cast<double>(wraps()), 880.0, 1.0);

    COscillator lfo(kRate, &tables.sine, 440.0f);
    std::vector<float> wave(kRate);
    lfo.RenderWave(wave.data(), kRate);
    EXPECT_NEAR(ZeroCrossingFrequency(wave, kRate), 440.0, 0.5);
    lfo.SetPitch(6.0f);
    lfo.RenderWave(wave.data(), kRate);
    EXPECT_NEAR(ZeroCrossingFrequency(wave, kRate), 880.0, 0.5);
    std::vector<float> zero(kRate, 0.0f);
    lfo.SetPitch(5.0f - 2.0f);
    lfo.RenderPitched(std::vector<float>(kRate, 2.0f).data(), wave.data(), kRate); // base 3 + 2 = 440 Hz
    EXPECT_NEAR(ZeroCrossingFrequency(wave, kRate), 440.0, 0.5);
}

TEST(Oscillator, SyncRestartsOnlyOnExactlyZero) {
    const CSharedTables& tables = SharedTables();
    auto render = [&](float syncValue) {
        COscillator osc(kRate, &tables.sine, 50.0f, tables.edge.get(), tables.impulse.get());
        osc.SetWaveform(COscillator::kSaw);
        std::vector<float> sync(400, 1.0f), out(400), syncOut(400);
        sync[200] = syncValue;
        osc.Render(nullptr, sync.data(), nullptr, out.data(), syncOut.data(), 400);
        return std::make_pair(syncOut[200], osc.Phase());
    };
    const auto reset = render(0.0f);
    const auto kept = render(1e-7f);
    const auto free = render(1.0f);
    EXPECT_EQ(reset.first, 0.0f);
    EXPECT_EQ(kept.first, 1.0f);
    EXPECT_EQ(kept.second, free.second);
    EXPECT_NEAR(reset.second, 199.0f * 50.0f / kRate, 1e-4f); // restarted at sample 200
}

TEST(Oscillator, SampleAndHoldHoldsForOnePeriod) {
    const CSharedTables& tables = SharedTables();
    COscillator lfo(kRate, &tables.sine, 441.0f); // a new value every 100 samples
    std::vector<float> out(1000);
    lfo.RenderSampleHold(out.data(), 1000);
    int changes = 0;
    for (size_t i = 1; i < out.size(); ++i) {
        EXPECT_GE(out[i], -1.0f);
        EXPECT_LE(out[i], 1.0f);
        if (out[i] != out[i - 1]) ++changes;
    }
    EXPECT_GE(changes, 8);
    EXPECT_LE(changes, 10);
    lfo.RenderSampleGlide(out.data(), 1000);
    for (size_t i = 1; i < out.size(); ++i)
        EXPECT_LT(std::fabs(out[i] - out[i - 1]), 0.03f);
}

TEST(ADSREnvelope, TimesSustainAndRelease) {
    CADSREnvelope env(kRate, 0.01f, 0.01f, 0.5f, 0.02f);
    std::vector<float> out(2000);
    env.Render(100, out.data());
    EXPECT_EQ(out[99], 0.0f); // idle until triggered
    env.Trigger();
    env.Render(2000, out.data());
    EXPECT_LT(out[439], 1.0f);
    EXPECT_FLOAT_EQ(out[440], 1.0f);          // attack of 441 samples
    EXPECT_NEAR(out[440 + 441], 0.5f, 1e-4f); // then the decay to the sustain level
    EXPECT_FLOAT_EQ(out[1999], 0.5f);
    env.Release();
    env.Render(2000, out.data());
    EXPECT_NEAR(out[0], 0.5f, 2e-3f); // continuous from the sustain level
    EXPECT_EQ(out[1999], 0.0f);
    EXPECT_EQ(env.Stage(), CADSREnvelope::kIdle);
}

TEST(ADSREnvelope, RetriggerRisesFromTheCurrentLevel) {
    CADSREnvelope env(kRate, 0.1f, 0.1f, 0.8f, 0.5f);
    std::vector<float> out(20000);
    env.Trigger();
    env.Render(12000, out.data());
    env.Release();
    env.Render(5000, out.data());
    const float level = out[4999];
    ASSERT_GT(level, 0.3f);
    env.Trigger();
    env.Render(10, out.data());
    EXPECT_NEAR(out[0], level, 0.01f);
    EXPECT_GT(out[9], out[0]);
    // A trigger during the attack changes nothing.
    CADSREnvelope a(kRate, 0.1f, 0.1f, 0.8f, 0.5f), b(kRate, 0.1f, 0.1f, 0.8f, 0.5f);
    std::vector<float> outA(3000), outB(3000);
    a.Trigger();
    b.Trigger();
    a.Render(1000, outA.data());
    b.Render(1000, outB.data());
    b.Trigger();
    a.Render(3000, outA.data());
    b.Render(3000, outB.data());
    EXPECT_EQ(outA, outB);
}

TEST(ADSREnvelope, CurveChangeMidSegmentDoesNotJump) {
    CADSREnvelope env(kRate, 0.1f, 0.1f, 0.5f, 0.1f);
    std::vector<float> out(2000);
    env.Trigger();
    env.Render(2000, out.data());
    const float before = out[1999];
    env.SetAttackCurve(-6.0f);
    env.Render(1, out.data());
    EXPECT_NEAR(out[0], before, 0.01f);
}

TEST(PercEnvelope, RepeatsAndDelay) {
    CPercEnvelope env(kRate, 0.001f, 0.005f, 0.0f, 0.0f);
    env.SetRepeats(3);
    env.SetDelay(0.001f);
    std::vector<float> out(4000);
    env.Trigger();
    env.Render(4000, out.data());
    int peaks = 0;
    for (size_t i = 0; i < out.size(); ++i)
        if (out[i] == 1.0f) ++peaks;
    EXPECT_EQ(peaks, 4);
    for (int i = 0; i < 44; ++i)
        EXPECT_EQ(out[i], 0.0f); // the delay
    EXPECT_FALSE(env.IsActive());
    // A zero time lasts one sample.
    CPercEnvelope click(kRate, 0.0f, 0.0f, 0.0f, 0.0f);
    click.Trigger();
    click.Render(4, out.data());
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[1], 0.0f);
    // A retrigger during the decay rises from the current level.
    CPercEnvelope env2(kRate, 0.01f, 0.1f, 0.0f, 0.0f);
    env2.Trigger();
    env2.Render(2000, out.data());
    const float level = out[1999];
    env2.Trigger();
    env2.Render(1, out.data());
    EXPECT_NEAR(out[0], level, 0.01f);
}

TEST(Filter, LowPassIsThreeDbDownAtItsCutoff) {
    for (double cutoff : {200.0, 1000.0, 5000.0}) {
        CFilter filter(kRate, CFilter::kLowPass, false, OctavePitch(static_cast<float>(cutoff)), 0.0f);
        const double gain = SineGain(cutoff, kRate, 16384, [&](std::vector<float>& x) {
            filter.Process(static_cast<int32_t>(x.size()), x.data(), nullptr, nullptr);
        });
        EXPECT_NEAR(ToDb(gain), -3.0, 0.5) << cutoff;
        CFilter pass(kRate, CFilter::kLowPass, false, OctavePitch(static_cast<float>(cutoff)), 0.0f);
        const double low = SineGain(cutoff / 8, kRate, 16384, [&](std::vector<float>& x) {
            pass.Process(static_cast<int32_t>(x.size()), x.data(), nullptr, nullptr);
        });
        EXPECT_NEAR(ToDb(low), 0.0, 0.2);
    }
    CFilter cascade(kRate, CFilter::kLowPass, true, OctavePitch(1000.0f), 0.0f);
    const double gain = SineGain(1000.0, kRate, 16384, [&](std::vector<float>& x) {
        cascade.Process(static_cast<int32_t>(x.size()), x.data(), nullptr, nullptr);
    });
    EXPECT_NEAR(ToDb(gain), -6.0, 0.5);
    CFilter high(kRate, CFilter::kHighPass, false, OctavePitch(1000.0f), 0.0f);
    const double highGain = SineGain(1000.0, kRate, 16384, [&](std::vector<float>& x) {
        high.Process(static_cast<int32_t>(x.size()), x.data(), nullptr, nullptr);
    });
    EXPECT_NEAR(ToDb(highGain), -3.0, 0.5);
}

TEST(Filter, ResonancePeaksAndBandPassSelects) {
    CFilter resonant(kRate, CFilter::kLowPass, false, OctavePitch(1000.0f), 24.0f);
    const double atCutoff = SineGain(1000.0, kRate, 16384, [&](std::vector<float>& x) {
        resonant.Process(static_cast<int32_t>(x.size()), x.data(), nullptr, nullptr);
    });
    // Damping √2·10^(−2.4) peaks the cutoff by 45 dB; the gain factor 10^(−24/20) takes 24 dB back.
    EXPECT_NEAR(ToDb(atCutoff), 21.0, 1.0);
    CFilter band(kRate, CFilter::kBandPass, false, OctavePitch(1000.0f), 0.0f);
    const double centre = SineGain(1000.0, kRate, 16384, [&](std::vector<float>& x) {
        band.Process(static_cast<int32_t>(x.size()), x.data(), nullptr, nullptr);
    });
    CFilter band2(kRate, CFilter::kBandPass, false, OctavePitch(1000.0f), 0.0f);
    const double off = SineGain(100.0, kRate, 16384, [&](std::vector<float>& x) {
        band2.Process(static_cast<int32_t>(x.size()), x.data(), nullptr, nullptr);
    });
    EXPECT_NEAR(ToDb(centre), 0.0, 0.5);
    EXPECT_LT(ToDb(off), -15.0);
}

TEST(Filter, CoefficientsFollowSettersOrEveryFourthSample) {
    CFilter filter(kRate, CFilter::kLowPass, false, 6.0f, 3.0f);
    std::vector<float> block(256, 0.5f);
    filter.Process(256, block.data(), nullptr, nullptr);
    filter.Process(256, block.data(), nullptr, nullptr);
    EXPECT_EQ(filter.UpdateCount(), 1);
    filter.SetCutoff(7.0f);
    filter.Process(256, block.data(), nullptr, nullptr);
    EXPECT_EQ(filter.UpdateCount(), 2);
    // A moving input is followed every fourth sample; a standing one needs a single recomputation.
    std::vector<float> cutoff(256);
    for (size_t i = 0; i < cutoff.size(); ++i)
        cutoff[i] = 0.001f * static_cast<float>(i + 1);
    filter.Process(256, block.data(), cutoff.data(), nullptr);
    EXPECT_EQ(filter.UpdateCount(), 2 + 64);
    std::fill(cutoff.begin(), cutoff.end(), 0.5f);
    filter.Process(256, block.data(), cutoff.data(), nullptr);
    filter.Process(256, block.data(), cutoff.data(), nullptr);
    EXPECT_EQ(filter.UpdateCount(), 2 + 64 + 1);
    // SetType clears the state: the next output is a fresh start.
    CFilter fresh(kRate, CFilter::kHighPass, false, 6.0f, 3.0f);
    filter.SetType(CFilter::kHighPass);
    filter.SetCutoff(6.0f);
    std::vector<float> a(16, 1.0f), b(16, 1.0f);
    filter.Process(16, a.data(), nullptr, nullptr);
    fresh.Process(16, b.data(), nullptr, nullptr);
    EXPECT_EQ(a, b);
}

TEST(Filter, ABlockFollowsItsInputsAsFourSampleCallsWould) {
    // A whole block designs its moving coefficients four at a time; calls of four samples design
    // one at a time. Every type, both slopes, resonance input too, and widths past a quarter turn
    // (the band types' reduction): the same samples, bit for bit.
    std::vector<float> input(512), cutoff(512), resonance(512);
    std::mt19937 random(5);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    for (size_t i = 0; i < input.size(); ++i) {
        input[i] = noise(random);
        // The cutoff sweeps from 440 Hz past a quarter of the rate (octave pitch 5 to 13) while the
        // damping falls from 1.6 to 0.2.
        cutoff[i] = 4.0f * std::sin(0.02f * static_cast<float>(i)) + 1.0f;
        resonance[i] = -5.0f + 0.018f * static_cast<float>(i); // on top of the filter's 3 dB
    }
    for (int32_t type : {CFilter::kLowPass, CFilter::kHighPass, CFilter::kBandPass, CFilter::kBandReject})
        for (bool cascade : {false, true})
            for (bool withResonance : {false, true}) {
                SCOPED_TRACE(testing::Message() << type << cascade << withResonance);
                CFilter whole(kRate, type, cascade, 8.0f, 3.0f), pieces(kRate, type, cascade, 8.0f, 3.0f);
                std::vector<float> a = input, b = input;
                const float* res = withResonance ? resonance.data() : nullptr;
                whole.Process(512, a.data(), cutoff.data(), res);
                for (size_t i = 0; i < 512; i += 4)
                    pieces.Process(4, b.data() + i, cutoff.data() + i, res ? res + i : nullptr);
                ASSERT_EQ(a, b);
                EXPECT_EQ(whole.UpdateCount(), pieces.UpdateCount());
                EXPECT_TRUE(std::all_of(a.begin(), a.end(), [](float v) { return std::isfinite(v); }));
            }
}

TEST(Glide, JumpsFirstThenSlidesInTheSetTime) {
    CGlide glide(1000, 0.5f, 0.1f, 0.0f);
    std::vector<float> out(1000);
    glide.SetTarget(5.0f);
    glide.Render(10, out.data());
    EXPECT_EQ(out[0], 5.0f);
    glide.SetTarget(6.0f); // one octave: 0.5 s + 0.1 s = 600 samples at 1 kHz
    glide.Render(1000, out.data());
    EXPECT_LT(out[598], 6.0f);
    EXPECT_FLOAT_EQ(out[599], 6.0f);
    EXPECT_NEAR(out[299], 5.5f, 0.01f);
    CGlide instant(1000, 0.0f, 0.0f, 0.0f);
    instant.SetTarget(3.0f);
    instant.SetTarget(4.0f);
    instant.Render(1, out.data());
    EXPECT_EQ(out[0], 4.0f);
    glide.SetNote(69, nullptr);
    EXPECT_TRUE(glide.IsSliding());
    glide.Render(1000, out.data());
    EXPECT_NEAR(out[999], 5.0f, 1e-4f);
}

TEST(FormantFilter, SameVowelTwiceKeepsTheGlideRunning) {
    CFormantFilter formant(kRate, 256, 0);
    EXPECT_FALSE(formant.BandGlide(1).IsSliding()); // the first vowel is taken at once
    EXPECT_NEAR(formant.BandGlide(1).Current(), OctavePitch(266.0f), 1e-4f);
    formant.SetVowel(20);
    std::vector<float> in(256, 0.0f), out(256);
    in[0] = 1.0f;
    formant.Process(256, in.data(), out.data());
    const float midway = formant.BandGlide(1).Current();
    ASSERT_TRUE(formant.BandGlide(1).IsSliding());
    formant.SetVowel(20);
    formant.Process(256, in.data(), out.data());
    EXPECT_TRUE(formant.BandGlide(1).IsSliding());
    EXPECT_GT(formant.BandGlide(1).Current(), midway); // still moving on, not restarted
    EXPECT_STREQ(VowelAt(44).name, "Bass U");
    EXPECT_STREQ(VowelAt(0).name, "Male IY");
}

TEST(FormantFilter, PassesItsFormantsAndStopsOthers) {
    CFormantFilter formant(kRate, 4096, 25); // Alto A: 800, 1150, 2800, 3500 Hz
    auto gainAt = [&](double hz) {
        return SineGain(hz, kRate, 16384, [&](std::vector<float>& x) {
            std::vector<float> out(4096);
            for (size_t at = 0; at < x.size(); at += 4096) {
                formant.Process(4096, x.data() + at, out.data());
                std::copy(out.begin(), out.end(), x.begin() + static_cast<long>(at));
            }
        });
    };
    EXPECT_GT(ToDb(gainAt(800.0)) - ToDb(gainAt(80.0)), 20.0);
}

TEST(ExpAmp, ExponentialAndLinear) {
    CExpAmp amp(CExpAmp::kExponential, 1.0f);
    float samples[3] = {0.5f, 0.5f, 0.5f};
    const float control[3] = {0.0f, 1.0f, 0.5f};
    amp.Process(3, samples, control);
    EXPECT_EQ(samples[0], 0.0f);
    EXPECT_FLOAT_EQ(samples[1], 0.5f);
    EXPECT_NEAR(samples[2], 0.5f * (std::sqrt(2.0f) - 1.0f), 1e-6f);
    CExpAmp linear(CExpAmp::kLinear, 2.0f);
    float more[1] = {1.0f};
    const float c[1] = {1.0f};
    linear.Process(1, more, c);
    EXPECT_FLOAT_EQ(more[0], 0.5f);
}

TEST(Oscillator, FixedSquareFollowsTheSampleLoopAndHoldsItsFrequency) {
    // Without inputs the square moves from edge to edge; with a width input of 0 (the same square)
    // it steps sample by sample. Early on they agree closely; over a second the edge-to-edge phase
    // keeps the exact frequency, and the split into calls does not matter.
    const CSharedTables& tables = SharedTables();
    auto make = [&] {
        auto osc = std::make_unique<COscillator>(kRate, &tables.sine, 1047.0f, tables.edge.get(),
                                                 tables.impulse.get());
        osc->SetWaveform(COscillator::kSquare);
        return osc;
    };
    auto fixed = make(), stepped = make(), pieces = make();
    std::vector<float> a(kRate), b(kRate), c(kRate), zeros(kRate, 0.0f);
    fixed->Render(nullptr, nullptr, nullptr, a.data(), nullptr, kRate);
    stepped->Render(zeros.data(), nullptr, nullptr, b.data(), nullptr, kRate);
    for (int32_t i = 0, n = 37; i < kRate; i += n, n = n == 37 ? 64 : 37)
        pieces->Render(nullptr, nullptr, nullptr, c.data() + i, nullptr, std::min(n, kRate - i));
    float early = 0.0f, split = 0.0f;
    for (size_t i = 0; i < 2048; ++i)
        early = std::max(early, std::fabs(a[i] - b[i]));
    for (size_t i = 0; i < a.size(); ++i)
        split = std::max(split, std::fabs(a[i] - c[i]));
    EXPECT_LT(early, 1e-3f);
    EXPECT_LT(split, 1e-6f);
    EXPECT_NEAR(ZeroCrossingFrequency(a, kRate, 100), 1047.0, 0.05);
    EXPECT_NEAR(Rms(a, 100), 1.0, 0.05);
}

TEST(Oscillator, PulseWidthSetsTheDutyCycle) {
    const CSharedTables& tables = SharedTables();
    for (float width : {-0.5f, 0.0f, 0.6f}) {
        COscillator osc(kRate, &tables.sine, 441.0f, tables.edge.get(), tables.impulse.get());
        osc.SetWaveform(COscillator::kSquare);
        std::vector<float> widthIn(kRate, width), out(kRate);
        osc.Render(widthIn.data(), nullptr, nullptr, out.data(), nullptr, kRate);
        double mean = 0.0;
        for (float v : out)
            mean += v;
        mean /= kRate;
        // Low below w = (width + 1)/2 of the period, high above it.
        const double w = (width + 1.0) / 2.0;
        EXPECT_NEAR(mean, (1.0 - w) - w, 0.01) << width;
    }
}
