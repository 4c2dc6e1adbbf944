// The Mixer's settled strips and the QuadDelay's resting lines take short cuts; these tests run the
// machines beside straight per-sample copies of their original loops and require the same samples,
// bit for bit, through sound, long silences, parameter moves while silent and sound again.
#include "machines/dsp/dsp.h"
#include "machines/mixer/mixer.h"
#include "machines/quaddelay/echo.h"
#include "tests/support/machine_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <random>

using namespace harness;

namespace {

// The mixer channel's loop with no short cut.
class ReferenceChannel {
public:
    explicit ReferenceChannel(int32_t rate)
        : m_k1(2.0 * std::sin(std::numbers::pi * 880.0 / rate)),
          m_k2(2.0 * std::sin(std::numbers::pi * 5000.0 / rate)) {}
    void SetBandGains(float low, float mid, float high) {
        m_bandTarget[0] = low, m_bandTarget[1] = mid, m_bandTarget[2] = high;
    }
    float Process(const float* in, float* main, float* aux1, float* aux2, int32_t count, float gain,
                  float send1, float send2) {
        constexpr double kAntiDenormal = 2.3283064370807974e-10;
        const double k1 = m_k1, k2 = m_k2;
        float peak = 0.0f;
        for (int32_t i = 0; i < count; ++i) {
            const double x = in[i];
            m_gain = SmoothToward(gain, m_gain);
            m_l[0] += k1 * (x - m_l[0]) + kAntiDenormal;
            m_l[1] += k1 * (m_l[0] - m_l[1]);
            m_l[2] += k1 * (m_l[1] - m_l[2]);
            m_l[3] += k1 * (m_l[2] - m_l[3]);
            m_h[0] += kAntiDenormal + k2 * (x - m_h[0]);
            m_h[1] += k2 * (m_h[0] - m_h[1]);
            m_h[2] += k2 * (m_h[1] - m_h[2]);
            m_h[3] += k2 * (m_h[2] - m_h[3]);
            for (int b = 0; b < 3; ++b)
                m_band[b] = SmoothToward(m_bandTarget[b], m_band[b]);
            const double x3 = m_d[2];
            m_d[2] = m_d[1], m_d[1] = m_d[0], m_d[0] = x;
            const double high = x3 - m_h[3];
            const double low = m_l[3];
            const double mid = x3 - (high + low);
            float y = static_cast<float>(low * m_band[0] + mid * m_band[1] + high * m_band[2]);
            if (aux1) {
                m_send1 = SmoothToward(send1, m_send1);
                aux1[i] += m_send1 * y;
            }
            if (aux2) {
                m_send2 = SmoothToward(send2, m_send2);
                aux2[i] += m_send2 * y;
            }
            y *= m_gain;
            peak = std::max(peak, std::fabs(y));
            main[i] += y;
        }
        return peak;
    }

private:
    double m_k1, m_k2;
    double m_l[4] = {}, m_h[4] = {}, m_d[3] = {};
    float m_bandTarget[3] = {1, 1, 1}, m_band[3] = {1, 1, 1};
    float m_gain = 1.0f, m_send1 = 0.0f, m_send2 = 0.0f;
};

// The QuadDelay line's loop with no short cut.
class ReferenceLine {
public:
    explicit ReferenceLine(int32_t rate)
        : m_rate(rate), m_length(rate), m_buffer(static_cast<size_t>(rate)) {}
    void SetDelayTime(float seconds) {
        const float d = std::clamp(seconds, 0.0f, 1.0f);
        m_target = static_cast<float>(m_length - 1) * (1.0f - d);
    }
    void SetFeedback(float gain) { m_feedback = gain; }
    void SetFilterFrequency(float value) { m_frequency = value, m_for = -1.0f; }
    void SetBandwidth(float hz) { m_bandwidth = hz, m_for = -1.0f; }
    void Process(const float* in, float* out, int32_t count) {
        for (int32_t j = 0; j < count; ++j) {
            if (m_for != 1.0f) Coefficients();
            m_current = SmoothToward(static_cast<double>(m_target), m_current);
            double position = m_current + m_write;
            if (position >= m_length) position -= m_length;
            const auto p = static_cast<float>(position);
            int32_t i0 = std::min(static_cast<int32_t>(p), m_length - 1);
            const float f = p - static_cast<float>(i0);
            const int32_t i1 = i0 == m_length - 1 ? 0 : i0 + 1;
            float s = Flush(
                ((1.0f - f) * m_buffer[static_cast<size_t>(i0)] + f * m_buffer[static_cast<size_t>(i1)]) *
                    m_feedback +
                in[j]);
            float v = Flush(m_b0 * s + m_b1 * m_x1 + m_b2 * m_x2 - m_a1 * m_y1 - m_a2 * m_y2);
            m_x2 = m_x1, m_x1 = s, m_y2 = m_y1, m_y1 = v;
            m_buffer[static_cast<size_t>(m_write)] = v;
            out[j] = v;
            if (++m_write == m_length) m_write = 0;
        }
    }

private:
    static float Flush(float x) { return std::fpclassify(x) == FP_SUBNORMAL ? 0.0f : x; }
    void Coefficients() {
        const auto rate = static_cast<float>(m_rate);
        const float fc = std::clamp(440.0f * Pow2(m_frequency - 5.0f) * 12.0f, 1.0f, rate * 0.25f);
        const float c = 1.0f / std::tan(kPi * m_bandwidth / rate);
        const float a = 1.0f / (1.0f + c);
        m_b0 = a, m_b1 = 0.0f, m_b2 = -a;
        m_a1 = -2.0f * a * c * std::cos(kTwoPi * fc / rate);
        m_a2 = a * (c - 1.0f);
        m_for = 1.0f;
    }
    int32_t m_rate, m_length;
    std::vector<float> m_buffer;
    int32_t m_write = 0;
    float m_feedback = 0.0f, m_target = 0.0f;
    double m_current = 0.0;
    float m_frequency = 0.0f, m_bandwidth = 10.0f, m_for = -1.0f;
    float m_b0 = 0, m_b1 = 0, m_b2 = 0, m_a1 = 0, m_a2 = 0, m_x1 = 0, m_x2 = 0, m_y1 = 0, m_y2 = 0;
};

// The QuadDelay's four lines and mix with no short cut, set through the same parameter values.
class ReferenceEcho {
public:
    ReferenceEcho() {
        for (auto& line : m_lines)
            for (auto& channel : line)
                channel = std::make_unique<ReferenceLine>(kRate);
    }
    void Set(int32_t index, float x) {
        m_values[index] = x;
        for (auto& channel : m_lines[index / 8]) {
            switch (index % 8) {
            case 0:
                channel->SetDelayTime(0.01f + 0.99f * (Pow2(x) - 1.0f));
                break;
            case 1:
                channel->SetFeedback(x);
                break;
            case 2:
                channel->SetFilterFrequency(12.0f * x);
                break;
            case 3:
                channel->SetBandwidth(10000.0f * x + 10.0f);
                break;
            default:
                break;
            }
        }
    }
    void Process(const float* const in[2], float* const out[2], int32_t n) {
        std::vector<float> scratch(static_cast<size_t>(n));
        std::fill(out[0], out[0] + n, 0.0f);
        std::fill(out[1], out[1] + n, 0.0f);
        for (int32_t line = 0; line < 4; ++line) {
            const float wet = 0.0625f * m_values[8 * line + 6], dry = 0.25f * m_values[8 * line + 7];
            for (int32_t c = 0; c < 2; ++c) {
                m_lines[line][c]->Process(in[c], scratch.data(), n);
                for (int32_t i = 0; i < n; ++i)
                    out[c][i] += wet * scratch[static_cast<size_t>(i)] + dry * in[c][i];
            }
        }
    }

private:
    float m_values[32] = {};
    std::unique_ptr<ReferenceLine> m_lines[4][2];
};

// Noise bursts of `burst` samples every `period` samples, silent (+0) in between.
std::vector<float> Bursts(size_t length, size_t period, size_t burst, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
    std::vector<float> x(length, 0.0f);
    for (size_t i = 0; i < length; ++i)
        if (i % period < burst) x[i] = uniform(random);
    return x;
}

void ExpectSameBits(const std::vector<float>& actual, const std::vector<float>& expected, const char* what) {
    ASSERT_EQ(actual.size(), expected.size());
    size_t differing = 0, first = actual.size();
    for (size_t i = 0; i < actual.size(); ++i)
        if (std::bit_cast<uint32_t>(actual[i]) != std::bit_cast<uint32_t>(expected[i]) &&
            !(actual[i] == 0.0f && expected[i] == 0.0f)) {
            if (differing++ == 0) first = i;
        }
    EXPECT_EQ(differing, 0u) << what << ": first difference at sample " << first;
}

} // namespace

