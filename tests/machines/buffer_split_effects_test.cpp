// The Mixer, the QuadDelay and the AntiAlias render the same samples, bit for bit, however the
// stream is cut into buffers: the same inputs and the same parameter, mute and solo changes at
// the same absolute sample times give memcmp-identical outputs at buffer sizes 1 .. 8192 and on
// an irregular run of sizes. Every change is applied between two blocks, so a block is cut where
// a change falls, as the studio does for a machine that takes its changes between buffers.
#include "machines/antialias/antialias_filter.h"
#include "machines/mixer/mixer.h"
#include "machines/quaddelay/echo.h"
#include "tests/support/machine_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <ostream>
#include <random>
#include <string>

using namespace harness;

namespace {

constexpr int32_t kLargest = 8192;

// One change at an absolute sample time.
struct Change {
    int64_t time;
    std::function<void(CMachine&)> apply;
};

// A signal of n samples: seeded noise and tones in bursts, with stretches of exact +0 (long
// enough for strips and echo lines to come to rest) and a few −0 samples.
std::vector<float> Burst(size_t n, unsigned seed, double silentShare) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-0.6f, 0.6f);
    std::uniform_int_distribution<int> length(200, 30000);
    std::vector<float> x(n, 0.0f);
    const double frequency = 60.0 + 40.0 * (seed % 17);
    size_t i = 0;
    bool sounding = seed % 2 == 0;
    while (i < n) {
        const size_t run = std::min(n - i, static_cast<size_t>(length(random)));
        if (sounding) {
            const bool tone = random() % 2 == 0;
            for (size_t k = i; k < i + run; ++k)
                x[k] = tone ? static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * frequency * k / kRate))
                            : uniform(random);
        } else if (random() % 3 == 0) {
            x[i] = -0.0f;
        }
        i += run;
        sounding = std::uniform_real_distribution<double>(0, 1)(random) > silentShare;
    }
    return x;
}

// How a render cuts the stream: a fixed size, or the sizes of the list one after the other,
// round and round. Blocks are also cut at every change.
struct Partition {
    std::string name;
    std::vector<int32_t> sizes;
};

std::vector<Partition> Partitions() {
    std::vector<Partition> list;
    for (int32_t size : {1, 64, 256, 1000, 4410, 8192})
        list.push_back({std::to_string(size), {size}});
    list.push_back({"irregular", {1, 3, 17, 250, 64, 1023, 7, 4096, 2, 129, 8192, 31, 600, 5}});
    return list;
}

// Renders total samples: before each block the changes due at its start, then step(position,
// count) processes the block and appends its outputs.
void Drive(CMachine& machine, const Partition& partition, std::vector<Change> changes, int64_t total,
           const std::function<void(int64_t, int32_t)>& step) {
    std::stable_sort(changes.begin(), changes.end(),
                     [](const Change& a, const Change& b) { return a.time < b.time; });
    size_t next = 0;
    size_t sizeIndex = 0;
    int64_t position = 0;
    while (position < total) {
        while (next < changes.size() && changes[next].time <= position)
            changes[next++].apply(machine);
        int64_t end = position + partition.sizes[sizeIndex++ % partition.sizes.size()];
        if (next < changes.size()) end = std::min(end, changes[next].time);
        end = std::min(end, total);
        const auto count = static_cast<int32_t>(end - position);
        machine.SetBufferSize(count);
        step(position, count);
        position = end;
    }
}

// The machine's outputs of one render, channel after channel.
using Outputs = std::vector<std::vector<float>>;

void ExpectSameBits(const Outputs& reference, const Outputs& outputs, const std::string& label) {
    ASSERT_EQ(reference.size(), outputs.size());
    for (size_t o = 0; o < outputs.size(); ++o) {
        ASSERT_EQ(reference[o].size(), outputs[o].size()) << label << " output " << o;
        if (std::memcmp(reference[o].data(), outputs[o].data(), sizeof(float) * outputs[o].size()) == 0)
            continue;
        size_t first = 0;
        while (std::memcmp(&reference[o][first], &outputs[o][first], sizeof(float)) == 0)
            ++first;
        ADD_FAILURE() << label << ": output " << o << " first differs at sample " << first << " ("
                      << reference[o][first] << " against " << outputs[o][first] << ")";
    }
}

// A render must also make sound: a test of identical silences would prove nothing.
void ExpectSound(const Outputs& outputs) {
    for (size_t o = 0; o < outputs.size(); ++o) {
        double energy = 0;
        for (float v : outputs[o])
            energy += static_cast<double>(v) * v;
        EXPECT_GT(energy, 0.01) << "output " << o;
    }
}

void Append(std::vector<float>& to, const float* from, int32_t count) {
    to.insert(to.end(), from, from + count);
}

// ---------------------------------------------------------------------------------------------

constexpr int32_t kTracks = 8;
constexpr int64_t kMixerLength = 3 * kRate / 2;

