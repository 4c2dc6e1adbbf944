// COutputDriverManager: the list of output drivers ("Wave Out" at index 0, "ASIO" at index 1),
// the current one, binding it to the engine and switching between them.
//
// Threads: user-interface thread only. Binding hands the driver's format to the studio through
// the format hook (which locks the studio itself) before starting the driver.
#pragma once

#include "audio_out/audio_output_driver.h"
#include "machine_interface/array.h"
#include "audio_out/driver_options.h"

#include <functional>
#include <memory>

class CWaveOutDriver;
class CASIODriver;

class COutputDriverManager {
public:
    // (sample rate, buffer size): pass a driver's format on to the host services and the studio.
    using FormatHook = std::function<void(int32_t sampleRate, int32_t bufferSize)>;

    // Creates both drivers (probing ALSA and JACK) and takes the current index from the options;
    // an index outside 0..1 selects 0.
    explicit COutputDriverManager(DriverOptions& options);
    // For tests and special set-ups: the given drivers, in list order.
    COutputDriverManager(DriverOptions& options, std::unique_ptr<CAudioOutputDriver> first,
                         std::unique_ptr<CAudioOutputDriver> second);
    // Stops the current driver and writes the current index back into the options.
    ~COutputDriverManager();
    COutputDriverManager(const COutputDriverManager&) = delete;
    COutputDriverManager& operator=(const COutputDriverManager&) = delete;

    int32_t Count() const { return m_drivers.Count(); }
    CAudioOutputDriver* Driver(int32_t index) const { return m_drivers[index]; }
    int32_t CurrentIndex() const { return m_current; }
    CAudioOutputDriver* Current() const { return m_drivers[m_current]; }
    CWaveOutDriver* WaveOut() const;
    CASIODriver* Asio() const;

    // Binding: when the driver is available, SetCallback, the format hook, Start. Start's errors
    // are raised to the caller (the driver then stays silent). False when not available.
    bool Bind(RenderCallback callback, const FormatHook& formatHook);
    // Stops the current driver and makes driver n current (an index outside the list selects 0);
    // the options record the choice.
    void MakeCurrent(int32_t index);
    // MakeCurrent, then Bind.
    bool SwitchTo(int32_t index, RenderCallback callback, const FormatHook& formatHook);
    // Looks after the current driver (CAudioOutputDriver::Watch) and passes on what it noticed. A
    // server that came back with another rate or buffer size: the driver is stopped, the format
    // change hook (or, without one, the format hook of the last Bind) is given the new format,
    // and the driver starts again with the last Bind's callback; a failure to start is told in
    // the event's text.
    DriverEvent Watch();
    // What passes a new format on to the studio when only rate and buffer size changed (the
    // channels stay, so the master keeps its ports and cables).
    void SetFormatChangeHook(FormatHook hook) { m_formatChangeHook = std::move(hook); }

    // The current driver's channel count, for the master machine (2 before any manager exists).
    static int32_t CurrentChannelCount();

private:
    DriverOptions& m_options;
    CArray<CAudioOutputDriver> m_drivers;
    int32_t m_current = 0;
    RenderCallback m_callback = SilenceCallback;
    FormatHook m_formatHook;
    FormatHook m_formatChangeHook;
};
