// The stock machines sound the same whatever buffer size the studio runs at: one machine fed the
// same events at the same absolute samples, rendered in buffers of 1, 64, 256, 1000, 4410 or 8192
// frames or in an irregular run of sizes, gives the same float samples, bit for bit. The event
// stream is seeded and dense: notes, note-offs and parameter changes at arbitrary offsets, several
// in one buffer, on the first and the last frame of buffers of every size.
//
// The DSP blocks the machines stand on are checked the same way first, so a failure names the
// block rather than only the machine.
#include "machine_interface/machine_registry.h"
#include "machines/basshead/basshead.h"
#include "machines/basshead/basshead_parameters.h"
#include "machines/drumkit/drumkit.h"
#include "machines/dsp/dsp.h"
#include "machines/spatialverb/spatialverb.h"
#include "machines/stomp/kick.h"
#include "tests/support/machine_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

using harness::FindPort;
using harness::MachineDeleter;

constexpr int32_t kRate = 44100;
constexpr int32_t kLength = 3 * kRate / 2; // 1.5 s
const int32_t kUniformSizes[] = {1, 64, 256, 1000, 4410, 8192};
constexpr int32_t kReferenceSize = 256;

// An event at an absolute sample of the stream.
struct TimedEvent {
    int32_t at;
    ControlEvent event;
};

// Buffer sizes from 1 to 8192 in a seeded irregular order: primes, single frames, odd lengths.
std::vector<int32_t> IrregularSizes(int32_t total) {
    std::mt19937 random(99);
    const int32_t picks[] = {1, 2, 3, 7, 31, 63, 65, 127, 255, 257, 511, 997, 2048, 4409, 4411, 8192};
    std::uniform_int_distribution<size_t> pick(0, std::size(picks) - 1);
    std::vector<int32_t> sizes;
    for (int32_t done = 0; done < total;) {
        const int32_t n = std::min(picks[pick(random)], total - done);
        sizes.push_back(n);
        done += n;
    }
    return sizes;
}

std::vector<int32_t> UniformSizes(int32_t size, int32_t total) {
    std::vector<int32_t> sizes;
    for (int32_t done = 0; done < total; done += size)
        sizes.push_back(std::min(size, total - done));
    return sizes;
}

// Absolute samples that fall on the first and the last frame of a buffer at every uniform size,
// plus a cluster of neighbours, so each size sees events at offsets 0 and B − 1 and several in one
// buffer.
std::vector<int32_t> EdgeTimes() {
    std::vector<int32_t> times;
    for (int32_t size : kUniformSizes) {
        if (size == 1) continue;
        for (int32_t k = 1; k * size < kLength; k += 3) {
            times.push_back(k * size);
            times.push_back(k * size - 1);
        }
    }
    for (int32_t t : {5000, 5001, 5003, 5003, 5010, 30000, 30000, 30001})
        times.push_back(t);
    return times;
}

struct MachineCase {
    std::string name;
    std::function<CMachine*(CVeskHost*)> create;
    // The stream of events: notes and parameter changes for a machine with a control input.
    std::function<std::vector<TimedEvent>()> events;
    bool audioInput = false;
    // Parameter changes applied (with a periodic update) before the first buffer.
    std::vector<std::pair<int32_t, float>> setup;
};

ControlEvent Parameter(int32_t index, float value) {
    ControlEvent event{};
    event.size = sizeof(ControlEvent);
    event.kind = kEventParameter;
    event.index = index;
    event.value = value;
    return event;
}

