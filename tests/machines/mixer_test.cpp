// QX Mixer: gains, crossover, sends and returns, mute and solo, measured on rendered buffers.
#include "machines/mixer/mixer.h"
#include "tests/support/machine_harness.h"
#include "tests/support/signal_tools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace harness;
using namespace signal_tools;

namespace {

constexpr int32_t kTracks = 8;
// Port numbers of the shipped layout: Output, Track 1..8 In, AUX 1 Out, AUX 1 In, AUX 2 Out, AUX 2 In.
constexpr int32_t kOutput = 0;
constexpr int32_t kAux1Out = 9, kAux1In = 10, kAux2Out = 11, kAux2In = 12;
constexpr int32_t kLevel = 0, kBalance = 1, kLow = 2, kMid = 3, kHigh = 4, kSend1 = 5, kSend2 = 6;

std::vector<float> Noise(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
    std::vector<float> x(n);
    for (float& v : x)
        v = uniform(random);
    return x;
}

class RecordingPanel : public CMixerPanelLink {
public:
    void MoveControl(int32_t index, float value) override { moved.emplace_back(index, value); }
    void SetMeters(int32_t strip, float left, float right) override { meters[strip] = {left, right}; }
    void ReleaseSolo(int32_t strip) override { released.push_back(strip); }
    std::vector<std::pair<int32_t, float>> moved;
    std::pair<float, float> meters[10] = {};
    std::vector<int32_t> released;
};

// A mixer with per-port input signals; Run renders buffers through both passes, feeding each
// return with the given signal (or leaving it as Process left it).
struct Desk {
    TestHost host;
    CMixer* mixer = new CMixer(&host.host, kTracks, 2);
    std::vector<float> tracks[kTracks];
    std::vector<float> returns[2];
    Stereo out, aux[2];
    size_t position = 0;

    ~Desk() { mixer->Delete(); }
    void Set(int32_t track, int32_t role, float value) { mixer->SetParameter(7 * track + role, value); }
    void Run(size_t samples) {
        for (size_t done = 0; done < samples; done += kBlock) {
            for (int32_t t = 0; t < kTracks; ++t) {
                CAudioBuffer* in = mixer->m_ports[1 + t]->m_audioBuffer;
                Fill(in->m_channel1, tracks[t], position, kBlock);
                Fill(in->m_channel2, tracks[t], position, kBlock);
            }
            mixer->Process();
            aux[0].Append(*mixer->m_ports[kAux1Out]->m_audioBuffer, kBlock);
            aux[1].Append(*mixer->m_ports[kAux2Out]->m_audioBuffer, kBlock);
            for (int32_t a = 0; a < 2; ++a) {
                CAudioBuffer* ret = mixer->m_ports[a == 0 ? kAux1In : kAux2In]->m_audioBuffer;
                if (returns[a].empty()) continue;
                std::vector<float> part(kBlock);
                Fill(part.data(), returns[a], position, kBlock);
                for (int32_t i = 0; i < kBlock; ++i) {
                    ret->m_channel1[i] += part[static_cast<size_t>(i)];
                    ret->m_channel2[i] += part[static_cast<size_t>(i)];
                }
            }
            mixer->ProcessLate();
            out.Append(*mixer->m_ports[kOutput]->m_audioBuffer, kBlock);
            position += kBlock;
        }
    }
};

// Largest |out[i] − gain·in[i − delay]| over [from, to).
double Mismatch(const std::vector<float>& out, const std::vector<float>& in, double gain, size_t delay,
                size_t from, size_t to) {
    double worst = 0.0;
    for (size_t i = from; i < to; ++i)
        worst = std::max(worst, std::fabs(out[i] - gain * in[i - delay]));
    return worst;
}

} // namespace

