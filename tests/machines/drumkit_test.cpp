// QX DGenR8, measured on its rendered output.
#include "machines/drumkit/drumkit.h"
#include "tests/support/machine_harness.h"
#include "tests/support/signal_tools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace harness;
using namespace signal_tools;

namespace {

// A DrumKit with a pinned noise seed; renders whole buffers and collects "Line Out".
struct Kit {
    TestHost host;
    CDrumKit* kit = new CDrumKit(&host.host);
    Stereo out;

    explicit Kit(uint32_t seed = 1234) { kit->SetNoiseSeed(seed); }
    ~Kit() { kit->Delete(); }
    void Trigger(int32_t voice, int32_t time = 0) { Send(*kit, 0, Event(kEventTriggerOn, time, voice)); }
    void Note(int32_t note, int32_t time = 0) { Send(*kit, 0, Event(kEventNoteOn, time, note)); }
    void Render(int32_t buffers = 1) {
        for (int32_t b = 0; b < buffers; ++b) {
            kit->Process();
            out.Append(*kit->m_ports[1]->m_audioBuffer, kBlock);
        }
    }
    bool AllIdle() const {
        for (int32_t v = 0; v < CDrumKit::kVoiceCount; ++v)
            if (!kit->Voice(v).IsIdle()) return false;
        return true;
    }
};

} // namespace

// Brightness of a stretch: energy of the first difference over the energy of the signal.
double Brightness(const std::vector<float>& x, size_t from, size_t to) {
    double all = 0.0, high = 0.0;
    for (size_t i = from; i < to; ++i) {
        all += static_cast<double>(x[i]) * x[i];
        const double d = static_cast<double>(x[i]) - x[i - 1];
        high += d * d;
    }
    return all > 0.0 ? high / all : 0.0;
}

TEST(DrumKit, NotesPlayTheirVoiceModuloEleven) {
    // Note 36 is the Mid Tom and note 11 the Bass Drum: the same sound as their drum-row triggers.
    for (const auto& [note, voice] : {std::pair{36, 3}, std::pair{11, 0}, std::pair{127, 6}}) {
        Kit byNote, byRow;
        byNote.Note(note, 5);
        byRow.Trigger(voice, 5);
        byNote.Render(8);
        byRow.Render(8);
        EXPECT_FALSE(byNote.kit->Voice(voice).IsIdle()) << note;
        EXPECT_GT(Peak(byNote.out.left), 0.01) << note;
        EXPECT_EQ(byNote.out.left, byRow.out.left) << note;
        for (int32_t v = 0; v < CDrumKit::kVoiceCount; ++v)
            if (v != voice) {
                EXPECT_TRUE(byNote.kit->Voice(v).IsIdle()) << note << " voice " << v;
            }
    }
    char name[64];
    {
        Kit k;
        k.kit->GetNoteName(3, name);
        EXPECT_STREQ(name, "Mid Tom");
        k.kit->GetNoteName(11, name);
        EXPECT_STREQ(name, "");
        EXPECT_EQ(k.kit->m_namedNoteCount, 11);
    }
}

TEST(DrumKit, OutOfRangeTriggersAndNoteOffsAreIgnored) {
    Kit k;
    k.Trigger(11);
    k.Trigger(-1);
    k.Render(4);
    EXPECT_TRUE(k.AllIdle());
    EXPECT_EQ(Peak(k.out.left) + Peak(k.out.right), 0.0);

    // A note off or trigger off right after the start lets the sound play out unchanged.
    Kit plain, stopped;
    plain.Trigger(8);
    stopped.Trigger(8);
    Send(*stopped.kit, 0, Event(kEventTriggerOff, 10, 8));
    Send(*stopped.kit, 0, Event(kEventNoteOff, 20, 8));
    plain.Render(20);
    stopped.Render(20);
    EXPECT_GT(Peak(plain.out.left), 0.01);
    EXPECT_EQ(plain.out.left, stopped.out.left);
}