TEST(IdleSkipTest, MixerChannelMatchesItsPlainLoopThroughSilenceAndMoves) {
    // Track-style (both sends) and return-style (no sends) channels; between the bursts the gains
    // and bands move while the input is silent, so a settled channel must restart from them.
    for (const bool sends : {true, false}) {
        CMixerChannel channel(880.0, 5000.0, kRate);
        ReferenceChannel reference(kRate);
        const std::vector<float> input = Bursts(44100 * 12, 44100 * 3, 11025, 7);
        std::vector<float> main[2], aux1[2], aux2[2];
        std::vector<float> peaks[2];
        bool settled = false;
        float gain = 0.7f, send1 = 0.3f, send2 = 0.9f;
        for (size_t at = 0; at + kBlock <= input.size(); at += kBlock) {
            const size_t block = at / kBlock;
            if (block % 300 == 150) { // in the silences
                gain = gain == 0.7f ? 0.2f : 0.7f;
                send1 = 1.0f - send1;
                const float band = block % 600 == 150 ? 0.25f : 1.5f;
                channel.SetBandGains(band, 1.0f, 2.0f - band);
                reference.SetBandGains(band, 1.0f, 2.0f - band);
            }
            float out[2][3][kBlock] = {};
            const float* in = &input[at];
            const float p0 = channel.Process(in, out[0][0], sends ? out[0][1] : nullptr,
                                             sends ? out[0][2] : nullptr, kBlock, gain, send1, send2);
            const float p1 = reference.Process(in, out[1][0], sends ? out[1][1] : nullptr,
                                               sends ? out[1][2] : nullptr, kBlock, gain, send1, send2);
            settled = settled || channel.IsSettled(gain);
            for (int k = 0; k < 2; ++k) {
                main[k].insert(main[k].end(), out[k][0], out[k][0] + kBlock);
                aux1[k].insert(aux1[k].end(), out[k][1], out[k][1] + kBlock);
                aux2[k].insert(aux2[k].end(), out[k][2], out[k][2] + kBlock);
            }
            peaks[0].push_back(p0);
            peaks[1].push_back(p1);
        }
        EXPECT_TRUE(settled) << "the channel never came to rest in 2 s of silence";
        ExpectSameBits(main[0], main[1], "main");
        ExpectSameBits(aux1[0], aux1[1], "send 1");
        ExpectSameBits(aux2[0], aux2[1], "send 2");
        ExpectSameBits(peaks[0], peaks[1], "peaks");
    }
}

