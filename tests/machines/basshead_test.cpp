// QX BassHead: parameters, note handling, routings and pitch, measured on its output.
#include "machines/basshead/basshead.h"
#include "tests/support/machine_harness.h"
#include "tests/support/signal_tools.h"

#include <gtest/gtest.h>

using namespace harness;
using namespace signal_tools;

namespace {

class BassHeadTest : public ::testing::Test {
protected:
    MachinePtr<CBassHead> Make(std::initializer_list<std::pair<int32_t, float>> settings = {}) {
        MachinePtr<CBassHead> machine(new CBassHead(&m_host));
        for (const auto& [index, value] : settings)
            machine->SetParameter(index, value);
        return machine;
    }
    CVeskHost m_host{kRate, kBlock, 0x16, nullptr};
};

// A bright, steady sound: open filters, full sustain.
const std::initializer_list<std::pair<int32_t, float>> kOpen = {{2, 1.0f},  {25, 1.0f}, {27, 0.5f},
                                                                {28, 0.0f}, {30, 1.0f}, {32, 0.5f},
                                                                {33, 0.0f}, {26, 0.0f}, {31, 0.0f}};

} // namespace

TEST_F(BassHeadTest, DisplayTexts) {
    auto machine = Make();
    EXPECT_EQ(machine->m_parameterCount, 73);
    EXPECT_EQ(Display(*machine, 0, 0.2f), "0.06s");
    EXPECT_EQ(Display(*machine, 2, 0.5f), "50%");
    EXPECT_EQ(Display(*machine, 16, 0.5f), "0st");
    EXPECT_EQ(Display(*machine, 16, 0.0f), "-48st");
    EXPECT_EQ(Display(*machine, 16, 1.0f), "48st");
    EXPECT_EQ(Display(*machine, 21, 0.5f), "0.50st");
    EXPECT_EQ(Display(*machine, 38, 0.0f), "-oo dB");
    EXPECT_EQ(Display(*machine, 38, 0.5f), "-24.00dB");
    EXPECT_EQ(Display(*machine, 38, 1.0f), "0dB");
    EXPECT_EQ(Display(*machine, 41, 0.0f), "0dB");
    EXPECT_EQ(Display(*machine, 41, 0.5f), "+24.00dB");
    EXPECT_EQ(Display(*machine, 46, 0.5f), "0.30Hz");
    EXPECT_EQ(Display(*machine, 48, 0.5f), "1.00s");
    EXPECT_EQ(Display(*machine, 49, 0.0f), "None");
    EXPECT_EQ(Display(*machine, 49, 0.45f), "VCO2 Pitch");
    EXPECT_EQ(Display(*machine, 49, 0.35f), "VCO1 Pitch");
    EXPECT_EQ(Display(*machine, 49, 1.0f), "VCF2 Resonance");
    EXPECT_EQ(Display(*machine, 14, 0.0f), "Saw");
    EXPECT_EQ(Display(*machine, 14, 1.0f), "TriSquare");
    EXPECT_EQ(Display(*machine, 23, 0.5f), "On");
    EXPECT_EQ(Display(*machine, 24, 0.7f), "High Pass");
    EXPECT_EQ(Display(*machine, 34, 0.5f), "Parralel");
    EXPECT_EQ(Display(*machine, 34, 1.0f), "Split");
    EXPECT_EQ(Display(*machine, 36, 1.0f), "Bass U");
    EXPECT_EQ(Display(*machine, 40, 0.6f), "Digital");
    EXPECT_EQ(Display(*machine, 47, 0.7f), "S&H");
    // The last Amp of every LFO is a percentage.
    for (int32_t index : {54, 63, 72})
        EXPECT_EQ(Display(*machine, index, 0.25f), "25%") << index;
    EXPECT_EQ(Name(*machine, 72), "LFO3 Amp 3");
    EXPECT_EQ(Name(*machine, 55), "LFO2 Rate");
    EXPECT_EQ(Name(*machine, 73), "");
    EXPECT_EQ(Display(*machine, 73, 0.5f), "");
    EXPECT_EQ(machine->GetParameter(73), 0.0f);
    EXPECT_FLOAT_EQ(machine->GetParameter(27), 0.6f);
    // The generic parameter list: 8 + 4·73 bytes.
    const void* data = nullptr;
    int32_t size = 0;
    bool list = false;
    machine->GetState(&data, &size, &list);
    EXPECT_EQ(size, 8 + 4 * 73);
    EXPECT_TRUE(list);
}