TEST(Mixer, PortsAndParameters) {
    Desk d;
    CMixer& m = *d.mixer;
    ASSERT_EQ(m.m_portCount, 13);
    EXPECT_STREQ(m.m_ports[0]->m_name, "Output");
    EXPECT_STREQ(m.m_ports[8]->m_name, "Track 8 In");
    EXPECT_STREQ(m.m_ports[kAux2In]->m_name, "AUX 2 In");
    EXPECT_EQ(m.m_ports[kAux1Out]->m_flags, 0x161);
    EXPECT_EQ(m.m_ports[kAux1In]->m_flags, 0x151);
    EXPECT_EQ(m.m_parameterCount, 66);
    char text[64];
    m.GetParameterName(13, text);
    EXPECT_STREQ(text, "Track 2 AUX2");
    m.GetParameterName(65, text);
    EXPECT_STREQ(text, "AUX 2 High");
    m.GetParameterName(66, text);
    EXPECT_STREQ(text, "");
    m.FormatParameter(0, 0.427f, text);
    EXPECT_STREQ(text, "42%");
    EXPECT_EQ(m.GetParameter(66), 0.0f);
    EXPECT_FALSE(m.IsGenerator());
}

TEST(Mixer, FreshMixerGainAndHighBandDelay) {
    // A fresh mixer glides from gain 1 to its settings, then passes every band at 0.5 with the
    // Level 0.5 gain and Balance 0.5 per side: the whole signal three samples late.
    Desk d;
    d.tracks[0] = Noise(30000, 1);
    d.Run(30000);
    const double gain = std::pow(10.0, -1.8) * 0.5 * 0.5;
    EXPECT_LT(Mismatch(d.out.left, d.tracks[0], gain, 3, 20000, 30000), 1e-6);
    EXPECT_LT(Mismatch(d.out.right, d.tracks[0], gain, 3, 20000, 30000), 1e-6);

    // The high band alone: an impulse comes out three samples late, almost unchanged.
    Desk h;
    h.Set(0, kLow, 0.0f);
    h.Set(0, kMid, 0.0f);
    h.Set(0, kHigh, 1.0f);
    h.Set(0, kLevel, 0.8f); // 10^0 = unity gain
    h.Run(20000);
    const size_t at = h.position + 100;
    h.tracks[0].assign(at + 4096, 0.0f);
    h.tracks[0][at] = 1.0f;
    h.Run(4096);
    const std::vector<float> response(h.out.left.begin() + static_cast<long>(at),
                                      h.out.left.begin() + static_cast<long>(at) + 40);
    size_t peakAt = 0;
    for (size_t i = 0; i < response.size(); ++i)
        if (std::fabs(response[i]) > std::fabs(response[peakAt])) peakAt = i;
    EXPECT_EQ(peakAt, 3u);
    EXPECT_NEAR(response[3], 0.5 * (1.0 - 0.0), 0.1); // Balance 0.5 halves each side
}

TEST(Mixer, CrossoverSplitsTheBands) {
    // Low only passes 100 Hz and stops 10 kHz; High only the reverse.
    auto gainAt = [](double hz, int32_t band) {
        Desk d;
        d.Set(0, kLow, band == kLow ? 1.0f : 0.0f);
        d.Set(0, kMid, band == kMid ? 1.0f : 0.0f);
        d.Set(0, kHigh, band == kHigh ? 1.0f : 0.0f);
        d.Set(0, kLevel, 0.8f);
        d.Set(0, kBalance, 0.0f);
        std::vector<float>& x = d.tracks[0];
        x.resize(40000);
        for (size_t i = 0; i < x.size(); ++i)
            x[i] = static_cast<float>(std::sin(2 * std::numbers::pi * hz * i / kRate));
        d.Run(40000);
        return Rms(d.out.left.data() + 30000, 8192) / Rms(x.data() + 30000, 8192);
    };
    EXPECT_NEAR(gainAt(100.0, kLow), 1.0, 0.05);
    EXPECT_LT(gainAt(10000.0, kLow), 0.01);
    EXPECT_NEAR(gainAt(12000.0, kHigh), 1.0, 0.25);
    EXPECT_LT(gainAt(100.0, kHigh), 0.05);
    EXPECT_GT(gainAt(2000.0, kMid), 0.3);
    EXPECT_LT(gainAt(60.0, kMid), 0.3);
}

