// A test-only ALSA playback device (an external PCM plugin, type "tamborel_underrun") that plays
// like a sound card: it takes samples at its rate by the clock and runs dry, reporting an
// underrun, when the program falls behind by more than its buffer. It lets the "Wave Out" tests
// meet real underruns on a machine without a sound card.
//
// Threads: ALSA calls it on the thread that uses the PCM (the driver's playback thread).
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>

#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <poll.h>

namespace {

using Clock = std::chrono::steady_clock;

struct CUnderrunDevice {
    snd_pcm_ioplug_t io{};
    int timer = -1;          // wakes a waiting program every millisecond
    bool playing = false;    // started since the last prepare
    Clock::time_point start; // when playing began
    uint64_t written = 0;    // frames taken since the last prepare
};

CUnderrunDevice* Device(snd_pcm_ioplug_t* io) {
    return static_cast<CUnderrunDevice*>(io->private_data);
}

int Start(snd_pcm_ioplug_t* io) {
    CUnderrunDevice* device = Device(io);
    device->playing = true;
    device->start = Clock::now();
    return 0;
}

int Stop(snd_pcm_ioplug_t* io) {
    Device(io)->playing = false;
    return 0;
}

int Prepare(snd_pcm_ioplug_t* io) {
    CUnderrunDevice* device = Device(io);
    device->playing = false;
    device->written = 0;
    return 0;
}

// The position the clock has played to; an underrun once it passed what was written.
snd_pcm_sframes_t Pointer(snd_pcm_ioplug_t* io) {
    CUnderrunDevice* device = Device(io);
    if (!device->playing) return 0;
    const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - device->start);
    const auto played =
        static_cast<uint64_t>(elapsed.count() * static_cast<int64_t>(io->rate) / 1'000'000'000);
    if (played > device->written) return -EPIPE;
    return static_cast<snd_pcm_sframes_t>(played % io->buffer_size);
}

snd_pcm_sframes_t Transfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t*, snd_pcm_uframes_t,
                           snd_pcm_uframes_t size) {
    Device(io)->written += size;
    return static_cast<snd_pcm_sframes_t>(size);
}

int PollRevents(snd_pcm_ioplug_t* io, struct pollfd*, unsigned int, unsigned short* revents) {
    uint64_t expirations = 0;
    if (read(Device(io)->timer, &expirations, sizeof expirations) < 0) expirations = 0;
    // ALSA checks the room itself after a wake-up: waking every millisecond is enough.
    *revents = POLLOUT;
    return 0;
}

int Close(snd_pcm_ioplug_t* io) {
    CUnderrunDevice* device = Device(io);
    close(device->timer);
    delete device;
    return 0;
}

const snd_pcm_ioplug_callback_t kCallbacks = [] {
    snd_pcm_ioplug_callback_t callbacks{};
    callbacks.start = Start;
    callbacks.stop = Stop;
    callbacks.pointer = Pointer;
    callbacks.transfer = Transfer;
    callbacks.close = Close;
    callbacks.prepare = Prepare;
    callbacks.poll_revents = PollRevents;
    return callbacks;
}();

} // namespace

extern "C" {

SND_PCM_PLUGIN_DEFINE_FUNC(tamborel_underrun) {
    (void)root;
    (void)conf;
    if (stream != SND_PCM_STREAM_PLAYBACK) return -EINVAL;
    auto* device = new CUnderrunDevice;
    device->timer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK);
    const itimerspec everyMillisecond{{0, 1'000'000}, {0, 1'000'000}};
    if (device->timer < 0 || timerfd_settime(device->timer, 0, &everyMillisecond, nullptr) < 0) {
        if (device->timer >= 0) close(device->timer);
        delete device;
        return -ENOMEM;
    }
    device->io.version = SND_PCM_IOPLUG_VERSION;
    device->io.name = "Tamborel test device that runs dry";
    device->io.poll_fd = device->timer;
    device->io.poll_events = POLLIN;
    device->io.callback = &kCallbacks;
    device->io.private_data = device;
    int result = snd_pcm_ioplug_create(&device->io, name, stream, mode);
    if (result < 0) {
        close(device->timer);
        delete device;
        return result;
    }
    static const unsigned int kAccess[] = {SND_PCM_ACCESS_RW_INTERLEAVED};
    static const unsigned int kFormats[] = {SND_PCM_FORMAT_U8, SND_PCM_FORMAT_S16_LE};
    if ((result = snd_pcm_ioplug_set_param_list(&device->io, SND_PCM_IOPLUG_HW_ACCESS, 1, kAccess)) < 0 ||
        (result = snd_pcm_ioplug_set_param_list(&device->io, SND_PCM_IOPLUG_HW_FORMAT, 2, kFormats)) < 0 ||
        (result = snd_pcm_ioplug_set_param_minmax(&device->io, SND_PCM_IOPLUG_HW_CHANNELS, 1, 2)) < 0 ||
        (result = snd_pcm_ioplug_set_param_minmax(&device->io, SND_PCM_IOPLUG_HW_RATE, 8000, 48000)) < 0 ||
        (result = snd_pcm_ioplug_set_param_minmax(&device->io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 64, 1 << 20)) <
            0 ||
        (result = snd_pcm_ioplug_set_param_minmax(&device->io, SND_PCM_IOPLUG_HW_PERIODS, 2, 64)) < 0) {
        snd_pcm_ioplug_delete(&device->io); // closes the device through Close
        return result;
    }
    *pcmp = device->io.pcm;
    return 0;
}

SND_PCM_PLUGIN_SYMBOL(tamborel_underrun)

} // extern "C"