TEST(IdleSkipTest, QuadDelayMatchesItsPlainLinesThroughSilenceAndLevelMoves) {
    // Lines 2-4 start at wet level 0 (the defaults); during the silences a delay time glides,
    // a feedback-free line rests, and a line that was silent is turned up.
    TestHost host;
    CEcho* echo = new CEcho(&host.host);
    ReferenceEcho reference;
    const float defaults[32] = {0.1f, 0.5f, 0.0f, 0.5f, 0.0f, 0.5f, 1.0f, 0.0f, 0.2f, 0.0f, 0.1f,
                                0.5f, 0.0f, 0.5f, 0.0f, 0.0f, 0.3f, 0.5f, 0.2f, 0.5f, 0.0f, 0.5f,
                                0.0f, 0.0f, 0.4f, 0.0f, 0.3f, 0.5f, 0.0f, 0.5f, 0.0f, 0.5f};
    for (int32_t i = 0; i < 32; ++i) {
        echo->SetParameter(i, defaults[i]);
        reference.Set(i, defaults[i]);
    }
    const std::vector<float> left = Bursts(44100 * 14, 44100 * 7 / 2, 8000, 3);
    const std::vector<float> right = Bursts(44100 * 14, 44100 * 7 / 2, 5000, 4);
    std::vector<float> got[2], want[2];
    CAudioBuffer* in = echo->m_ports[0]->m_audioBuffer;
    CAudioBuffer* out = echo->m_ports[1]->m_audioBuffer;
    for (size_t at = 0; at + kBlock <= left.size(); at += kBlock) {
        const size_t block = at / kBlock;
        if (block == 400) { // silence: line 4's delay time glides, line 3 turned up
            echo->SetParameter(24, 0.8f), reference.Set(24, 0.8f);
            echo->SetParameter(22, 0.9f), reference.Set(22, 0.9f);
        }
        if (block == 420) echo->SetParameter(14, 0.6f), reference.Set(14, 0.6f);
        Fill(in->m_channel1, left, at, kBlock);
        Fill(in->m_channel2, right, at, kBlock);
        echo->Process();
        got[0].insert(got[0].end(), out->m_channel1, out->m_channel1 + kBlock);
        got[1].insert(got[1].end(), out->m_channel2, out->m_channel2 + kBlock);
        float expected[2][kBlock];
        const float* ins[2] = {&left[at], &right[at]};
        float* outs[2] = {expected[0], expected[1]};
        reference.Process(ins, outs, kBlock);
        want[0].insert(want[0].end(), expected[0], expected[0] + kBlock);
        want[1].insert(want[1].end(), expected[1], expected[1] + kBlock);
    }
    echo->Delete();
    ExpectSameBits(got[0], want[0], "left");
    ExpectSameBits(got[1], want[1], "right");
    // The comparison is not between two silences: the echoes are there.
    float loudest = 0.0f;
    for (size_t i = 8000; i < 44100; ++i) // after the first burst: echoes only
        loudest = std::max(loudest, std::fabs(got[0][i]));
    EXPECT_GT(loudest, 1e-3f);
}

