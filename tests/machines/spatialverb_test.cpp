// QX SpatialVerb: the room model, the deferred rebuild and the rendered response.
#include "machines/spatialverb/spatialverb.h"
#include "tests/support/machine_harness.h"
#include "tests/support/signal_tools.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace harness;
using namespace signal_tools;

namespace {

struct Verb {
    TestHost host;
    CSpatialVerb* verb = new CSpatialVerb(&host.host);
    Stereo out;
    ~Verb() { verb->Delete(); }
    // Renders buffers with the given input (left and right channel signals, zeros past their ends).
    void Run(int32_t buffers, const std::vector<float>& left = {}, const std::vector<float>& right = {}) {
        for (int32_t b = 0; b < buffers; ++b) {
            CAudioBuffer* in = verb->m_ports[0]->m_audioBuffer;
            const size_t from = out.left.size();
            Fill(in->m_channel1, left, from, kBlock);
            Fill(in->m_channel2, right, from, kBlock);
            verb->Process();
            out.Append(*verb->m_ports[1]->m_audioBuffer, kBlock);
        }
    }
};

double Distance(const float* a, const float* b) {
    return std::hypot(a[0] - b[0], a[1] - b[1]);
}

// The early-window bin in which sound from a point d metres away arrives.
int32_t ArrivalBin(double metres, int32_t n) {
    return static_cast<int32_t>(metres / 346.02 / (0.075 / n));
}

bool SameTaps(const std::vector<CEarlyTapLine::Tap>& a, const std::vector<CEarlyTapLine::Tap>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].delay != b[i].delay || a[i].gain != b[i].gain) return false;
    return true;
}

} // namespace

TEST(SpatialVerb, DefaultRoomWindowAndDirectPaths) {
    Verb v;
    EXPECT_EQ(v.verb->TapCount(), 3307);
    EXPECT_NEAR(CSpatialVerb::kWindow * kSpeedOfSound, 25.95, 0.01);
    const RoomGeometry& g = v.verb->Geometry();
    EXPECT_FLOAT_EQ(g.width, 18.0f);
    EXPECT_FLOAT_EQ(g.height, 22.0f);
    // The first tap of every source/listener pair is the direct sound at full gain.
    const float* sources[2] = {g.sourceLeft, g.sourceRight};
    for (int32_t s = 0; s < 2; ++s) {
        const CEarlyTapLine& line = v.verb->TapLine(s);
        ASSERT_FALSE(line.TapsA().empty());
        ASSERT_FALSE(line.TapsB().empty());
        const int32_t directA = ArrivalBin(Distance(sources[s], g.listenerLeft), 3307);
        const int32_t directB = ArrivalBin(Distance(sources[s], g.listenerRight), 3307);
        EXPECT_NEAR(line.TapsA().front().delay, directA, 1) << s;
        EXPECT_NEAR(line.TapsB().front().delay, directB, 1) << s;
        EXPECT_FLOAT_EQ(line.TapsA().front().gain, 1.0f);
        EXPECT_FLOAT_EQ(line.TapsB().front().gain, 1.0f);
        // Reflections follow, each weaker than the direct sound by at least one wall.
        for (size_t i = 1; i < line.TapsA().size(); ++i)
            EXPECT_GT(line.TapsA()[i].delay, directA - 1);
    }
}

TEST(SpatialVerb, TreeResponseMatchesTheIntervalDefinition) {
    // The per-bin responses equal the tree's interval response, bin by bin.
    CImageSourceTree tree;
    tree.Build(3.0f, 4.0f, 12.0f, 15.0f, 0.5f, 0.075f);
    ASSERT_GT(tree.Nodes().size(), 20u);
    const int32_t n = 3307;
    std::vector<float> edges(n + 1);
    float t = 0.0f;
    const float tau = 0.075f / n;
    for (int32_t i = 0; i < n; ++i) {
        t += tau;
        edges[static_cast<size_t>(i) + 1] = (t * kSpeedOfSound) * (t * kSpeedOfSound);
    }
    std::vector<float> bins(n, 0.0f);
    tree.AddResponses(7.0f, 11.0f, edges, bins.data());
    float t0 = 0.0f;
    int32_t nonZero = 0;
    for (int32_t i = 0; i < n; ++i) {
        const float t1 = t0 + tau;
        ASSERT_FLOAT_EQ(bins[static_cast<size_t>(i)], tree.Response(7.0f, 11.0f, t0, t1)) << i;
        nonZero += bins[static_cast<size_t>(i)] != 0.0f;
        t0 = t1;
    }
    EXPECT_GT(nonZero, 5);
}