TEST(DrumKit, LevelAndBalanceGains) {
    // The closed hi-hat has fixed gains, so sample ratios show the gain law exactly.
    auto render = [](float level, float balance) {
        Kit k;
        const int32_t p = CDrumKit::LevelParameter(7);
        k.kit->SetParameter(p, level);
        k.kit->SetParameter(p + 1, balance);
        k.Trigger(7);
        k.Render(8);
        return k.out;
    };
    const Stereo centre = render(1.0f, 0.5f);
    const Stereo left = render(1.0f, 0.0f);
    const Stereo half = render(0.5f, 0.5f);
    const Stereo silent = render(0.0f, 0.5f);
    ASSERT_GT(Peak(centre.left), 0.05);
    EXPECT_EQ(centre.left, centre.right);
    EXPECT_EQ(Peak(left.right), 0.0);
    EXPECT_NEAR(Rms(left.left) / Rms(centre.left), 2.0, 1e-5);
    EXPECT_NEAR(Rms(half.left) / Rms(centre.left), std::pow(10.0, -1.6), 1e-5); // −16 dB on the library scale
    EXPECT_EQ(Peak(silent.left) + Peak(silent.right), 0.0);

    // Level 1, Balance 0.5 is unity gain: the same sound as the voice's own output.
    TestHost host;
    CHiHatClosed voice(kRate, kBlock);
    ControlEvent decay = Event(kEventParameter, 0, 28, 0.3f);
    voice.AddEvent(decay);
    voice.AddEvent(Event(kEventTriggerOn, 0, 7));
    Kit reference;
    reference.Trigger(7);
    reference.Render(1);
    std::vector<float> l(kBlock, 0.0f), r(kBlock, 0.0f), noise(kBlock);
    RandomState random{1234};
    for (float& n : noise)
        n = (static_cast<float>(random.Next()) / 32767.0f - 0.5f) * 2.0f;
    voice.Render(l.data(), r.data(), noise.data(), kBlock, 0); // a bare voice plays at unity gain
    for (int32_t i = 0; i < kBlock; ++i)
        ASSERT_FLOAT_EQ(reference.out.left[static_cast<size_t>(i)], l[static_cast<size_t>(i)]) << i;
}

TEST(DrumKit, ClapPlaysFourBursts) {
    Kit k;
    k.Trigger(6);
    k.Render(40);
    const std::vector<float>& x = k.out.left;
    // Each burst sweeps the band-pass up (brighter) and back down (darker) over 40 ms = 1764
    // samples; the sound is darkest at the end of each burst.
    const size_t cycle = 1764;
    for (size_t burst = 0; burst < 4; ++burst) {
        const size_t start = burst * cycle;
        const double bright = Brightness(x, start + 441, start + 1000);
        const double dark = Brightness(x, start + cycle - 120, start + cycle);
        EXPECT_GT(bright, 1.5 * dark) << "burst " << burst;
    }
    // The clap is over after the fourth burst.
    EXPECT_LT(Rms(x.data() + 4 * cycle + 100, 2000), 1e-4);
    EXPECT_TRUE(k.kit->Voice(6).IsIdle());
}

TEST(DrumKit, TriggersStartOnTheirOwnSamples) {
    // Two sounds in one buffer: the result is the sum of each alone, each silent before its offset.
    Kit both, rim, hat;
    both.Trigger(5, 10);
    both.Trigger(7, 100);
    rim.Trigger(5, 10);
    hat.Trigger(7, 100);
    both.Render(4);
    rim.Render(4);
    hat.Render(4);
    for (size_t i = 0; i < 10; ++i)
        EXPECT_EQ(both.out.left[i], 0.0f) << i;
    for (size_t i = 0; i < 100; ++i)
        EXPECT_EQ(hat.out.left[i], 0.0f) << i;
    EXPECT_NE(rim.out.left[10], 0.0f);
    EXPECT_NE(hat.out.left[100], 0.0f);
    for (size_t i = 0; i < both.out.left.size(); ++i)
        ASSERT_NEAR(both.out.left[i], rim.out.left[i] + hat.out.left[i], 1e-6) << i;

    // The same voice twice in one buffer restarts at the second offset.
    Kit twice;
    twice.Trigger(8, 0);
    twice.Trigger(8, 200);
    twice.Render(1);
    EXPECT_FALSE(twice.kit->Voice(8).IsIdle());
}

TEST(DrumKit, BassDrumClickLandsOnTheTriggerSample) {
    // The early kit's noise runs 37 draws ahead, so both drums see the same noise sample for sample.
    RandomState ahead{1234};
    for (int i = 0; i < 37; ++i)
        ahead.Next();
    Kit late(1234), early(ahead.state);
    late.Trigger(0, 37);
    early.Trigger(0, 0);
    late.Render(2);
    early.Render(2);
    EXPECT_EQ(late.out.left[36], 0.0f);
    EXPECT_NE(late.out.left[37], 0.0f);
    // The same drum, click included, shifted by exactly 37 samples.
    for (size_t i = 0; i < 400; ++i)
        ASSERT_EQ(late.out.left[37 + i], early.out.left[i]) << i;
    EXPECT_GT(Peak(early.out.left), 0.1);
}