Outputs RenderMixer(const Partition& partition) {
    TestHost host;
    CMixer* mixer = new CMixer(&host.host, kTracks, 2);
    mixer->ResizePortBuffers(kLargest);
    std::vector<float> track[kTracks][2];
    for (int32_t t = 0; t < kTracks; ++t)
        for (int c = 0; c < 2; ++c)
            // Track 7 stays silent throughout; the others sound in bursts.
            track[t][c] = t == 7 ? std::vector<float>(kMixerLength, 0.0f)
                                 : Burst(kMixerLength, 11u + 2u * t + c, t < 3 ? 0.3 : 0.7);
    const std::vector<float> returned = Burst(kMixerLength, 99u, 0.5);

    std::vector<Change> changes;
    std::mt19937 random(5);
    std::uniform_int_distribution<int64_t> when(0, kMixerLength - 1);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    const int32_t parameters = mixer->m_parameterCount;
    for (int k = 0; k < 120; ++k) {
        const int32_t index = static_cast<int32_t>(random() % static_cast<unsigned>(parameters));
        const bool level = index < 7 * kTracks ? index % 7 == 0 : (index - 7 * kTracks) % 5 == 0;
        // Levels stay within 24 dB of unity so the desk is heard.
        const float v = level ? 0.4f + 0.6f * value(random) : value(random);
        changes.push_back({when(random), [index, v](CMachine& m) { m.SetParameter(index, v); }});
    }
    // Changes that glide into silence and land on the same value twice in a row.
    for (int64_t t : {int64_t{1}, int64_t{4410}, int64_t{4411}, int64_t{60000}})
        changes.push_back({t, [](CMachine& m) { m.SetParameter(7 * 7, 0.9f); }});
    for (int k = 0; k < 12; ++k) {
        const int32_t strip = static_cast<int32_t>(random() % 10u);
        const bool on = random() % 2 == 0;
        changes.push_back({when(random), [strip, on](CMachine& m) { static_cast<CMixer&>(m).SetMute(strip, on); }});
        // Solo for a moment, then released (by the same strip or, once in a while, by another).
        const int32_t solo = static_cast<int32_t>(random() % 10u);
        const int32_t release = random() % 4 == 0 ? static_cast<int32_t>(random() % 10u) : solo;
        const int64_t from = when(random);
        changes.push_back({from, [solo](CMachine& m) { static_cast<CMixer&>(m).SetSolo(solo, true); }});
        changes.push_back(
            {from + 3000, [release](CMachine& m) { static_cast<CMixer&>(m).SetSolo(release, false); }});
    }

    Outputs outputs(6);
    Drive(*mixer, partition, changes, kMixerLength, [&](int64_t position, int32_t count) {
        for (int32_t t = 0; t < kTracks; ++t) {
            CAudioBuffer* in = mixer->m_ports[1 + t]->m_audioBuffer;
            Fill(in->m_channel1, track[t][0], static_cast<size_t>(position), count);
            Fill(in->m_channel2, track[t][1], static_cast<size_t>(position), count);
        }
        mixer->Process();
        // The effects on the sends: AUX 1 comes back halved with a signal of its own, AUX 2 as it went.
        for (int32_t a = 0; a < 2; ++a) {
            const CAudioBuffer* send = mixer->m_ports[1 + kTracks + 2 * a]->m_audioBuffer;
            CAudioBuffer* ret = mixer->m_ports[2 + kTracks + 2 * a]->m_audioBuffer;
            for (int32_t i = 0; i < count; ++i) {
                const float extra = a == 0 ? returned[static_cast<size_t>(position + i)] : 0.0f;
                ret->m_channel1[i] += (a == 0 ? 0.5f : 1.0f) * send->m_channel1[i] + extra;
                ret->m_channel2[i] += (a == 0 ? 0.5f : 1.0f) * send->m_channel2[i];
            }
            Append(outputs[2 + 2 * a], send->m_channel1, count);
            Append(outputs[3 + 2 * a], send->m_channel2, count);
        }
        mixer->ProcessLate();
        const CAudioBuffer* out = mixer->m_ports[0]->m_audioBuffer;
        Append(outputs[0], out->m_channel1, count);
        Append(outputs[1], out->m_channel2, count);
    });
    mixer->Delete();
    return outputs;
}

constexpr int64_t kEchoLength = 5 * kRate;

