// COfflineDriver: renders the studio as fast as possible into the caller's buffers, for bouncing
// to a file from the command line. It never touches a sound device and is not in the driver list.
//
// The engine is asked for whole buffers of the driver's size; Render hands out as many frames as
// the caller wants and keeps the rest of the last buffer for the next call. Between buffers, once
// per 10 ms of rendered audio, it runs the update pass (what the graphics thread does live).
// Threads: everything on the caller's thread.
#pragma once

#include "audio_out/audio_output_driver.h"

#include <functional>
#include <vector>

class COfflineDriver : public CAudioOutputDriver {
public:
    COfflineDriver(int32_t sampleRate, int32_t bufferSize, int32_t channels);

    void SetCallback(RenderCallback callback) override { m_callback = callback ? callback : SilenceCallback; }
    int32_t GetChannels() override { return m_channelCount; }
    int32_t GetBufferSize() override { return m_bufferSize; }
    int32_t GetSampleRate() override { return m_sampleRate; }
    const char* GetName() override { return "Offline"; }
    void Start() override { m_running = true; }
    void Stop() override { m_running = false; }
    bool IsAvailable() override { return true; }
    std::string GetDeviceName() override { return "offline"; }

    // The update pass to run every 10 ms of audio (for instance CStudio::UpdatePass).
    void SetUpdatePass(std::function<void()> pass) { m_updatePass = std::move(pass); }

    // Renders frames frames into channelCount caller-owned arrays. Channels beyond the driver's
    // count are zero-filled; missing ones are dropped.
    void Render(float** channels, int32_t channelCount, int32_t frames);
    // Frames handed out so far.
    int64_t FramesRendered() const { return m_framesRendered; }

private:
    void RenderBuffer();

    int32_t m_sampleRate;
    int32_t m_bufferSize;
    int32_t m_channelCount;
    RenderCallback m_callback = SilenceCallback;
    std::function<void()> m_updatePass;
    std::vector<std::vector<float>> m_buffers;
    std::vector<float*> m_pointers;
    int32_t m_readPosition; // frames of the current buffer already handed out
    int64_t m_framesRendered = 0;
    int64_t m_framesSinceUpdate = 0;
    bool m_running = false;
};