TEST_F(BassHeadTest, SilentUntilTheFirstNoteWhichStartsAtItsSample) {
    auto machine = Make();
    std::vector<float> left, right;
    Render(*machine, 1024, left, &right);
    EXPECT_EQ(Peak(left), 0.0);
    left.clear();
    Send(*machine, Note(kEventNoteOn, 100, 45));
    Render(*machine, kBlock, left);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(left[i], 0.0f) << i;
    EXPECT_GT(Peak(std::vector<float>(left.begin() + 100, left.end())), 0.0);
}

TEST_F(BassHeadTest, PlaysTheNotePitchAndSemitoneOffsets) {
    auto machine = Make(kOpen);
    machine->SetParameter(37, 0.0f); // oscillator 1 only
    std::vector<float> out;
    Send(*machine, Note(kEventNoteOn, 0, 57)); // 220 Hz
    Render(*machine, kRate / 2, out);
    EXPECT_NEAR(ZeroCrossingFrequency(out, kRate, 4096), 220.0, 1.0);
    auto up = Make(kOpen);
    up->SetParameter(37, 0.0f);
    up->SetParameter(16, 0.5f + 12.5f / 96.0f); // +12 semitones
    std::vector<float> octave;
    Send(*up, Note(kEventNoteOn, 0, 57));
    Render(*up, kRate / 2, octave);
    EXPECT_NEAR(ZeroCrossingFrequency(octave, kRate, 4096), 440.0, 2.0);
}

TEST_F(BassHeadTest, NewNoteTakesOverAndTheOldNoteOffIsIgnored) {
    auto machine = Make(kOpen);
    machine->SetParameter(37, 0.0f);
    std::vector<float> out;
    Send(*machine, Note(kEventNoteOn, 0, 57));
    Render(*machine, kRate / 4, out);
    Send(*machine, Note(kEventNoteOn, 0, 69)); // 440 Hz, no glide: reached at once
    Send(*machine, Note(kEventNoteOff, 10, 57));
    out.clear();
    Render(*machine, kRate / 2, out);
    EXPECT_NEAR(ZeroCrossingFrequency(std::vector<float>(out.begin(), out.begin() + 4096), kRate), 440.0,
                4.0);
    // Still sounding at full sustain half a second later: the note-off of 57 went nowhere.
    EXPECT_GT(Rms(out, out.size() - 4096), 0.5 * Rms(std::vector<float>(out.begin(), out.begin() + 4096)));
    Send(*machine, Note(kEventNoteOff, 0, 69));
    out.clear();
    Render(*machine, 2 * kRate, out); // release of 1 s
    EXPECT_EQ(Peak(std::vector<float>(out.end() - 1024, out.end())), 0.0);
}

TEST_F(BassHeadTest, RetriggerRestartsTheEnvelopeFromItsLevel) {
    // A slow attack: halfway through, a new note continues upward instead of dropping to silence.
    auto machine = Make(kOpen);
    machine->SetParameter(0, 0.5f); // 1 s attack
    std::vector<float> out;
    Send(*machine, Note(kEventNoteOn, 0, 57));
    Render(*machine, kRate / 2, out);
    const double before = Rms(std::vector<float>(out.end() - 2048, out.end()));
    out.clear();
    Send(*machine, Note(kEventNoteOn, 0, 57));
    Render(*machine, 2048, out);
    EXPECT_GT(Rms(out), 0.9 * before);
}

TEST_F(BassHeadTest, RoutingsNoiseAndRingModulation) {
    auto stereoOf = [&](std::initializer_list<std::pair<int32_t, float>> settings) {
        auto machine = Make(kOpen);
        for (const auto& [index, value] : settings)
            machine->SetParameter(index, value);
        machine->SetParameter(20, 0.5f + 7.5f / 96.0f); // a fifth apart, so the two oscillators differ
        std::vector<float> left, right;
        Send(*machine, Note(kEventNoteOn, 0, 45));
        Render(*machine, 8192, left, &right);
        return std::make_pair(left, right);
    };
    const auto serial = stereoOf({{34, 0.0f}});
    EXPECT_EQ(serial.first, serial.second);
    EXPECT_GT(Rms(serial.first), 0.01);
    const auto parallel = stereoOf({{34, 0.5f}, {30, 0.5f}}); // filter 2 darker than filter 1
    EXPECT_NE(parallel.first, parallel.second);
    const auto split = stereoOf({{34, 1.0f}, {37, 0.0f}}); // all of oscillator 1, nothing of 2
    EXPECT_GT(Rms(split.first), 0.01);
    EXPECT_LT(Rms(split.second), 1e-6);
    // Osc Volume 0 silences the oscillators; noise still sounds in every routing.
    for (float routing : {0.0f, 0.5f, 1.0f}) {
        const auto silent = stereoOf({{34, routing}, {38, 0.0f}});
        EXPECT_LT(Rms(silent.first) + Rms(silent.second), 1e-6) << routing;
        const auto noise = stereoOf({{34, routing}, {38, 0.0f}, {39, 1.0f}});
        EXPECT_GT(routing == 1.0f ? Rms(noise.second) : Rms(noise.first), 0.01) << routing;
        // Ring modulation in Serial and Parallel, none in Split.
        const auto ring = stereoOf({{34, routing}, {38, 0.0f}, {42, 1.0f}});
        if (routing == 1.0f)
            EXPECT_LT(Rms(ring.first) + Rms(ring.second), 1e-6);
        else
            EXPECT_GT(Rms(ring.first), 0.01) << routing;
    }
}

