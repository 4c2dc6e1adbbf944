// CPeakMeterModel: the state behind a peak meter (the main tool bar's master meter and each HD
// recorder row's meter): current and held level of two channels in dB, and when each hold began.
//
// Threads: Input runs on the driver thread (the master, once per buffer) or a worker thread (an
// HD row, once per block); Decay and Read on the graphics thread (or the user interface's timer).
// The meter's own mutex separates them; it is held only for a few arithmetic steps and is never
// taken while waiting for anything else, so the driver thread is never kept waiting long.
//
// Levels: 10 x log10 of the squared peak, i.e. dB of the amplitude: a full-scale sine reads 0 dB,
// half scale about -6 dB, silence (below 2^-15) the floor of -90 dB, the top about +15.05 dB.
#pragma once

#include "platform/clock.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>

// The meter's millisecond time source (a system tick count). Injected by tests to step time.
class CMillisecondClock {
public:
    virtual ~CMillisecondClock() = default;
    virtual uint32_t Now() = 0;
};

class CPeakMeterModel {
public:
    static constexpr float kFloorDb = -90.0f;
    static constexpr float kQuietestPower = 1.0f / 32768.0f; // below this the meter reads the floor
    static constexpr float kLoudestPower = 32.0f;            // larger peaks read as this
    static constexpr uint32_t kHoldMilliseconds = 1000;
    static constexpr float kFallDbPerSecond = 48.0f;

    struct Peaks {
        float left = 0.0f; // squared peak of the last buffer
        float right = 0.0f;
    };
    struct Levels {
        float current[2] = {kFloorDb, kFloorDb}; // dB, left and right
        float held[2] = {kFloorDb, kFloorDb};    // dB, the peak-hold marks
    };

    // Null clock: the system tick count.
    explicit CPeakMeterModel(CMillisecondClock* clock = nullptr) : m_clock(clock) {}
    CPeakMeterModel(const CPeakMeterModel&) = delete;
    CPeakMeterModel& operator=(const CPeakMeterModel&) = delete;

    // Set before the meter is fed or decayed.
    void SetClock(CMillisecondClock* clock) { m_clock = clock; }

    // dB for a squared peak, as the meter reads it.
    static float LevelDb(float power) {
        if (!(power >= kQuietestPower)) return kFloorDb; // also NaN
        return 10.0f * std::log10(std::min(power, kLoudestPower));
    }

    // The peaks of one buffer as squared samples (the master's processing cycle).
    void Input(float leftPower, float rightPower) {
        std::lock_guard lock(m_mutex);
        m_peaks = {leftPower, rightPower};
        ++m_updates;
        const float powers[2] = {leftPower, rightPower};
        for (int c = 0; c < 2; ++c) {
            const float level = LevelDb(powers[c]);
            // A louder peak takes the hold; the next Decay starts its second of holding. A peak
            // that came and went between two reads stays visible through the held level.
            if (level > m_levels.held[c]) {
                m_levels.held[c] = level;
                m_holdStart[c] = 0;
            }
            m_levels.current[c] = level;
        }
    }
    // The peaks of one block as absolute sample values (an HD recorder row): squared first, so
    // both kinds of input read the same dB for the same signal.
    void InputAbsolute(float left, float right) { Input(left * left, right * right); }

    // About every 10 ms: a held peak stays for one second, then falls at 48 dB per second down to
    // the floor.
    void Decay() {
        const uint32_t now = m_clock ? m_clock->Now() : platform::TickCount();
        std::lock_guard lock(m_mutex);
        for (int c = 0; c < 2; ++c) {
            if (m_holdStart[c] != 0 && now >= m_holdStart[c]) {
                const float elapsed = static_cast<float>(now - m_holdStart[c]) * 0.001f;
                float held = m_levels.held[c];
                if (elapsed > 1.0f) {
                    m_holdStart[c] = now - kHoldMilliseconds;
                    held -= (elapsed - 1.0f) * kFallDbPerSecond;
                }
                m_levels.held[c] = std::max(held, kFloorDb);
            } else {
                m_holdStart[c] = now;
            }
        }
    }

    Levels Read() const {
        std::lock_guard lock(m_mutex);
        return m_levels;
    }
    // The squared peaks of the last buffer fed.
    Peaks Get() const {
        std::lock_guard lock(m_mutex);
        return m_peaks;
    }
    // Buffers metered since the meter was made.
    unsigned long Updates() const {
        std::lock_guard lock(m_mutex);
        return m_updates;
    }

private:
    CMillisecondClock* m_clock;
    mutable std::mutex m_mutex;
    Peaks m_peaks;
    Levels m_levels;
    uint32_t m_holdStart[2] = {0, 0}; // ms of the clock; 0: no hold running
    unsigned long m_updates = 0;
};