// Notes of [lowNote, highNote] with note-offs a random while later, and changes of the parameters
// in `parameters`, at random samples and at the buffer-edge samples.
std::vector<TimedEvent> Stream(uint32_t seed, int32_t lowNote, int32_t highNote, int32_t kindOn, int32_t kindOff,
                               const std::vector<int32_t>& parameters, int32_t notes, int32_t changes) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int32_t> when(0, kLength - 1);
    std::uniform_int_distribution<int32_t> note(lowNote, highNote);
    std::uniform_int_distribution<int32_t> hold(1, 9000);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    std::uniform_int_distribution<size_t> which(0, parameters.empty() ? 0 : parameters.size() - 1);
    std::vector<TimedEvent> events;
    const auto addNote = [&](int32_t at) {
        const int32_t n = note(random);
        const float velocity = 0.3f + 0.7f * value(random);
        events.push_back({at, harness::Note(kindOn, 0, n, velocity)});
        const int32_t off = at + hold(random);
        if (off < kLength) events.push_back({off, harness::Note(kindOff, 0, n, 0.0f)});
    };
    const auto addChange = [&](int32_t at) {
        if (!parameters.empty()) events.push_back({at, Parameter(parameters[which(random)], value(random))});
    };
    for (int32_t i = 0; i < notes; ++i)
        addNote(when(random));
    for (int32_t i = 0; i < changes; ++i)
        addChange(when(random));
    // The buffer edges carry notes and changes alike, some of them at once.
    const std::vector<int32_t> edges = EdgeTimes();
    for (size_t i = 0; i < edges.size(); ++i) {
        if (i % 3 == 0) addNote(edges[i]);
        if (i % 3 != 1) addChange(edges[i]);
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const TimedEvent& a, const TimedEvent& b) { return a.at < b.at; });
    return events;
}

std::vector<int32_t> Range(int32_t from, int32_t to) {
    std::vector<int32_t> indices;
    for (int32_t i = from; i < to; ++i)
        indices.push_back(i);
    return indices;
}

struct Render {
    std::vector<float> left, right;
};

// Renders the whole stream through the machine's own interface in buffers of the given sizes. The
// machine is built for buffers of `capacity` frames; each call's length is the port buffers'
// length, as the host sets it. Every audio input gets the input signal (a different share per
// port and channel); the first output is recorded. A machine with a second pass runs it too. The
// periodic update runs between buffers once 10 ms of audio have passed, as in an offline render,
// so it comes at other samples for other buffer sizes; the setup changes come before any of it.
Render RenderInBuffers(const MachineCase& test, const std::vector<TimedEvent>& events,
                       const std::vector<float>& input, const std::vector<int32_t>& sizes) {
    const int32_t capacity = *std::max_element(sizes.begin(), sizes.end());
    MachineRegistry registry;
    CVeskHost host(kRate, capacity, 0, &registry);
    std::unique_ptr<CMachine, MachineDeleter> machine(test.create(&host));
    for (const auto& [index, value] : test.setup)
        machine->SetParameter(index, value);
    CPort* control = FindPort(*machine, "Control In");
    std::vector<CAudioBuffer*> inputs, returns, buffers;
    CAudioBuffer* out = nullptr;
    for (int32_t p = 0; p < machine->m_portCount; ++p) {
        CPort* port = machine->m_ports[p];
        if (!port->IsAudio()) continue;
        buffers.push_back(port->m_audioBuffer);
        if (port->IsInput()) (port->IsSendReturn() ? returns : inputs).push_back(port->m_audioBuffer);
        if (port->IsOutput() && !port->IsSendReturn() && !out) out = port->m_audioBuffer;
    }
    Render render;
    size_t next = 0;
    int32_t start = 0;
    int32_t sinceUpdate = 0;
    for (int32_t size : sizes) {
        if (sinceUpdate >= kRate / 100) {
            sinceUpdate %= kRate / 100;
            machine->UpdateGUI();
        }
        sinceUpdate += size;
        for (; next < events.size() && events[next].at < start + size; ++next) {
            ControlEvent event = events[next].event;
            event.time = events[next].at - start;
            control->m_controlBuffer->AddEvent(&event);
        }
        for (CAudioBuffer* buffer : buffers)
            buffer->m_length = size;
        for (CAudioBuffer* buffer : returns)
            buffer->Clear(); // no effect on the sends here: the returns are silent
        for (size_t k = 0; k < inputs.size(); ++k) {
            const float share = 1.0f / static_cast<float>(k + 1);
            for (int32_t i = 0; i < size; ++i) {
                const float x = input[static_cast<size_t>(start + i)];
                inputs[k]->m_channel1[i] = share * x;
                if (inputs[k]->m_channel2) inputs[k]->m_channel2[i] = -0.5f * share * x;
            }
        }
        machine->Process();
        machine->ProcessLate();
        render.left.insert(render.left.end(), out->m_channel1, out->m_channel1 + size);
        const float* right = out->m_channel2 ? out->m_channel2 : out->m_channel1;
        render.right.insert(render.right.end(), right, right + size);
        start += size;
    }
    for (CAudioBuffer* buffer : buffers)
        buffer->m_length = capacity;
    return render;
}

