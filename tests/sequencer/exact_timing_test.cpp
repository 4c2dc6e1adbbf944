// Song and pattern timing to the exact sample at every rate and buffer size: step i of the song
// lands at trunc(i x rate x 4 / BPM) of its pass, every pass of a looped song starts at exactly
// k x the song's length, and the same song renders the same samples whatever the buffer size.
// Expected samples are computed here in integers, independently of the sequencer's arithmetic.
#include "engine/master.h"
#include "engine/studio.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"
#include "sequencer/sequencer.h"
#include "tests/sequencer/gate_synth.h"
#include "tests/support/event_machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

namespace {

// The exact first sample of a step for an integer tempo: trunc(step x rate x 4 / bpm).
int64_t StepSample(int64_t step, int64_t rate, int64_t bpm) { return step * rate * 4 / bpm; }

std::vector<int64_t> TimesOf(const std::vector<ReceivedEvent>& events, int32_t kind, int64_t before) {
    std::vector<int64_t> times;
    for (const ReceivedEvent& event : events)
        if (event.kind == kind && event.time < before) times.push_back(event.time);
    std::sort(times.begin(), times.end());
    return times;
}

// ----- Sweep: sample rate x buffer size, the sequencer on its own -----

class TimingSweep : public ::testing::TestWithParam<std::tuple<int32_t, int32_t>> {
protected:
    static constexpr int64_t kBpm = 130; // a fractional step length at every rate of the sweep
    int32_t Rate() const { return std::get<0>(GetParam()); }
    int32_t BufferSize() const { return std::get<1>(GetParam()); }
    int64_t Step(int64_t step) const { return StepSample(step, Rate(), kBpm); }
    void RunFrames(SequencerRig& rig, int64_t frames) {
        rig.Buffers(static_cast<int>((frames + BufferSize() - 1) / BufferSize()));
    }
};

TEST_P(TimingSweep, LoopedSongPassesStartAtMultiplesOfItsLengthAndStepsLandOnTheirSample) {
    SequencerRig rig(Rate(), BufferSize());
    rig.host.SetBPM(static_cast<float>(kBpm));
    CEventMachine* synth = rig.Add("Synth 1");
    CEventMachine* drums = rig.Add("Drums 1");
    CPatternEditor& editor = rig.sequencer.Patterns();
    CSequenceEditor& song = rig.sequencer.Song();
    // Two beats of notes on every step with a control step on every other one, then a one-beat
    // pattern of another machine at beat 2 (song steps 8..11).
    Pattern* melody = editor.CreatePattern(synth->Control(), 2);
    const int32_t cutoff = melody->AddControlTrack(0);
    for (int32_t j = 0; j < 8; ++j) {
        melody->AddNote(j, 1, 60 + j % 2);
        if (j % 2 == 0) melody->SetControlStep(cutoff, j, 0.5f);
    }
    Pattern* beat = editor.CreatePattern(drums->Control(), 1);
    for (int32_t j = 0; j < 4; ++j) beat->AddNote(j, 1, 36);
    ASSERT_NE(song.PlacePattern(melody, 0), nullptr);
    ASSERT_NE(song.PlacePattern(beat, 2), nullptr);
    song.SetLength(3);
    ASSERT_EQ(song.SongSamples(), Step(12));
    song.SetLoop(true);
    song.PlaySong();

    const int64_t length = Step(12);
    const int64_t frames = 3 * length + Step(1);
    RunFrames(rig, frames);
    // The position is the exact sample count into the fourth pass.
    const int64_t played = (frames + BufferSize() - 1) / BufferSize() * BufferSize();
    EXPECT_EQ(song.PositionSamples(), played - 3 * length);
    std::vector<int64_t> ons, offs, changes, hits;
    for (int64_t pass = 0; pass < 3; ++pass) {
        for (int64_t j = 0; j < 8; ++j) {
            ons.push_back(pass * length + Step(j));
            offs.push_back(pass * length + Step(j) + Step(1));
            if (j % 2 == 0) changes.push_back(pass * length + Step(j));
        }
        for (int64_t j = 8; j < 12; ++j) hits.push_back(pass * length + Step(j));
    }
    std::sort(offs.begin(), offs.end());
    const int64_t end = 3 * length;
    EXPECT_EQ(TimesOf(synth->events, kEventNoteOn, end), ons);
    EXPECT_EQ(TimesOf(synth->events, kEventNoteOff, end), offs);
    EXPECT_EQ(TimesOf(synth->events, kEventParameter, end), changes);
    EXPECT_EQ(TimesOf(drums->events, kEventNoteOn, end), hits);
    // The fourth pass has begun exactly at 3 x length.
    EXPECT_EQ(TimesOf(synth->events, kEventNoteOn, end + 1).back(), end);
}

TEST_P(TimingSweep, LoopedPatternRepeatsEveryPatternLengthAndStepsLandOnTheirSample) {
    SequencerRig rig(Rate(), BufferSize());
    rig.host.SetBPM(static_cast<float>(kBpm));
    CEventMachine* synth = rig.Add("Synth 1");
    CPatternEditor& editor = rig.sequencer.Patterns();
    editor.SelectMachine(synth);
    editor.SetNewPatternLength(2);
    Pattern* pattern = editor.AddPattern();
    ASSERT_NE(pattern, nullptr);
    for (int32_t j = 0; j < 8; ++j) pattern->AddNote(j, 1, 60);
    editor.SetLoopPattern(true);
    editor.SetPlayPattern(true);

    const int64_t length = Step(8);
    RunFrames(rig, 3 * length + 1);
    std::vector<int64_t> ons;
    for (int64_t pass = 0; pass < 3; ++pass)
        for (int64_t j = 0; j < 8; ++j) ons.push_back(pass * length + Step(j));
    ons.push_back(3 * length);
    EXPECT_EQ(TimesOf(synth->events, kEventNoteOn, 3 * length + 1), ons);
    EXPECT_EQ(TimesOf(synth->events, kEventNoteOff, length).front(), Step(1));
}

INSTANTIATE_TEST_SUITE_P(RatesAndBuffers, TimingSweep,
                         ::testing::Combine(::testing::Values(44100, 48000, 96000), ::testing::Values(1, 64, 256, 1000)),
                         [](const auto& testParam) {
                             return std::to_string(std::get<0>(testParam.param)) + "Hz_" +
                                    std::to_string(std::get<1>(testParam.param)) + "Frames";
                         });

// ----- The same song through the studio's processing cycle at every buffer size -----

struct SongCase {
    int32_t rate;
    int64_t bpm;
};

// A four-beat song on a gate synthesizer: a two-beat figure at beat 0 and a one-beat pattern at
// beat 3 whose last note runs past the pattern's (and the song's) end; looped three times.
struct RenderedSong {
    std::vector<float> left, right;
    std::vector<CGateSynth::Event> events;
    int64_t songSamples = 0;
};

RenderedSong RenderSong(const SongCase& song, int32_t bufferSize, int64_t frames) {
    MachineRegistry registry;
    CVeskHost host(song.rate, bufferSize, 0, &registry);
    host.SetBPM(static_cast<float>(song.bpm));
    host.RegisterMachine(new CMasterInfo(&host));
    CMachineInfo* gateInfo = new CSimpleMachineInfo<CGateSynth>(&host, "Gate", "Gate");
    host.RegisterMachine(gateInfo);
    auto studio = std::make_unique<CStudio>(&host);
    auto sequencer = std::make_unique<CSequencer>(&host);
    studio->AttachSequencer(sequencer.get());
    CMachineContainer* master = studio->NewProject();
    CMachineContainer* frame = studio->AddMachine(gateInfo, 100, 100);
    auto* gate = static_cast<CGateSynth*>(frame->Machine());
    EXPECT_TRUE(studio->Connect(frame->FindConnector("Out"), master->FindConnector("Line In")));

    CPatternEditor& editor = sequencer->Patterns();
    Pattern* figure = editor.CreatePattern(gate->m_ports[0], 2);
    figure->AddNote(0, 1, 60);
    figure->AddNote(3, 2, 62);
    figure->AddNote(5, 3, 64);
    Pattern* tail = editor.CreatePattern(gate->m_ports[0], 1);
    tail->AddNote(1, 1, 67);
    tail->AddNote(3, 2, 69); // ends one step into the next pass
    CSequenceEditor& songEditor = sequencer->Song();
    EXPECT_NE(songEditor.PlacePattern(figure, 0), nullptr);
    EXPECT_NE(songEditor.PlacePattern(tail, 3), nullptr);
    songEditor.SetLength(4);
    songEditor.SetLoop(true);
    songEditor.PlaySong();

    RenderedSong rendered;
    rendered.songSamples = songEditor.SongSamples();
    std::vector<float> left(static_cast<size_t>(bufferSize)), right(static_cast<size_t>(bufferSize));
    float* channels[2] = {left.data(), right.data()};
    while (static_cast<int64_t>(rendered.left.size()) < frames) {
        studio->Render(2, channels, bufferSize);
        rendered.left.insert(rendered.left.end(), left.begin(), left.end());
        rendered.right.insert(rendered.right.end(), right.begin(), right.end());
    }
    rendered.left.resize(static_cast<size_t>(frames));
    rendered.right.resize(static_cast<size_t>(frames));
    for (const CGateSynth::Event& event : gate->events)
        if (event.time < frames) rendered.events.push_back(event);
    studio.reset(); // the frames (and machines) first; the sequencer only holds pointers
    return rendered;
}

class SongAtEveryBufferSize : public ::testing::TestWithParam<std::tuple<SongCase, int32_t>> {};

TEST_P(SongAtEveryBufferSize, RendersTheSameSamplesAsOneLargeBuffer) {
    const auto& [song, bufferSize] = GetParam();
    const int64_t length = StepSample(16, song.rate, song.bpm);
    const int64_t frames = 3 * length + StepSample(2, song.rate, song.bpm);
    // The reference: the whole stretch in one buffer.
    static std::map<std::pair<int32_t, int64_t>, RenderedSong> references;
    RenderedSong& reference = references[{song.rate, song.bpm}];
    if (reference.left.empty()) reference = RenderSong(song, 8192 * 4, frames);
    const RenderedSong rendered = RenderSong(song, bufferSize, frames);

    ASSERT_EQ(rendered.songSamples, length);
    ASSERT_EQ(rendered.left.size(), reference.left.size());
    EXPECT_EQ(std::memcmp(rendered.left.data(), reference.left.data(), rendered.left.size() * sizeof(float)), 0);
    EXPECT_EQ(std::memcmp(rendered.right.data(), reference.right.data(), rendered.right.size() * sizeof(float)), 0);

    // Passes start at exactly 0, L and 2L; every onset at trunc(i x S) of its pass; the note past
    // the pattern's end sounds for its whole length, into the next pass.
    std::vector<int64_t> expectedOns, actualOns, passStarts;
    for (int64_t pass = 0; pass < 3; ++pass)
        for (int64_t step : {0, 3, 5, 13, 15}) expectedOns.push_back(pass * length + StepSample(step, song.rate, song.bpm));
    expectedOns.push_back(3 * length);
    for (const CGateSynth::Event& event : rendered.events) {
        if (event.kind != kEventNoteOn) continue;
        actualOns.push_back(event.time);
        if (event.index == 60) passStarts.push_back(event.time);
    }
    EXPECT_EQ(actualOns, expectedOns);
    EXPECT_EQ(passStarts, (std::vector<int64_t>{0, length, 2 * length, 3 * length}));
    int64_t firstOff = -1;
    for (const CGateSynth::Event& event : rendered.events)
        if (event.kind == kEventNoteOff && event.index == 69 && firstOff < 0) firstOff = event.time;
    EXPECT_EQ(firstOff, StepSample(15, song.rate, song.bpm) + StepSample(2, song.rate, song.bpm));
    EXPECT_GT(firstOff, length);
}

INSTANTIATE_TEST_SUITE_P(FractionalSteps, SongAtEveryBufferSize,
                         ::testing::Combine(::testing::Values(SongCase{44100, 130}, SongCase{48000, 133}),
                                            ::testing::Values(1, 64, 256, 1000, 4410, 8192)),
                         [](const auto& testParam) {
                             const SongCase song = std::get<0>(testParam.param);
                             return std::to_string(song.bpm) + "Bpm" + std::to_string(song.rate) + "Hz_" +
                                    std::to_string(std::get<1>(testParam.param)) + "Frames";
                         });

} // namespace

