// CAudioOutputDriver: one way of hearing the studio. A driver owns the connection to the sound
// device, decides the sample rate and buffer size, and calls the engine's render callback from its
// own thread whenever the device needs the next buffer.
//
// Threads: SetCallback, Start, Stop and the getters run on the user-interface thread; the callback
// runs on the driver's thread, one buffer at a time, never re-entered, and never after Stop
// returned.
#pragma once

#include <cstdint>
#include <string>

// (channel count, channel arrays, frames): one float array per output channel, not interleaved,
// owned by the driver; the engine fills them with samples nominally in -1..1.
using RenderCallback = void (*)(int32_t channelCount, float** channels, int32_t frames);

// Zero-fills every channel: what a driver plays before the engine is connected.
void SilenceCallback(int32_t channelCount, float** channels, int32_t frames);

class CAudioOutputDriver {
public:
    virtual ~CAudioOutputDriver() = default;

    virtual void SetCallback(RenderCallback callback) = 0;
    // Output channels the callback is asked for.
    virtual int32_t GetChannels() = 0;
    // Frames per buffer.
    virtual int32_t GetBufferSize() = 0;
    // Frames per second.
    virtual int32_t GetSampleRate() = 0;
    // "Wave Out", "ASIO" (or "Offline" for the command line's renderer).
    virtual const char* GetName() = 0;
    // Opens the device and begins calling the callback. Raises the driver's error texts.
    virtual void Start() = 0;
    // Stops calling the callback and releases the device. Safe when not running.
    virtual void Stop() = 0;
    // At least one device.
    virtual bool IsAvailable() = 0;
    // The device the driver plays on, for messages ("" when there is none).
    virtual std::string GetDeviceName() = 0;
};
