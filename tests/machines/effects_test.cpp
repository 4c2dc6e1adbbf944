// QX Stomp, QX QuadDelay and QX AntiAlias, measured on their outputs.
#include "machines/antialias/antialias_filter.h"
#include "machines/quaddelay/echo.h"
#include "machines/stomp/kick.h"
#include "tests/support/machine_harness.h"
#include "tests/support/signal_tools.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>

using namespace harness;
using namespace signal_tools;

namespace {

class MachineTest : public ::testing::Test {
protected:
    CVeskHost m_host{kRate, kBlock, 0x16, nullptr};
};

// Feeds an effect the given stereo input, block by block, and collects its output.
void RunEffect(CMachine& machine, const std::vector<float>& inLeft, const std::vector<float>& inRight,
               std::vector<float>& outLeft, std::vector<float>& outRight) {
    CAudioBuffer* in = FindPort(machine, "Line In")->m_audioBuffer;
    CAudioBuffer* out = FindPort(machine, "Line Out")->m_audioBuffer;
    for (size_t at = 0; at < inLeft.size(); at += static_cast<size_t>(in->m_length)) {
        const size_t n = std::min(static_cast<size_t>(in->m_length), inLeft.size() - at);
        in->Clear();
        std::copy_n(inLeft.begin() + static_cast<long>(at), n, in->m_channel1);
        std::copy_n(inRight.begin() + static_cast<long>(at), n, in->m_channel2);
        machine.Process();
        outLeft.insert(outLeft.end(), out->m_channel1, out->m_channel1 + n);
        outRight.insert(outRight.end(), out->m_channel2, out->m_channel2 + n);
    }
}

} // namespace

TEST_F(MachineTest, StompIsSilentWithoutNotesAndStartsOnItsSample) {
    MachinePtr<CKick> kick(new CKick(&m_host));
    std::vector<float> out;
    Render(*kick, 4096, out);
    EXPECT_EQ(Peak(out), 0.0);

    MachinePtr<CKick> late(new CKick(&m_host));
    Send(*late, Note(kEventNoteOn, 77, 33));
    std::vector<float> b;
    Render(*late, 4096, b);
    // The oscillator runs all along, so the amplitude envelope opens on exactly sample 77.
    for (int i = 0; i < 77; ++i)
        ASSERT_EQ(b[i], 0.0f) << i;
    EXPECT_NE(b[77], 0.0f);
    EXPECT_GT(Peak(b), 0.1);
    // Once the drum has played out it is silent again; a note in a later block starts on its sample.
    b.clear();
    Render(*late, kRate, b);
    EXPECT_EQ(Peak(std::vector<float>(b.end() - kBlock, b.end())), 0.0);
    Send(*late, Note(kEventNoteOn, 5, 33));
    b.clear();
    Render(*late, kBlock, b);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(b[i], 0.0f) << i;
    EXPECT_NE(b[5], 0.0f);
}

TEST_F(MachineTest, StompIgnoresNoteOffAndSweepsDown) {
    auto render = [&](bool noteOff) {
        MachinePtr<CKick> kick(new CKick(&m_host));
        kick->SetParameter(6, 1.0f); // filter wide open
        Send(*kick, Note(kEventNoteOn, 0, 69));
        if (noteOff) Send(*kick, Note(kEventNoteOff, 50, 69));
        std::vector<float> out;
        Render(*kick, kRate, out);
        return out;
    };
    const auto out = render(false);
    EXPECT_EQ(render(true), out);
    // 440 Hz at the top of the pitch envelope, falling toward 13.75 Hz.
    const double early =
        ZeroCrossingFrequency(std::vector<float>(out.begin() + 180, out.begin() + 1200), kRate);
    const double later =
        ZeroCrossingFrequency(std::vector<float>(out.begin() + 8000, out.begin() + 20000), kRate);
    EXPECT_GT(early, 300.0);
    EXPECT_LT(early, 445.0);
    EXPECT_LT(later, early / 2);
}