TEST(Mixer, LevelZeroIsQuietButNotSilent) {
    Desk d;
    d.Set(0, kLevel, 0.0f);
    d.tracks[0] = Noise(30000, 2);
    d.Run(30000);
    const double gain = std::pow(10.0, -4.8) * 0.5 * 0.5;
    EXPECT_GT(Rms(d.out.left.data() + 25000, 5000), 0.0);
    EXPECT_LT(Mismatch(d.out.left, d.tracks[0], gain, 3, 25000, 30000), 1e-8);
}

TEST(Mixer, SendsAreTakenAfterTheEqualiserBeforeTheFader) {
    Desk d;
    d.Set(0, kSend1, 1.0f);
    d.Set(0, kSend2, 0.25f);
    d.Set(0, kLevel, 0.0f);
    d.tracks[0] = Noise(30000, 3);
    d.Run(30000);
    // EQ 0.5 on every band halves the signal; the sends ignore Level and Balance.
    EXPECT_LT(Mismatch(d.aux[0].left, d.tracks[0], 0.5, 3, 25000, 30000), 1e-6);
    EXPECT_LT(Mismatch(d.aux[1].right, d.tracks[0], 0.125, 3, 25000, 30000), 1e-6);
}

TEST(Mixer, ReturnsAreMixedInTheSecondPass) {
    Desk d;
    d.returns[0] = Noise(30000, 4);
    d.mixer->SetParameter(d.mixer->AuxParameter(0) + kLevel, 0.8f);
    d.Run(30000);
    EXPECT_LT(Mismatch(d.out.left, d.returns[0], 0.5 * 0.5, 3, 25000, 30000), 1e-6);

    // Nothing connected to an AUX in: the engine clears an unconnected input before the cycle
    // (here by hand over what an earlier buffer left), and the second pass then adds nothing but
    // the equaliser's anti-denormal residue, some 500 dB below full scale.
    Desk quiet;
    quiet.tracks[0] = Noise(4096, 5);
    quiet.mixer->SetParameter(quiet.mixer->AuxParameter(1) + kLevel, 1.0f);
    CAudioBuffer* ret = quiet.mixer->m_ports[kAux2In]->m_audioBuffer;
    for (int32_t i = 0; i < kBlock; ++i)
        ret->m_channel1[i] = ret->m_channel2[i] = 1.0f;
    ret->Clear();
    quiet.mixer->Process();
    std::vector<float> afterFirst(quiet.mixer->m_ports[kOutput]->m_audioBuffer->m_channel1,
                                  quiet.mixer->m_ports[kOutput]->m_audioBuffer->m_channel1 + kBlock);
    quiet.mixer->ProcessLate();
    const float* afterSecond = quiet.mixer->m_ports[kOutput]->m_audioBuffer->m_channel1;
    for (int32_t i = 0; i < kBlock; ++i)
        ASSERT_NEAR(afterSecond[i], afterFirst[static_cast<size_t>(i)], 1e-20f) << i;
}