// The first frame where two renders differ and the largest difference, for the failure message.
std::string Difference(const Render& a, const Render& b) {
    for (int32_t side = 0; side < 2; ++side) {
        const std::vector<float>& x = side == 0 ? a.left : a.right;
        const std::vector<float>& y = side == 0 ? b.left : b.right;
        for (size_t i = 0; i < x.size(); ++i) {
            if (std::memcmp(&x[i], &y[i], sizeof(float)) == 0) continue;
            double worst = 0.0;
            for (size_t j = i; j < x.size(); ++j)
                worst = std::max(worst, std::fabs(static_cast<double>(x[j]) - y[j]));
            return std::string(side == 0 ? "left" : "right") + " differs from frame " + std::to_string(i) +
                   ", by up to " + std::to_string(worst);
        }
    }
    return "no difference";
}

bool Identical(const Render& a, const Render& b) {
    return a.left.size() == b.left.size() && a.right.size() == b.right.size() &&
           std::memcmp(a.left.data(), b.left.data(), a.left.size() * sizeof(float)) == 0 &&
           std::memcmp(a.right.data(), b.right.data(), a.right.size() * sizeof(float)) == 0;
}

// A test signal for effects: noise bursts, a gliding sine and silences.
std::vector<float> EffectInput() {
    std::vector<float> input(static_cast<size_t>(kLength), 0.0f);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-0.8f, 0.8f);
    for (int32_t i = 0; i < kLength; ++i) {
        const int32_t section = i / 6000;
        if (section % 3 == 0)
            input[static_cast<size_t>(i)] = noise(random);
        else if (section % 3 == 1)
            input[static_cast<size_t>(i)] = 0.5f * std::sin(0.0001f * static_cast<float>(i) * static_cast<float>(i % 977));
    }
    return input;
}

std::vector<MachineCase> Machines() {
    std::vector<MachineCase> cases;
    // QX DGenR8: every sound by note and by drum-row trigger, every parameter (levels, balances,
    // tunings, decays) changing all the time.
    cases.push_back({"DrumKit",
                     [](CVeskHost* host) {
                         auto* kit = new CDrumKit(host);
                         kit->SetNoiseSeed(4321);
                         return static_cast<CMachine*>(kit);
                     },
                     [] {
                         std::vector<TimedEvent> events =
                             Stream(11, 0, 43, kEventNoteOn, kEventNoteOff, Range(0, CDrumKit::kParameterCount), 160, 260);
                         const std::vector<TimedEvent> rows =
                             Stream(12, 0, CDrumKit::kVoiceCount - 1, kEventTriggerOn, kEventTriggerOff, {}, 80, 0);
                         events.insert(events.end(), rows.begin(), rows.end());
                         std::stable_sort(events.begin(), events.end(),
                                          [](const TimedEvent& a, const TimedEvent& b) { return a.at < b.at; });
                         return events;
                     },
                     false,
                     {}});
    // QX BassHead: legato and detached notes; every parameter but the envelope times moves
    // (those stay short enough for the voice to keep sounding), with the LFOs routed to pitch,
    // width, cutoff and resonance, noise and ring modulation on.
    cases.push_back({"BassHead",
                     [](CVeskHost* host) {
                         auto* synth = new CBassHead(host);
                         synth->SetNoiseSeed(777);
                         return static_cast<CMachine*>(synth);
                     },
                     [] {
                         std::vector<int32_t> moving = Range(14, basshead::kParameterCount);
                         for (int32_t envelope : {2, 4, 5, 6, 9, 11, 12, 13})
                             moving.push_back(envelope);
                         return Stream(21, 30, 70, kEventNoteOn, kEventNoteOff, moving, 120, 500);
                     },
                     false,
                     {{basshead::kNoise, 0.7f},
                      {basshead::kRingMod, 0.6f},
                      {basshead::kLfo1Rate + 3, 0.35f}, // LFO 1 sends: cutoff and resonance
                      {basshead::kLfo1Rate + 4, 0.4f},
                      {basshead::kLfo1Rate + 5, 0.8f},
                      {basshead::kLfo1Rate + 6, 0.5f},
                      {basshead::kLfo1Rate + 9 + 1, 0.75f}, // LFO 2 sample-and-hold, fading in
                      {basshead::kLfo1Rate + 9 + 2, 0.3f},
                      {basshead::kLfo1Rate + 9 + 3, 0.3f},
                      {basshead::kLfo1Rate + 9 + 4, 0.5f}}});
    // QX Stomp: notes over its range and every parameter moving.
    cases.push_back({"Stomp", [](CVeskHost* host) { return static_cast<CMachine*>(new CKick(host)); },
                     [] { return Stream(31, 20, 60, kEventNoteOn, kEventNoteOff, Range(0, CKick::kParameterCount), 150, 300); },
                     false,
                     {}});
    // QX SpatialVerb: an input of bursts, glides and silences through a room changed before the
    // first buffer (the new taps fade in then).
    cases.push_back({"SpatialVerb", [](CVeskHost* host) { return static_cast<CMachine*>(new CSpatialVerb(host)); },
                     [] { return std::vector<TimedEvent>{}; },
                     true,
                     {{CSpatialVerb::kRoomWidth, 0.2f},
                      {CSpatialVerb::kDstLeftX, 0.7f},
                      {CSpatialVerb::kFeedback, 0.8f},
                      {CSpatialVerb::kGain, 0.6f}}});
    return cases;
}

