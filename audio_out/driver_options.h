// DriverOptions: the output drivers' own settings, which driver plays and how each is set up.
// The drivers read them when made and write a changed setting straight back, so the record the
// program keeps (and the options file saves) always holds what plays. User-interface thread.
#pragma once

#include <cstdint>

struct DriverOptions {
    int32_t driverIndex = 0; // 0 "Wave Out", 1 "ASIO"
    int32_t waveOutDevice = 0;
    int32_t waveOutLatency = 150; // milliseconds per buffer
    int32_t waveOutFormat = 2048; // format code: 44.1 kHz, stereo, 16-bit
    int32_t asioDevice = 0;
};

// The ranges a setting must lie in; one outside falls back to its default.
namespace driver_limits {
constexpr int32_t kMaxDeviceIndex = 255;
constexpr int32_t kMinLatency = 1;    // milliseconds
constexpr int32_t kMaxLatency = 1000; // one second per buffer, far above what the options page offers
// A format code is exactly one of the twenty capability flags 0x1 ... 0x80000.
constexpr bool IsFormatCode(int32_t code) {
    const auto bits = static_cast<uint32_t>(code);
    return bits != 0 && bits <= 0x80000u && (bits & (bits - 1)) == 0;
}
} // namespace driver_limits
