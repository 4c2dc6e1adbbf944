#include "audio_out/wave_out_driver.h"

#include "audio_out/sample_format.h"
#include "platform/error.h"
#include "platform/thread.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// ALSA reports configuration trouble on stderr by default; the driver reports through its own
// error texts instead.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

std::vector<std::string> ListPlaybackDevices() {
    std::vector<std::string> names{"default"};
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) != 0) return names;
    for (void** hint = hints; *hint; ++hint) {
        char* name = snd_device_name_get_hint(*hint, "NAME");
        char* direction = snd_device_name_get_hint(*hint, "IOID");
        if (name && (!direction || std::strcmp(direction, "Output") == 0) &&
            std::find(names.begin(), names.end(), name) == names.end())
            names.emplace_back(name);
        std::free(name);
        std::free(direction);
    }
    snd_device_name_free_hint(hints);
    return names;
}

// An error the device came back from after a gap in the sound: an underrun (the device ran
// dry) or a suspend (the machine slept). Both are what the user counts as xruns.
bool IsDropout(int error) {
    return error == -EPIPE || error == -ESTRPIPE;
}

} // namespace

int32_t CWaveOutDriver::ProbeFormats(const std::string& pcmName, bool* soundCard) {
    snd_lib_error_set_handler(QuietAlsa);
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, pcmName.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) != 0) return 0;
    if (soundCard) *soundCard = snd_pcm_type(pcm) != SND_PCM_TYPE_NULL;
    snd_pcm_hw_params_t* any = nullptr;
    snd_pcm_hw_params_t* trial = nullptr;
    snd_pcm_hw_params_malloc(&any);
    snd_pcm_hw_params_malloc(&trial);
    int32_t formats = 0;
    if (snd_pcm_hw_params_any(pcm, any) >= 0) {
        for (int32_t j = 0; j < 5; ++j)
            for (int32_t bits : {8, 16})
                for (bool stereo : {false, true}) {
                    snd_pcm_hw_params_copy(trial, any);
                    if (snd_pcm_hw_params_set_access(pcm, trial, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
                        snd_pcm_hw_params_set_format(
                            pcm, trial, bits == 16 ? SND_PCM_FORMAT_S16_LE : SND_PCM_FORMAT_U8) < 0 ||
                        snd_pcm_hw_params_set_channels(pcm, trial, stereo ? 2 : 1) < 0 ||
                        snd_pcm_hw_params_set_rate(pcm, trial,
                                                   static_cast<unsigned>(audio_format::kWaveRates[j]), 0) < 0)
                        continue;
                    formats |= audio_format::WaveFormatCode(j, bits, stereo);
                }
    }
    snd_pcm_hw_params_free(trial);
    snd_pcm_hw_params_free(any);
    snd_pcm_close(pcm);
    return formats;
}

CWaveOutDriver::CWaveOutDriver(DriverOptions& options, const std::vector<std::string>& deviceNames)
    : m_options(options) {
    for (const std::string& name : deviceNames.empty() ? ListPlaybackDevices() : deviceNames) {
        bool soundCard = true;
        const int32_t formats = ProbeFormats(name, &soundCard);
        if (formats != 0) m_devices.push_back({name, formats, soundCard});
    }
    const auto count = static_cast<int32_t>(m_devices.size());
    if (options.driverIndex != 0) {
        m_device = count > 0 ? 0 : -1;
        m_latency = 150;
    } else {
        m_device = options.waveOutDevice >= 0 && options.waveOutDevice < count ? options.waveOutDevice
                                                                               : (count > 0 ? 0 : -1);
        m_latency =
            std::clamp(options.waveOutLatency, driver_limits::kMinLatency, driver_limits::kMaxLatency);
    }
    m_format = driver_limits::IsFormatCode(options.waveOutFormat) ? options.waveOutFormat : 2048;
    if (m_device >= 0) {
        try {
            m_format = audio_format::FindFormat(m_format, m_devices[static_cast<size_t>(m_device)].formats);
        } catch (const platform::CError&) {
            m_format = 2048; // an unreadable stored code: the usual CD format, checked again below
            m_format = audio_format::FindFormat(m_format, m_devices[static_cast<size_t>(m_device)].formats);
        }
    }
    try {
        Decode();
    } catch (const platform::CError&) {
        m_format = 2048;
        Decode();
    }
}