void PrintTo(const MachineCase& test, std::ostream* os) {
    *os << test.name;
}

class BufferSplit : public testing::TestWithParam<MachineCase> {};

TEST_P(BufferSplit, EveryBufferSizeRendersTheSameSamples) {
    const MachineCase& test = GetParam();
    const std::vector<TimedEvent> events = test.events();
    const std::vector<float> input = test.audioInput ? EffectInput() : std::vector<float>{};
    const Render reference = RenderInBuffers(test, events, input, UniformSizes(kReferenceSize, kLength));
    ASSERT_EQ(reference.left.size(), static_cast<size_t>(kLength));
    // The stream makes sound all along, not only at its start.
    for (int32_t part = 0; part < 3; ++part) {
        float peak = 0.0f;
        for (int32_t i = part * kLength / 3; i < (part + 1) * kLength / 3; ++i)
            peak = std::max(peak, std::fabs(reference.left[static_cast<size_t>(i)]));
        EXPECT_GT(peak, 0.01f) << "third " << part;
        EXPECT_TRUE(std::isfinite(peak));
    }
    std::vector<std::pair<std::string, std::vector<int32_t>>> partitions;
    for (int32_t size : kUniformSizes)
        if (size != kReferenceSize) partitions.push_back({std::to_string(size), UniformSizes(size, kLength)});
    partitions.push_back({"irregular", IrregularSizes(kLength)});
    for (const auto& [label, sizes] : partitions) {
        SCOPED_TRACE("buffers of " + label);
        const Render render = RenderInBuffers(test, events, input, sizes);
        EXPECT_TRUE(Identical(reference, render)) << Difference(reference, render);
    }
}

INSTANTIATE_TEST_SUITE_P(StockMachines, BufferSplit, testing::ValuesIn(Machines()),
                         [](const testing::TestParamInfo<MachineCase>& param) { return param.param.name; });

// ---------------------------------------------------------------------------------------------
// The blocks: a signal processed whole and in calls of irregular lengths gives the same samples.

// Irregular call lengths over n samples: 1, 2, 3, 5, 7, 13 ... cycling.
std::vector<int32_t> Calls(int32_t n) {
    const int32_t lengths[] = {1, 2, 3, 5, 7, 13, 64, 3, 100, 1, 255, 6};
    std::vector<int32_t> calls;
    for (int32_t done = 0, k = 0; done < n; ++k) {
        const int32_t c = std::min(lengths[k % std::size(lengths)], n - done);
        calls.push_back(c);
        done += c;
    }
    return calls;
}

