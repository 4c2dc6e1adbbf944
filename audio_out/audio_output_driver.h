// CAudioOutputDriver: one way of hearing the studio. A driver owns the connection to the sound
// device, decides the sample rate and buffer size, and calls the engine's render callback from its
// own thread whenever the device needs the next buffer.
//
// Threads: SetCallback, Start, Stop and the getters run on the user-interface thread; the callback
// runs on the driver's thread, one buffer at a time, never re-entered, and never after Stop
// returned.
#pragma once

#include "platform/resettable_count.h"

#include <cstdint>
#include <string>

// (channel count, channel arrays, frames): one float array per output channel, not interleaved,
// owned by the driver; the engine fills them with samples nominally in -1..1.
using RenderCallback = void (*)(int32_t channelCount, float** channels, int32_t frames);

// What a driver's watch noticed (see CAudioOutputDriver::Watch).
struct DriverEvent {
    enum class Kind {
        None,
        Lost,     // the device or server stopped during play; the driver tries to get it back
        Resumed,  // sound plays again
        Unpaced,  // the device takes samples as fast as they come: the driver paces itself
        Reformat, // the server came back with another rate or buffer size: the driver is stopped
                  // and takes the new format; bind it again
    };
    Kind kind = Kind::None;
    std::string text; // for the user ("" with Kind::None)
};

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

    // Frames from the callback filling a buffer to its sound leaving the device, as far as the
    // driver knows (0 when it does not). Meaningful while running.
    virtual int32_t GetOutputLatency() { return 0; }
    // Why the driver is not available, in the user's words ("" when it is).
    virtual std::string GetProblem() { return {}; }
    // Looks after a started driver: notices a device or server that stopped during play and tries
    // to get it back (about once a second), and notices a device that plays faster than real
    // time. User-interface thread, a few times a second; cheap when nothing happened.
    virtual DriverEvent Watch() { return {}; }

    // Buffers the device or server missed since the last ResetXruns (ALSA underruns, JACK
    // xruns): the tool bar's xrun counter. Counted by the driver's own threads; read and reset on
    // the user-interface thread. It survives Stop and Start. A driver that plays to no device
    // (the offline renderer) never counts any.
    uint64_t GetXruns() const { return m_xruns.Count(); }
    void ResetXruns() { m_xruns.Reset(); }

protected:
    // One missed buffer. The driver's threads (playback thread, sound server callbacks).
    void CountXrun() { m_xruns.Add(); }

private:
    CResettableCount m_xruns;
};
