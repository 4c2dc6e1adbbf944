// CVSTTransport: the song's transport as VST plug-ins are told it (audioMasterGetTime).
//
// The studio's driver thread publishes it once per buffer, before the machines render that
// buffer; plug-ins read it on whichever thread asks, normally a machine's worker while it renders
// the same buffer (the cycle's requests order the two). Every field is an atomic of its own, so a
// plug-in asking off the cycle (while it opens, from the idle thread) reads whole values.
#pragma once

#include <atomic>
#include <cstdint>

// The studio's tempo figure as a plug-in counts tempo: quarter notes a minute. A step lasts
// 4/BPM seconds and a beat (a quarter note) is four steps, so a beat lasts 16/BPM seconds.
inline double QuarterNotesPerMinute(double bpm) {
    return bpm * 60.0 / 16.0;
}

class CVSTTransport {
public:
    struct State {
        bool playing = false;
        bool changed = false;   // play started or stopped, or the position jumped, at this buffer
        int64_t songSample = 0; // where this buffer starts, in samples from the song's start
    };

    // Driver thread, once per buffer. songSample: the song position at the buffer's start while
    // playing, the last position otherwise; frames: the buffer's length.
    void Publish(bool playing, int64_t songSample, int32_t frames) {
        const bool changed = playing != m_wasPlaying || (playing && songSample != m_expected);
        m_wasPlaying = playing;
        m_expected = songSample + frames;
        m_songSample.store(songSample, std::memory_order_relaxed);
        m_changed.store(changed, std::memory_order_relaxed);
        m_playing.store(playing, std::memory_order_release);
    }

    // Any thread.
    State Read() const {
        State state;
        state.playing = m_playing.load(std::memory_order_acquire);
        state.changed = m_changed.load(std::memory_order_relaxed);
        state.songSample = m_songSample.load(std::memory_order_relaxed);
        return state;
    }

private:
    std::atomic<bool> m_playing{false};
    std::atomic<bool> m_changed{false};
    std::atomic<int64_t> m_songSample{0};
    // Driver thread only.
    bool m_wasPlaying = false;
    int64_t m_expected = 0;
};
