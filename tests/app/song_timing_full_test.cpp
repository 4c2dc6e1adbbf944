// The whole demo song at three buffer sizes: every machine receives the very same events at the
// very same samples from the first step to the last, every onset lies on its step, and the
// master plays the very same samples. Long under the sanitizers.
#include "tests/app/song_event_tap.h"

#include <gtest/gtest.h>

namespace {

TEST(DemoSongEventsFullLength, AreTheSameAtEveryBufferSizeAndOnTheSteps) {
    const TappedSong reference = TapDemoSong(4410, -1);
    ExpectOnsetsOnTheSongsSteps(reference, 44100);
    for (const int32_t bufferSize : {64, 256, 1000, 8192}) {
        const TappedSong song = TapDemoSong(bufferSize, -1);
        ASSERT_EQ(song.events.size(), reference.events.size()) << bufferSize;
        EXPECT_TRUE(song.events == reference.events) << bufferSize;
        ExpectTheSameSamples(song, reference, bufferSize);
    }
    // The last onset is the song's last step.
    int64_t last = 0;
    for (const TappedEvent& event : reference.events)
        if (event.kind == kEventNoteOn && event.time < reference.songSamples) last = std::max(last, event.time);
    EXPECT_GT(last, reference.songSamples * 9 / 10);
}

} // namespace