TEST(Mixer, SoloAndMute) {
    RecordingPanel panel;
    Desk d;
    d.mixer->SetPanelLink(&panel);
    for (int32_t t = 0; t < 2; ++t) {
        d.tracks[t] = Noise(200000, 10 + t);
        d.Set(t, kSend1, 1.0f);
    }
    d.Set(1, kBalance, 1.0f); // track 2 on the right only, track 1 on both sides
    d.returns[0] = Noise(200000, 20);
    d.Run(20000);
    auto level = [&](const std::vector<float>& x) { return Rms(x.data() + x.size() - 4096, 4096); };
    const double both = level(d.out.left);
    ASSERT_GT(both, 0.0);

    // Solo track 2: track 1 and the AUX return go quiet (after the glide); track 2 still plays.
    d.mixer->SetSolo(1, true);
    d.Run(20000);
    EXPECT_LT(level(d.out.left), 1e-6);
    EXPECT_GT(level(d.out.right), 0.0);
    EXPECT_GT(level(d.aux[0].left), 0.0); // track 2 still feeds its send
    EXPECT_EQ(d.mixer->SoloStrip(), 1);

    // Soloing track 1 releases track 2's solo button.
    d.mixer->SetSolo(0, true);
    EXPECT_EQ(panel.released, std::vector<int32_t>{1});
    EXPECT_EQ(d.mixer->SoloStrip(), 0);
    d.Run(20000);
    EXPECT_GT(level(d.out.left), 0.0);

    // Un-soloing restores everything.
    d.mixer->SetSolo(1, false); // not the solo strip: no change
    EXPECT_EQ(d.mixer->SoloStrip(), 0);
    d.mixer->SetSolo(0, false);
    EXPECT_EQ(d.mixer->SoloStrip(), -1);
    d.Run(20000);
    EXPECT_NEAR(level(d.out.left), both, 0.2 * both);

    // A muted track feeds nothing to the AUX buses either.
    d.mixer->SetMute(0, true);
    d.mixer->SetMute(1, true);
    d.Run(20000);
    EXPECT_LT(level(d.aux[0].left), 1e-6);
    EXPECT_LT(level(d.aux[0].right), 1e-6);

    // Muting the AUX strip silences its return.
    d.mixer->SetMute(kTracks, true);
    d.Run(20000);
    EXPECT_LT(level(d.out.left), 1e-6);
}

TEST(Mixer, StereoStripsMatchTheirChannelsOneByOne) {
    // Both channels of a strip stepped together give the very samples, sends and peaks of two
    // separate passes: with gliding gains, sends and bands, through silence and back.
    CMixerChannel a0(880.0, 5000.0, 44100), a1(880.0, 5000.0, 44100);
    CMixerChannel b0(880.0, 5000.0, 44100), b1(880.0, 5000.0, 44100);
    std::mt19937 random(3);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    constexpr int32_t n = 128;
    for (int block = 0; block < 40; ++block) {
        std::vector<float> inL(n), inR(n);
        if (block < 10 || block > 30)
            for (int32_t i = 0; i < n; ++i)
                inL[i] = noise(random), inR[i] = block % 3 == 0 ? 0.0f : noise(random);
        const float level = block < 20 ? 0.3f : 0.7f;
        const float gains[2] = {0.4f * level, 0.6f * level};
        const float send1 = block % 2 ? 0.25f : 0.5f, send2 = 0.1f;
        for (CMixerChannel* c : {&a0, &a1, &b0, &b1})
            c->SetBandGains(block > 5 ? 0.2f : 1.0f, 1.0f, block > 25 ? 1.5f : 1.0f);
        std::vector<float> outA[2], outB[2], sendA[2][2], sendB[2][2];
        for (int c = 0; c < 2; ++c) {
            outA[c].assign(n, 0.01f), outB[c].assign(n, 0.01f);
            for (int s = 0; s < 2; ++s)
                sendA[s][c].assign(n, 0.0f), sendB[s][c].assign(n, 0.0f);
        }
        CMixerChannel* pair[2] = {&a0, &a1};
        const float* const in[2] = {inL.data(), inR.data()};
        float* const main[2] = {outA[0].data(), outA[1].data()};
        float* const aux1[2] = {sendA[0][0].data(), sendA[0][1].data()};
        float* const aux2[2] = {sendA[1][0].data(), sendA[1][1].data()};
        float peaks[2];
        CMixerChannel::ProcessStereo(pair, in, main, aux1, aux2, n, gains, send1, send2, peaks);
        const float peak0 = b0.Process(inL.data(), outB[0].data(), sendB[0][0].data(), sendB[1][0].data(), n,
                                       gains[0], send1, send2);
        const float peak1 = b1.Process(inR.data(), outB[1].data(), sendB[0][1].data(), sendB[1][1].data(), n,
                                       gains[1], send1, send2);
        ASSERT_EQ(outA[0], outB[0]) << block;
        ASSERT_EQ(outA[1], outB[1]) << block;
        ASSERT_EQ(sendA[0][0], sendB[0][0]) << block;
        ASSERT_EQ(sendA[1][1], sendB[1][1]) << block;
        EXPECT_EQ(peaks[0], peak0);
        EXPECT_EQ(peaks[1], peak1);
    }
}