TEST(IdleSkipTest, DelayLinePairWithDifferentSettingsRunsEachLineAlone) {
    CFilteredDelayLine left(kRate, 1.0f, 0.5f), right(kRate, 1.0f, 0.5f);
    ReferenceLine refLeft(kRate), refRight(kRate);
    for (ReferenceLine* line : {&refLeft, &refRight})
        line->SetFeedback(0.5f), line->SetBandwidth(2000.0f), line->SetFilterFrequency(3.0f);
    for (CFilteredDelayLine* line : {&left, &right})
        line->SetBandwidth(2000.0f), line->SetFilterFrequency(3.0f);
    left.SetDelayTime(0.01f), refLeft.SetDelayTime(0.01f);
    right.SetDelayTime(0.03f), refRight.SetDelayTime(0.03f);
    const std::vector<float> input = Bursts(kBlock * 40, kBlock * 10, 300, 9);
    std::vector<float> modulation(kBlock, 1.0f);
    std::vector<float> got[2], want[2];
    for (size_t at = 0; at + kBlock <= input.size(); at += kBlock) {
        float y[4][kBlock];
        CFilteredDelayLine::ProcessPair(left, right, &input[at], &input[at], y[0], y[1], modulation.data(),
                                        kBlock);
        refLeft.Process(&input[at], y[2], kBlock);
        refRight.Process(&input[at], y[3], kBlock);
        got[0].insert(got[0].end(), y[0], y[0] + kBlock), got[1].insert(got[1].end(), y[1], y[1] + kBlock);
        want[0].insert(want[0].end(), y[2], y[2] + kBlock),
            want[1].insert(want[1].end(), y[3], y[3] + kBlock);
    }
    ExpectSameBits(got[0], want[0], "left");
    ExpectSameBits(got[1], want[1], "right");
}

