// Silence in, silence out: every machine of the library, at every sample rate, left without notes
// and fed zeros, renders exactly zero on every output (no noise floor, no DC, no denormal dust),
// with its parameters at their defaults and at random settings. The one allowance: the Mixer's
// band-split chains add a 2^-32 offset against denormals, which its EQ and gain turn into a
// constant of up to about 2^-30 (-180 dB) on its outputs; it must stay below 2^-24, the least
// step of a 24-bit sample.
#include "machine_interface/machine.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"
#include "machines/stock_machines.h"
#include "platform/random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <tuple>

namespace {

constexpr int kStockMachineCount = 7;
constexpr int32_t kBlock = 256;

class SilenceTest : public ::testing::TestWithParam<std::tuple<int, int32_t, bool>> {};

std::string Text(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
    return text;
}

// Frames of one second, zero in, every output must be exactly zero; returns the first offence.
std::string RenderSilence(CMachine& machine, int32_t rate, float allowance) {
    machine.SetSampleRate(rate);
    machine.ResizePortBuffers(kBlock);
    machine.SetBufferSize(kBlock);
    bool late = false;
    for (int32_t p = 0; p < machine.m_portCount; ++p)
        late = late || (machine.m_ports[p]->IsInput() && machine.m_ports[p]->IsSendReturn());
    for (int32_t done = 0; done < rate; done += kBlock) {
        // As the processing cycle does: inputs cleared (nothing cabled), outputs left as they are.
        for (int32_t p = 0; p < machine.m_portCount; ++p) {
            CPort* port = machine.m_ports[p];
            if (port->IsInput() && port->IsAudio()) port->m_audioBuffer->Clear();
            if (port->IsInput() && port->IsControl()) port->m_controlBuffer->Clear();
        }
        machine.Process();
        if (late) machine.ProcessLate();
        for (int32_t p = 0; p < machine.m_portCount; ++p) {
            const CPort* port = machine.m_ports[p];
            if (!port->IsOutput() || !port->IsAudio()) continue;
            const CAudioBuffer* buffer = port->m_audioBuffer;
            for (const float* channel : {buffer->m_channel1, buffer->m_channel2}) {
                if (!channel) continue;
                for (int32_t i = 0; i < buffer->m_length; ++i)
                    if (!(std::fabs(channel[i]) <= allowance))
                        return std::string(port->m_name) + " frame " + std::to_string(done + i) + " holds " +
                               Text(channel[i]);
            }
        }
    }
    return "";
}

TEST_P(SilenceTest, SilenceInSilenceOut) {
    const auto [index, rate, randomized] = GetParam();
    MachineRegistry registry;
    CVeskHost host(rate, kBlock, 0x16, &registry);
    RegisterStockMachines(&host);
    ASSERT_EQ(registry.Count(), kStockMachineCount);
    CMachineInfo* info = registry.At(index).info;
    CMachine* machine = info->CreateMachine();
    if (randomized) {
        const uint32_t seed = 1000u + static_cast<uint32_t>(index * 7 + rate / 1000);
        std::printf("seed %u\n", seed);
        platform::SeedRandom(seed);
        for (int32_t i = 0; i < machine->m_parameterCount; ++i)
            machine->SetParameter(i, static_cast<float>(platform::Random15()) / 32767.0f);
    }
    const float allowance = std::string(info->m_displayName) == "QX Mixer" ? std::ldexp(1.0f, -24) : 0.0f;
    EXPECT_EQ(RenderSilence(*machine, rate, allowance), "") << info->m_displayName;
    machine->Delete();
}

INSTANTIATE_TEST_SUITE_P(EveryStockMachine, SilenceTest,
                         ::testing::Combine(::testing::Range(0, kStockMachineCount),
                                            ::testing::Values(44100, 48000, 96000), ::testing::Bool()),
                         [](const auto& test) {
                             return "machine" + std::to_string(std::get<0>(test.param)) + "_" +
                                    std::to_string(std::get<1>(test.param)) +
                                    (std::get<2>(test.param) ? "_random" : "_default");
                         });

} // namespace