TEST(Mixer, SettledStripsGiveTheSamplesOfTheSmoothedPass) {
    // Long runs at fixed settings bring gains, bands and sends to their targets, after which the
    // stereo pass leaves the smoothers out; a change sets them gliding again. Every block matches
    // the per-channel pass, which steps its smoothers on every sample. One strip has no second
    // send, as an AUX strip has none at all.
    CMixerChannel a0(880.0, 5000.0, 44100), a1(880.0, 5000.0, 44100);
    CMixerChannel b0(880.0, 5000.0, 44100), b1(880.0, 5000.0, 44100);
    std::mt19937 random(9);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    constexpr int32_t n = 256;
    for (int block = 0; block < 700; ++block) {
        std::vector<float> inL(n), inR(n);
        for (int32_t i = 0; i < n; ++i)
            inL[i] = noise(random), inR[i] = noise(random);
        const bool later = block >= 350;
        const float gains[2] = {later ? 0.05f : 0.3f, 0.6f};
        const float send1 = later ? 0.9f : 0.25f;
        for (CMixerChannel* c : {&a0, &a1, &b0, &b1})
            c->SetBandGains(later ? 0.5f : 1.0f, 1.0f, 1.5f);
        std::vector<float> outA[2], outB[2], sendA[2], sendB[2];
        for (int c = 0; c < 2; ++c) {
            outA[c].assign(n, 0.0f), outB[c].assign(n, 0.0f);
            sendA[c].assign(n, 0.0f), sendB[c].assign(n, 0.0f);
        }
        CMixerChannel* pair[2] = {&a0, &a1};
        const float* const in[2] = {inL.data(), inR.data()};
        float* const main[2] = {outA[0].data(), outA[1].data()};
        float* const aux1[2] = {sendA[0].data(), sendA[1].data()};
        float* const aux2[2] = {nullptr, nullptr};
        float peaks[2];
        CMixerChannel::ProcessStereo(pair, in, main, aux1, aux2, n, gains, send1, 0.0f, peaks);
        b0.Process(inL.data(), outB[0].data(), sendB[0].data(), nullptr, n, gains[0], send1, 0.0f);
        b1.Process(inR.data(), outB[1].data(), sendB[1].data(), nullptr, n, gains[1], send1, 0.0f);
        ASSERT_EQ(outA[0], outB[0]) << block;
        ASSERT_EQ(outA[1], outB[1]) << block;
        ASSERT_EQ(sendA[0], sendB[0]) << block;
        ASSERT_EQ(sendA[1], sendB[1]) << block;
    }
}