// The four lines side by side against four reference lines, through everything that sends a
// piece down another road: odd block sizes, a line gliding to a new delay time, delays shorter
// than a piece (reads of samples written in the same piece), denormal-sized feedback, and long
// silences where the lines come to rest.
TEST(IdleSkipTest, FourLinesSideBySideGiveTheSamplesOfOneLineAtATime) {
    std::unique_ptr<CFilteredDelayLine> lines[4][2];
    std::unique_ptr<ReferenceLine> reference[4][2];
    const float delays[4] = {0.3f, 0.05f, 0.7f, 0.2f};
    for (int32_t k = 0; k < 4; ++k) {
        for (int32_t c = 0; c < 2; ++c) {
            lines[k][c] = std::make_unique<CFilteredDelayLine>(kRate, 1.0f, 0.3f + 0.1f * k);
            reference[k][c] = std::make_unique<ReferenceLine>(kRate);
            reference[k][c]->SetFeedback(0.3f + 0.1f * k);
            for (int32_t side = 0; side < 2; ++side) {
                auto set = [&](auto& line) {
                    line.SetBandwidth(500.0f + 1500.0f * k);
                    line.SetFilterFrequency(2.0f + k);
                    line.SetDelayTime(delays[k]);
                };
                side == 0 ? set(*lines[k][c]) : set(*reference[k][c]);
            }
        }
    }
    CFilteredDelayLine* const raw[4][2] = {{lines[0][0].get(), lines[0][1].get()},
                                           {lines[1][0].get(), lines[1][1].get()},
                                           {lines[2][0].get(), lines[2][1].get()},
                                           {lines[3][0].get(), lines[3][1].get()}};
    const std::vector<float> left = Bursts(kRate * 6, kRate, 2000, 21);
    std::vector<float> right = Bursts(kRate * 6, kRate, 2000, 22);
    for (size_t i = 30000; i < 30400; ++i) right[i] = 1e-39f; // denormal input
    const std::vector<float> modulation(4096, 1.0f);
    const int32_t sizes[] = {256, 100, 37, 1, 64, 4096, 5};
    std::vector<float> got[4][2], want[4][2];
    size_t at = 0;
    for (int32_t turn = 0; at < left.size(); ++turn) {
        const auto n = static_cast<int32_t>(std::min<size_t>(sizes[turn % 7], left.size() - at));
        if (turn == 300) // line 2 glides to a long delay, line 4 to one sample (reads inside the piece)
            for (int32_t c = 0; c < 2; ++c) {
                lines[1][c]->SetDelayTime(0.9f), reference[1][c]->SetDelayTime(0.9f);
                lines[3][c]->SetDelayTime(0.0f), reference[3][c]->SetDelayTime(0.0f);
            }
        std::vector<float> y[4][2];
        float* out[4][2];
        for (int32_t k = 0; k < 4; ++k)
            for (int32_t c = 0; c < 2; ++c) y[k][c].resize(static_cast<size_t>(n)), out[k][c] = y[k][c].data();
        float* const (&outs)[4][2] = out;
        CFilteredDelayLine::ProcessFour(raw, &left[at], &right[at], outs, modulation.data(), n);
        for (int32_t k = 0; k < 4; ++k)
            for (int32_t c = 0; c < 2; ++c) {
                std::vector<float> expected(static_cast<size_t>(n));
                reference[k][c]->Process(c == 0 ? &left[at] : &right[at], expected.data(), n);
                got[k][c].insert(got[k][c].end(), y[k][c].begin(), y[k][c].end());
                want[k][c].insert(want[k][c].end(), expected.begin(), expected.end());
            }
        at += static_cast<size_t>(n);
    }
    for (int32_t k = 0; k < 4; ++k)
        for (int32_t c = 0; c < 2; ++c) {
            const std::string what = "line " + std::to_string(k + 1) + (c == 0 ? " left" : " right");
            ExpectSameBits(got[k][c], want[k][c], what.c_str());
            // Echoes are there to compare: the second burst's tail holds the first one's echo.
            float loudest = 0.0f;
            for (size_t i = 2000; i < static_cast<size_t>(kRate); ++i)
                loudest = std::max(loudest, std::fabs(got[k][c][i]));
            EXPECT_GT(loudest, 1e-3f) << what;
        }
}

