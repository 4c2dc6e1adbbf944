// The demo song at every buffer size, through the application's own offline renderer: every
// machine receives the very same events at the very same samples, every onset lies on its step,
// and the master plays the very same samples. A few seconds here; the whole song in the slow suite.
#include "tests/app/song_event_tap.h"

#include <gtest/gtest.h>

#include <map>

namespace {

constexpr int64_t kFrames = 3 * 44100;
// One frame per buffer costs the whole processing cycle per frame: a shorter stretch.
constexpr int64_t kSingleFrames = 26460;

class DemoSongEvents : public ::testing::TestWithParam<int32_t> {};

TEST_P(DemoSongEvents, AndItsSamplesAreTheSameAtEveryBufferSizeAndOnTheSteps) {
    static const TappedSong full = TapDemoSong(4096, kFrames);
    const int64_t frames = GetParam() == 1 ? kSingleFrames : kFrames;
    TappedSong reference = full;
    std::erase_if(reference.events, [frames](const TappedEvent& event) { return event.time >= frames; });
    ASSERT_GE(reference.events.size(), 8u);
    const TappedSong song = TapDemoSong(GetParam(), frames);
    EXPECT_EQ(song.songSamples, reference.songSamples);
    ASSERT_EQ(song.events.size(), reference.events.size());
    for (size_t i = 0; i < song.events.size(); ++i) {
        const TappedEvent& a = song.events[i];
        const TappedEvent& b = reference.events[i];
        ASSERT_TRUE(a == b) << "event " << i << ": " << a.time << " " << a.frame << " " << a.port << " " << a.kind << " "
                            << a.index << " " << a.valueBits << " vs " << b.time << " " << b.frame << " " << b.port << " "
                            << b.kind << " " << b.index << " " << b.valueBits;
    }
    ExpectOnsetsOnTheSongsSteps(song, 44100);
    ExpectTheSameSamples(song, full, GetParam());
}

INSTANTIATE_TEST_SUITE_P(BufferSizes, DemoSongEvents, ::testing::Values(1, 64, 256, 1000, 4410, 8192));

} // namespace
