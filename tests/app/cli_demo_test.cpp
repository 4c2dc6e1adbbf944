// The demo song, rendered in full twice (on one thread, then with a worker per machine): the same
// bytes each time, a valid WAV of the song plus its two-second tail, loud enough, never clipping,
// never silent for long; its stems and its description.
#include "tests/app/cli_helpers.h"

#include <gtest/gtest.h>

namespace {
namespace fs = std::filesystem;
const fs::path kDemo = fs::path(TAMBOREL_SOURCE_DIR) / "examples" / "demo.tbp";
} // namespace

TEST(DemoSong, RendersTheSameMusicEveryTime) {
    const fs::path folder = fs::path(TAMBOREL_TEST_BINARY_DIR) / "demo-render";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::string base = "render '" + kDemo.string() + "' --seed 1 -o '";
    const Result first = RunTamborel(
        base + (folder / "demo1.wav").string() + "' --stems '" + (folder / "stems").string() + "'", true);
    ASSERT_EQ(first.status, 0) << first.out;
    // The second render uses a worker per machine: the same samples as one thread.
    const Result second = RunTamborel(base + (folder / "demo2.wav").string() + "' --parallel", true);
    ASSERT_EQ(second.status, 0) << second.out;
    const std::vector<uint8_t> bytes = ReadBytes(folder / "demo1.wav");
    EXPECT_EQ(bytes, ReadBytes(folder / "demo2.wav"));

    const Result info = RunTamborel("info '" + kDemo.string() + "' --json");
    ASSERT_EQ(info.status, 0);
    const auto description = nlohmann::json::parse(info.out);
    const double songSeconds = description["song"]["seconds"].get<double>();
    std::vector<std::string> types;
    for (const auto& machine : description["machines"])
        types.push_back(machine["type"]);
    for (const char* type : {"Master", "QX BassHead", "QX DGenR8", "QX Stomp", "QX QuadDelay", "QX Mixer",
                             "QX SpatialVerb", "QX AntiAlias", "QX HD Recorder Track (Stereo)"})
        EXPECT_NE(std::find(types.begin(), types.end(), type), types.end()) << type;
    EXPECT_GE(description["song"]["lengthBeats"].get<int>(), 32 * 4);

    // The song to the sample (as the sequencer counts it at 44.1 kHz), then two seconds.
    const float step = 44100.0f * 4.0f / description["tempo"].get<float>();
    const auto songFrames =
        static_cast<int64_t>(static_cast<float>(description["song"]["lengthBeats"].get<int>() * 4) * step);
    const WavInfo wav = ParseWav(bytes, songFrames);
    ASSERT_TRUE(wav.valid);
    EXPECT_EQ(wav.channels, 2);
    EXPECT_EQ(wav.frames, songFrames + 88200);
    EXPECT_NEAR(static_cast<double>(songFrames) / 44100.0, songSeconds, 1e-3);
    EXPECT_LT(wav.peak, 0.98f); // headroom, never clipping
    EXPECT_GT(wav.peak, 0.3f);
    EXPECT_GT(wav.rms, 0.05); // about -26 dBFS or more
    EXPECT_LT(wav.rms, 0.35);
    EXPECT_LT(wav.longestQuiet, 44100); // never a second of silence while the song plays
    ExpectSoxAgrees(folder / "demo1.wav", wav.frames, 2);

    const WavInfo stem = ParseWav(ReadBytes(folder / "stems" / "Drums.wav"));
    ASSERT_TRUE(stem.valid);
    EXPECT_EQ(stem.channels, 2);
    EXPECT_GE(stem.frames, wav.frames);
    EXPECT_GT(stem.peak, 0.05f);
    fs::remove_all(folder);
}