// A two-channel effect (Line In, Line Out) with the given input and changes.
template <typename Machine>
Outputs RenderEffect(const Partition& partition, int64_t length, const std::vector<float> (&input)[2],
                     const std::vector<Change>& changes) {
    TestHost host;
    auto* machine = new Machine(&host.host);
    machine->ResizePortBuffers(kLargest);
    Outputs outputs(2);
    Drive(*machine, partition, changes, length, [&](int64_t position, int32_t count) {
        CAudioBuffer* in = machine->m_ports[0]->m_audioBuffer;
        Fill(in->m_channel1, input[0], static_cast<size_t>(position), count);
        Fill(in->m_channel2, input[1], static_cast<size_t>(position), count);
        machine->Process();
        const CAudioBuffer* out = machine->m_ports[1]->m_audioBuffer;
        Append(outputs[0], out->m_channel1, count);
        Append(outputs[1], out->m_channel2, count);
    });
    machine->Delete();
    return outputs;
}

Outputs RenderEcho(const Partition& partition) {
    // Sound for the first second and a half, then long silence (lines without feedback come to
    // rest), then sound again.
    std::vector<float> input[2];
    for (int c = 0; c < 2; ++c) {
        input[c] = Burst(kEchoLength, 40u + c, 0.2);
        std::fill(input[c].begin() + 66150, input[c].begin() + 176400, 0.0f);
        // The sound that comes back is a tone, so every line has something to echo.
        for (size_t i = 176400; i < 200000; ++i)
            input[c][i] = static_cast<float>(0.4 * std::sin(2.0 * std::numbers::pi * 330.0 * i / kRate));
    }
    std::vector<Change> changes;
    auto set = [&](int64_t time, int32_t index, float v) {
        changes.push_back({time, [index, v](CMachine& m) { m.SetParameter(index, v); }});
    };
    for (int32_t line = 0; line < 4; ++line) {
        set(0, 8 * line + 6, 0.8f);              // every line heard
        set(0, 8 * line + 7, 0.1f * line);       // dry on some
        set(0, 8 * line + 1, line < 2 ? 0.0f : 0.6f); // lines 1 and 2 without feedback
    }
    std::mt19937 random(8);
    // Random changes while there is sound: before 60000 and after 176400.
    std::uniform_int_distribution<int64_t> when(0, 60000 + (kEchoLength - 176400) - 1);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    for (int k = 0; k < 60; ++k) {
        // Delay times (gliding), filter, bandwidth and levels; feedback stays below one.
        const int32_t line = static_cast<int32_t>(random() % 4u);
        const int32_t role = std::array<int32_t, 5>{0, 2, 3, 6, 7}[random() % 5u];
        const int64_t t = when(random);
        set(t < 60000 ? t : t - 60000 + 176400, 8 * line + role, value(random));
    }
    // Lines 1 and 2 die away quickly in the silence and come to rest; their delay times then move
    // and are still gliding when the sound comes back, so the glide must run while they rest. With
    // the sound, their feedback comes up and the read position is heard.
    for (int32_t line = 0; line < 2; ++line) {
        set(60000, 8 * line + 3, 0.5f);
        set(60000, 8 * line + 6, 0.9f);
    }
    set(150000, 0, 0.9f);
    set(150001, 8, 0.02f);
    set(176400, 1, 0.5f);
    set(176400, 9, 0.5f);
    return RenderEffect<CEcho>(partition, kEchoLength, input, changes);
}

constexpr int64_t kAntiAliasLength = 2 * kRate;

Outputs RenderAntiAlias(const Partition& partition) {
    std::vector<float> input[2] = {Burst(kAntiAliasLength, 70u, 0.4), Burst(kAntiAliasLength, 72u, 0.4)};
    std::vector<Change> changes;
    std::mt19937 random(3);
    std::uniform_int_distribution<int64_t> when(0, kAntiAliasLength - 1);
    for (int k = 0; k < 40; ++k) {
        const float v = static_cast<float>(random() % 5u) * 0.25f;
        changes.push_back({when(random), [v](CMachine& m) { m.SetParameter(0, v); }});
    }
    return RenderEffect<CAntiAliasFilter>(partition, kAntiAliasLength, input, changes);
}

// ---------------------------------------------------------------------------------------------

struct Subject {
    std::string name;
    Outputs (*render)(const Partition&);
};

void PrintTo(const Subject& subject, std::ostream* out) {
    *out << subject.name;
}

class BufferSplit : public testing::TestWithParam<Subject> {};

TEST_P(BufferSplit, EveryPartitionGivesTheSameSamples) {
    const Subject& subject = GetParam();
    // The reference cuts only at the changes and at the largest buffer size.
    const Outputs reference = subject.render({"8192", {kLargest}});
    ExpectSound(reference);
    for (const Partition& partition : Partitions()) {
        if (partition.name == "8192") continue;
        ExpectSameBits(reference, subject.render(partition), subject.name + " at " + partition.name);
    }
}

INSTANTIATE_TEST_SUITE_P(StockMachines, BufferSplit,
                         testing::Values(Subject{"Mixer", RenderMixer}, Subject{"QuadDelay", RenderEcho},
                                         Subject{"AntiAlias", RenderAntiAlias}),
                         [](const testing::TestParamInfo<Subject>& subject) { return subject.param.name; });

} // namespace