TEST(Mixer, StripsSideBySideGiveTheSamplesOfStripsOneAfterAnother) {
    // Five strips into one output and one pair of sends: gliding and settled blocks, a strip
    // whose input falls silent (its channels take their own paths), one without sends and a
    // shorter block on another; outputs, sends, peaks and the state carried into the next block
    // all match strips rendered one by one.
    constexpr int kStrips = 5;
    constexpr int32_t n = 200;
    std::vector<CMixerChannel> together, apart;
    for (int i = 0; i < 2 * kStrips; ++i) {
        together.emplace_back(880.0, 5000.0, 44100);
        apart.emplace_back(880.0, 5000.0, 44100);
    }
    std::mt19937 random(21);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    for (int block = 0; block < 300; ++block) {
        std::vector<float> in[kStrips][2];
        for (int s = 0; s < kStrips; ++s)
            for (int c = 0; c < 2; ++c) {
                in[s][c].assign(n, 0.0f);
                const bool silent = s == 2 && block >= 100 && block < 200;
                if (!silent)
                    for (float& x : in[s][c])
                        x = noise(random);
            }
        std::vector<float> outA[2], outB[2], auxA[2][2], auxB[2][2];
        for (int c = 0; c < 2; ++c) {
            outA[c].assign(n, 0.0f), outB[c].assign(n, 0.0f);
            for (int a = 0; a < 2; ++a)
                auxA[a][c].assign(n, 0.0f), auxB[a][c].assign(n, 0.0f);
        }
        float peaksA[kStrips][2], peaksB[kStrips][2];
        std::vector<CMixerChannel::StripIo> strips;
        for (int s = 0; s < kStrips; ++s) {
            const float level = block < 150 ? 0.2f + 0.1f * s : 0.5f;
            const bool sends = s != 3;
            const int32_t count = s == 4 ? n - 13 : n;
            for (int i : {2 * s, 2 * s + 1})
                together[static_cast<size_t>(i)].SetBandGains(block > 50 ? 0.5f : 1.0f, 1.0f, 1.2f),
                    apart[static_cast<size_t>(i)].SetBandGains(block > 50 ? 0.5f : 1.0f, 1.0f, 1.2f);
            const float gain[2] = {level * 0.4f, level * 0.6f};
            CMixerChannel::StripIo strip{{&together[2 * s], &together[2 * s + 1]},
                                         {in[s][0].data(), in[s][1].data()},
                                         {outA[0].data(), outA[1].data()},
                                         {sends ? auxA[0][0].data() : nullptr, sends ? auxA[0][1].data() : nullptr},
                                         {sends ? auxA[1][0].data() : nullptr, sends ? auxA[1][1].data() : nullptr},
                                         {gain[0], gain[1]},
                                         0.3f,
                                         0.7f,
                                         count,
                                         peaksA[s]};
            strips.push_back(strip);
            CMixerChannel* pair[2] = {&apart[2 * s], &apart[2 * s + 1]};
            const float* const inputs[2] = {in[s][0].data(), in[s][1].data()};
            float* const main[2] = {outB[0].data(), outB[1].data()};
            float* const aux1[2] = {sends ? auxB[0][0].data() : nullptr, sends ? auxB[0][1].data() : nullptr};
            float* const aux2[2] = {sends ? auxB[1][0].data() : nullptr, sends ? auxB[1][1].data() : nullptr};
            CMixerChannel::ProcessStereo(pair, inputs, main, aux1, aux2, count, gain, 0.3f, 0.7f, peaksB[s]);
        }
        CMixerChannel::ProcessStrips(strips.data(), kStrips);
        for (int c = 0; c < 2; ++c) {
            ASSERT_EQ(outA[c], outB[c]) << block;
            ASSERT_EQ(auxA[0][c], auxB[0][c]) << block;
            ASSERT_EQ(auxA[1][c], auxB[1][c]) << block;
        }
        for (int s = 0; s < kStrips; ++s) {
            ASSERT_EQ(peaksA[s][0], peaksB[s][0]) << block << " strip " << s;
            ASSERT_EQ(peaksA[s][1], peaksB[s][1]) << block << " strip " << s;
        }
    }
}

TEST(Mixer, PeaksReachTheMetersPostFader) {
    RecordingPanel panel;
    Desk d;
    d.mixer->SetPanelLink(&panel);
    d.tracks[2].assign(40000, 0.0f);
    for (size_t i = 0; i < d.tracks[2].size(); i += 100)
        d.tracks[2][i] = 1.0f; // a click train
    d.Set(2, kLevel, 0.8f);
    d.Run(30000);
    d.mixer->UpdateGUI();
    EXPECT_NEAR(panel.meters[2].first, 0.25f, 0.02f); // EQ 0.5 · Balance 0.5
    EXPECT_NEAR(panel.meters[2].second, 0.25f, 0.02f);
    EXPECT_LT(panel.meters[0].first, 1e-20f); // a silent strip
    EXPECT_FLOAT_EQ(d.mixer->Peak(2, 0), panel.meters[2].first);

    d.mixer->SetParameter(5, 0.7f);
    ASSERT_FALSE(panel.moved.empty());
    EXPECT_EQ(panel.moved.back(), std::make_pair(5, 0.7f));
}