CWaveOutDriver::~CWaveOutDriver() {
    Stop();
}

void CWaveOutDriver::Decode() {
    const audio_format::WaveFormat format = audio_format::DecodeWaveFormat(m_format);
    m_sampleRate = format.sampleRate;
    m_bits = format.bits;
    m_stereo = format.stereo;
    m_frames = audio_format::WaveOutFrames(m_sampleRate, m_latency);
}

void CWaveOutDriver::SetCallback(RenderCallback callback) {
    std::lock_guard lock(m_mutex);
    m_callback = callback ? callback : SilenceCallback;
}

std::string CWaveOutDriver::GetDeviceName() {
    return m_device >= 0 ? m_devices[static_cast<size_t>(m_device)].name : std::string();
}

void CWaveOutDriver::SetDevice(int32_t device) {
    m_device = device;
    m_options.waveOutDevice = device;
}

void CWaveOutDriver::SetFormat(int32_t format) {
    m_format = format;
    m_options.waveOutFormat = format;
}

void CWaveOutDriver::SetLatency(int32_t latency) {
    m_latency = std::clamp(latency, driver_limits::kMinLatency, driver_limits::kMaxLatency);
    m_options.waveOutLatency = m_latency;
}

bool CWaveOutDriver::CurrentIsSoundCard() const {
    return m_device >= 0 && m_devices[static_cast<size_t>(m_device)].soundCard;
}

bool CWaveOutDriver::HasSoundCard() const {
    return std::any_of(m_devices.begin(), m_devices.end(),
                       [](const Device& device) { return device.soundCard; });
}

std::string CWaveOutDriver::GetProblem() {
    return m_devices.empty() ? "no ALSA playback device was found" : "";
}