TEST(SpatialVerb, WallAbsorbOneLeavesTheDirectSound) {
    Verb v;
    v.verb->SetParameter(CSpatialVerb::kWallAbsorb, 1.0f);
    v.verb->UpdateGUI();
    EXPECT_NEAR(v.verb->Geometry().reflection, 0.00099998f, 1e-8f);
    for (int32_t s = 0; s < 2; ++s) {
        const auto& taps = v.verb->TapLine(s).TapsA();
        EXPECT_FLOAT_EQ(taps.front().gain, 1.0f);
        for (size_t i = 1; i < taps.size(); ++i)
            EXPECT_LT(taps[i].gain, 0.0021f);
    }
    // Heard: an impulse on the left input gives the direct sound and practically nothing else early.
    v.verb->SetParameter(CSpatialVerb::kGain, 0.0f); // late tail down to −40 dB
    v.verb->UpdateGUI();
    v.Run(60); // the fade-in of the new taps and the late gain's glide are over
    std::vector<float> impulse(4096 + 4 * kBlock, 0.0f);
    impulse[4 * kBlock] = 1.0f;
    v.out = {};
    v.Run(32, impulse);
    const int32_t direct = v.verb->TapLine(0).TapsA().front().delay;
    const size_t at = 4 * kBlock + static_cast<size_t>(direct);
    EXPECT_NEAR(v.out.left[at], 0.333f, 1e-4f);
    double rest = 0.0;
    for (size_t i = at + 1; i < at + 3000; ++i)
        rest = std::max(rest, static_cast<double>(std::fabs(v.out.left[i])));
    EXPECT_LT(rest, 0.333 * 0.01);
}

TEST(SpatialVerb, ListeningPointMovesRebuildTapsNotTrees) {
    Verb v;
    v.Run(1); // playing: changes wait for the periodic update
    const int64_t trees = v.verb->TreeBuilds();
    const int64_t taps = v.verb->TapBuilds();
    const auto before = v.verb->TapLine(0).TapsA();
    v.verb->SetParameter(CSpatialVerb::kDstLeftX, 0.7f);
    EXPECT_EQ(v.verb->TapBuilds(), taps); // nothing happens until the periodic update
    v.verb->UpdateGUI();
    EXPECT_EQ(v.verb->TreeBuilds(), trees);
    EXPECT_EQ(v.verb->TapBuilds(), taps + 1);
    EXPECT_FALSE(SameTaps(before, v.verb->TapLine(0).TapsA()));

    // A geometry change rebuilds both.
    v.verb->SetParameter(CSpatialVerb::kRoomWidth, 0.1f);
    v.verb->UpdateGUI();
    EXPECT_EQ(v.verb->TreeBuilds(), trees + 1);
    EXPECT_EQ(v.verb->TapBuilds(), taps + 2);

    // Before its first buffer (a project being loaded) a machine rebuilds at once, so the song
    // starts in its own room wherever the first periodic update falls.
    Verb fresh;
    const int64_t freshTaps = fresh.verb->TapBuilds();
    fresh.verb->SetParameter(CSpatialVerb::kDstLeftX, 0.7f);
    EXPECT_EQ(fresh.verb->TapBuilds(), freshTaps + 1);
    Verb plain;
    EXPECT_FALSE(SameTaps(plain.verb->TapLine(0).TapsA(), fresh.verb->TapLine(0).TapsA()));
}

TEST(SpatialVerb, LateChangesLeaveTheEarlyTapsAlone) {
    Verb v;
    v.Run(2);
    const int64_t taps = v.verb->TapBuilds();
    const auto before = v.verb->TapLine(1).TapsB();
    v.verb->SetParameter(CSpatialVerb::kFeedback, 1.0f);
    v.verb->SetParameter(CSpatialVerb::kGain, 0.3f);
    v.verb->SetParameter(CSpatialVerb::kCutoff, 0.2f);
    v.verb->UpdateGUI();
    EXPECT_EQ(v.verb->TapBuilds(), taps);
    EXPECT_TRUE(SameTaps(before, v.verb->TapLine(1).TapsB()));
    EXPECT_EQ(v.verb->TapLine(1).FadeLeft(), 0);
    // Feedback 1 stays just below unity.
    EXPECT_FLOAT_EQ(v.verb->Late().FeedbackTarget(), 0.999f);
    EXPECT_NEAR(v.verb->Late().GainTarget(), std::pow(10.0, (60 * 0.3 - 40) / 10.0), 1e-6);
}