TEST_F(MachineTest, StompParameterChangeReachesTheNextNote) {
    auto rmsWithDecay = [&](float decay) {
        MachinePtr<CKick> kick(new CKick(&m_host));
        std::vector<float> out;
        Render(*kick, kBlock, out);
        kick->SetParameter(4, decay);
        Send(*kick, Note(kEventNoteOn, 0, 45));
        out.clear();
        Render(*kick, 8192, out);
        return Rms(out);
    };
    EXPECT_LT(rmsWithDecay(0.01f), 0.3 * rmsWithDecay(0.5f)); // 10 ms against 500 ms
    MachinePtr<CKick> kick(new CKick(&m_host));
    EXPECT_EQ(kick->GetParameter(7), 0.0f);
    EXPECT_EQ(Name(*kick, 7), "");
    EXPECT_EQ(Name(*kick, 6), "VCF Cutoff");
    EXPECT_EQ(Display(*kick, 0, 0.02f), "2%");
    EXPECT_EQ(Display(*kick, 9, 0.5f), "");
    kick->SetParameter(7, 0.5f);
    EXPECT_EQ(kick->GetParameter(7), 0.0f);
}

TEST_F(MachineTest, QuadDelayTextsAndLevels) {
    MachinePtr<CEcho> echo(new CEcho(&m_host));
    EXPECT_EQ(Display(*echo, 0, 0.0f), "9ms");
    EXPECT_EQ(Display(*echo, 0, 1.0f), "1000ms");
    EXPECT_EQ(Display(*echo, 0, 0.1f), "81ms");
    EXPECT_EQ(Display(*echo, 8, 0.5f), "420ms");
    EXPECT_EQ(Display(*echo, 6, 0.0f), "-oo dB");
    EXPECT_EQ(Display(*echo, 7, 1.0f), "16.00dB");
    EXPECT_EQ(Display(*echo, 1, 0.5f), "50%");
    EXPECT_EQ(Name(*echo, 0), "Delay Time 1");
    EXPECT_EQ(Name(*echo, 31), "Dry Level 4");
    EXPECT_EQ(Name(*echo, 32), "");
    EXPECT_EQ(Display(*echo, 32, 0.5f), "");
    EXPECT_EQ(echo->GetParameter(32), 0.0f);
    EXPECT_FLOAT_EQ(echo->GetParameter(16), 0.3f);
    EXPECT_FLOAT_EQ(echo->GetParameter(6), 1.0f);
    // Delay Time 1 uses the whole one-second ring.
    echo->SetParameter(0, 1.0f);
    EXPECT_FLOAT_EQ(echo->DelayLine(0, 0).DelaySamples(), static_cast<float>(kRate));

    // All levels at 0: silence.
    for (int32_t line = 0; line < 4; ++line)
        echo->SetParameter(8 * line + 6, 0.0f);
    std::vector<float> noise(4096), left, right;
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = std::sin(0.1f * static_cast<float>(i));
    RunEffect(*echo, noise, noise, left, right);
    EXPECT_EQ(Peak(left) + Peak(right), 0.0);
}

TEST_F(MachineTest, QuadDelayEchoArrivesAtItsDelay) {
    for (float x : {0.0f, 0.25f, 0.5f}) {
        MachinePtr<CEcho> echo(new CEcho(&m_host));
        echo->SetParameter(0, x);
        echo->SetParameter(3, 1.0f); // wide band-pass
        const float d = 0.01f + 0.99f * (std::exp2(x) - 1.0f);
        const double expected = 1.0 + (kRate - 1) * static_cast<double>(d);
        // Let the read tap glide from its start to the set delay, then send one impulse.
        const size_t settle = kRate;
        std::vector<float> in(settle + static_cast<size_t>(expected) + 2048, 0.0f), left, right;
        in[settle] = 1.0f;
        RunEffect(*echo, in, in, left, right);
        const double direct = Peak(std::vector<float>(left.begin() + settle, left.begin() + settle + 64));
        ASSERT_GT(direct, 0.0);
        size_t onset = 0;
        for (size_t i = settle + 200; i < left.size() && !onset; ++i)
            if (std::fabs(left[i]) > 1e-3 * direct) onset = i;
        ASSERT_NE(onset, 0u) << x;
        EXPECT_NEAR(static_cast<double>(onset - settle), expected, 1.0) << x;
        EXPECT_EQ(left, right);
    }
}

TEST_F(MachineTest, QuadDelaySampleRateChangeRestartsSilent) {
    MachinePtr<CEcho> echo(new CEcho(&m_host));
    echo->SetParameter(1, 1.0f); // keeps recirculating
    std::vector<float> in(8192, 0.0f), left, right;
    in[0] = 1.0f;
    RunEffect(*echo, in, in, left, right);
    echo->SetSampleRate(48000);
    EXPECT_EQ(echo->DelayLine(0, 0).Length(), 48000);
    EXPECT_NEAR(echo->DelayLine(0, 1).DelaySamples(),
                1.0f + 47999.0f * (0.01f + 0.99f * (std::exp2(0.1f) - 1.0f)), 0.1f);
    std::vector<float> silence(48000, 0.0f);
    left.clear();
    right.clear();
    RunEffect(*echo, silence, silence, left, right);
    EXPECT_EQ(Peak(left), 0.0);
}