TEST_F(BassHeadTest, LfoSendsNeedBothADestinationAndAnAmount) {
    auto render = [&](std::initializer_list<std::pair<int32_t, float>> settings) {
        auto machine = Make(kOpen);
        machine->SetParameter(46, 0.9f); // a fast LFO 1
        for (const auto& [index, value] : settings)
            machine->SetParameter(index, value);
        std::vector<float> out;
        Send(*machine, Note(kEventNoteOn, 0, 45));
        Render(*machine, 8192, out);
        return out;
    };
    const auto plain = render({});
    EXPECT_EQ(render({{49, 0.3f}, {50, 0.0f}}), plain); // VCO1 Pitch, amount 0
    EXPECT_EQ(render({{49, 0.0f}, {50, 1.0f}}), plain); // None, full amount
    EXPECT_NE(render({{49, 0.3f}, {50, 1.0f}}), plain);
}

TEST_F(BassHeadTest, SyncOnlyAffectsOscillatorTwo) {
    auto render = [&](float balance, float sync) {
        auto machine = Make(kOpen);
        machine->SetParameter(37, balance);
        machine->SetParameter(20, 0.5f + 7.5f / 96.0f);
        machine->SetParameter(23, sync);
        std::vector<float> out;
        Send(*machine, Note(kEventNoteOn, 0, 45));
        Render(*machine, 8192, out);
        return out;
    };
    EXPECT_EQ(render(0.0f, 1.0f), render(0.0f, 0.0f));
    EXPECT_NE(render(1.0f, 1.0f), render(1.0f, 0.0f));
}

TEST_F(BassHeadTest, ParameterEventsApplyThroughTheHost) {
    auto machine = Make(kOpen);
    ControlEvent change{};
    change.kind = kEventParameter;
    change.time = 100;
    change.index = 38;
    change.value = 0.0f; // Osc Volume off
    Send(*machine, change);
    Send(*machine, Note(kEventNoteOn, 0, 45));
    std::vector<float> out;
    Render(*machine, kBlock, out);
    EXPECT_EQ(machine->GetParameter(38), 0.0f);
    // Applied at its own sample 100, not from the start of the buffer: up to it the note sounds as
    // it does without the change, from it on only the filters' tail is left.
    auto unchanged = Make(kOpen);
    Send(*unchanged, Note(kEventNoteOn, 0, 45));
    std::vector<float> reference;
    Render(*unchanged, kBlock, reference);
    const auto part = [](const std::vector<float>& x, size_t from, size_t to) {
        return Peak(std::vector<float>(x.begin() + static_cast<std::ptrdiff_t>(from),
                                       x.begin() + static_cast<std::ptrdiff_t>(to)));
    };
    ASSERT_GT(part(reference, 0, 100), 0.001);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 100, reference.begin()));
    EXPECT_NE(out[100], reference[100]);
    EXPECT_LT(part(out, kBlock - 50, kBlock), 0.1 * part(reference, kBlock - 50, kBlock));
}

TEST_F(BassHeadTest, SampleRateAndBufferSizeChanges) {
    auto machine = Make(kOpen);
    machine->SetParameter(37, 0.0f);
    machine->ResizePortBuffers(64);
    machine->SetBufferSize(64);
    machine->SetSampleRate(48000);
    std::vector<float> out;
    Send(*machine, Note(kEventNoteOn, 0, 57));
    Render(*machine, 24000, out);
    EXPECT_NEAR(ZeroCrossingFrequency(out, 48000, 4096), 220.0, 1.0);
}