// The first step starting at or after a sample, against a walk over the steps, on grids whose step
// lengths are whole, fractional and tiny, from several starting steps.
TEST(StepGridSearch, FindsTheFirstStepStartingAtOrAfterASample) {
    const CStepGrid grids[] = {CStepGrid(44100, 130.0f), CStepGrid(48000, 127.3f), CStepGrid(96000, 32.0f),
                               CStepGrid(44100, 999.9f), CStepGrid::FromStepLength(1.0f),
                               CStepGrid::FromStepLength(0.37f)};
    for (const CStepGrid& grid : grids) {
        for (const int64_t from : {int64_t{0}, int64_t{3}, int64_t{1000}}) {
            int64_t step = from; // walks forward as the samples grow
            for (int64_t sample = grid.StepStart(from) - 50; sample < grid.StepStart(from + 3000); sample += 7) {
                while (grid.StepStart(step) < sample) ++step;
                ASSERT_EQ(grid.FirstStepStartingAtOrAfter(sample, from), step) << "sample " << sample;
            }
        }
        // Far into a long song as well.
        const int64_t far = int64_t{1} << 30;
        for (int64_t sample = grid.StepStart(far); sample < grid.StepStart(far + 40); ++sample) {
            const int64_t found = grid.FirstStepStartingAtOrAfter(sample);
            ASSERT_GE(grid.StepStart(found), sample);
            ASSERT_LT(grid.StepStart(found - 1), sample);
        }
    }
    // Nothing is played on an invalid grid: the search stays where it started.
    EXPECT_EQ(CStepGrid(44100, 0.0f).FirstStepStartingAtOrAfter(5000, 7), 7);
}