TEST_F(MachineTest, AntiAliasSettingsTapsAndUnityDc) {
    MachinePtr<CAntiAliasFilter> filter(new CAntiAliasFilter(&m_host));
    EXPECT_EQ(Display(*filter, 0, 0.24f), "2x");
    EXPECT_EQ(Display(*filter, 0, 0.25f), "4x");
    EXPECT_EQ(Display(*filter, 0, 1.0f), "32x");
    EXPECT_EQ(Name(*filter, 0), "Oversampling");
    EXPECT_EQ(Name(*filter, 1), "");
    EXPECT_EQ(filter->m_programCount, 1);
    const int32_t taps[5] = {33, 65, 129, 257, 513};
    for (int32_t s = 0; s < 5; ++s)
        EXPECT_EQ(filter->Filter(s).TapCount(), taps[s]);
    EXPECT_EQ(CAntiAliasFilter::SettingFor(0.24f), 0);
    EXPECT_EQ(CAntiAliasFilter::SettingFor(1.0f), 4);
    for (float x : {0.0f, 0.3f, 0.6f, 0.8f, 1.0f}) {
        MachinePtr<CAntiAliasFilter> f(new CAntiAliasFilter(&m_host));
        f->SetParameter(0, x);
        std::vector<float> dc(2048, 0.5f), minus(2048, -0.25f), left, right;
        RunEffect(*f, dc, minus, left, right);
        EXPECT_NEAR(left.back(), 0.5f, 1e-4f) << x;
        EXPECT_NEAR(right.back(), -0.25f, 1e-4f) << x;
    }
}

TEST_F(MachineTest, AntiAliasChannelsAreIndependentAndSettingsKeepTheirHistory) {
    MachinePtr<CAntiAliasFilter> filter(new CAntiAliasFilter(&m_host));
    std::vector<float> impulse(kBlock, 0.0f), zero(kBlock, 0.0f), left, right;
    impulse[0] = 1.0f;
    RunEffect(*filter, impulse, zero, left, right);
    EXPECT_GT(Peak(left), 0.1);
    EXPECT_EQ(Peak(right), 0.0);
    std::vector<float> left2, right2;
    MachinePtr<CAntiAliasFilter> swapped(new CAntiAliasFilter(&m_host));
    RunEffect(*swapped, zero, impulse, left2, right2);
    EXPECT_EQ(right2, left); // the same coefficients on both channels

    // Leaving setting 0 for a block and coming back continues its history where it stopped.
    std::vector<float> ramp(kBlock);
    for (int i = 0; i < kBlock; ++i)
        ramp[static_cast<size_t>(i)] = std::sin(0.05f * static_cast<float>(i));
    MachinePtr<CAntiAliasFilter> hopping(new CAntiAliasFilter(&m_host)),
        steady(new CAntiAliasFilter(&m_host));
    std::vector<float> a, b, ignore1, ignore2;
    RunEffect(*hopping, ramp, ramp, ignore1, ignore2);
    RunEffect(*steady, ramp, ramp, ignore1, ignore2);
    hopping->SetParameter(0, 1.0f);
    RunEffect(*hopping, impulse, impulse, ignore1, ignore2);
    hopping->SetParameter(0, 0.0f);
    RunEffect(*hopping, ramp, ramp, a, ignore1);
    RunEffect(*steady, ramp, ramp, b, ignore2);
    EXPECT_EQ(a, b);
}

