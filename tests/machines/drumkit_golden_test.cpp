// QX DGenR8's voices against recorded renders: the DSP blocks may get faster, the sound may not
// change. Each voice is triggered alone on a kit with a pinned noise seed and every 97th sample of
// its first 1.5 s is compared with the recording in drumkit_golden_data.h.
//
// To record again after an intended change of sound, run the test with
// TB_DRUMKIT_GOLDEN_OUT=<path of drumkit_golden_data.h> and commit the new file.
#include "machines/drumkit/drumkit.h"
#include "tests/machines/drumkit_golden_data.h"
#include "tests/support/machine_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace harness;

namespace {

constexpr int32_t kGoldenStride = 97;
constexpr int32_t kGoldenBuffers = 259; // 1.5 s of 256-frame buffers at 44.1 kHz

// Left channel of one voice triggered alone, every kGoldenStride-th sample.
std::vector<float> RenderVoice(int32_t voice) {
    TestHost host;
    CDrumKit* kit = new CDrumKit(&host.host);
    kit->SetNoiseSeed(1234);
    Send(*kit, 0, Event(kEventTriggerOn, 3, voice));
    Stereo out;
    for (int32_t b = 0; b < kGoldenBuffers; ++b) {
        kit->Process();
        out.Append(*kit->m_ports[1]->m_audioBuffer, kBlock);
    }
    kit->Delete();
    std::vector<float> picked;
    for (size_t i = 0; i < out.left.size(); i += kGoldenStride)
        picked.push_back(out.left[i]);
    return picked;
}

void WriteGolden(const char* path) {
    FILE* file = std::fopen(path, "w");
    ASSERT_NE(file, nullptr);
    std::fprintf(file,
                 "// Recorded renders of QX DGenR8's voices (see drumkit_golden_test.cpp). Generated.\n");
    std::fprintf(file, "#pragma once\n\n// clang-format off\n");
    std::fprintf(file, "constexpr int kDrumKitGoldenVoices = %d;\n", CDrumKit::kVoiceCount);
    const size_t points = RenderVoice(0).size();
    std::fprintf(file, "constexpr int kDrumKitGoldenPoints = %zu;\n", points);
    std::fprintf(file, "constexpr float kDrumKitGolden[kDrumKitGoldenVoices][kDrumKitGoldenPoints] = {\n");
    for (int32_t v = 0; v < CDrumKit::kVoiceCount; ++v) {
        const std::vector<float> picked = RenderVoice(v);
        std::fprintf(file, "{");
        for (size_t i = 0; i < picked.size(); ++i)
            std::fprintf(file, "%.9g%s", static_cast<double>(picked[i]), i + 1 < picked.size() ? "," : "");
        std::fprintf(file, "},\n");
    }
    std::fprintf(file, "};\n// clang-format on\n");
    std::fclose(file);
}

} // namespace

TEST(DrumKitGolden, EveryVoiceSoundsAsRecorded) {
    if (const char* path = std::getenv("TB_DRUMKIT_GOLDEN_OUT")) WriteGolden(path);
    for (int32_t v = 0; v < kDrumKitGoldenVoices; ++v) {
        SCOPED_TRACE(v);
        const std::vector<float> picked = RenderVoice(v);
        ASSERT_EQ(picked.size(), static_cast<size_t>(kDrumKitGoldenPoints));
        float peak = 0.0f, worst = 0.0f;
        for (int32_t i = 0; i < kDrumKitGoldenPoints; ++i) {
            peak = std::max(peak, std::fabs(kDrumKitGolden[v][i]));
            worst = std::max(worst, std::fabs(picked[static_cast<size_t>(i)] - kDrumKitGolden[v][i]));
        }
        EXPECT_GT(peak, 0.01f);         // the voice sounds at all
        EXPECT_LE(worst, 1e-4f * peak); // and as it did when recorded
    }
}