TEST(DrumKit, BassDrumSweepsDownTowardFiftyHertz) {
    Kit k;
    k.Trigger(0);
    k.Render(120);
    const std::vector<float>& x = k.out.left;
    const double early = ZeroCrossingFrequency(std::vector<float>(x.begin() + 200, x.begin() + 1200), kRate);
    const double late =
        ZeroCrossingFrequency(std::vector<float>(x.begin() + 12000, x.begin() + 20000), kRate);
    EXPECT_GT(early, 120.0);
    EXPECT_LT(late, 70.0);
    EXPECT_GT(late, 45.0);
}

TEST(DrumKit, EverySoundPlaysOutAndGoesIdle) {
    for (int32_t v = 0; v < CDrumKit::kVoiceCount; ++v) {
        Kit k;
        k.Trigger(v);
        k.Render(2);
        EXPECT_GT(Peak(k.out.left), 0.005) << v;
        k.Render(6 * kRate / kBlock);
        EXPECT_TRUE(k.kit->Voice(v).IsIdle()) << v;
        bool finite = true;
        for (float s : k.out.left)
            finite = finite && std::isfinite(s);
        EXPECT_TRUE(finite) << v;
    }
}

TEST(DrumKit, CymbalsSoundAllSixSquares) {
    Kit k;
    k.Trigger(9);
    k.Render(40);
    std::vector<float> part(k.out.left.begin() + 2048, k.out.left.begin() + 2048 + 8192);
    const std::vector<double> spectrum = Spectrum(part);
    std::vector<double> sorted = spectrum;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<long>(sorted.size() / 2), sorted.end());
    const double median = sorted[sorted.size() / 2];
    const double binHz = kRate / 8192.0;
    // The inharmonic partials of the metallic source (1047 and 1049 Hz share a bin) and a third
    // harmonic of the squares stand far above the spectrum's floor.
    for (double hz : {1047.0, 1109.0, 1175.0, 1480.0, 3 * 1109.0}) {
        const auto bin = static_cast<size_t>(std::lround(hz / binHz));
        const double level = std::max({spectrum[bin - 1], spectrum[bin], spectrum[bin + 1]});
        EXPECT_GT(ToDb(level / median), 20.0) << hz;
    }
}

TEST(DrumKit, ParametersNamesAndTexts) {
    Kit k;
    char text[64];
    EXPECT_EQ(k.kit->m_parameterCount, 38);
    k.kit->GetParameterName(37, text);
    EXPECT_STREQ(text, "RC Decay");
    k.kit->GetParameterName(38, text);
    EXPECT_STREQ(text, "");
    EXPECT_FLOAT_EQ(k.kit->GetParameter(9), 0.8f);
    EXPECT_EQ(k.kit->GetParameter(38), 0.0f);
    k.kit->FormatParameter(8, 0.4f, text);
    EXPECT_STREQ(text, "40%");
    k.kit->SetParameter(38, 0.3f); // ignored
    const void* state;
    int32_t size;
    bool list;
    k.kit->GetState(&state, &size, &list);
    EXPECT_TRUE(list);
    EXPECT_EQ(size, 8 + 4 * 38);
}

TEST(DrumKit, FollowsSampleRateAndBufferSizeChanges) {
    // At 48 kHz in 64-frame buffers the bass drum still settles near 50 Hz.
    Kit k;
    k.kit->ResizePortBuffers(64);
    k.kit->SetBufferSize(64);
    k.kit->SetSampleRate(48000);
    k.Trigger(0);
    std::vector<float> left;
    for (int32_t b = 0; b < 400; ++b) {
        k.kit->Process();
        const CAudioBuffer* out = k.kit->m_ports[1]->m_audioBuffer;
        ASSERT_EQ(out->m_length, 64);
        left.insert(left.end(), out->m_channel1, out->m_channel1 + 64);
    }
    const double late =
        ZeroCrossingFrequency(std::vector<float>(left.begin() + 13000, left.begin() + 21000), 48000);
    EXPECT_GT(late, 45.0);
    EXPECT_LT(late, 70.0);
}