TEST(SpatialVerb, TwoChangesOneRebuildAndRebuildDuringAFade) {
    Verb v;
    v.Run(2);
    const int64_t trees = v.verb->TreeBuilds();
    v.verb->SetParameter(CSpatialVerb::kSrcLeftX, 0.3f);
    v.verb->SetParameter(CSpatialVerb::kRoomHeight, 0.2f);
    v.verb->UpdateGUI();
    v.verb->UpdateGUI(); // nothing left to do
    EXPECT_EQ(v.verb->TreeBuilds(), trees + 1);

    // The new taps fade in over 128 samples; a rebuild 50 samples in replaces the incoming taps
    // and the fade carries on from where it is.
    const CEarlyTapLine& line = v.verb->TapLine(0);
    EXPECT_EQ(line.FadeLeft(), 128);
    const auto outgoing = line.PreviousA();
    std::vector<float> silence;
    CAudioBuffer* in = v.verb->m_ports[0]->m_audioBuffer;
    in->Clear();
    in->m_length = 50; // a short buffer, as after a resize
    v.verb->Process();
    in->m_length = kBlock;
    EXPECT_EQ(line.FadeLeft(), 78);
    v.verb->SetParameter(CSpatialVerb::kSrcLeftY, 0.6f);
    v.verb->UpdateGUI();
    EXPECT_EQ(line.FadeLeft(), 78);
    EXPECT_TRUE(SameTaps(outgoing, line.PreviousA()));
    EXPECT_NEAR(line.FadeWeight(), 50.0f / 128.0f, 1e-5f);
    v.Run(1);
    EXPECT_EQ(line.FadeLeft(), 0);
    EXPECT_TRUE(line.PreviousA().empty());
}

TEST(SpatialVerb, ShortLineWrapsTheLateFeed) {
    // At 8000 Hz the window holds 600 samples: the late feed, 601 back, is one sample back.
    CEarlyTapLine line(600);
    line.SetBlockSize(64);
    std::vector<float> in(64, 0.0f), a(64), b(64), feed(64);
    in[10] = 1.0f;
    line.Process(in.data(), 64, a.data(), b.data(), feed.data());
    for (size_t i = 0; i < 64; ++i)
        EXPECT_EQ(feed[i], i == 11 ? 1.0f : 0.0f) << i;

    TestHost host;
    host.host.SetSampleRateAndBufferSize(8000, kBlock);
    CSpatialVerb* verb = new CSpatialVerb(&host.host);
    EXPECT_EQ(verb->TapCount(), 600);
    verb->Process();
    verb->Delete();
}

TEST(SpatialVerb, LateTailDecaysWithFeedback) {
    auto tail = [](float feedback) {
        Verb v;
        v.verb->SetParameter(CSpatialVerb::kFeedback, feedback);
        v.verb->UpdateGUI();
        std::vector<float> impulse(kBlock, 0.0f);
        impulse[0] = 1.0f;
        v.Run(400, impulse, impulse); // about 2.3 s
        return Rms(v.out.left.data() + 44100, 44100);
    };
    const double short_ = tail(0.2f);
    const double long_ = tail(0.9f);
    EXPECT_GT(long_, 100.0 * short_);
    EXPECT_TRUE(std::isfinite(tail(1.0f)));
}

TEST(SpatialVerb, ParametersProgramsAndTexts) {
    Verb v;
    CSpatialVerb& m = *v.verb;
    EXPECT_EQ(m.m_programCount, 128);
    char text[256];
    m.GetProgramNameIndexed(127, text);
    EXPECT_STREQ(text, "Program 127");
    m.SetParameter(CSpatialVerb::kSrcRightX, 0.25f);
    EXPECT_FLOAT_EQ(m.m_programs[0]->values[CSpatialVerb::kSrcRightX], 0.25f);
    EXPECT_EQ(m.GetParameter(14), 0.0f);
    m.SetParameter(14, 0.5f); // ignored
    m.GetParameterName(14, text);
    EXPECT_STREQ(text, "");
    m.FormatParameter(14, 0.5f, text);
    EXPECT_STREQ(text, "");
    m.GetParameterName(9, text);
    EXPECT_STREQ(text, "Room Height");
    m.FormatParameter(8, 0.4f, text);
    EXPECT_STREQ(text, "18m");
    m.FormatParameter(12, 1.0f, text);
    EXPECT_STREQ(text, "11025Hz");
    m.FormatParameter(12, 0.0f, text);
    EXPECT_STREQ(text, "14Hz");
    m.FormatParameter(13, 0.8f, text);
    EXPECT_STREQ(text, "8.00dB");
    m.FormatParameter(10, 0.5f, text);
    EXPECT_STREQ(text, "50%");
}

TEST(SpatialVerb, SampleRateChangeRebuildsTheModel) {
    Verb v;
    const int32_t direct44 = v.verb->TapLine(0).TapsA().front().delay;
    v.verb->SetSampleRate(96000);
    EXPECT_EQ(v.verb->TapCount(), 7200);
    const int32_t direct96 = v.verb->TapLine(0).TapsA().front().delay;
    // The same 31.6 ms of travel, counted in samples of the new rate.
    EXPECT_NEAR(direct96, direct44 * 96000.0 / 44100.0, 3.0);
    v.Run(4);
    EXPECT_EQ(v.verb->TapLine(0).FadeLeft(), 0);
}