TEST(BlockSplit, FilterKeepsItsCoefficientsGainAndTailFlushAcrossCalls) {
    // A decaying tail (the flush of tiny state values), a moving cutoff and a moving resonance
    // (whose gain must carry over between update points) in every type, both slopes.
    constexpr int32_t n = 4000;
    std::vector<float> input(n, 0.0f), cutoff(n), resonance(n);
    std::mt19937 random(3);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    for (int32_t i = 0; i < 300; ++i)
        input[static_cast<size_t>(i)] = noise(random);
    for (int32_t i = 0; i < n; ++i) {
        cutoff[static_cast<size_t>(i)] = 3.0f * std::sin(0.003f * static_cast<float>(i));
        resonance[static_cast<size_t>(i)] = 6.0f * std::sin(0.005f * static_cast<float>(i));
    }
    for (int32_t type : {CFilter::kLowPass, CFilter::kHighPass, CFilter::kBandPass, CFilter::kBandReject})
        for (bool cascade : {false, true})
            for (int32_t inputs = 0; inputs < 3; ++inputs) {
                SCOPED_TRACE(testing::Message() << type << cascade << inputs);
                const float* c = inputs >= 1 ? cutoff.data() : nullptr;
                const float* r = inputs == 2 ? resonance.data() : nullptr;
                CFilter whole(kRate, type, cascade, 7.0f, 6.0f), pieces(kRate, type, cascade, 7.0f, 6.0f);
                std::vector<float> a = input, b = input;
                whole.Process(n, a.data(), c, r);
                int32_t at = 0;
                for (int32_t call : Calls(n)) {
                    pieces.Process(call, b.data() + at, c ? c + at : nullptr, r ? r + at : nullptr);
                    at += call;
                }
                ASSERT_EQ(0, std::memcmp(a.data(), b.data(), sizeof(float) * n));
                // A fixed low- or high-pass tail does reach the flushed range: it ends exactly silent.
                if (inputs == 0 && (type == CFilter::kLowPass || type == CFilter::kHighPass)) {
                    EXPECT_EQ(a.back(), 0.0f);
                }
            }
}

TEST(BlockSplit, OscillatorPitchInputFixedPulseAndAdvanceAcrossCalls) {
    constexpr int32_t n = 5000;
    const CSharedTables& tables = SharedTables();
    std::vector<float> pitch(n), width(n);
    for (int32_t i = 0; i < n; ++i) {
        pitch[static_cast<size_t>(i)] = 0.5f * std::sin(0.002f * static_cast<float>(i));
        width[static_cast<size_t>(i)] = 0.8f * std::sin(0.0007f * static_cast<float>(i));
    }
    // The band-limited render with a pitch input (read every fourth sample, counted across calls)
    // and without inputs (the fixed pulse's closed-form phase), for each waveform.
    for (int32_t waveform : {COscillator::kSaw, COscillator::kSquare, COscillator::kTriSquare, COscillator::kImpulse})
        for (bool inputs : {true, false}) {
            SCOPED_TRACE(testing::Message() << waveform << inputs);
            COscillator whole(kRate, &tables.sine, 3000.0f / 7.0f, tables.edge.get(), tables.impulse.get());
            COscillator pieces(kRate, &tables.sine, 3000.0f / 7.0f, tables.edge.get(), tables.impulse.get());
            whole.SetWaveform(waveform);
            pieces.SetWaveform(waveform);
            std::vector<float> a(n), b(n);
            whole.Render(inputs ? width.data() : nullptr, nullptr, inputs ? pitch.data() : nullptr, a.data(), nullptr, n);
            int32_t at = 0;
            for (int32_t call : Calls(n)) {
                pieces.Render(inputs ? width.data() + at : nullptr, nullptr, inputs ? pitch.data() + at : nullptr,
                              b.data() + at, nullptr, call);
                at += call;
            }
            ASSERT_EQ(0, std::memcmp(a.data(), b.data(), sizeof(float) * n));
        }
    // An LFO nobody listens to keeps its place in time, however the skipped stretch is cut; and
    // it is about where a heard one would be.
    COscillator heard(kRate, &tables.sine, 3.7f), whole(kRate, &tables.sine, 3.7f), skipped(kRate, &tables.sine, 3.7f);
    std::vector<float> scratch(n);
    heard.RenderWave(scratch.data(), n);
    whole.Advance(n);
    for (int32_t call : Calls(n))
        skipped.Advance(call);
    EXPECT_EQ(whole.Phase(), skipped.Phase());
    EXPECT_NEAR(heard.Phase(), skipped.Phase(), 1e-3f);
}

} // namespace