// The zero-stuffed filter as a ring of every pushed sample, zeros included: each output sums
// h[k]·ring[newest − k] over every step-th tap, newest first.
class CZeroStuffedReference {
public:
    CZeroStuffedReference(std::vector<float> h, int32_t step) : m_h(std::move(h)), m_step(step) {
        m_ring.assign(m_h.size(), 0.0f);
        double sum = 0.0;
        for (size_t k = 0; k < m_h.size(); k += static_cast<size_t>(step))
            sum += m_h[k];
        m_gain = sum == 0.0 ? 1.0f : static_cast<float>(1.0 / std::fabs(sum));
    }
    float Next(float x) {
        const auto taps = static_cast<int32_t>(m_h.size());
        m_ring[static_cast<size_t>(m_write)] = x;
        float sum = 0.0f;
        for (int32_t k = 0, at = m_write; k < taps; k += m_step) {
            sum += m_h[static_cast<size_t>(k)] * m_ring[static_cast<size_t>(at)];
            at = (at - m_step + taps) % taps;
        }
        m_write = (m_write + 1) % taps;
        for (int32_t z = 1; z < m_step; ++z) { // the stuffed zeros
            m_ring[static_cast<size_t>(m_write)] = 0.0f;
            m_write = (m_write + 1) % taps;
        }
        return 0.0f + m_gain * sum;
    }

private:
    std::vector<float> m_h, m_ring;
    int32_t m_step;
    int32_t m_write = 0;
    float m_gain;
};

TEST_F(MachineTest, AntiAliasRendersTheZeroStuffedFilterBitForBit) {
    // Tap counts that are and are not multiples of the step, blocks shorter and longer than a
    // pass, odd lengths: the contiguous history gives the ring's samples exactly.
    std::mt19937 random(11);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (const auto& [taps, step] : {std::pair{33, 2}, {37, 4}, {129, 8}, {513, 32}, {5, 8}, {7, 1}}) {
        std::vector<float> h(static_cast<size_t>(taps));
        for (float& c : h)
            c = uniform(random);
        CStereoFIR filter(taps, h);
        filter.SetGainFromPhase(step);
        CZeroStuffedReference left(h, step), right(h, step);
        for (int32_t count : {1, 63, 64, 65, 200, 7, 256, 0, 129}) {
            std::vector<float> inLeft(static_cast<size_t>(count)), inRight(inLeft.size());
            for (size_t i = 0; i < inLeft.size(); ++i) {
                inLeft[i] = uniform(random);
                inRight[i] = i % 3 == 0 ? -0.0f : uniform(random);
            }
            std::vector<float> outLeft(inLeft.size(), 9.0f), outRight(inLeft.size(), 9.0f);
            filter.Process(inLeft.data(), inRight.data(), outLeft.data(), outRight.data(), count);
            for (size_t i = 0; i < inLeft.size(); ++i) {
                const float l = left.Next(inLeft[i]);
                const float r = right.Next(inRight[i]);
                ASSERT_EQ(std::bit_cast<uint32_t>(outLeft[i]), std::bit_cast<uint32_t>(l))
                    << taps << "/" << step << " block " << count << " sample " << i;
                ASSERT_EQ(std::bit_cast<uint32_t>(outRight[i]), std::bit_cast<uint32_t>(r))
                    << taps << "/" << step << " block " << count << " sample " << i;
            }
        }
    }
}

TEST_F(MachineTest, QuadDelayTimeChangesGlideAndFullFeedbackRecirculates) {
    // An impulse in flight while the delay moves from about 18526 down to 8702 samples comes back
    // at a delay in between: the read tap slides instead of jumping.
    MachinePtr<CEcho> echo(new CEcho(&m_host));
    echo->SetParameter(0, 0.5f);
    echo->SetParameter(3, 1.0f);
    std::vector<float> settle(kRate, 0.0f), left, right;
    RunEffect(*echo, settle, settle, left, right);
    std::vector<float> before(2048, 0.0f), after(20000, 0.0f);
    before[0] = 1.0f;
    left.clear();
    right.clear();
    RunEffect(*echo, before, before, left, right);
    echo->SetParameter(0, 0.25f);
    RunEffect(*echo, after, after, left, right);
    size_t onset = 0;
    for (size_t i = 200; i < left.size() && !onset; ++i)
        if (std::fabs(left[i]) > 1e-4) onset = i;
    EXPECT_GT(onset, 8702u + 100u);
    EXPECT_LT(onset, 18526u - 100u);

    // Feedback 1: the band-passed echo keeps going; feedback 0.5 dies away.
    auto tail = [&](float feedback) {
        MachinePtr<CEcho> line(new CEcho(&m_host));
        line->SetParameter(0, 0.0f); // 10 ms
        line->SetParameter(1, feedback);
        std::vector<float> impulse(3 * kRate, 0.0f), outLeft, outRight;
        impulse[0] = 1.0f;
        RunEffect(*line, impulse, impulse, outLeft, outRight);
        return Rms(outLeft, outLeft.size() - kRate / 2);
    };
    const double full = tail(1.0f);
    EXPECT_GT(full, 1e-6);
    EXPECT_GT(full, 1000.0 * tail(0.5f));
}