void CWaveOutDriver::OpenDevice() {
    snd_lib_error_set_handler(QuietAlsa);
    const std::string& name = m_devices[static_cast<size_t>(m_device)].name;
    int result = snd_pcm_open(&m_pcm, name.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (result < 0) {
        m_pcm = nullptr;
        platform::Raise("WaveOut: waveOutOpen Failed <Error Code 0x%x>", -result);
    }
    const unsigned channels = m_stereo ? 2 : 1;
    snd_pcm_uframes_t period = static_cast<snd_pcm_uframes_t>(m_frames);
    snd_pcm_uframes_t bufferFrames = period * 2;
    snd_pcm_hw_params_t* params = nullptr;
    snd_pcm_hw_params_malloc(&params);
    // The exact rate: the studio renders at this rate, and the formats were probed exactly.
    if ((result = snd_pcm_hw_params_any(m_pcm, params)) >= 0 &&
        (result = snd_pcm_hw_params_set_access(m_pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED)) >= 0 &&
        (result = snd_pcm_hw_params_set_format(
             m_pcm, params, m_bits == 16 ? SND_PCM_FORMAT_S16_LE : SND_PCM_FORMAT_U8)) >= 0 &&
        (result = snd_pcm_hw_params_set_channels(m_pcm, params, channels)) >= 0 &&
        (result = snd_pcm_hw_params_set_rate(m_pcm, params, static_cast<unsigned>(m_sampleRate), 0)) >= 0) {
        snd_pcm_hw_params_set_period_size_near(m_pcm, params, &period, nullptr);
        snd_pcm_hw_params_set_buffer_size_near(m_pcm, params, &bufferFrames);
        result = snd_pcm_hw_params(m_pcm, params);
        if (result >= 0) snd_pcm_hw_params_get_buffer_size(params, &bufferFrames);
    }
    snd_pcm_hw_params_free(params);
    if (result >= 0) result = snd_pcm_prepare(m_pcm);
    if (result < 0) {
        CloseDevice();
        platform::Raise("WaveOut: waveOutPrepareHeader Failed <Error Code: 0x%x>", -result);
    }
    // A rendered buffer waits for the one before it, then passes the device's buffer.
    m_latencyFrames = m_frames + static_cast<int32_t>(std::min<snd_pcm_uframes_t>(bufferFrames, 1u << 24));
    const size_t bytes = static_cast<size_t>(m_frames) * channels * (m_bits == 16 ? 2 : 1);
    for (int i = 0; i < 2; ++i) {
        m_pcmBuffers[i].assign(bytes, 0);
        m_channelBuffers[i].assign(static_cast<size_t>(m_frames), 0.0f);
        m_channels[i] = m_channelBuffers[i].data();
    }
}

void CWaveOutDriver::Start() {
    if (IsRunning() || m_device < 0) return;
    Decode();
    OpenDevice();
    m_failure.store(0);
    m_unpaced.store(false);
    m_retrying = false;
    m_unpacedTold = false;
    m_running.store(true, std::memory_order_release);
    m_thread = std::thread([this] { PlaybackLoop(); });
}

DriverEvent CWaveOutDriver::Watch() {
    DriverEvent event;
    if (!IsRunning()) return event;
    const std::string name = GetDeviceName();
    const auto now = std::chrono::steady_clock::now();
    if (const int failure = m_failure.load(std::memory_order_acquire); failure != 0 && !m_retrying) {
        // The playback thread ended on the failure; what is left of the device is closed.
        if (m_thread.joinable()) m_thread.join();
        CloseDevice();
        m_retrying = true;
        m_nextRetry = now + std::chrono::seconds(1);
        event.kind = DriverEvent::Kind::Lost;
        event.text = platform::FormatText(
            "output driver \"Wave Out\" stopped: ALSA device \"%s\" failed (%s); the studio runs on "
            "without sound and opens the device again every second",
            name.c_str(), snd_strerror(failure));
        return event;
    }
    if (m_retrying) {
        if (now < m_nextRetry) return event;
        m_nextRetry = now + std::chrono::seconds(1);
        try {
            OpenDevice();
        } catch (const platform::CError&) {
            return event;
        }
        m_failure.store(0);
        m_retrying = false;
        m_thread = std::thread([this] { PlaybackLoop(); });
        event.kind = DriverEvent::Kind::Resumed;
        event.text = platform::FormatText(
            "sound resumes: output driver \"Wave Out\" plays on ALSA device \"%s\" again", name.c_str());
        return event;
    }
    if (m_unpaced.load(std::memory_order_acquire) && !m_unpacedTold) {
        m_unpacedTold = true;
        event.kind = DriverEvent::Kind::Unpaced;
        event.text = platform::FormatText(
            "ALSA device \"%s\" takes samples faster than real time, so it is no sound card; the driver "
            "paces it to real time",
            name.c_str());
    }
    return event;
}

void CWaveOutDriver::Fill(int32_t index) {
    std::lock_guard lock(m_mutex);
    if (!IsRunning()) return;
    const int32_t channels = m_stereo ? 2 : 1;
    m_callback(channels, m_channels, m_frames);
    // The engine renders one channel for a mono format: that channel is the output (channel 1
    // holds nothing of this buffer).
    const float* left = m_channels[0];
    const float* right = m_channels[1];
    uint8_t* pcm = m_pcmBuffers[index].data();
    if (m_bits == 16) {
        auto* out = reinterpret_cast<int16_t*>(pcm);
        if (m_stereo)
            for (int32_t i = 0; i < m_frames; ++i) {
                out[2 * i] = audio_format::FloatToPcm16(left[i]);
                out[2 * i + 1] = audio_format::FloatToPcm16(right[i]);
            }
        else
            for (int32_t i = 0; i < m_frames; ++i)
                out[i] = audio_format::FloatToPcm16(left[i]);
    } else {
        if (m_stereo)
            for (int32_t i = 0; i < m_frames; ++i) {
                pcm[2 * i] = audio_format::FloatToPcm8(left[i]);
                pcm[2 * i + 1] = audio_format::FloatToPcm8(right[i]);
            }
        else
            for (int32_t i = 0; i < m_frames; ++i)
                pcm[i] = audio_format::FloatToPcm8(left[i]);
    }
}

void CWaveOutDriver::PlaybackLoop() {
    platform::SetCurrentThreadPriority(platform::ThreadPriority::AboveNormal);
    const size_t frameBytes = static_cast<size_t>((m_stereo ? 2 : 1) * (m_bits == 16 ? 2 : 1));
    // A device that plays takes samples at its rate; one that does not (ALSA's "null", or a
    // file device without a card behind it) would take them as fast as we render. Such a device
    // is paced here by the clock, a few buffers ahead, so no core spins on it.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point begin = Clock::now();
    const auto elapsedFrames = [&] {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - begin).count() *
               static_cast<int64_t>(m_sampleRate) / 1'000'000'000;
    };
    const int64_t ahead = 4 * static_cast<int64_t>(m_frames); // what a playing device holds at most
    bool paced = !m_devices[static_cast<size_t>(m_device)].soundCard;
    int64_t accepted = 0;
    int64_t surplus = 0; // what an unpaced device took before it was found out: not waited for
    // One buffer is being handed to the device while the other waits, filled; a buffer the
    // device has taken is refilled at once (the completion of the ping-pong pair).
    int32_t current = 0;
    int32_t written = 0;
    Fill(0);
    Fill(1);
    while (IsRunning()) {
        if (paced) {
            const int64_t early = accepted - surplus - (elapsedFrames() + ahead);
            if (early > 0) {
                // Short naps, so Stop never waits long.
                const int64_t nanoseconds = early * 1'000'000'000 / m_sampleRate;
                std::this_thread::sleep_for(
                    std::chrono::nanoseconds(std::min<int64_t>(nanoseconds, 20'000'000)));
                continue;
            }
        }
        const uint8_t* data = m_pcmBuffers[current].data() + static_cast<size_t>(written) * frameBytes;
        const snd_pcm_sframes_t result =
            snd_pcm_writei(m_pcm, data, static_cast<snd_pcm_uframes_t>(m_frames - written));
        if (result == -EAGAIN) {
            if (const int waited = snd_pcm_wait(m_pcm, 20); waited < 0) {
                if (snd_pcm_recover(m_pcm, waited, 1) < 0) {
                    m_failure.store(waited, std::memory_order_release);
                    return;
                }
                if (IsDropout(waited)) CountXrun();
            }
        } else if (result < 0) {
            // An underrun or a suspend: start the device again and carry on. Anything else
            // (the device is gone, its file or server failed) ends playing; Watch takes over.
            if (snd_pcm_recover(m_pcm, static_cast<int>(result), 1) < 0) {
                m_failure.store(static_cast<int>(result), std::memory_order_release);
                return;
            }
            if (IsDropout(static_cast<int>(result))) CountXrun();
        } else {
            written += static_cast<int32_t>(result);
            accepted += result;
            if (const int64_t due = elapsedFrames() + ahead; !paced && accepted > due + m_sampleRate) {
                paced = true;
                surplus = accepted - due;
                m_unpaced.store(true, std::memory_order_release);
            }
            if (written == m_frames) {
                const int32_t done = current;
                current ^= 1;
                written = 0;
                Fill(done);
            }
        }
    }
}

void CWaveOutDriver::CloseDevice() {
    if (m_pcm) {
        snd_pcm_drop(m_pcm);
        snd_pcm_close(m_pcm);
        m_pcm = nullptr;
    }
}

void CWaveOutDriver::Stop() {
    // The flag alone ends the playback thread within one nap or wait; taking the mutex here
    // could starve behind a thread that refills without pause.
    m_running.store(false, std::memory_order_release);
    if (m_thread.joinable()) m_thread.join();
    CloseDevice();
    m_retrying = false;
    for (int i = 0; i < 2; ++i) {
        m_pcmBuffers[i].clear();
        m_pcmBuffers[i].shrink_to_fit();
        m_channelBuffers[i].clear();
        m_channelBuffers[i].shrink_to_fit();
        m_channels[i] = nullptr;
    }
    try {
        Decode();
    } catch (const platform::CError&) {
    }
}