// A filter modulation that moves inside a piece, and a line whose two channels went apart, run
// line by line, with the same samples as ProcessPair.
TEST(IdleSkipTest, FourLinesWithMovingModulationOrSplitChannelsFollowTheLineByLineRoad) {
    std::unique_ptr<CFilteredDelayLine> four[4][2], pairs[4][2];
    for (int32_t k = 0; k < 4; ++k)
        for (int32_t c = 0; c < 2; ++c)
            for (auto* slot : {&four[k][c], &pairs[k][c]}) {
                *slot = std::make_unique<CFilteredDelayLine>(kRate, 1.0f, 0.5f);
                (*slot)->SetBandwidth(1000.0f);
                (*slot)->SetFilterFrequency(4.0f);
                // Line 3's right channel has a delay of its own.
                (*slot)->SetDelayTime(k == 2 && c == 1 ? 0.25f : 0.1f + 0.05f * k);
            }
    CFilteredDelayLine* const raw[4][2] = {{four[0][0].get(), four[0][1].get()},
                                           {four[1][0].get(), four[1][1].get()},
                                           {four[2][0].get(), four[2][1].get()},
                                           {four[3][0].get(), four[3][1].get()}};
    const std::vector<float> input = Bursts(kBlock * 200, kBlock * 50, 1500, 5);
    std::vector<float> modulation(kBlock);
    size_t differing = 0;
    float loudest = 0.0f;
    for (size_t at = 0; at + kBlock <= input.size(); at += kBlock) {
        for (int32_t j = 0; j < kBlock; ++j) // moves inside every other block
            modulation[static_cast<size_t>(j)] = (at / kBlock) % 2 == 0 ? 1.0f : 1.0f + 0.001f * static_cast<float>(j);
        float y[4][2][kBlock], z[4][2][kBlock];
        float* outs[4][2];
        for (int32_t k = 0; k < 4; ++k)
            for (int32_t c = 0; c < 2; ++c) outs[k][c] = y[k][c];
        float* const (&out)[4][2] = outs;
        CFilteredDelayLine::ProcessFour(raw, &input[at], &input[at], out, modulation.data(), kBlock);
        for (int32_t k = 0; k < 4; ++k)
            CFilteredDelayLine::ProcessPair(*pairs[k][0], *pairs[k][1], &input[at], &input[at], z[k][0], z[k][1],
                                            modulation.data(), kBlock);
        for (int32_t k = 0; k < 4; ++k)
            for (int32_t c = 0; c < 2; ++c)
                for (int32_t j = 0; j < kBlock; ++j) {
                    differing += std::bit_cast<uint32_t>(y[k][c][j]) != std::bit_cast<uint32_t>(z[k][c][j]);
                    loudest = std::max(loudest, std::fabs(y[k][c][j]));
                }
    }
    EXPECT_EQ(differing, 0u);
    EXPECT_GT(loudest, 1e-3f);
}