namespace {

// A plain stereo delay line standing in for an effect on an AUX bus.
class CDelayMachine : public CMachine {
public:
    CDelayMachine(CVeskHost* host, int32_t delay) : CMachine(host), m_ring(static_cast<size_t>(delay), 0.0f) {
        AddPort(kPortStereoIn, "In");
        AddPort(kPortStereoOut, "Out");
    }
    void Delete() override { delete this; }
    void Process() override {
        const CAudioBuffer* in = m_ports[0]->m_audioBuffer;
        CAudioBuffer* out = m_ports[1]->m_audioBuffer;
        for (int32_t i = 0; i < in->m_length; ++i) {
            // Mono sum of the send: the bus carries the same signal on both sides here.
            const float x = in->m_channel1[i];
            out->m_channel1[i] = out->m_channel2[i] = m_ring[m_at];
            m_ring[m_at] = x;
            m_at = (m_at + 1) % m_ring.size();
        }
    }
    void SetSampleRate(int32_t) override {}
    void SetBufferSize(int32_t) override {}
    bool IsGenerator() override { return false; }

private:
    std::vector<float> m_ring;
    size_t m_at = 0;
};

// Mixes a source port into an input port as the processing cycle does for a cable at volume 1.
void MixCable(const CAudioBuffer& source, CAudioBuffer& input) {
    for (int32_t i = 0; i < input.m_length; ++i) {
        input.m_channel1[i] += source.m_channel1[i];
        input.m_channel2[i] += source.m_channel2[i];
    }
}

} // namespace

TEST(Mixer, SendEffectComesBackThroughItsReturnInTheSameBuffer) {
    // The cycle for a mixer with a delay on AUX 1: zero and mix the track inputs, Process (fills the
    // sends), then in the late phase run the effect on the send, mix its output into the return
    // (without zeroing) and ProcessLate.
    TestHost host;
    CMixer* mixer = new CMixer(&host.host, kTracks, 2);
    CDelayMachine* delay = new CDelayMachine(&host.host, 100);
    mixer->SetParameter(kLevel, 0.8f);                 // track 1 at unity
    mixer->SetParameter(kSend1, 1.0f);                 // full send to AUX 1
    mixer->SetParameter(mixer->AuxParameter(0), 0.8f); // AUX 1 return at unity
    Stereo out;
    std::vector<float> source(64 * kBlock, 0.0f);
    const size_t click = 40 * kBlock + 200; // near the end of a buffer
    source[click] = 1.0f;
    for (size_t b = 0; b < source.size() / kBlock; ++b) {
        for (int32_t p = 1; p <= kTracks; ++p)
            mixer->m_ports[p]->m_audioBuffer->Clear();
        CAudioBuffer* track = mixer->m_ports[1]->m_audioBuffer;
        Fill(track->m_channel1, source, b * kBlock, kBlock);
        Fill(track->m_channel2, source, b * kBlock, kBlock);
        mixer->Process();
        CAudioBuffer* effectIn = delay->m_ports[0]->m_audioBuffer;
        effectIn->Clear();
        MixCable(*mixer->m_ports[kAux1Out]->m_audioBuffer, *effectIn);
        delay->Process();
        MixCable(*delay->m_ports[1]->m_audioBuffer, *mixer->m_ports[kAux1In]->m_audioBuffer);
        mixer->ProcessLate();
        out.Append(*mixer->m_ports[kOutput]->m_audioBuffer, kBlock);
    }
    // Direct: EQ 0.5 and Balance 0.5, three samples late. Echo: the send (EQ 0.5), 100 samples of
    // delay, then the return strip (EQ 0.5, Balance 0.5), three samples more.
    EXPECT_NEAR(out.left[click + 3], 0.25f, 1e-4f);
    EXPECT_NEAR(out.left[click + 3 + 100 + 3], 0.5f * 0.25f, 1e-4f);
    EXPECT_NEAR(out.right[click + 3 + 100 + 3], 0.5f * 0.25f, 1e-4f);
    double elsewhere = 0.0;
    for (size_t i = click - 1000; i < click + 2000; ++i)
        if (i != click + 3 && i != click + 106)
            elsewhere = std::max(elsewhere, static_cast<double>(std::fabs(out.left[i])));
    EXPECT_LT(elsewhere, 1e-3);
    delay->Delete();
    mixer->Delete();
}
